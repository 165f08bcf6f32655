#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "files/firmware_files.h"
#include "files/output_size.h"
#include "files/safe_output.h"
#include "front/console.h"
#include "front/flashbuf.h"

namespace {

constexpr std::size_t RECORD_BYTES = 16;
// ':' "10" AAAA "00", 16 data bytes, checksum, CR LF.
constexpr std::size_t RECORD_LINE_SIZE = 1 + 2 + 4 + 2 + 2 * RECORD_BYTES + 2 + 2;
constexpr char END_RECORD[] = ":00000001FF\r\n";
constexpr std::size_t END_RECORD_SIZE = sizeof END_RECORD - 1;

// Upper-case digit pairs of every byte value, so no record needs a printf.
using Pair = std::array<char, 2>;
constexpr std::array<Pair, 256> make_hex_pairs() {
  constexpr char digits[] = "0123456789ABCDEF";
  std::array<Pair, 256> pairs{};
  for (std::size_t value = 0; value < 256; ++value) pairs[value] = {digits[value >> 4], digits[value & 0xF]};
  return pairs;
}
constexpr std::array<Pair, 256> HEX_PAIRS = make_hex_pairs();

void put_pair(char* p, std::size_t value) { std::memcpy(p, HEX_PAIRS[value].data(), 2); }

// One record of the 16 image bytes at `address`.
char* put_record(char* p, std::size_t address) {
  const std::uint8_t* const data = flashbuf.data() + address;
  const std::size_t high = address >> 8 & 0xFF;
  const std::size_t low = address & 0xFF;
  p[0] = ':';
  put_pair(p + 1, RECORD_BYTES);
  put_pair(p + 3, high);
  put_pair(p + 5, low);
  put_pair(p + 7, 0x00);
  std::size_t sum = RECORD_BYTES + high + low;
  for (std::size_t i = 0; i < RECORD_BYTES; ++i) {
    put_pair(p + 9 + 2 * i, data[i]);
    sum += data[i];
  }
  put_pair(p + 41, (0x100 - sum) & 0xFF);
  // CR LF as bytes: the file is written in binary mode on every host.
  p[43] = '\r';
  p[44] = '\n';
  return p + RECORD_LINE_SIZE;
}

// The records of a whole image and the end record, formatted into one
// buffer and written at once.
std::array<char, FLASHBUF_SIZE / RECORD_BYTES * RECORD_LINE_SIZE + END_RECORD_SIZE> text;

// The records of the first `size` image bytes, the last one carrying the
// bytes up to the next multiple of 16, then the end record; then closes.
bool write_records(SafeOutput& out, std::size_t size) {
  char* end = text.data();
  for (std::size_t address = 0; address < std::min(size, FLASHBUF_SIZE); address += RECORD_BYTES) {
    end = put_record(end, address);
  }
  std::memcpy(end, END_RECORD, END_RECORD_SIZE);
  write_safe_output(out, text.data(), static_cast<std::size_t>(end + END_RECORD_SIZE - text.data()));
  return close_safe_output(out);
}

}  // namespace

int write_hex_file(const char* name) {
  if (name == nullptr) return FILE_FAILED;
  SafeOutput out;
  if (!open_safe_output(out, name) || !write_records(out, output_size())) {
    print_message("creating hexfile failed!\n");
    return FILE_FAILED;
  }
  return FILE_OK;
}
