#include <dirent.h>
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

const char PATH_SEPARATORS[] = "/";
const SystemError SYSTEM_ACCESS_DENIED = EACCES;
const SystemError SYSTEM_NAME_TOO_LONG = ENAMETOOLONG;

namespace {

SystemError last_error() { return static_cast<SystemError>(errno); }

int descriptor(SystemFile file) { return static_cast<int>(file); }

// Every other signal ends the process by default. SIGXFSZ is ignored instead.
constexpr std::array<int, 10> NOT_CLEANED_UP = {SIGCHLD, SIGCONT, SIGSTOP,  SIGTSTP, SIGTTIN,
                                                SIGTTOU, SIGURG,  SIGWINCH, SIGKILL, SIGXFSZ};
std::array<char, 4096> stdout_buffer;

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
  status.links = static_cast<std::uint64_t>(info.st_nlink);
  status.device = static_cast<std::uint64_t>(info.st_dev);
  status.inode = static_cast<std::uint64_t>(info.st_ino);
  return 0;
}

namespace {
std::uint64_t nanoseconds(const timespec& time) {
  return static_cast<std::uint64_t>(time.tv_sec) * 1000000000U + static_cast<std::uint64_t>(time.tv_nsec);
}

FileIdentity identity_of(const struct stat& info) {
#if defined(__APPLE__)
  const timespec& modified = info.st_mtimespec;
  const timespec& changed = info.st_ctimespec;
#else
  const timespec& modified = info.st_mtim;
  const timespec& changed = info.st_ctim;
#endif
  return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
          static_cast<std::uint64_t>(info.st_size), nanoseconds(modified), nanoseconds(changed)};
}
}  // namespace

SystemError stream_identity(std::FILE* stream, FileIdentity& identity) {
  struct stat info {};
  if (fstat(fileno(stream), &info) != 0) return last_error();
  identity = identity_of(info);
  return 0;
}

// A link loop leads to no file, so to none that was read.
SystemError named_identity(const char* name, FileIdentity& identity) {
  struct stat info {};
  if (stat(name, &info) != 0) return errno == ELOOP ? ENOENT : last_error();
  identity = identity_of(info);
  return 0;
}

bool listed_apart(const char* directory, const char* one, const char* other) {
  DIR* listing = opendir(directory);
  if (listing == nullptr) return false;
  bool found_one = false;
  bool found_other = false;
  for (const dirent* entry = readdir(listing); entry != nullptr; entry = readdir(listing)) {
    found_one = found_one || std::strcmp(entry->d_name, one) == 0;
    found_other = found_other || std::strcmp(entry->d_name, other) == 0;
  }
  closedir(listing);
  return found_one && found_other;
}

// Non-blocking: a FIFO swapped in must not hold the run.
SystemError open_entry(SystemFile& file, const char* name, const EntryStatus& judged) {
  file = open(name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (file < 0) {
    file = NO_SYSTEM_FILE;
    return errno == ENOENT || errno == ELOOP ? 0 : last_error();
  }
  struct stat info {};
  if (fstat(descriptor(file), &info) != 0) {
    const SystemError error = last_error();
    close_file(file);
    return error;
  }
  if (std::uint64_t(info.st_dev) != judged.device || std::uint64_t(info.st_ino) != judged.inode) close_file(file);
  return 0;
}

// ENOTDIR: a part of the path is not a directory, so the entry cannot exist.
bool is_missing(SystemError error) { return error == ENOENT || error == ENOTDIR; }

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

SystemError create_new_file(SystemFile& file, const char* name, unsigned mode) {
  file = open(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, static_cast<mode_t>(mode));
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

// Only the data and what reads it back (the size), where the system can
// leave the times unsynced.
SystemError sync_file(SystemFile file) {
#if defined(_POSIX_SYNCHRONIZED_IO) && _POSIX_SYNCHRONIZED_IO > 0
  int (*const sync)(int) = fdatasync;
#else
  int (*const sync)(int) = fsync;
#endif
  int synced = sync(descriptor(file));
  while (synced != 0 && errno == EINTR) synced = sync(descriptor(file));
  return synced == 0 ? 0 : last_error();
}

SystemError close_file(SystemFile& file) {
  if (file == NO_SYSTEM_FILE) return 0;
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
  int synced = fsync(directory);
  while (synced != 0 && errno == EINTR) synced = fsync(directory);
  // EINVAL: a file system that cannot sync a directory has nothing to force.
  const SystemError error = synced == 0 || errno == EINVAL ? 0 : last_error();
  close(directory);
  return error;
}

SystemError remove_file(const char* name) { return unlink(name) == 0 ? 0 : last_error(); }

std::size_t directory_length(const char* name) {
  const char* last = std::strrchr(name, '/');
  return last != nullptr ? static_cast<std::size_t>(last - name) + 1 : 0;
}

void install_signal_handlers(void (*cleanup)()) {
  cleanup_files = cleanup;
  signal(SIGXFSZ, SIG_IGN);
  sigfillset(&cleanup_set);
  for (const int signal_number : NOT_CLEANED_UP) sigdelset(&cleanup_set, signal_number);
  struct sigaction action {};
  action.sa_handler = clean_up_and_end;
  action.sa_mask = cleanup_set;
  // A handler already there (a sanitizer's) keeps its signal.
  for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
    struct sigaction previous {};
    if (sigismember(&cleanup_set, signal_number) != 1 || sigaction(signal_number, nullptr, &previous) != 0) continue;
    if (previous.sa_handler == SIG_DFL) sigaction(signal_number, &action, nullptr);
  }
}

void hold_signals() { sigprocmask(SIG_BLOCK, &cleanup_set, &mask_before_hold); }

void release_signals() { sigprocmask(SIG_SETMASK, &mask_before_hold, nullptr); }

ReasonText reason_text(SystemError error) {
  ReasonText text{};
  std::snprintf(text.data(), text.size(), "%s", std::strerror(static_cast<int>(error)));
  return text;
}

void buffer_stdout_by_line() { std::setvbuf(stdout, stdout_buffer.data(), _IOLBF, stdout_buffer.size()); }

unsigned shared_permission_bits(std::FILE* stream) {
  struct stat info {};
  if (fstat(fileno(stream), &info) != 0) return 0;
  return static_cast<unsigned>(info.st_mode) & 077U;
}
