// The lines of an input file, with the same bytes on every host: the file is
// read in binary blocks, every CR byte is dropped wherever it stands, and a
// Ctrl-Z byte ends the file as if its end had been reached.
#pragma once

#include <array>
#include <cstddef>
#include <cstdio>

// Room for a record of 255 data bytes (521 characters) and trailing text.
constexpr std::size_t MAX_LINE_CHARS = 1023;

// Bytes read from the file at a time.
constexpr std::size_t LINE_BLOCK_SIZE = 16384;

// One line as read: CR bytes dropped, its LF kept when it has one, then NUL.
struct Line {
  std::array<char, MAX_LINE_CHARS + 2> text;
  std::size_t length;  // characters before the LF
};

struct LineSource {
  std::FILE* file;
  std::array<char, LINE_BLOCK_SIZE> block;
  std::size_t position;  // next unread byte of the block
  std::size_t filled;    // bytes of the block that hold file data
  bool ended;            // end of file, read error or Ctrl-Z seen
};

enum class LineStatus {
  line,        // `line` holds the next line
  end,         // no line is left (end of file or Ctrl-Z)
  too_long,    // a line holds more than MAX_LINE_CHARS characters
  read_error,  // reading failed (ferror tells)
};

// Starts reading the open `file` from its current position.
void start_lines(LineSource& source, std::FILE* file);

// Reads the next line into `line`; a last line without LF is a line too.
// Any status but `line` is final: the caller stops reading there.
LineStatus next_line(LineSource& source, Line& line);
