#include "files/system_error.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <type_traits>

#ifdef _WIN32
#include <windows.h>
#endif

#ifdef _WIN32
static_assert(std::is_same<SystemError, DWORD>::value, "SystemError holds GetLastError()");
const SystemError SYSTEM_ACCESS_DENIED = ERROR_ACCESS_DENIED;
const SystemError SYSTEM_NAME_TOO_LONG = ERROR_FILENAME_EXCED_RANGE;
const SystemError SYSTEM_TOO_MANY_FILES = ERROR_TOO_MANY_OPEN_FILES;
#else
const SystemError SYSTEM_ACCESS_DENIED = EACCES;
const SystemError SYSTEM_NAME_TOO_LONG = ENAMETOOLONG;
const SystemError SYSTEM_TOO_MANY_FILES = EMFILE;
#endif

namespace {

#ifdef _WIN32
// The C library's code for a Windows error, 0 where it has none.
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

// The system's own text for the rest.
void print_windows_error(const char* name, SystemError error) {
  std::array<char, 256> text{};
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                      text.data(), static_cast<DWORD>(text.size()), nullptr);
  // System texts end in ".\r\n"; the line ends without them, as strerror's.
  std::size_t end = length;
  while (end > 0 && (text[end - 1] == '\n' || text[end - 1] == '\r' || text[end - 1] == '.')) --end;
  text[end] = '\0';
  if (end == 0) std::snprintf(text.data(), text.size(), "error %lu", static_cast<unsigned long>(error));
  std::fprintf(stderr, "qrv_tools: %s: %s\n", name, text.data());
}
#endif

}  // namespace

void print_file_error(const char* name, int error) {
  std::fprintf(stderr, "qrv_tools: %s: %s\n", name, std::strerror(error));
}

void print_system_error(const char* name, SystemError error) {
#ifdef _WIN32
  if (errno_of(error) != 0) {
    print_file_error(name, errno_of(error));
  } else {
    print_windows_error(name, error);
  }
#else
  print_file_error(name, error);
#endif
}
