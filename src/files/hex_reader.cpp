#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "firmware_files.h"
#include "flashbuf.h"
#include "number_text.h"
#include "options.h"
#include "system_error.h"

namespace {

// Room for a record of 255 data bytes (521 characters) and trailing text.
constexpr std::size_t MAX_LINE_CHARS = 1023;
constexpr char CTRL_Z = 0x1A;

// One line as read: CR bytes dropped, its LF kept when it has one, then NUL.
struct Line {
  std::array<char, MAX_LINE_CHARS + 2> text;
  std::size_t length;  // characters before the LF
  std::size_t size;    // characters including the LF
};

// Reads the file in blocks and hands out lines with the same bytes on every
// host: CR bytes are dropped and a Ctrl-Z byte ends the file.
struct LineSource {
  std::FILE* file;
  std::array<char, 16384> block;
  std::size_t position;
  std::size_t filled;
  bool ended;
};

enum class LineStatus { line, end, too_long, read_error };

// Reads the next block; false at the end of the file, after a Ctrl-Z, or on
// a read error (then ferror tells).
bool refill(LineSource& source) {
  if (source.ended) return false;
  source.filled = std::fread(source.block.data(), 1, source.block.size(), source.file);
  source.position = 0;
  if (source.filled == 0) source.ended = true;
  return !source.ended;
}

// Ends the line after `length` characters, with its LF when it has one.
LineStatus end_line(Line& line, std::size_t length, bool with_lf) {
  if (with_lf) line.text[length] = '\n';
  line.text[length + (with_lf ? 1 : 0)] = '\0';
  line.length = length;
  line.size = length + (with_lf ? 1 : 0);
  return LineStatus::line;
}

LineStatus next_line(LineSource& source, Line& line) {
  // Locals, not the members, in the byte loop: stores through a char pointer
  // could alias the members and would force them back to memory every byte.
  char* const out = line.text.data();
  std::size_t length = 0;
  for (;;) {
    if (source.position == source.filled && !refill(source)) {
      if (std::ferror(source.file) != 0) return LineStatus::read_error;
      if (length == 0) return LineStatus::end;
      break;
    }
    const char* const begin = source.block.data() + source.position;
    const std::size_t available = source.filled - source.position;
    const auto* const lf = static_cast<const char*>(std::memchr(begin, '\n', available));
    const std::size_t span = lf != nullptr ? static_cast<std::size_t>(lf - begin) : available;
    // Most lines hold no CR but the one before their LF and no Ctrl-Z: copy
    // those whole; the byte loop below handles the rest.
    std::size_t plain = span > 0 && begin[span - 1] == '\r' ? span - 1 : span;
    if (length + plain > MAX_LINE_CHARS || std::memchr(begin, '\r', plain) != nullptr ||
        std::memchr(begin, CTRL_Z, plain) != nullptr) {
      plain = 0;
    }
    std::memcpy(out + length, begin, plain);
    length += plain;
    for (std::size_t i = plain; i < span; ++i) {
      const char c = begin[i];
      if (c == '\r') continue;
      if (c == CTRL_Z) {
        source.ended = true;
        source.position = source.filled;
        return length == 0 ? LineStatus::end : end_line(line, length, false);
      }
      if (length == MAX_LINE_CHARS) return LineStatus::too_long;
      out[length++] = c;
    }
    source.position += span;
    if (lf != nullptr) {
      ++source.position;
      return end_line(line, length, true);
    }
  }
  return end_line(line, length, false);
}

constexpr std::array<std::int8_t, 256> make_hex_digit_values() {
  std::array<std::int8_t, 256> values{};
  for (auto& value : values) value = -1;
  for (int c = 0; c < 10; ++c) values[static_cast<std::size_t>('0' + c)] = static_cast<std::int8_t>(c);
  for (int c = 0; c < 6; ++c) {
    values[static_cast<std::size_t>('A' + c)] = static_cast<std::int8_t>(10 + c);
    values[static_cast<std::size_t>('a' + c)] = static_cast<std::int8_t>(10 + c);
  }
  return values;
}
constexpr std::array<std::int8_t, 256> HEX_DIGIT_VALUES = make_hex_digit_values();

// The field of `width` characters at `position` (the ':' is position 1),
// converted as strtol does in base 16. Characters past the line read as NUL,
// so a field never reaches outside its own line.
std::uint32_t field_value(const Line& line, std::size_t position, std::size_t width) {
  const std::size_t start = position - 1;
  if (start >= line.size) return 0;
  const char* text = line.text.data() + start;
  // Plain digits, by far the common case, need no strtol rules.
  if (start + width <= line.size) {
    std::uint32_t value = 0;
    std::size_t i = 0;
    for (; i < width; ++i) {
      const int digit = HEX_DIGIT_VALUES[static_cast<unsigned char>(text[i])];
      if (digit < 0) break;
      value = value << 4 | static_cast<std::uint32_t>(digit);
    }
    if (i == width) return value;
  }
  const std::size_t available = line.size - start < width ? line.size - start : width;
  return static_cast<std::uint32_t>(text_to_int32(text, available, 16));
}

// A character's digit value shifted into the high or low half of a byte, or
// NOT_A_DIGIT: or-ing the two halves of a pair gives its byte value, or a
// value above 0xFF when either character is not a plain hex digit.
constexpr std::uint16_t NOT_A_DIGIT = 0x100;
constexpr std::array<std::uint16_t, 256> make_half_values(unsigned shift) {
  std::array<std::uint16_t, 256> halves{};
  for (std::size_t c = 0; c < 256; ++c) {
    const int digit = HEX_DIGIT_VALUES[c];
    halves[c] = digit < 0 ? NOT_A_DIGIT : static_cast<std::uint16_t>(static_cast<unsigned>(digit) << shift);
  }
  return halves;
}
constexpr std::array<std::uint16_t, 256> HIGH_HALVES = make_half_values(4);
constexpr std::array<std::uint16_t, 256> LOW_HALVES = make_half_values(0);

// The two-character field at `position`, which lies inside the line (the
// record's length was checked): plain digits, the common case, without a call.
std::uint8_t byte_field(const Line& line, std::size_t position) {
  const char* text = line.text.data() + position - 1;
  const unsigned pair = HIGH_HALVES[static_cast<unsigned char>(text[0])] |
                        LOW_HALVES[static_cast<unsigned char>(text[1])];
  return static_cast<std::uint8_t>(pair < NOT_A_DIGIT ? pair : field_value(line, position, 2));
}

enum RecordType : std::uint8_t {
  DATA = 0x00,
  END_OF_FILE = 0x01,
  EXTENDED_SEGMENT_ADDRESS = 0x02,
  START_SEGMENT_ADDRESS = 0x03,
  EXTENDED_LINEAR_ADDRESS = 0x04,
  START_LINEAR_ADDRESS = 0x05,
};

enum class RecordResult { next, end, failed };

struct FileState {
  std::uint64_t base;  // added to the address field of data records
  bool warning_pending;
};

RecordResult read_record(const Line& line, FileState& state) {
  if (line.text[0] != ':') {
    std::printf("Error:  not a Intel Hex file\n");
    return RecordResult::failed;
  }
  const auto count = static_cast<std::uint8_t>(field_value(line, 2, 2));
  const auto address = static_cast<std::uint16_t>(field_value(line, 4, 4));
  const auto type = static_cast<std::uint8_t>(field_value(line, 8, 2));
  if (type == END_OF_FILE) return RecordResult::end;  // its checksum is not checked

  const bool is_address_record = type == EXTENDED_SEGMENT_ADDRESS || type == EXTENDED_LINEAR_ADDRESS;
  if (line.length < 11 + 2 * std::size_t{count} || type > START_LINEAR_ADDRESS ||
      (is_address_record && count != 2)) {
    std::printf("Error:  bad record %s\n", line.text.data());
    return RecordResult::failed;
  }

  // The data bytes and, after them, the checksum.
  std::array<std::uint8_t, 256> bytes;
  for (std::size_t i = 0; i <= count; ++i) bytes[i] = byte_field(line, 10 + 2 * i);
  auto sum = static_cast<std::uint8_t>(count + (address >> 8) + (address & 0xFF) + type);
  for (std::size_t i = 0; i < count; ++i) sum = static_cast<std::uint8_t>(sum + bytes[i]);

  if (type == DATA) {
    const std::uint64_t full_address = state.base + address;
    if (state.warning_pending && static_cast<std::int64_t>(full_address + count) >= options.cpu_size) {
      std::printf("Warning:  HexFile too large for the selected CPU\n");
      state.warning_pending = false;
    }
    // Bytes beyond the image have no place in it; they still count in the sum.
    if (full_address < FLASHBUF_SIZE) {
      const auto start = static_cast<std::size_t>(full_address);
      std::memcpy(flashbuf.data() + start, bytes.data(), std::min(std::size_t{count}, FLASHBUF_SIZE - start));
    }
  }
  if (bytes[count] != static_cast<std::uint8_t>(0x100 - sum)) {
    std::printf("Error:  Checksum wrong %s\n", line.text.data());
    return RecordResult::failed;
  }
  if (is_address_record) {
    const std::uint64_t value = std::uint64_t{bytes[0]} << 8 | bytes[1];
    state.base = type == EXTENDED_SEGMENT_ADDRESS ? value << 4 : value << 16;
  }
  return RecordResult::next;
}

// The line buffers are large; one set serves every call.
LineSource source;
Line line;

int read_records(std::FILE* file) {
  source.file = file;
  source.position = 0;
  source.filled = 0;
  source.ended = false;
  FileState state{0, true};
  for (;;) {
    switch (next_line(source, line)) {
      case LineStatus::end:
        return 0;  // a file without an end-of-file record is accepted
      case LineStatus::read_error:
        return -1;
      case LineStatus::too_long:
        std::printf("Error:  line too long\n");
        return -1;
      case LineStatus::line:
        break;
    }
    switch (read_record(line, state)) {
      case RecordResult::next:
        break;
      case RecordResult::end:
        return 0;
      case RecordResult::failed:
        return -1;
    }
  }
}

}  // namespace

int read_hex_file(const char* name) {
  if (name == nullptr || name[0] == '\0') return -1;
  // Binary mode: CR and Ctrl-Z are handled above, alike on every host.
  std::FILE* file = std::fopen(name, "rb");
  if (file == nullptr) {
    print_file_error(name, errno);
    return -1;
  }
  const int result = read_records(file);
  // A read error ends read_records at once, so errno still tells its reason.
  if (result != 0 && std::ferror(file) != 0) print_file_error(name, errno);
  std::fclose(file);
  return result;
}
