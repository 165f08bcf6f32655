// Output files that appear whole or not at all: the bytes go to a private
// temporary file beside the target, which replaces the target only after
// every byte was written and the file was closed without error.
//
// The temporary file has a short random name (temp_name.h), is created
// exclusively with mode 0600, never through a symlink, and gets its final
// mode just before the rename (target_check.h). Only the directory entry
// named is replaced: a symlink there is replaced by the new file; what it
// pointed to is left alone.
#pragma once

#include <cstddef>

#include "files/native_file.h"
#include "files/system_error.h"
#include "files/temp_name.h"

struct SafeOutput {
  const char* target;
  TempPath temp_name;
  NativeFile file;
  int slot;             // entry in the list of files to remove on a signal
  unsigned final_mode;  // permission bits given just before the rename
  SystemError error;    // reason of the first failed step, 0 if none
};

// Reads the umask and installs the handlers that remove this run's temporary
// files on SIGINT, SIGTERM and SIGHUP (cleanup_on_signal.h). Called once at
// the start of a run.
void prepare_safe_output();

// Refuses a target that exists and is read-only, or one in a read-only
// directory; otherwise creates the temporary file. False on failure, after a
// line on standard error naming the target and the reason.
bool open_safe_output(SafeOutput& out, const char* target);

// A failed write is remembered; close_safe_output then fails.
void write_safe_output(SafeOutput& out, const void* data, std::size_t size);

// Closes the temporary file and renames it onto the target. On any failure,
// now or in an earlier write, removes the temporary file, leaves the target
// as it was, prints the reason on standard error and returns false.
bool close_safe_output(SafeOutput& out);

// The three steps above for data that is already in one piece.
bool write_file_whole(const char* target, const void* data, std::size_t size);
