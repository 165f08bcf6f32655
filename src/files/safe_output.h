// Output files that appear whole or not at all: the bytes go to a private
// temporary file beside the target, which replaces the target only after
// every byte was written and the file was closed without error.
//
// The temporary file is called ".qrv-XXXXXX.tmp" (six random letters and
// digits), whatever the target is called, so every name the file system
// accepts can be written. It is created exclusively with mode 0600, never
// through a symlink, and gets its final mode just before the rename: the
// replaced target's permission bits, or 0666 less the umask for a new file.
// Only the directory entry named is replaced: a symlink there is replaced by
// the new file and counts as a new file; what it pointed to is left alone.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// Room for the target's directory and the temporary name.
constexpr std::size_t SAFE_OUTPUT_NAME_SIZE = 512;

struct SafeOutput {
  const char* target;
  std::array<char, SAFE_OUTPUT_NAME_SIZE> temp_name;
#ifdef _WIN32
  void* handle;
#else
  int fd;
#endif
  int slot;                 // entry in the list of files to remove on a signal
  unsigned final_mode;      // permission bits given just before the rename
  std::uint32_t error;      // system error of the first failed step, 0 if none
};

// Reads the umask and installs the handlers that remove this run's temporary
// files on SIGINT, SIGTERM and SIGHUP (Ctrl-C, Ctrl-Break and a closed
// console on Windows), then end the process as the signal would have. A
// signal that was ignored when the process started stays ignored. Called once
// at the start of a run.
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

// "qrv_tools: NAME: REASON" on standard error, REASON being strerror(error).
void print_file_error(const char* name, int error);
