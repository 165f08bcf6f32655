#include "files/line_source.h"

#include <cstring>

namespace {

constexpr char CTRL_Z = 0x1A;

// Ends the line after `length` characters, with its LF when it has one.
LineStatus end_line(Line& line, std::size_t length, bool with_lf) {
  if (with_lf) line.text[length] = '\n';
  line.text[length + (with_lf ? 1 : 0)] = '\0';
  line.length = length;
  return LineStatus::line;
}

}  // namespace

bool refill_block(LineSource& source) {
  if (source.ended) return false;
  const std::size_t kept = source.filled - source.position;
  std::memmove(source.block.data(), source.block.data() + source.position, kept);
  const std::size_t read = std::fread(source.block.data() + kept, 1, LINE_BLOCK_SIZE - kept, source.file);
  source.position = 0;
  source.filled = kept + read;
  source.block[source.filled] = '\0';
  if (read == 0) source.ended = true;
  return read != 0;
}

void start_lines(LineSource& source, std::FILE* file) {
  source.file = file;
  source.position = 0;
  source.filled = 0;
  source.block[0] = '\0';
  source.ended = false;
}

LineStatus next_line(LineSource& source, Line& line) {
  std::size_t length = 0;
  for (;;) {
    if (source.position == source.filled && !refill_block(source)) {
      if (std::ferror(source.file) != 0) return LineStatus::read_error;
      return length == 0 ? LineStatus::end : end_line(line, length, false);
    }
    const char c = source.block[source.position++];
    if (c == '\n') return end_line(line, length, true);
    if (c == '\r') continue;
    if (c == CTRL_Z) {
      source.ended = true;
      source.position = source.filled;
      return length == 0 ? LineStatus::end : end_line(line, length, false);
    }
    if (length == MAX_LINE_CHARS) return LineStatus::too_long;
    line.text[length++] = c;
  }
}
