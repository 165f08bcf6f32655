#include "files/input_files.h"

#include <array>
#include <cstdio>

#include "files/laid_bytes.h"
#include "front/options.h"

namespace {

struct InputFile {
  bool known;
  FileIdentity identity;
  TextField name;
};

std::array<InputFile, LAID_INPUTS> inputs;

}  // namespace

void forget_input_files() {
  for (InputFile& input : inputs) input.known = false;
}

void remember_input_file(std::size_t slot, const char* name, std::FILE* stream) {
  InputFile& input = inputs.at(slot);
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
    if (input.known && input.identity.volume == identity.volume && input.identity.index == identity.index) {
      return input.name.data();
    }
  }
  return nullptr;
}
