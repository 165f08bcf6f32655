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
constexpr std::array<char, 512> make_hex_pairs() {
  constexpr char digits[] = "0123456789ABCDEF";
  std::array<char, 512> pairs{};
  for (std::size_t value = 0; value < 256; ++value) {
    pairs[2 * value] = digits[value >> 4];
    pairs[2 * value + 1] = digits[value & 0xF];
  }
  return pairs;
}
constexpr std::array<char, 512> HEX_PAIRS = make_hex_pairs();

char* put_byte(char* p, std::uint8_t value) {
  std::memcpy(p, HEX_PAIRS.data() + 2 * std::size_t{value}, 2);
  return p + 2;
}

char* put_record(char* p, std::uint16_t address) {
  const auto high = static_cast<std::uint8_t>(address >> 8);
  const auto low = static_cast<std::uint8_t>(address & 0xFF);
  std::uint8_t sum = static_cast<std::uint8_t>(RECORD_BYTES + high + low);
  *p++ = ':';
  p = put_byte(p, static_cast<std::uint8_t>(RECORD_BYTES));
  p = put_byte(p, high);
  p = put_byte(p, low);
  p = put_byte(p, 0x00);
  for (std::size_t i = 0; i < RECORD_BYTES; ++i) {
    const std::uint8_t value = flashbuf[address + i];
    sum = static_cast<std::uint8_t>(sum + value);
    p = put_byte(p, value);
  }
  p = put_byte(p, static_cast<std::uint8_t>(0x100 - sum));
  // CR LF as bytes: the file is written in binary mode on every host.
  *p++ = '\r';
  *p++ = '\n';
  return p;
}

// Records are formatted into this buffer and written a block at a time.
constexpr std::size_t RECORDS_PER_BLOCK = 512;
std::array<char, RECORDS_PER_BLOCK * RECORD_LINE_SIZE> block;

// The records of the first `size` image bytes, the last one carrying the
// bytes up to the next multiple of 16, then the end record; then closes.
bool write_records(SafeOutput& out, std::size_t size) {
  for (std::size_t address = 0; address < size;) {
    char* end = block.data();
    for (std::size_t n = 0; n < RECORDS_PER_BLOCK && address < size; ++n, address += RECORD_BYTES) {
      end = put_record(end, static_cast<std::uint16_t>(address));
    }
    write_safe_output(out, block.data(), static_cast<std::size_t>(end - block.data()));
  }
  write_safe_output(out, END_RECORD, END_RECORD_SIZE);
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
