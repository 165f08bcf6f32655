#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "files/firmware_files.h"
#include "files/input_files.h"
#include "files/input_warning.h"
#include "files/laid_bytes.h"
#include "files/line_source.h"
#include "files/number_text.h"
#include "files/output_size.h"
#include "front/console.h"
#include "front/flashbuf.h"
#include "front/options.h"

namespace {

// A character's hex digit value shifted into the high or low half of a byte,
// or NOT_A_DIGIT: or-ing the two halves of a pair gives its byte value, or a
// value of NOT_A_DIGIT or more when either character is not a plain digit.
constexpr std::uint16_t NOT_A_DIGIT = 0x100;
constexpr std::array<std::uint16_t, 256> make_halves(unsigned shift) {
  std::array<std::uint16_t, 256> halves{};
  for (unsigned c = 0; c < 256; ++c) {
    const unsigned digit = c >= '0' && c <= '9'   ? c - '0'
                           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                           : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                  : NOT_A_DIGIT;
    halves[c] = static_cast<std::uint16_t>(digit == NOT_A_DIGIT ? digit : digit << shift);
  }
  return halves;
}
constexpr std::array<std::uint16_t, 256> HIGH_HALVES = make_halves(4);
constexpr std::array<std::uint16_t, 256> LOW_HALVES = make_halves(0);

// The characters that fields are cut from: a whole record line up to its
// LF, or just its byte fields.
struct FieldText {
  const char* text;
  std::size_t length;
};

// Every field of a record goes through here: the `width` (2 or 4) characters
// at `offset`, converted as strtol does in base 16. A field never reaches
// past its text: there strtol would meet the LF (white space with nothing
// after it) or the NUL, and both end the number alike. Plain digits, by far
// the common case, take the pair tables without a call; anything else goes
// the strtol way.
inline std::uint32_t field_value(FieldText from, std::size_t offset, std::size_t width) {
  if (offset >= from.length) return 0;
  const char* const text = from.text + offset;
  // A field that starts in the line but runs past it meets the LF or the NUL,
  // no digit: the plain case needs no second length check.
  std::uint32_t value = 0;
  unsigned misses = 0;
  for (std::size_t i = 0; i < width; i += 2) {
    const unsigned pair =
        HIGH_HALVES[static_cast<unsigned char>(text[i])] | LOW_HALVES[static_cast<unsigned char>(text[i + 1])];
    misses |= pair;
    value = value << 8 | pair;
  }
  if (misses < NOT_A_DIGIT) return value;
  return static_cast<std::uint32_t>(text_to_int32(text, std::min(from.length - offset, width), 16));
}

// Record types, as the type field gives them. Types 03 and 05 carry a start
// address, of no use to an image: their checksum is checked, nothing more.
constexpr std::uint8_t TYPE_DATA = 0x00;
constexpr std::uint8_t TYPE_END_OF_FILE = 0x01;
constexpr std::uint8_t TYPE_EXTENDED_SEGMENT_ADDRESS = 0x02;  // base = value << 4
constexpr std::uint8_t TYPE_EXTENDED_LINEAR_ADDRESS = 0x04;   // base = value << 16
constexpr std::uint8_t TYPE_START_LINEAR_ADDRESS = 0x05;      // the highest type known

enum class RecordResult { next, end, failed };

struct FileState {
  // Added to the address field of data records. 64 bits wide because a type
  // 04 base reaches 0xFFFF0000: with an address of 0xFFFF and 255 bytes the
  // record's end passes 2^32, and in 32 bits the size warning's comparison
  // would wrap to a small value and stay silent.
  std::uint64_t base = 0;
  bool size_warning_due = true;  // printed once per file at the most
  // The image bytes laid since the last gap or step back: most files lay
  // their records one after the other, so the map of laid bytes is marked
  // once per such run rather than once per record.
  std::size_t run_begin = 0;
  std::size_t run_end = 0;
  // Image bytes below it that are not in the run were laid by nobody yet.
  std::size_t next_laid = 0;
  bool end_record = false;
  bool data_records = false;
  // Data the outputs do not carry, at or past the limit, in record order; a
  // run of records, or one record given again, makes one range.
  LaidRanges past_limit{};
  std::uint64_t past_first = 0;  // the last range: [past_first, past_end)
  std::uint64_t past_end = 0;
  std::uint64_t past_line = 0;  // of the first record with data past the limit
  const char* name = nullptr;
  std::uint64_t line = 0;  // of the record being read, from 1 as an editor counts
};

// Where the reader's words on standard output stop, standard error names the
// file and line, and what was wrong.
[[gnu::format(printf, 2, 3)]] void print_record_error(const FileState& state, const char* format, ...) {
  std::array<char, 160> text{};
  std::va_list values;
  va_start(values, format);
  std::vsnprintf(text.data(), text.size(), format, values);
  va_end(values);
  print_diagnostic(Severity::error, state.name, state.line, text.data());
}

void note_past_limit(FileState& state, std::uint64_t address, std::size_t count) {
  std::uint64_t end = address + count;
  std::uint64_t first = std::max<std::uint64_t>(address, output_size());
  if (first >= end) return;
  LaidRanges& past = state.past_limit;
  if (past.count > 0 && first <= state.past_end && end >= state.past_first) {
    // Joins the last range: only the bytes it adds count.
    first = std::min(first, state.past_first);
    end = std::max(end, state.past_end);
    past.bytes -= static_cast<std::size_t>(state.past_end - state.past_first);
  } else {
    ++past.count;
  }
  if (state.past_line == 0) state.past_line = state.line;
  if (past.count <= past.shown.size()) past.shown[past.count - 1] = {first, end - 1};
  past.bytes += static_cast<std::size_t>(end - first);
  state.past_first = first;
  state.past_end = end;
}

void mark_run(const FileState& state, std::size_t input) { mark_laid_bytes(input, state.run_begin, state.run_end); }

// A data record's `count` bytes at `address`: the size warning, then the
// bytes that fall inside the image stored and their run of laid bytes
// extended or begun. Bytes beyond the image have no place in it.
void lay_data(const std::uint8_t* bytes, std::uint8_t count, std::uint64_t address, FileState& state,
              std::size_t input) {
  state.data_records = true;
  note_past_limit(state, address, count);
  if (state.size_warning_due && static_cast<std::int64_t>(address + count) >= options.cpu_size) {
    print_message("Warning:  HexFile too large for the selected CPU\n");
    state.size_warning_due = false;
  }
  if (address >= FLASHBUF_SIZE) return;
  const auto start = static_cast<std::size_t>(address);
  const std::size_t stored = std::min(std::size_t{count}, FLASHBUF_SIZE - start);
  // The run so far is marked before a step back, so a record given again is
  // told from its marks; one that carries the run on cannot meet the run.
  if (start != state.run_end) {
    mark_run(state, input);
    state.run_begin = start;
    state.next_laid = next_laid(start);
  }
  if (start + stored > state.next_laid) {
    note_laid_again(input, start, bytes, stored, state.line);
    state.next_laid = next_laid(start + stored);
  }
  std::memcpy(flashbuf.data() + start, bytes, stored);
  state.run_end = start + stored;
}

RecordResult read_record(const Line& line, FileState& state, std::size_t input) {
  if (line.text[0] != ':') {
    print_message("Error:  not a Intel Hex file\n");
    print_record_error(state, "not an Intel HEX record: a record starts with ':'");
    return RecordResult::failed;
  }
  // The header: ':' count(2) address(4) type(2).
  const FieldText record{line.text.data(), line.length};
  const auto count = static_cast<std::uint8_t>(field_value(record, 1, 2));
  const auto address = static_cast<std::uint16_t>(field_value(record, 3, 4));
  const auto type = static_cast<std::uint8_t>(field_value(record, 7, 2));
  if (type == TYPE_END_OF_FILE) {
    state.end_record = true;
    return RecordResult::end;  // its checksum is not checked
  }

  const bool is_address_record = type == TYPE_EXTENDED_SEGMENT_ADDRESS || type == TYPE_EXTENDED_LINEAR_ADDRESS;
  // The data bytes, then the checksum: two characters each.
  const FieldText byte_fields{line.text.data() + 9, 2 * std::size_t{count} + 2};
  if (line.length < 9 + byte_fields.length || type > TYPE_START_LINEAR_ADDRESS || (is_address_record && count != 2)) {
    print_message("Error:  bad record %s\n", line.text.data());
    if (type > TYPE_START_LINEAR_ADDRESS) {
      print_record_error(state, "bad record: unknown record type 0x%02X", static_cast<unsigned>(type));
    } else if (line.length < 9 + byte_fields.length) {
      print_record_error(state, "bad record: %u characters, too short for %u data bytes and the checksum",
                         static_cast<unsigned>(line.length), static_cast<unsigned>(count));
    } else {
      print_record_error(state, "bad record: an address record holds 2 bytes, this one %u",
                         static_cast<unsigned>(count));
    }
    return RecordResult::failed;
  }

  // All inside the line now: the loop ends with the byte fields, so
  // field_value's length test never cuts a byte short. A sound record's
  // bytes, checksum included, sum to 0 (mod 256).
  std::array<std::uint8_t, 256> bytes;
  auto sum = static_cast<std::uint8_t>(count + (address >> 8) + (address & 0xFF) + type);
  for (std::size_t i = 0; 2 * i < byte_fields.length; ++i) {
    bytes[i] = static_cast<std::uint8_t>(field_value(byte_fields, 2 * i, 2));
    sum = static_cast<std::uint8_t>(sum + bytes[i]);
  }
  // Laid, and the size warning printed, before the checksum is compared: a
  // file that fails ends the run before any output file is created, so no
  // output carries a bad record.
  if (type == TYPE_DATA) lay_data(bytes.data(), count, state.base + address, state, input);
  if (sum != 0) {
    print_message("Error:  Checksum wrong %s\n", line.text.data());
    const std::uint8_t given = bytes[count];
    print_record_error(state, "checksum wrong: 0x%02X expected, 0x%02X given",
                       static_cast<unsigned>(static_cast<std::uint8_t>(given - sum)), static_cast<unsigned>(given));
    return RecordResult::failed;
  }
  if (is_address_record) {
    const std::uint64_t value = std::uint64_t{bytes[0]} << 8 | bytes[1];
    state.base = type == TYPE_EXTENDED_SEGMENT_ADDRESS ? value << 4 : value << 16;
  }
  return RecordResult::next;
}

// The line buffers are large; one set serves every call.
LineSource source;
Line line;

int read_records(std::FILE* file, FileState& state, std::size_t input) {
  start_lines(source, file);
  for (;;) {
    // The line about to be read: a read error or a line too long is in it.
    ++state.line;
    switch (next_line(source, line)) {
      case LineStatus::end:
        return FILE_OK;  // a file without an end-of-file record is accepted
      case LineStatus::read_error:
        print_record_error(state, "%s", std::strerror(errno));
        return FILE_FAILED;
      case LineStatus::too_long:
        print_message("Error:  line too long\n");
        print_record_error(state, "line too long: more than %u characters", static_cast<unsigned>(MAX_LINE_CHARS));
        return FILE_FAILED;
      case LineStatus::line:
        break;
    }
    switch (read_record(line, state, input)) {
      case RecordResult::next:
        break;
      case RecordResult::end:
        return FILE_OK;
      case RecordResult::failed:
        return FILE_FAILED;
    }
  }
}

// What a file that reads without error may still hide: an end cut off, no
// data at all, bytes given twice, or data the outputs do not carry. Text
// after the end record, a Ctrl-Z after it and address records are normal and
// draw nothing. Its values are complete now, kept for the files after it.
void warn_about(const char* name, const FileState& state, std::size_t input) {
  keep_given_bytes(input);
  if (!state.end_record) warn_missing_end_record(name);
  if (!state.data_records) warn_no_data_records(name);
  report_given_twice(name, input);
  if (state.past_limit.count > 0) warn_past_limit(name, state.past_line, state.past_limit, output_size());
}

}  // namespace

int read_hex_file(const char* name, std::size_t input) {
  if (name == nullptr || name[0] == '\0') return FILE_FAILED;
  forget_laid_bytes(input);
  // Binary mode: the line source handles CR and Ctrl-Z alike on every host.
  std::FILE* file = std::fopen(name, "rb");
  if (file == nullptr) {
    print_file_error(name, errno);
    return FILE_FAILED;
  }
  remember_input_file(input, name, file);
  FileState state;
  state.name = name;
  const int result = read_records(file, state, input);
  std::fclose(file);
  if (result == FILE_OK) {
    mark_run(state, input);
    warn_about(name, state, input);
  }
  return result;
}
