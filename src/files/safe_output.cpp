#include "files/safe_output.h"

#include <cstring>

#include "files/cleanup_on_signal.h"
#include "files/target_check.h"

namespace {

// Names taken by other files are skipped; this many in a row means something
// else is wrong.
constexpr int TEMP_TRIES = 100;

// Creates the file exclusively, and lists it for the signal handlers in the
// same step. A taken name (someone else's file, or a planted link) means
// another name; any other failure ends the tries.
bool create_temp_file(SafeOutput& out, std::size_t directory) {
  for (int attempt = 0; attempt < TEMP_TRIES; ++attempt) {
    make_temp_name(out.temp_name.data() + directory);
    hold_cleanup_handlers();
    out.error = create_new_file(out.file, out.temp_name.data());
    const bool created = out.file != NO_NATIVE_FILE;
    if (created) list_for_cleanup(out.slot, out.temp_name);
    release_cleanup_handlers();
    if (created) return true;
    if (!is_name_taken(out.error)) return false;
  }
  return false;
}

// The first failure is the one reported.
void note_error(SafeOutput& out, SystemError error) {
  if (out.error == 0) out.error = error;
}

bool fail(SafeOutput& out, SystemError error) {
  out.error = error;
  print_system_error(out.target, error);
  return false;
}

}  // namespace

void prepare_safe_output() {
  learn_new_file_mode();
  install_cleanup_handlers();
}

bool open_safe_output(SafeOutput& out, const char* target) {
  out.target = target;
  out.temp_name.fill('\0');
  out.file = NO_NATIVE_FILE;
  out.slot = -1;
  out.final_mode = 0;
  out.error = 0;
  learn_new_file_mode();  // also when the run did not prepare, as in tests
  const std::size_t directory = directory_length(target);
  if (directory + TEMP_NAME_LENGTH >= out.temp_name.size()) return fail(out, SYSTEM_NAME_TOO_LONG);
  if (!may_replace_target(target, directory, out.final_mode)) return fail(out, SYSTEM_ACCESS_DENIED);
  out.slot = free_cleanup_slot();
  if (out.slot < 0) return fail(out, SYSTEM_TOO_MANY_FILES);
  std::memcpy(out.temp_name.data(), target, directory);
  if (!create_temp_file(out, directory)) {
    print_system_error(target, out.error);
    out.slot = -1;
    return false;
  }
  return true;
}

void write_safe_output(SafeOutput& out, const void* data, std::size_t size) {
  if (out.error == 0) out.error = write_native_file(out.file, data, size);
}

bool close_safe_output(SafeOutput& out) {
  if (out.error == 0) out.error = give_final_mode(out.file, out.final_mode);
  note_error(out, close_native_file(out.file));
  // The rename or removal and the list change are one step for the handlers.
  hold_cleanup_handlers();
  if (out.error == 0) out.error = replace_file(out.temp_name.data(), out.target);
  if (out.error != 0) remove_file(out.temp_name.data());
  unlist_for_cleanup(out.slot);
  release_cleanup_handlers();
  out.slot = -1;
  if (out.error != 0) {
    print_system_error(out.target, out.error);
    return false;
  }
  return true;
}

bool write_file_whole(const char* target, const void* data, std::size_t size) {
  SafeOutput out;
  if (!open_safe_output(out, target)) return false;
  write_safe_output(out, data, size);
  return close_safe_output(out);
}
