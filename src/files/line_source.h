// The lines of an input file, with the same bytes on every host: the file is
// read in binary blocks, every CR byte is dropped wherever it stands, and a
// Ctrl-Z byte ends the file as if its end had been reached. A reader may take
// a plain line in place, straight from the block, and the others as copies.
#pragma once

#include <array>
#include <cstddef>
#include <cstdio>

// Room for a record of 255 data bytes (521 characters) and trailing text.
constexpr std::size_t MAX_LINE_CHARS = 1023;

// Bytes read from the file at a time.
constexpr std::size_t LINE_BLOCK_SIZE = 16384;

// The bytes a line taken in place may span: a record of 255 data bytes, CR, LF.
constexpr std::size_t IN_PLACE_LINE_BYTES = 523;

// One line as read: CR bytes dropped, its LF kept when it has one, then NUL.
struct Line {
  std::array<char, MAX_LINE_CHARS + 2> text;
  std::size_t length;  // characters before the LF
};

struct LineSource {
  std::FILE* file;
  // The unread bytes of a block, with those kept from the last one in front;
  // the room after them lets a line taken in place be looked at in one piece.
  std::array<char, LINE_BLOCK_SIZE + IN_PLACE_LINE_BYTES> block;
  std::size_t position;  // next unread byte of the block
  std::size_t filled;    // bytes of the block that hold file data; a NUL follows
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

// Moves the unread bytes to the front and reads the file after them; false
// when nothing more comes: at the end of the file, after a Ctrl-Z, or on a
// read error (then ferror tells).
bool refill_block(LineSource& source);

// The unread bytes: IN_PLACE_LINE_BYTES of them may be looked at. The file's
// bytes end with a NUL, and what lies past it means nothing; so a line that
// holds no NUL, CR or Ctrl-Z and has its LF in view is the file's next line.
inline const char* unread_bytes(LineSource& source) {
  if (source.filled - source.position < IN_PLACE_LINE_BYTES) refill_block(source);
  return source.block.data() + source.position;
}

// Passes over such a line of `count` bytes, its LF included.
inline void skip_line(LineSource& source, std::size_t count) { source.position += count; }
