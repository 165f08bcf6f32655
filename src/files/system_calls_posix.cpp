#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/random.h>
#endif

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "files/system_calls.h"
#include "front/console.h"

const char PATH_SEPARATORS[] = "/";
const SystemError SYSTEM_ACCESS_DENIED = EACCES;
const SystemError SYSTEM_NAME_TOO_LONG = ENAMETOOLONG;

namespace {

SystemError last_error() { return static_cast<SystemError>(errno); }

int descriptor(SystemFile file) { return static_cast<int>(file); }

// Every catchable signal whose default action ends the process.
constexpr std::array<int, 11> CLEANUP_SIGNALS = {SIGHUP,  SIGINT,  SIGQUIT, SIGPIPE,   SIGALRM, SIGTERM,
                                                 SIGUSR1, SIGUSR2, SIGXCPU, SIGVTALRM, SIGPROF};

void (*cleanup_files)() = nullptr;
sigset_t cleanup_set;
sigset_t mask_before_hold;

// Only async-signal-safe calls. The raised signal stays pending while the
// handler runs and ends the process, by its default action, on the return.
extern "C" void clean_up_and_end(int signal_number) {
  cleanup_files();
  signal(signal_number, SIG_DFL);
  raise(signal_number);
}

}  // namespace

SystemError entry_status(const char* name, EntryStatus& status) {
  struct stat info {};
  if (lstat(name, &info) != 0) return last_error();
  status.is_link = S_ISLNK(info.st_mode);
  status.is_regular = S_ISREG(info.st_mode);
  status.writable = (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
  status.owned_by_runner = info.st_uid == geteuid();
  status.mode = static_cast<unsigned>(info.st_mode) & 07777U;
  status.group = static_cast<std::uint32_t>(info.st_gid);
  return 0;
}

// ENOTDIR: a part of the path is not a directory, so the entry cannot exist.
bool is_missing(SystemError error) { return error == ENOENT || error == ENOTDIR; }

unsigned new_file_mode() {
  static const unsigned mode = [] {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666U & ~static_cast<unsigned>(mask);
  }();
  return mode;
}

std::uint64_t random_bits() {
  std::uint64_t value = 0;
#if defined(__linux__)
  if (getrandom(&value, sizeof value, GRND_NONBLOCK) == static_cast<ssize_t>(sizeof value)) return value;
#endif
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<std::uint64_t>(now.tv_nsec) ^ (static_cast<std::uint64_t>(now.tv_sec) << 30) ^
         (static_cast<std::uint64_t>(getpid()) << 40);
}

SystemError create_new_file(SystemFile& file, const char* name) {
  file = open(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  return file >= 0 ? 0 : last_error();
}

bool is_name_taken(SystemError error) { return error == EEXIST; }

SystemError write_file(SystemFile file, const void* data, std::size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t written = write(descriptor(file), bytes, size);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return last_error();
    if (written == 0) return EIO;
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
  return 0;
}

SystemError set_group(SystemFile file, std::uint32_t group) {
  return fchown(descriptor(file), static_cast<uid_t>(-1), static_cast<gid_t>(group)) == 0 ? 0 : last_error();
}

SystemError set_mode(SystemFile file, unsigned mode) {
  // File systems without Unix permissions (FAT) refuse modes they cannot
  // hold; the file then has the mount's mode, like any new file there.
  const bool refused = fchmod(descriptor(file), static_cast<mode_t>(mode)) != 0;
  return refused && errno != EPERM && errno != ENOTSUP ? last_error() : 0;
}

// Only the data and what reads it back (the size), where the system can
// leave the times unsynced.
SystemError sync_file(SystemFile file) {
#if defined(_POSIX_SYNCHRONIZED_IO) && _POSIX_SYNCHRONIZED_IO > 0
  int (*const sync)(int) = fdatasync;
#else
  int (*const sync)(int) = fsync;
#endif
  while (sync(descriptor(file)) != 0) {
    if (errno != EINTR) return last_error();
  }
  return 0;
}

SystemError close_file(SystemFile& file) {
  const bool closed = close(descriptor(file)) == 0;
  file = NO_SYSTEM_FILE;
  return closed ? 0 : last_error();
}

SystemError replace_file(const char* from, const char* target) {
  return std::rename(from, target) == 0 ? 0 : last_error();
}

SystemError sync_directory(const char* name) {
  const int directory = open(name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directory < 0) return errno == EACCES ? 0 : last_error();
  SystemError error = 0;
  while (error == 0 && fsync(directory) != 0) {
    // EINVAL: a file system that cannot sync a directory, which then has
    // nothing more to force.
    if (errno != EINTR) error = errno == EINVAL ? 0 : last_error();
  }
  close(directory);
  return error;
}

SystemError remove_file(const char* name) { return unlink(name) == 0 ? 0 : last_error(); }

void install_signal_handlers(void (*cleanup)()) {
  cleanup_files = cleanup;
  signal(SIGXFSZ, SIG_IGN);
  sigemptyset(&cleanup_set);
  for (const int signal_number : CLEANUP_SIGNALS) sigaddset(&cleanup_set, signal_number);
  struct sigaction action {};
  action.sa_handler = clean_up_and_end;
  action.sa_mask = cleanup_set;
  for (const int signal_number : CLEANUP_SIGNALS) {
    struct sigaction previous {};
    sigaction(signal_number, nullptr, &previous);
    if (previous.sa_handler != SIG_IGN) sigaction(signal_number, &action, nullptr);
  }
}

void hold_signals() { sigprocmask(SIG_BLOCK, &cleanup_set, &mask_before_hold); }

void release_signals() { sigprocmask(SIG_SETMASK, &mask_before_hold, nullptr); }

void print_system_error(const char* name, SystemError error, const char* what) {
  print_stderr_line(name, what, std::strerror(static_cast<int>(error)));
}

namespace {
std::array<char, 4096> stdout_buffer;
}  // namespace
void buffer_stdout_by_line() { std::setvbuf(stdout, stdout_buffer.data(), _IOLBF, stdout_buffer.size()); }
