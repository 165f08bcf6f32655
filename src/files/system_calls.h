// The system calls of the whole-or-nothing output and the console, each giving
// 0 or the system's reason and printing nothing; system_calls_posix.cpp (with
// permissions_posix.cpp) and system_calls_windows.cpp implement them, so the
// flow reads alike everywhere.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>

using SystemFile = std::intptr_t;   // a descriptor, or a HANDLE
using SystemError = std::uint32_t;  // an errno value, or GetLastError()
using ReasonText = std::array<char, 256>;
constexpr SystemFile NO_SYSTEM_FILE = -1;

// What ends the directory part of a name: "/", on Windows also "\\" and a
// drive's ":", so C:fw.BIN gets its temporary file on that drive.
extern const char PATH_SEPARATORS[];
// The length of NAME's directory part, its last separator included; 0 for a
// name without one.
std::size_t directory_length(const char* name);
// Reasons for the tool's own refusals, in the platform's codes.
extern const SystemError SYSTEM_ACCESS_DENIED;
extern const SystemError SYSTEM_NAME_TOO_LONG;

struct EntryStatus {
  bool is_link;
  bool is_regular;
  bool writable;  // any write permission bit (Windows: not read-only)
  bool owned_by_runner;
  unsigned mode;  // permission bits
  std::uint32_t group;
  std::uint64_t links, device, inode;
};

// Which file a name leads to, whatever the name: every name of one file
// (another case of it on a case-insensitive file system, a hard link, a
// symlink to it) gives the same volume and index. Device and inode on POSIX,
// volume serial and file index on Windows. A file system in user space may
// number each spelling of a name apart (FAT over FUSE): there the size and
// times, the directory and its listing tell the same file.
struct FileIdentity {
  std::uint64_t volume;
  std::uint64_t index;
  std::uint64_t size;
  std::uint64_t modified;  // in the platform's finest unit
  std::uint64_t changed;   // status change on POSIX, creation on Windows
};

// The file an open stream reads.
SystemError stream_identity(std::FILE* stream, FileIdentity& identity);
// The file NAME leads to, following links; is_missing() where there is none.
SystemError named_identity(const char* name, FileIdentity& identity);
// Both names are entries of DIRECTORY: two files, not two spellings of one.
// False where the directory cannot be read, or its names ignore case (Windows).
bool listed_apart(const char* directory, const char* one, const char* other);

// The entry NAME itself, not what a link there points to.
SystemError entry_status(const char* name, EntryStatus& status);
// Opens NAME, not through a link, to read its ACL; NO_SYSTEM_FILE where it
// is gone, a link or another file than JUDGED now. The reason where it cannot
// be opened or its status read: that state cannot be judged.
SystemError open_entry(SystemFile& file, const char* name, const EntryStatus& judged);
// The error says that nothing of that name exists.
bool is_missing(SystemError error);
std::uint64_t random_bits();

// Creates NAME for writing only if nothing of that name exists, not even a
// dangling symlink, with what the file system gives a new file of MODE (less
// the umask, or within the directory's default ACL).
SystemError create_new_file(SystemFile& file, const char* name, unsigned mode);
bool is_name_taken(SystemError error);
// Writes all SIZE bytes, or stops at the first failure.
SystemError write_file(SystemFile file, const void* data, std::size_t size);
// GROUP, then FROM's access ACL, or where it has none MODE; where the group
// cannot be given or FROM's ACL not be seen, no ACL and no group bits. What the
// file system cannot hold (it refuses owners, modes or ACLs) is left as it
// gave it, which is no wider; a call a signal interrupts is made again.
SystemError keep_permissions(SystemFile from, SystemFile to, unsigned mode, std::uint32_t group);
// FROM may carry an access ACL: one that cannot be read counts as one.
bool may_have_acl(SystemFile from);
// The permission bits and the group FILE has.
SystemError file_permissions(SystemFile file, unsigned& mode, std::uint32_t& group);
// Sets FILE's permission bits to MODE; a file system that cannot hold them
// leaves what it gave.
SystemError set_permissions(SystemFile file, unsigned mode);
// Forces the file's data to disk.
SystemError sync_file(SystemFile file);
SystemError close_file(SystemFile& file);
// Renames FROM onto TARGET, replacing the directory entry TARGET in one step.
SystemError replace_file(const char* from, const char* target);
// Forces the directory's entries to disk; one the runner cannot read (mode
// 0300) cannot be opened and is skipped: the files' own syncs stand.
SystemError sync_directory(const char* name);
// Async-signal-safe: called from the signal handlers too.
SystemError remove_file(const char* name);

// CLEANUP runs on every catchable signal whose default action ends the
// process (on Windows: Ctrl-C, Ctrl-Break, a closed console), which then ends
// as the signal would. A signal not at its default (ignored from the start)
// is left alone. SIGXFSZ is ignored: a file-size limit fails the write (EFBIG).
void install_signal_handlers(void (*cleanup)());
// Holds the handlers off in between; holds do not nest.
void hold_signals();
void release_signals();

// The reason in words: the C library's where it has them (also on Windows).
ReasonText reason_text(SystemError error);

// Line buffered where the C library honours that, unbuffered on Windows.
void buffer_stdout_by_line();

// The permission bits an open stream's file gives its group and others; 0 on
// Windows, whose files carry no such bits.
unsigned shared_permission_bits(std::FILE* stream);
