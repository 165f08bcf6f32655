#include "front/console.h"

#include <array>
#include <cerrno>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "files/system_calls.h"
#include "front/exit_status.h"
#include "front/quoted_name.h"

namespace {
int first_stdout_error = 0;
const char* held_line = nullptr;
bool warnings_fatal = false;
std::uint64_t warnings_printed = 0;

// A write that failed sets the stream's error flag and, where the C library
// keeps one (not on Windows), errno; EIO stands in for a missing reason.
void note_stdout_error(int reason) {
  if (first_stdout_error == 0 && std::ferror(stdout) != 0) first_stdout_error = reason != 0 ? reason : EIO;
}

constexpr std::array<const char*, 3> SEVERITY_WORDS{{"error", "warning", "note"}};
}  // namespace

void prepare_stdout() { buffer_stdout_by_line(); }

// Leaves errno as it found it: a caller may still need the reason it holds.
void print_message(const char* format, ...) {
  const int reason_before = errno;
  errno = 0;
  if (held_line != nullptr) {
    std::fputs(held_line, stdout);
    held_line = nullptr;
  }
  std::va_list arguments;
  va_start(arguments, format);
  std::vprintf(format, arguments);
  va_end(arguments);
  note_stdout_error(errno);
  errno = reason_before;
}

void hold_first_line(const char* line) { held_line = line; }

void release_first_line() {
  if (held_line != nullptr) print_message("%s", "");
}

void drop_first_line() { held_line = nullptr; }

void print_diagnostic(Severity severity, const char* name, std::uint64_t line, const char* text) {
  if (severity == Severity::warning) {
    ++warnings_printed;
    if (warnings_fatal) severity = Severity::error;
  }
  const char* word = SEVERITY_WORDS[static_cast<std::size_t>(severity)];
  if (name == nullptr) {
    std::fprintf(stderr, "qrv_tools: %s: %s\n", word, text);
  } else if (line == 0) {
    std::fprintf(stderr, "%s: %s: %s\n", quoted_name(name).data(), word, text);
  } else {
    std::fprintf(stderr, "%s:%" PRIu64 ": %s: %s\n", quoted_name(name).data(), line, word, text);
  }
}

void print_stderr_line(const char* name, const char* what, const char* text) {
  if (what == nullptr) {
    print_diagnostic(Severity::error, name, 0, text);
    return;
  }
  std::array<char, 2 * sizeof(QuotedName)> step{};
  std::snprintf(step.data(), step.size(), "%s: %s", what, text);
  print_diagnostic(Severity::error, name, 0, step.data());
}

void print_file_error(const char* name, int error) { print_stderr_line(name, nullptr, std::strerror(error)); }

void set_warnings_fatal(bool fatal) { warnings_fatal = fatal; }

bool fatal_warning_printed() { return warnings_fatal && warnings_printed > 0; }

int check_stdout(int status) {
  // A message without a line end is still in the buffer.
  errno = 0;
  if (std::fflush(stdout) != 0) note_stdout_error(errno);
  if (first_stdout_error == 0) return status;
  print_stderr_line(nullptr, "standard output", std::strerror(first_stdout_error));
  return EXIT_STATUS_FAILURE;
}
