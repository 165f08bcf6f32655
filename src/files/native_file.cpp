#include "files/native_file.h"

#include <cerrno>
#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#ifdef _WIN32

const NativeFile NO_NATIVE_FILE = INVALID_HANDLE_VALUE;

SystemError create_new_file(NativeFile& file, const char* name) {
  // Delete sharing lets the Ctrl-C handler remove the file while it is open.
  file = CreateFileA(name, GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  return file != INVALID_HANDLE_VALUE ? 0 : GetLastError();
}

bool is_name_taken(SystemError error) { return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS; }

SystemError write_native_file(NativeFile file, const void* data, std::size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    // WriteFile counts in 32 bits.
    const DWORD chunk = size > 0x40000000U ? 0x40000000U : static_cast<DWORD>(size);
    DWORD written = 0;
    if (WriteFile(file, bytes, chunk, &written, nullptr) == 0) return GetLastError();
    if (written == 0) return ERROR_WRITE_FAULT;
    bytes += written;
    size -= written;
  }
  return 0;
}

// A new file's mode on Windows is its read-only attribute, which is off.
SystemError give_final_mode(NativeFile, unsigned) { return 0; }

SystemError close_native_file(NativeFile& file) {
  const bool closed = CloseHandle(file) != 0;
  file = INVALID_HANDLE_VALUE;
  return closed ? 0 : GetLastError();
}

// While another run renames onto the same target, Windows refuses a second
// rename there for a moment (access denied, or a sharing violation) where a
// POSIX rename would simply replace it; so the rename is tried again for up
// to a second before the refusal counts.
constexpr int REPLACE_TRIES = 100;
constexpr DWORD REPLACE_PAUSE_MS = 10;

SystemError replace_file(const char* from, const char* target) {
  SystemError error = 0;
  for (int attempt = 0; attempt < REPLACE_TRIES; ++attempt) {
    if (MoveFileExA(from, target, MOVEFILE_REPLACE_EXISTING) != 0) return 0;
    error = GetLastError();
    if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) return error;
    // A directory in the target's place stays there.
    const DWORD attributes = GetFileAttributesA(target);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return error;
    Sleep(REPLACE_PAUSE_MS);
  }
  return error;
}

void remove_file(const char* name) { DeleteFileA(name); }

#else

const NativeFile NO_NATIVE_FILE = -1;

SystemError create_new_file(NativeFile& file, const char* name) {
  file = open(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  return file >= 0 ? 0 : errno;
}

bool is_name_taken(SystemError error) { return error == EEXIST; }

SystemError write_native_file(NativeFile file, const void* data, std::size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t written = write(file, bytes, size);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return errno;
    if (written == 0) return EIO;
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
  return 0;
}

SystemError give_final_mode(NativeFile file, unsigned mode) {
  // File systems without Unix permissions (FAT) refuse modes they cannot
  // hold; the file then has the mount's mode, like any new file there.
  if (fchmod(file, static_cast<mode_t>(mode)) != 0 && errno != EPERM && errno != ENOTSUP) return errno;
  return 0;
}

SystemError close_native_file(NativeFile& file) {
  const bool closed = close(file) == 0;
  file = -1;
  return closed ? 0 : errno;
}

SystemError replace_file(const char* from, const char* target) {
  return std::rename(from, target) == 0 ? 0 : errno;
}

void remove_file(const char* name) { unlink(name); }

#endif
