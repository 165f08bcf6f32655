#include "files/input_files.h"

#include <array>
#include <cstdio>

#include "files/safe_output.h"
#include "front/conversion_steps.h"
#include "front/options.h"

namespace {

struct InputFile {
  bool known;
  FileIdentity identity;
  TextField name;
};

std::array<InputFile, MAX_HEXFILES> inputs;

// Letters compared without their case, in ASCII as the file systems that
// ignore case do for these names.
char lower_ascii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool same_ignoring_case(const char* one, const char* other) {
  for (; *one != '\0' && lower_ascii(*one) == lower_ascii(*other); ++one, ++other) {
  }
  return *one == *other;
}

// The same volume and index; or, where a file system numbers the spellings
// of one name apart, the same last component ignoring case with the same
// size and times to the platform's finest unit.
bool same_file(const InputFile& input, const FileIdentity& identity, const char* name) {
  const FileIdentity& known = input.identity;
  if (known.volume != identity.volume) return false;
  if (known.index == identity.index) return true;
  const char* input_name = input.name.data();
  return known.size == identity.size && known.modified == identity.modified && known.changed == identity.changed &&
         same_ignoring_case(input_name + directory_length(input_name), name + directory_length(name));
}

}  // namespace

void forget_input_files() {
  for (InputFile& input : inputs) input.known = false;
}

void remember_input_file(std::size_t input_number, const char* name, std::FILE* stream) {
  InputFile& input = inputs.at(input_number);
  // An input that cannot be identified cannot be guarded: a name compare
  // would miss every other name of it anyway.
  input.known = stream_identity(stream, input.identity) == 0;
  std::snprintf(input.name.data(), input.name.size(), "%s", name);
}

const char* input_file_at(const char* name, SystemError& error) {
  error = 0;
  bool any = false;
  for (const InputFile& input : inputs) any = any || input.known;
  // A run without inputs pays nothing.
  if (!any) return nullptr;
  FileIdentity identity{};
  const SystemError status = named_identity(name, identity);
  if (status != 0) {
    if (!is_missing(status)) error = status;
    return nullptr;
  }
  for (const InputFile& input : inputs) {
    if (input.known && same_file(input, identity, name)) {
      return input.name.data();
    }
  }
  return nullptr;
}
