#include "front/console.h"

#ifndef _WIN32
#include <unistd.h>
#endif

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "front/exit_status.h"

#ifdef _WIN32
// Windows runtimes buffer _IOLBF fully: unbuffered there.
void buffer_stdout_by_line() { std::setvbuf(stdout, nullptr, _IONBF, 0); }
#else
namespace {
std::array<char, 4096> stdout_buffer;
}  // namespace
void buffer_stdout_by_line() { std::setvbuf(stdout, stdout_buffer.data(), _IOLBF, stdout_buffer.size()); }
#endif

int check_stdout(int status) {
  errno = 0;
  const bool flush_failed = std::fflush(stdout) != 0;
  int reason = errno;
  if (!flush_failed && std::ferror(stdout) == 0) return status;
#ifndef _WIN32
  // The failed write was in an earlier printf; a write of nothing on the same
  // descriptor tells the reason again for a full device or a closed stream.
  if (reason == 0 && write(STDOUT_FILENO, "", 0) < 0) reason = errno;
#endif
  if (reason == 0) reason = EIO;
  std::fprintf(stderr, "qrv_tools: standard output: %s\n", std::strerror(reason));
  return EXIT_STATUS_FAILURE;
}
