// Intel HEX input and the two outputs. Each call opens, uses and closes its
// file, prints its own messages, and returns FILE_OK or FILE_FAILED.
#pragma once

#include <cstddef>

constexpr int FILE_OK = 0;
constexpr int FILE_FAILED = -1;

// Lays the records of one Intel HEX file into flashbuf, and the bytes it lays
// into the map of laid bytes as `input` (below MAX_HEXFILES). It also records
// the file it opened as that input (input_files.h), so that no output of the
// run replaces it. A file read without error draws a warning on standard
// error for a missing end record, for no data records and for image bytes it
// gives twice differently (a note where both give the same values).
int read_hex_file(const char* name, std::size_t input = 0);

// The first options.limit image bytes, raw.
int write_bin_file(const char* name);

// The first options.limit image bytes, rounded up to whole 16-byte records.
int write_hex_file(const char* name);
