#include "files/input_warning.h"

#include <array>
#include <cinttypes>
#include <cstdio>

#include "front/console.h"
#include "front/options.h"
#include "front/quoted_name.h"

namespace {

// Room for two quoted names, three ranges, their count and a verdict naming a file.
using LineText = std::array<char, 4096>;

// Appends to `text` after its first `used` characters; returns the new length.
template <typename... Values>
std::size_t append(LineText& text, std::size_t used, const char* format, Values... values) {
  if (used >= text.size()) return used;
  const int added = std::snprintf(text.data() + used, text.size() - used, format, values...);
  return added < 0 ? used : used + static_cast<std::size_t>(added);
}

// 4096 as "4,096": a byte count a reader takes in at a glance.
std::size_t append_grouped(LineText& text, std::size_t used, std::size_t value) {
  const auto low = static_cast<unsigned>(value % 1000);
  if (value >= 1000) return append(text, append_grouped(text, used, value / 1000), ",%03u", low);
  return append(text, used, "%u", low);
}

// "LEAD RANGES" at the start of `text`; returns its length.
std::size_t start_with_ranges(LineText& text, const char* lead, const LaidRanges& ranges) {
  std::size_t used = append(text, 0, "%s ", lead);
  for (std::size_t i = 0; i < ranges.count && i < ranges.shown.size(); ++i) {
    used = append(text, used, i == 0 ? "0x%04" PRIX64 "-0x%04" PRIX64 : ", 0x%04" PRIX64 "-0x%04" PRIX64,
                  ranges.shown[i].first, ranges.shown[i].last);
  }
  if (ranges.count <= ranges.shown.size()) return used;
  const std::size_t more = ranges.count - ranges.shown.size();
  used = append(text, used, " and %u more range%s, ", static_cast<unsigned>(more), more == 1 ? "" : "s");
  return append(text, append_grouped(text, used, ranges.bytes), "%s", " bytes in all");
}

void print_warning(const char* name, std::uint64_t line, const char* text) {
  print_diagnostic(Severity::warning, name, line, text);
}

}  // namespace

void warn_missing_end_record(const char* name) {
  print_warning(name, 0, "no end-of-file record; the file may be cut short");
}

void warn_no_data_records(const char* name) { print_warning(name, 0, "no data records"); }

void report_given_twice(const char* name, std::size_t input) {
  for (const Again kind : {Again::differing, Again::alike}) {
    // A file that gave nothing twice has no ranges to look for.
    const std::uint64_t line = first_line_again(input, input, kind);
    const LaidRanges ranges = line != 0 ? laid_twice(input, kind) : LaidRanges{};
    if (ranges.count == 0) continue;
    LineText text{};
    const std::size_t used = start_with_ranges(text, "data for", ranges);
    if (kind == Again::alike) {
      append(text, used, "%s", " given twice with the same values");
      print_diagnostic(Severity::note, name, line, text.data());
    } else {
      append(text, used, "%s", " given twice with other values; the later record is kept");
      print_warning(name, line, text.data());
    }
  }
}

void report_both_give(const char* kept, std::uint64_t line, const char* other, const LaidRanges& ranges, Again kind) {
  const QuotedName kept_name = quoted_name(kept);
  const QuotedName other_name = quoted_name(other);
  LineText lead{};
  append(lead, 0, "%s and %s give %s data for", kept_name.data(), other_name.data(),
         kind == Again::alike ? "the same" : "different");
  LineText text{};
  const std::size_t used = start_with_ranges(text, lead.data(), ranges);
  if (kind == Again::alike) {
    print_diagnostic(Severity::note, kept, line, text.data());
    return;
  }
  append(text, used, "; %s is kept", kept_name.data());
  print_warning(kept, line, text.data());
}

void warn_past_limit(const char* name, std::uint64_t line, const LaidRanges& ranges, std::size_t limit) {
  LineText text{};
  append(text, start_with_ranges(text, "data for", ranges), " lies past the limit 0x%04X and is not in the outputs",
         static_cast<unsigned>(limit));
  print_warning(name, line, text.data());
}

void warn_no_input_file() { print_warning(nullptr, 0, "no input file; the outputs carry only the fill"); }

void warn_key_length(const char* key_file, std::size_t length) {
  LineText text{};
  const auto given = static_cast<unsigned>(length);
  if (length > TEA_KEY_BYTES) {
    append(text, 0, "the key has %u characters, not 16; only its first 16 are used", given);
  } else if (length + 1 == TEA_KEY_BYTES) {
    append(text, 0, "%s", "the key has 15 characters, not 16; a NUL byte completes it");
  } else {
    append(text, 0,
           "the key has %u characters, not 16; a NUL byte and the last %u bytes of the previous key complete it", given,
           static_cast<unsigned>(TEA_KEY_BYTES - 1 - length));
  }
  print_warning(key_file, 0, text.data());
}

void warn_source_date_epoch_ignored() {
  print_warning(nullptr, 0,
                "SOURCE_DATE_EPOCH is not a decimal number; ignored, the random fill is seeded from the clock");
}
