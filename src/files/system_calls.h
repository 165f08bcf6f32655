// The system calls the whole-or-nothing output and the console make, each
// giving 0 or the system's reason. One source file per platform implements
// them (system_calls_posix.cpp, system_calls_windows.cpp), so the output's
// flow reads the same on every host.
#pragma once

#include <cstddef>
#include <cstdint>

using SystemFile = std::intptr_t;    // a descriptor, or a HANDLE
using SystemError = std::uint32_t;   // an errno value, or GetLastError()
constexpr SystemFile NO_SYSTEM_FILE = -1;

// The characters that end a directory part of a path.
extern const char PATH_SEPARATORS[];
// Reasons for the tool's own refusals, in the platform's codes.
extern const SystemError SYSTEM_ACCESS_DENIED;
extern const SystemError SYSTEM_NAME_TOO_LONG;
extern const SystemError SYSTEM_TOO_MANY_FILES;

// What the flow needs to know of an existing directory entry.
struct EntryStatus {
  bool is_link;
  bool is_regular;
  bool writable;            // any write permission bit (Windows: not read-only)
  bool owned_by_runner;
  unsigned mode;            // permission bits
  std::uint32_t group;
};

// The entry NAME itself, not what a link there points to.
SystemError entry_status(const char* name, EntryStatus& status);
// The error says that nothing of that name exists.
bool is_missing(SystemError error);

// 0666 less the umask (read once: reading the umask means setting it).
unsigned new_file_mode();
// Fresh bits for a temporary name.
std::uint64_t random_bits();

// Creates NAME for writing only if nothing of that name exists, not even a
// dangling symlink, private to the user (mode 0600).
SystemError create_new_file(SystemFile& file, const char* name);
// The reason create_new_file gives when the name is taken.
bool is_name_taken(SystemError error);
// Writes all SIZE bytes, or stops at the first failure.
SystemError write_file(SystemFile file, const void* data, std::size_t size);
// Give the file its group (before its mode: a group change can clear mode
// bits) and its permission bits. Nothing to do on Windows.
SystemError set_group(SystemFile file, std::uint32_t group);
SystemError set_mode(SystemFile file, unsigned mode);
// Forces the file's data to disk.
SystemError sync_file(SystemFile file);
SystemError close_file(SystemFile& file);
// Renames FROM onto TARGET, replacing the directory entry TARGET in one step.
SystemError replace_file(const char* from, const char* target);
// Forces the directory's entries to disk; a directory that cannot be read
// (mode 0300) is skipped, where the files' own syncs stand.
SystemError sync_directory(const char* name);
// Async-signal-safe: called from the signal handlers too.
SystemError remove_file(const char* name);

// Installs CLEANUP for every catchable signal that ends the process (on
// Windows: Ctrl-C, Ctrl-Break, a closed console); the handler calls it and
// then ends the process as the signal would. A signal ignored at the start
// stays ignored. SIGXFSZ is ignored, so a file-size limit fails the write.
void install_signal_handlers(void (*cleanup)());
// Holds the handlers off between the two calls; holds do not nest.
void hold_signals();
void release_signals();

// "qrv_tools: NAME: REASON" (and "qrv_tools: NAME: WHAT: REASON" with WHAT)
// on standard error; Windows reasons are given in the C library's words
// where it has them.
void print_system_error(const char* name, SystemError error, const char* what = nullptr);

// Line buffered where the C library honours that, unbuffered on Windows.
void buffer_stdout_by_line();
