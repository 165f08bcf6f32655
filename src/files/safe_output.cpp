#include "safe_output.h"

#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/random.h>
#endif
#endif

namespace {

constexpr char TEMP_PREFIX[] = ".qrv-";
constexpr char TEMP_SUFFIX[] = ".tmp";
constexpr std::size_t TEMP_RANDOM_CHARS = 6;
constexpr std::size_t TEMP_NAME_LENGTH = sizeof TEMP_PREFIX - 1 + TEMP_RANDOM_CHARS + sizeof TEMP_SUFFIX - 1;
constexpr char NAME_CHARS[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::uint64_t NAME_CHAR_COUNT = sizeof NAME_CHARS - 1;
// Names taken by other files are skipped; this many in a row means something
// else is wrong.
constexpr int TEMP_TRIES = 100;

#ifdef _WIN32
using SystemError = DWORD;
constexpr SystemError REFUSED = ERROR_ACCESS_DENIED;
constexpr SystemError NAME_TOO_LONG = ERROR_FILENAME_EXCED_RANGE;
constexpr SystemError NO_SLOT = ERROR_TOO_MANY_OPEN_FILES;
SystemError last_error() { return GetLastError(); }
#else
using SystemError = int;
constexpr SystemError REFUSED = EACCES;
constexpr SystemError NAME_TOO_LONG = ENAMETOOLONG;
constexpr SystemError NO_SLOT = EMFILE;
SystemError last_error() { return errno; }
#endif

// Temporary files that exist and were created by this run: the only names a
// signal handler removes. A slot is filled and emptied only while the
// handlers are held off, so it never names a file of someone else.
struct PendingFile {
  std::array<char, SAFE_OUTPUT_NAME_SIZE> name;
  volatile std::sig_atomic_t used;
};
std::array<PendingFile, 2> pending{};

void remove_pending_files() {
  for (PendingFile& file : pending) {
    if (file.used != 0) {
#ifdef _WIN32
      DeleteFileA(file.name.data());
#else
      unlink(file.name.data());
#endif
    }
  }
}

#ifdef _WIN32
CRITICAL_SECTION pending_lock;
bool handler_installed = false;

// Runs on a thread of its own. It keeps the lock, so the main thread cannot
// create or rename another file before the default handler ends the process.
BOOL WINAPI remove_pending_on_break(DWORD event) {
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT) {
    EnterCriticalSection(&pending_lock);
    remove_pending_files();
  }
  return FALSE;
}

struct Held {};
Held hold_signals() {
  if (handler_installed) EnterCriticalSection(&pending_lock);
  return Held{};
}
void release_signals(const Held&) {
  if (handler_installed) LeaveCriticalSection(&pending_lock);
}
#else
constexpr std::array<int, 3> CLEANUP_SIGNALS = {SIGINT, SIGTERM, SIGHUP};

sigset_t cleanup_signal_set() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal_number : CLEANUP_SIGNALS) sigaddset(&set, signal_number);
  return set;
}

// Only async-signal-safe calls: unlink, sigaction, sigprocmask, raise.
extern "C" void remove_pending_and_end(int signal_number) {
  remove_pending_files();
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal_number, &action, nullptr);
  raise(signal_number);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal_number);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

struct Held {
  sigset_t previous;
};
Held hold_signals() {
  Held held{};
  const sigset_t set = cleanup_signal_set();
  sigprocmask(SIG_BLOCK, &set, &held.previous);
  return held;
}
void release_signals(const Held& held) { sigprocmask(SIG_SETMASK, &held.previous, nullptr); }
#endif

// Permission bits of a new file; read once, umask has no read-only form.
unsigned new_file_mode = 0;
bool new_file_mode_known = false;

void learn_new_file_mode() {
  if (new_file_mode_known) return;
#ifdef _WIN32
  new_file_mode = 0666;
#else
  const mode_t mask = umask(0);
  umask(mask);
  new_file_mode = 0666U & ~static_cast<unsigned>(mask);
#endif
  new_file_mode_known = true;
}

#ifdef _WIN32
// The reasons a user meets most, in the C library's words as on other hosts.
int errno_of(SystemError error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_TOO_MANY_OPEN_FILES:
      return EMFILE;
    case ERROR_WRITE_PROTECT:
      return EROFS;
    default:
      return 0;
  }
}
#endif

void print_system_error(const char* name, SystemError error) {
#ifdef _WIN32
  if (errno_of(error) != 0) {
    print_file_error(name, errno_of(error));
    return;
  }
  std::array<char, 256> text{};
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                      text.data(), static_cast<DWORD>(text.size()), nullptr);
  // System texts end in ".\r\n"; the line ends without them, as strerror's.
  std::size_t end = length;
  while (end > 0 && (text[end - 1] == '\n' || text[end - 1] == '\r' || text[end - 1] == '.')) --end;
  text[end] = '\0';
  if (end == 0) std::snprintf(text.data(), text.size(), "error %lu", static_cast<unsigned long>(error));
  std::fprintf(stderr, "qrv_tools: %s: %s\n", name, text.data());
#else
  print_file_error(name, error);
#endif
}

bool is_separator(char c) {
#ifdef _WIN32
  return c == '/' || c == '\\' || c == ':';
#else
  return c == '/';
#endif
}

// Length of the target's directory part, with its last separator.
std::size_t directory_length(const char* target) {
  std::size_t length = 0;
  for (std::size_t i = 0; target[i] != '\0'; ++i) {
    if (is_separator(target[i])) length = i + 1;
  }
  return length;
}

bool has_write_permission(const struct stat& info) {
#ifdef _WIN32
  return (info.st_mode & _S_IWRITE) != 0;
#else
  return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
#endif
}

// Read-only is judged by the permission bits, not by a trial write: a build
// run as an administrator must not overwrite what is marked read-only either.
bool directory_is_read_only(const char* target, std::size_t length) {
#ifdef _WIN32
  // A directory's read-only attribute does not stop writing on Windows.
  static_cast<void>(target);
  static_cast<void>(length);
  return false;
#else
  std::array<char, SAFE_OUTPUT_NAME_SIZE> directory{};
  if (length == 0) {
    directory[0] = '.';
  } else {
    std::memcpy(directory.data(), target, length);  // "dir/" names the directory itself
  }
  struct stat info {};
  return stat(directory.data(), &info) == 0 && !has_write_permission(info);
#endif
}

// The target entry itself, not what a symlink there points to: the rename
// replaces the entry. Sets the final mode; false if the target is read-only.
bool check_target(const char* target, unsigned& final_mode) {
  final_mode = new_file_mode;
  struct stat info {};
#ifdef _WIN32
  if (stat(target, &info) != 0) return true;
  return has_write_permission(info);
#else
  if (lstat(target, &info) != 0 || S_ISLNK(info.st_mode)) return true;
  if (!has_write_permission(info)) return false;
  // Set-id bits are not carried over onto a file this run created.
  final_mode = static_cast<unsigned>(info.st_mode) & 0777U;
  return true;
#endif
}

std::uint64_t mix(std::uint64_t value) {
  value += 0x9E3779B97F4A7C15ULL;
  value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ULL;
  value = (value ^ (value >> 27)) * 0x94D049BB133111EBULL;
  return value ^ (value >> 31);
}

// Fresh bits for each name: from the kernel where it offers them, else the
// clock and the process id, mixed, with a counter so no two tries repeat.
std::uint64_t random_bits() {
  static std::uint64_t counter = 0;
  ++counter;
  std::uint64_t value = 0;
#if defined(__linux__)
  if (getrandom(&value, sizeof value, GRND_NONBLOCK) == static_cast<ssize_t>(sizeof value)) return value;
#endif
#ifdef _WIN32
  LARGE_INTEGER ticks{};
  QueryPerformanceCounter(&ticks);
  value = static_cast<std::uint64_t>(ticks.QuadPart) ^ (std::uint64_t{GetCurrentProcessId()} << 32) ^
          std::uint64_t{GetTickCount()} << 16;
#else
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  value = static_cast<std::uint64_t>(now.tv_nsec) ^ (static_cast<std::uint64_t>(now.tv_sec) << 30) ^
          (static_cast<std::uint64_t>(getpid()) << 40);
#endif
  return mix(value ^ mix(counter));
}

void make_temp_name(SafeOutput& out, std::size_t directory) {
  char* name = out.temp_name.data() + directory;
  std::memcpy(name, TEMP_PREFIX, sizeof TEMP_PREFIX - 1);
  name += sizeof TEMP_PREFIX - 1;
  std::uint64_t bits = random_bits();
  for (std::size_t i = 0; i < TEMP_RANDOM_CHARS; ++i) {
    name[i] = NAME_CHARS[bits % NAME_CHAR_COUNT];
    bits /= NAME_CHAR_COUNT;
  }
  std::memcpy(name + TEMP_RANDOM_CHARS, TEMP_SUFFIX, sizeof TEMP_SUFFIX);
}

// Creates the file exclusively, and lists it for the signal handlers in the
// same step. EEXIST (someone else's file, or a planted link) means another name.
bool create_temp_file(SafeOutput& out, std::size_t directory, PendingFile& slot) {
  for (int attempt = 0; attempt < TEMP_TRIES; ++attempt) {
    make_temp_name(out, directory);
    const Held held = hold_signals();
#ifdef _WIN32
    // Delete sharing lets the Ctrl-C handler remove the file while it is open.
    out.handle = CreateFileA(out.temp_name.data(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    const bool created = out.handle != INVALID_HANDLE_VALUE;
#else
    out.fd = open(out.temp_name.data(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    const bool created = out.fd >= 0;
#endif
    const SystemError error = created ? 0 : last_error();
    if (created) {
      slot.name = out.temp_name;
      slot.used = 1;
    }
    release_signals(held);
    if (created) return true;
#ifdef _WIN32
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
#else
    if (error != EEXIST) {
#endif
      out.error = static_cast<std::uint32_t>(error);
      return false;
    }
    out.error = static_cast<std::uint32_t>(error);
  }
  return false;
}

void note_error(SafeOutput& out) {
  if (out.error == 0) out.error = static_cast<std::uint32_t>(last_error());
}

bool fail(SafeOutput& out, SystemError error) {
  out.error = static_cast<std::uint32_t>(error);
  print_system_error(out.target, error);
  return false;
}

}  // namespace

void print_file_error(const char* name, int error) {
  std::fprintf(stderr, "qrv_tools: %s: %s\n", name, std::strerror(error));
}

void prepare_safe_output() {
  learn_new_file_mode();
#ifdef _WIN32
  if (!handler_installed) {
    InitializeCriticalSection(&pending_lock);
    handler_installed = SetConsoleCtrlHandler(remove_pending_on_break, TRUE) != 0;
    if (!handler_installed) DeleteCriticalSection(&pending_lock);
  }
#else
  struct sigaction action {};
  action.sa_handler = remove_pending_and_end;
  action.sa_mask = cleanup_signal_set();
  for (const int signal_number : CLEANUP_SIGNALS) {
    struct sigaction previous {};
    sigaction(signal_number, nullptr, &previous);
    if (previous.sa_handler != SIG_IGN) sigaction(signal_number, &action, nullptr);
  }
#endif
}

bool open_safe_output(SafeOutput& out, const char* target) {
  out.target = target;
  out.temp_name.fill('\0');
#ifdef _WIN32
  out.handle = INVALID_HANDLE_VALUE;
#else
  out.fd = -1;
#endif
  out.slot = -1;
  out.final_mode = 0;
  out.error = 0;
  learn_new_file_mode();
  const std::size_t directory = directory_length(target);
  if (directory + TEMP_NAME_LENGTH >= out.temp_name.size()) return fail(out, NAME_TOO_LONG);
  if (!check_target(target, out.final_mode) || directory_is_read_only(target, directory)) return fail(out, REFUSED);
  for (std::size_t i = 0; i < pending.size() && out.slot < 0; ++i) {
    if (pending[i].used == 0) out.slot = static_cast<int>(i);
  }
  if (out.slot < 0) return fail(out, NO_SLOT);
  std::memcpy(out.temp_name.data(), target, directory);
  if (!create_temp_file(out, directory, pending[static_cast<std::size_t>(out.slot)])) {
    print_system_error(target, static_cast<SystemError>(out.error));
    out.slot = -1;
    return false;
  }
  return true;
}

void write_safe_output(SafeOutput& out, const void* data, std::size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0 && out.error == 0) {
#ifdef _WIN32
    const DWORD chunk = size > 0x40000000U ? 0x40000000U : static_cast<DWORD>(size);
    DWORD written = 0;
    if (WriteFile(out.handle, bytes, chunk, &written, nullptr) == 0) {
      note_error(out);
      return;
    }
    const std::size_t done = written;
#else
    const ssize_t written = write(out.fd, bytes, size);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) {
      note_error(out);
      return;
    }
    const auto done = static_cast<std::size_t>(written);
#endif
    if (done == 0) {
      out.error = static_cast<std::uint32_t>(
#ifdef _WIN32
          ERROR_WRITE_FAULT
#else
          EIO
#endif
      );
      return;
    }
    bytes += done;
    size -= done;
  }
}

bool close_safe_output(SafeOutput& out) {
  PendingFile& slot = pending[static_cast<std::size_t>(out.slot)];
#ifdef _WIN32
  if (CloseHandle(out.handle) == 0) note_error(out);
  out.handle = INVALID_HANDLE_VALUE;
#else
  // File systems without Unix permissions (FAT) refuse modes they cannot
  // hold; the file then has the mount's mode, like any new file there.
  if (out.error == 0 && fchmod(out.fd, static_cast<mode_t>(out.final_mode)) != 0 && errno != EPERM &&
      errno != ENOTSUP) {
    note_error(out);
  }
  if (close(out.fd) != 0) note_error(out);
  out.fd = -1;
#endif
  const Held held = hold_signals();
  if (out.error == 0) {
#ifdef _WIN32
    if (MoveFileExA(out.temp_name.data(), out.target, MOVEFILE_REPLACE_EXISTING) == 0) note_error(out);
#else
    if (std::rename(out.temp_name.data(), out.target) != 0) note_error(out);
#endif
  }
  if (out.error != 0) {
#ifdef _WIN32
    DeleteFileA(out.temp_name.data());
#else
    unlink(out.temp_name.data());
#endif
  }
  slot.used = 0;
  release_signals(held);
  out.slot = -1;
  if (out.error != 0) {
    print_system_error(out.target, static_cast<SystemError>(out.error));
    return false;
  }
  return true;
}

bool write_file_whole(const char* target, const void* data, std::size_t size) {
  SafeOutput out;
  if (!open_safe_output(out, target)) return false;
  write_safe_output(out, data, size);
  return close_safe_output(out);
}
