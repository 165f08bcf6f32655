#include "files/line_source.h"

#include <cstring>

namespace {

constexpr char CTRL_Z = 0x1A;

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
  return LineStatus::line;
}

}  // namespace

void start_lines(LineSource& source, std::FILE* file) {
  source.file = file;
  source.position = 0;
  source.filled = 0;
  source.ended = false;
}

LineStatus next_line(LineSource& source, Line& line) {
  // The length is counted here and stored in `line` once, as the line ends.
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
