// Output files that appear whole or not at all, also after a power cut: the
// bytes go to a temporary file beside the target, ".qrv-XXXXXX.tmp", created
// exclusively, never through a symlink, synced and renamed onto the target
// (only that entry: a symlink there, not what it points to). The runner's own
// regular file with one link passes on its mode, group and access ACL (the
// bytes stay private until then); another one narrows what a new file gets.
// Each failure names its step on standard error: "NAME: syncing: REASON".
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// A path the safe output makes: the target's directory, or the temporary
// file's name in it.
using PathText = std::array<char, 512>;

// Stays in place while open: it is a link in the list of files to remove on
// a signal.
struct SafeOutput {
  const char* target;
  PathText temp_name;
  std::intptr_t file;      // the platform's file (system_calls.h)
  SafeOutput* next;        // the next open output in that list
  bool keeps_permissions;  // of the runner's own file it replaces
  bool narrows;            // to another user's file's
  unsigned mode;
  std::uint32_t group;
  std::intptr_t judged = -1;  // the file judged, until its ACL is copied
  std::uint32_t error;        // reason of the first failed step, 0 if none
  const char* step;           // and that step's name
};

// Installs the handlers that remove this run's temporary files on a signal
// that ends the process. Called once at the start of a run.
void prepare_safe_output();

// Refuses a target that is read-only, in a read-only directory, or whose status
// cannot be read; otherwise creates the temporary file. False on failure,
// after a line on standard error naming the target and the reason.
bool open_safe_output(SafeOutput& out, const char* target);

// A failed write is remembered; close_safe_output then fails.
void write_safe_output(SafeOutput& out, const void* data, std::size_t size);

// Passes on the permissions kept, forces the file to disk and renames it onto
// the target. On any failure, now or in an earlier write, removes the
// temporary file, leaves the target as it was, prints the reason on standard
// error and returns false.
bool close_safe_output(SafeOutput& out);

// The three steps above for data that is already in one piece.
bool write_file_whole(const char* target, const void* data, std::size_t size);

// Syncs the directory of the outputs named, which the run replaced; null
// names one not replaced. On failure each is named on standard error as
// replaced but perhaps not on disk, and the result is false.
bool sync_output_directory(const char* first, const char* second);
