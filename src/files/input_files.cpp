#include "files/input_files.h"

#include <array>
#include <cstdio>
#include <cstring>

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

using DirectoryName = std::array<char, 512>;

// NAME's directory as a name of its own, "." for none; false where it does
// not fit.
bool directory_of(const char* name, DirectoryName& directory) {
  directory = DirectoryName{'.'};
  const std::size_t length = directory_length(name);
  if (length >= directory.size()) return false;
  std::memcpy(directory.data(), name, length);
  return true;
}

// NAME is another spelling of the input INPUT_NAME: equal ignoring case, in
// the same directory (the directory itself, not its name), and there not both
// spellings listed, as a file system that tells case apart lists them.
bool other_spelling(const char* input_name, const char* name) {
  const char* input_last = input_name + directory_length(input_name);
  const char* last = name + directory_length(name);
  DirectoryName input_directory{};
  DirectoryName directory{};
  FileIdentity input_place{};
  FileIdentity place{};
  if (!same_ignoring_case(input_last, last) || !directory_of(input_name, input_directory) ||
      !directory_of(name, directory) || named_identity(input_directory.data(), input_place) != 0 ||
      named_identity(directory.data(), place) != 0 || input_place.volume != place.volume ||
      input_place.index != place.index) {
    return false;
  }
  // One spelling is one entry.
  return std::strcmp(input_last, last) == 0 || !listed_apart(directory.data(), input_last, last);
}

// The same volume and index; or, where a file system numbers the spellings
// of one name apart, another spelling of it with the same size and times to
// the platform's finest unit.
bool same_file(const InputFile& input, const FileIdentity& identity, const char* name) {
  const FileIdentity& known = input.identity;
  if (known.volume != identity.volume) return false;
  if (known.index == identity.index) return true;
  return known.size == identity.size && known.modified == identity.modified && known.changed == identity.changed &&
         other_spelling(input.name.data(), name);
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
    // Replacing a link never writes through it: one that leads nowhere the
    // runner can see is no input, as in a run without inputs.
    EntryStatus entry{};
    if (!is_missing(status) && !(entry_status(name, entry) == 0 && entry.is_link)) error = status;
    return nullptr;
  }
  for (const InputFile& input : inputs) {
    if (input.known && same_file(input, identity, name)) {
      return input.name.data();
    }
  }
  return nullptr;
}
