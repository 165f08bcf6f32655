#include "front/console.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "files/system_calls.h"
#include "front/exit_status.h"

void prepare_stdout() {
  errno = 0;
  buffer_stdout_by_line();
}

void print_stderr_line(const char* name, const char* what, const char* text) {
  std::fprintf(stderr, "qrv_tools: %s: %s%s%s\n", name, what != nullptr ? what : "", what != nullptr ? ": " : "", text);
}

void print_file_error(const char* name, int error) { print_stderr_line(name, nullptr, std::strerror(error)); }

int check_stdout(int status) {
  // A failing standard output (a full disk, a closed pipe) fails every line
  // written to it, the last one included, and its reason is still in errno;
  // a flush with nothing left to write succeeds and tells nothing.
  const int last_reason = errno;
  errno = 0;
  const bool flush_failed = std::fflush(stdout) != 0;
  int reason = flush_failed ? errno : last_reason;
  if (!flush_failed && std::ferror(stdout) == 0) return status;
  if (reason == 0) reason = EIO;
  print_file_error("standard output", reason);
  return EXIT_STATUS_FAILURE;
}
