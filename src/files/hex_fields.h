// The fields of an Intel HEX record line as numbers: in place, straight from
// the input block, for a line of plain hex digits; the strtol way for a line
// the line source copied. Inline: the reader runs them once per line.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "files/line_source.h"
#include "files/number_text.h"

// Record types, as the type field gives them. Types 03 and 05 carry a start
// address, of no use to an image: their checksum is checked, nothing more.
constexpr std::uint8_t TYPE_DATA = 0x00;
constexpr std::uint8_t TYPE_END_OF_FILE = 0x01;
constexpr std::uint8_t TYPE_EXTENDED_SEGMENT_ADDRESS = 0x02;  // base = value << 4
constexpr std::uint8_t TYPE_EXTENDED_LINEAR_ADDRESS = 0x04;   // base = value << 16
constexpr std::uint8_t TYPE_START_LINEAR_ADDRESS = 0x05;      // the highest type known

struct Record {
  std::uint8_t count;
  std::uint16_t address;
  std::uint8_t type;
  std::uint8_t sum;                     // of all its bytes: 0 in a sound record
  std::array<std::uint8_t, 256> bytes;  // the data, then the checksum
};

// A character's hex digit value, or 16 for any other character.
constexpr std::array<std::uint8_t, 256> make_hex_digits() {
  std::array<std::uint8_t, 256> digits{};
  for (unsigned c = 0; c < 256; ++c) {
    digits[c] = static_cast<std::uint8_t>(c >= '0' && c <= '9'   ? c - '0'
                                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                                 : 16);
  }
  return digits;
}
inline constexpr std::array<std::uint8_t, 256> HEX_DIGITS = make_hex_digits();

// A pair of characters' byte value, indexed by the pair with its first
// character in the low byte; NOT_A_DIGIT when either is not a plain hex
// digit. One look-up a byte: the reader's inner loop is this table. It lies
// above the sum of any line's pairs, so one sum tells both.
constexpr std::uint32_t NOT_A_DIGIT = 0x20000;
constexpr std::array<std::uint32_t, 65536> make_pair_values() {
  std::array<std::uint32_t, 65536> values{};
  for (std::uint32_t& value : values) value = NOT_A_DIGIT;
  for (unsigned high = 0; high < 256; ++high) {
    for (unsigned low = 0; HEX_DIGITS[high] < 16 && low < 256; ++low) {
      if (HEX_DIGITS[low] < 16) values[high | low << 8] = std::uint32_t{HEX_DIGITS[high]} << 4 | HEX_DIGITS[low];
    }
  }
  return values;
}
inline constexpr std::array<std::uint32_t, 65536> PAIR_VALUES = make_pair_values();

inline std::uint32_t hex_pair(const char* text) {
  return PAIR_VALUES[static_cast<unsigned char>(text[0]) | static_cast<unsigned>(static_cast<unsigned char>(text[1])) << 8];
}

// The sum of `pairs` pairs of characters at `text`, their bytes stored.
inline std::uint32_t hex_pairs(const char* text, std::size_t pairs, std::uint8_t* bytes) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < pairs; ++i) {
    const std::uint32_t value = hex_pair(text + 2 * i);
    bytes[i] = static_cast<std::uint8_t>(value);
    sum += value;
  }
  return sum;
}

// The record at `text` when it is ':' and plain digits with its CR LF or LF
// right after the checksum; a CR, Ctrl-Z, NUL or LF inside a field is no
// digit. Returns the bytes it spans with its line end, or 0 for any other
// line. `text` must have IN_PLACE_LINE_BYTES bytes to look at.
inline std::size_t plain_record(const char* text, Record& record) {
  const std::uint32_t count = hex_pair(text + 1);
  if (text[0] != ':' || count >= NOT_A_DIGIT) return 0;
  const std::size_t end = 11 + 2 * count;  // ':' count(2) address(4) type(2) data checksum(2)
  const std::size_t lf = text[end] == '\r' ? end + 1 : end;
  if (text[lf] != '\n') return 0;
  const std::uint32_t high = hex_pair(text + 3);
  const std::uint32_t low = hex_pair(text + 5);
  const std::uint32_t type = hex_pair(text + 7);
  // Most files give 16 data bytes a record: for them the loop unrolls.
  const std::uint32_t sum = count + high + low + type +
                            (count == 16 ? hex_pairs(text + 9, 17, record.bytes.data())
                                         : hex_pairs(text + 9, count + 1, record.bytes.data()));
  record.count = static_cast<std::uint8_t>(count);
  record.address = static_cast<std::uint16_t>(high << 8 | low);
  record.type = static_cast<std::uint8_t>(type);
  record.sum = static_cast<std::uint8_t>(sum);
  return sum < NOT_A_DIGIT ? lf + 1 : 0;
}

// A field of a copied line: the `width` (2 or 4) characters at `offset`,
// converted as strtol does in base 16. A field never reaches past its line:
// there strtol would meet the LF (white space with nothing after it) or the
// NUL, and both end the number alike; neither is a digit for the pair table.
inline std::uint32_t field_value(const Line& line, std::size_t offset, std::size_t width) {
  if (offset >= line.length) return 0;
  const char* const text = line.text.data() + offset;
  const std::uint32_t first = hex_pair(text);
  const std::uint32_t second = width == 4 ? hex_pair(text + 2) : 0;
  if ((first | second) < NOT_A_DIGIT) return width == 4 ? first << 8 | second : first;
  return static_cast<std::uint32_t>(text_to_int32(text, std::min(line.length - offset, width), 16));
}

// The count, address and type of a copied line, and the sum of their bytes.
inline void header_fields(const Line& line, Record& record) {
  record.count = static_cast<std::uint8_t>(field_value(line, 1, 2));
  record.address = static_cast<std::uint16_t>(field_value(line, 3, 4));
  record.type = static_cast<std::uint8_t>(field_value(line, 7, 2));
  record.sum = static_cast<std::uint8_t>(record.count + (record.address >> 8) + (record.address & 0xFF) + record.type);
}

// Its data bytes and checksum, added to the sum; the line must hold them.
inline void byte_fields(const Line& line, Record& record) {
  for (std::size_t i = 0; i <= record.count; ++i) {
    record.bytes[i] = static_cast<std::uint8_t>(field_value(line, 9 + 2 * i, 2));
    record.sum = static_cast<std::uint8_t>(record.sum + record.bytes[i]);
  }
}
