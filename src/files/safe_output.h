// Output files that appear whole or not at all: the bytes go to a temporary
// file beside the target, which replaces the target only after every byte
// was written and the file was closed without error.
#pragma once

#include <array>
#include <cstddef>
#include <cstdio>

struct SafeOutput {
  const char* target;
  std::array<char, 512> temp_name;
  std::FILE* file;
  unsigned target_mode;  // permission bits the replaced target had, or 0
  bool failed;
};

// Refuses a target that exists and is read-only, or one in a read-only
// directory; otherwise creates the temporary file. False on failure.
bool open_safe_output(SafeOutput& out, const char* target);

// A short write is remembered; close_safe_output then fails.
void write_safe_output(SafeOutput& out, const void* data, std::size_t size);

// Closes the temporary file and renames it onto the target. On any failure,
// now or in an earlier write, removes the temporary file, leaves the target
// as it was and returns false.
bool close_safe_output(SafeOutput& out);

// The three steps above for data that is already in one piece.
bool write_file_whole(const char* target, const void* data, std::size_t size);
