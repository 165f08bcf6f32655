#include "front/console.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "files/system_calls.h"
#include "front/exit_status.h"

namespace {
int first_stdout_error = 0;

// A write that failed sets the stream's error flag and, where the C library
// keeps one (not on Windows), errno; EIO stands in for a missing reason.
void note_stdout_error(int reason) {
  if (first_stdout_error == 0 && std::ferror(stdout) != 0) first_stdout_error = reason != 0 ? reason : EIO;
}
}  // namespace

void prepare_stdout() { buffer_stdout_by_line(); }

// Leaves errno as it found it: a caller may still need the reason it holds.
void print_message(const char* format, ...) {
  const int reason_before = errno;
  errno = 0;
  std::va_list arguments;
  va_start(arguments, format);
  std::vprintf(format, arguments);
  va_end(arguments);
  note_stdout_error(errno);
  errno = reason_before;
}

void print_stderr_line(const char* name, const char* what, const char* text) {
  std::fprintf(stderr, "qrv_tools: %s%s%s%s%s\n", name != nullptr ? name : "", name != nullptr ? ": " : "",
               what != nullptr ? what : "", what != nullptr ? ": " : "", text);
}

void print_input_error(const char* name, std::size_t line, const char* text) {
  std::fprintf(stderr, "qrv_tools: %s:%lu: %s\n", name, static_cast<unsigned long>(line), text);
}

void print_file_error(const char* name, int error) { print_stderr_line(name, nullptr, std::strerror(error)); }

int check_stdout(int status) {
  // A message without a line end is still in the buffer.
  errno = 0;
  if (std::fflush(stdout) != 0) note_stdout_error(errno);
  if (first_stdout_error == 0) return status;
  print_file_error("standard output", first_stdout_error);
  return EXIT_STATUS_FAILURE;
}
