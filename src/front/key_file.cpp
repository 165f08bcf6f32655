#include "front/key_file.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "files/input_warning.h"
#include "files/system_calls.h"
#include "front/console.h"
#include "front/options.h"

namespace {

// A line as long as -k takes, its line end, and one byte to tell a longer line.
using KeyLine = std::array<char, MAX_VALUE_LENGTH + 3>;

// The first line of the file without its line end; false for a line longer
// than -k takes.
bool first_line(std::FILE* file, KeyLine& line, std::size_t& length) {
  length = std::fread(line.data(), 1, line.size() - 1, file);
  const void* end = std::memchr(line.data(), '\n', length);
  if (end != nullptr) length = static_cast<std::size_t>(static_cast<const char*>(end) - line.data());
  if (length > 0 && line[length - 1] == '\r') --length;
  line[length] = '\0';
  return length <= MAX_VALUE_LENGTH;
}

void warn_shared(const char* name, unsigned bits) {
  std::array<char, 128> text{};
  std::snprintf(text.data(), text.size(),
                "others may open the key file (its group and others have %03o); chmod 600 keeps it private", bits);
  print_diagnostic(Severity::warning, name, 0, text.data());
}

}  // namespace

bool apply_key_file(const char* name) {
  std::FILE* file = std::fopen(name, "rb");
  if (file == nullptr) {
    print_file_error(name, errno);
    return false;
  }
  KeyLine line{};
  std::size_t length = 0;
  errno = 0;
  const bool fits = first_line(file, line, length);
  const int read_error = std::ferror(file) != 0 ? (errno != 0 ? errno : EIO) : 0;
  const unsigned shared = shared_permission_bits(file);
  std::fclose(file);
  if (read_error != 0) {
    print_file_error(name, read_error);
    return false;
  }
  if (!fits) {
    std::array<char, 64> text{};
    std::snprintf(text.data(), text.size(), "the key's line is longer than %u characters",
                  static_cast<unsigned>(MAX_VALUE_LENGTH));
    print_stderr_line(name, nullptr, text.data());
    return false;
  }
  if (shared != 0) warn_shared(name, shared);
  set_teakey(line.data());
  // A NUL ends the key, as it ends a value of -k.
  length = std::strlen(line.data());
  if (length != TEA_KEY_BYTES) warn_key_length(name, length);
  return true;
}
