// Output files that appear whole or not at all, also after a power cut: the
// bytes go to a private temporary file beside the target, ".qrv-XXXXXX.tmp",
// created exclusively with mode 0600, never through a symlink. It gets its
// final mode and group, is forced to disk and renamed onto the target; the
// directory is synced after the renames. Only the directory entry named is
// replaced: a symlink there is replaced, what it pointed to is left alone.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// Room for the target's directory and the temporary name.
using TempPath = std::array<char, 512>;

// Stays in place while open: it is a link in the list of files to remove on
// a signal.
struct SafeOutput {
  const char* target;
  TempPath temp_name;
  std::intptr_t file;   // the platform's file (system_calls.h)
  SafeOutput* next;     // the next open output in that list
  unsigned final_mode;  // permission bits given just before the rename
  std::uint32_t group;  // the replaced file's group, when it is kept
  bool keeps_group;
  std::uint32_t error;  // reason of the first failed step, 0 if none
};

// The length of NAME's directory part, its last separator included; 0 for a
// name without one. On Windows '\\' and a drive's ':' separate too.
std::size_t directory_length(const char* name);

// Reads the umask and installs the handlers that remove this run's temporary
// files on a signal that ends the process. Called once at the start of a run.
void prepare_safe_output();

// Refuses a target that exists and is read-only, or one in a read-only
// directory, or whose status cannot be read; otherwise creates the temporary
// file. False on failure, after a line on standard error naming the target
// and the reason.
bool open_safe_output(SafeOutput& out, const char* target);

// A failed write is remembered; close_safe_output then fails.
void write_safe_output(SafeOutput& out, const void* data, std::size_t size);

// Gives the file its mode and group, forces it to disk and renames it onto
// the target. On any failure, now or in an earlier write, removes the
// temporary file, leaves the target as it was, prints the reason on standard
// error and returns false.
bool close_safe_output(SafeOutput& out);

// The three steps above for data that is already in one piece.
bool write_file_whole(const char* target, const void* data, std::size_t size);

// Syncs each directory an output was renamed into since the last call, once.
// False after a line on standard error naming the directory and the reason.
bool sync_output_directories();
