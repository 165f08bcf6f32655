#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "files/firmware_files.h"
#include "files/hex_fields.h"
#include "files/input_files.h"
#include "files/input_warning.h"
#include "files/laid_bytes.h"
#include "files/line_source.h"
#include "files/output_size.h"
#include "front/console.h"
#include "front/flashbuf.h"
#include "front/options.h"

namespace {

struct FileState {
  // Added to the address field of data records; 64 bits, since a type 04
  // base of 0xFFFF0000 plus 0xFFFF and 255 bytes passes 2^32.
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

using Message = std::array<char, 100>;

// The first of the three rules for a record other than the end record that
// `record` breaks, as its message in `text`; nullptr when it keeps them all.
const char* broken_rule(const Record& record, std::size_t line_length, Message& text) {
  const unsigned count = record.count;
  if (record.type > TYPE_START_LINEAR_ADDRESS) {
    std::snprintf(text.data(), text.size(), "bad record: unknown record type 0x%02X", unsigned{record.type});
  } else if (line_length < 11 + 2 * std::size_t{count}) {  // ':' count(2) address(4) type(2) data checksum(2)
    std::snprintf(text.data(), text.size(), "bad record: %u characters, too short for %u data bytes and the checksum",
                  static_cast<unsigned>(line_length), count);
  } else if ((record.type == TYPE_EXTENDED_SEGMENT_ADDRESS || record.type == TYPE_EXTENDED_LINEAR_ADDRESS) &&
             count != 2) {
    std::snprintf(text.data(), text.size(), "bad record: an address record holds 2 bytes, this one %u", count);
  } else {
    return nullptr;
  }
  return text.data();
}

// A record that keeps the rules: the end record ends the file (true), a data
// record is laid, an address record sets the base.
bool take_record(const Record& record, FileState& state, std::size_t input) {
  if (record.type == TYPE_END_OF_FILE) {
    state.end_record = true;
    return true;  // its checksum is not checked
  }
  if (record.type == TYPE_DATA) lay_data(record.bytes.data(), record.count, state.base + record.address, state, input);
  if (record.type == TYPE_EXTENDED_SEGMENT_ADDRESS || record.type == TYPE_EXTENDED_LINEAR_ADDRESS) {
    const std::uint64_t value = std::uint64_t{record.bytes[0]} << 8 | record.bytes[1];
    state.base = record.type == TYPE_EXTENDED_SEGMENT_ADDRESS ? value << 4 : value << 16;
  }
  return false;
}

// Nearly every line is a sound record of plain digits: it is taken in place,
// in one pass. Any other line is read again as a copy.
std::size_t sound_plain_record(const char* text, Record& record) {
  const std::size_t taken = plain_record(text, record);
  if (taken == 0 || record.type == TYPE_END_OF_FILE) return taken;
  Message unused;  // a record that breaks a rule is read again, and its message printed then
  return record.sum == 0 && broken_rule(record, 11 + 2 * std::size_t{record.count}, unused) == nullptr ? taken : 0;
}

// A copied line: its fields convert as strtol does. A line that is no record
// or breaks a rule prints its fault and gives false.
bool read_record(const Line& line, FileState& state, Record& record) {
  if (line.text[0] != ':') {
    print_message("Error:  not a Intel Hex file\n");
    print_record_error(state, "not an Intel HEX record: a record starts with ':'");
    return false;
  }
  header_fields(line, record);
  if (record.type == TYPE_END_OF_FILE) return true;
  Message message;
  if (const char* broken = broken_rule(record, line.length, message)) {
    print_message("Error:  bad record %s\n", line.text.data());
    print_record_error(state, "%s", broken);
    return false;
  }
  byte_fields(line, record);
  return true;
}

// The line buffers are large; one set serves every call.
LineSource source;
Line line;

int read_records(std::FILE* file, FileState& state, std::size_t input) {
  start_lines(source, file);
  Record record;
  for (;;) {
    // The line about to be read: a read error or a line too long is in it.
    ++state.line;
    if (const std::size_t taken = sound_plain_record(unread_bytes(source), record)) {
      skip_line(source, taken);
    } else {
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
          if (!read_record(line, state, record)) return FILE_FAILED;
          break;
      }
    }
    // Taken, a data record laid and the size warning printed, before a wrong
    // checksum (only a copied line has one) fails the file: a file that fails
    // ends the run before any output file is created, so no output carries
    // a bad record.
    if (take_record(record, state, input)) return FILE_OK;
    if (record.sum != 0) {
      print_message("Error:  Checksum wrong %s\n", line.text.data());
      const std::uint8_t given = record.bytes[record.count];
      print_record_error(state, "checksum wrong: 0x%02X expected, 0x%02X given",
                         static_cast<unsigned>(static_cast<std::uint8_t>(given - record.sum)), unsigned{given});
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
