#include "files/safe_output.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "files/input_files.h"
#include "files/system_calls.h"
#include "files/temp_name.h"
#include "front/console.h"
#include "front/quoted_name.h"

// An output's states, and the step that reaches each; the first step that
// fails names itself on standard error, and the temporary file goes:
//
//   state              reached by                  temporary file     a signal
//   judged             checking (the target)       none               -
//   made               creating                    listed, no wider   removes it
//                                                  than the output
//   written            writing                     listed             removes it
//   synced             setting permissions (of     listed, closed     removes it
//                      the runner's own file),
//                      syncing, closing
//   renamed            renaming                    the target now     -
//   directory synced   sync_output_directory       on disk            -
//
// "Listed" is left for the signal handler: on the list of pending outputs.
namespace {

// Names taken by other files are skipped; this many in a row means something
// else is wrong.
constexpr int TEMP_TRIES = 100;
// A new file's mode, which the file system narrows (umask, default ACL); the
// runner's own file's bytes stay private until its permissions pass on.
constexpr unsigned NEW_FILE_MODE = 0666;
constexpr unsigned PRIVATE_MODE = 0600;

constexpr char CHECKING[] = "checking";
constexpr char CREATING[] = "creating";
constexpr char SETTING_PERMISSIONS[] = "setting permissions";
constexpr char WRITING[] = "writing";
constexpr char SYNCING[] = "syncing";
constexpr char CLOSING[] = "closing";
constexpr char RENAMING[] = "renaming";

// The open outputs, whose temporary files a signal removes. Changed only
// while the handlers are held off.
SafeOutput* pending = nullptr;

// Called from the signal handlers: only remove_file, which is safe there.
void remove_pending_files() {
  for (const SafeOutput* out = pending; out != nullptr; out = out->next) remove_file(out->temp_name.data());
}

// Lists an output whose temporary file now exists, and takes it off the list
// once the file is renamed or removed; only while the handlers are held off.
void activate(SafeOutput& out) {
  out.next = pending;
  pending = &out;
}

void deactivate(const SafeOutput& out) {
  SafeOutput** link = &pending;
  while (*link != nullptr && *link != &out) link = &(*link)->next;
  if (*link != nullptr) *link = out.next;
}

// The directory part of TARGET as a name of its own: "dir/" names the
// directory itself, and "." the current one.
PathText directory_of(const char* target) {
  PathText directory{};
  const std::size_t length = directory_length(target);
  if (length == 0) directory[0] = '.';
  std::memcpy(directory.data(), target, length);
  return directory;
}

void print_reason(const char* name, SystemError error, const char* what) {
  print_stderr_line(name, what, reason_text(error).data());
}

// Notes the first failed step; a step that gave 0 did not fail.
bool fail(SafeOutput& out, SystemError error, const char* step) {
  if (out.error == 0 && error != 0) {
    out.error = error;
    out.step = step;
  }
  return false;
}

// Only "does not exist" makes a target new: a status that cannot be read, or
// a file that cannot be opened or judged, never turns a protected target into
// a new one. Read-only is judged by the permission bits, so an administrator's
// run does not overwrite it either. A link, a file with a second link (perhaps
// planted), anything not regular or another file swapped in counts as new.
bool check_target(SafeOutput& out) {
  EntryStatus status{};
  SystemError error = entry_status(directory_of(out.target).data(), status);
  if (error != 0 && !is_missing(error)) return fail(out, error, CHECKING);
  if (error == 0 && !status.writable) return fail(out, SYSTEM_ACCESS_DENIED, CHECKING);
  error = entry_status(out.target, status);
  if (error != 0 && !is_missing(error)) return fail(out, error, CHECKING);
  if (error == 0 && !status.is_link && !status.writable) return fail(out, SYSTEM_ACCESS_DENIED, CHECKING);
  if (error != 0 || !status.is_regular || status.links != 1) return true;
  error = open_entry(out.judged, out.target, status);
  if (error != 0) return fail(out, error, CHECKING);
  if (out.judged == NO_SYSTEM_FILE) return true;
  out.keeps_permissions = status.owned_by_runner;
  out.narrows = !status.owned_by_runner;
  out.mode = status.mode & 0777U;  // set-id bits never pass on
  out.group = status.group;
  return true;
}

// An output never replaces an input, by whatever name it reaches it: the next
// identical build would read its own output. Prints its own refusal.
bool check_not_input(SafeOutput& out) {
  SystemError error = 0;
  const char* input = input_file_at(out.target, error);
  if (error != 0) return fail(out, error, CHECKING);
  if (input == nullptr) return true;
  out.error = SYSTEM_ACCESS_DENIED;
  std::array<char, sizeof(QuotedName) + 32> text{};
  std::snprintf(text.data(), text.size(), "is the input file %s; not replaced", quoted_name(input).data());
  print_stderr_line(out.target, nullptr, text.data());
  return false;
}

// Creates the file exclusively, and lists it for the signal handlers in the
// same step. A taken name (someone else's file, or a planted link) means
// another name; any other failure ends the tries.
bool create_temp_file(SafeOutput& out, std::size_t directory, unsigned mode) {
  SystemError error = 0;
  for (int attempt = 0; attempt < TEMP_TRIES; ++attempt) {
    make_temp_name(out.temp_name.data() + directory);
    hold_signals();
    error = create_new_file(out.file, out.temp_name.data(), mode);
    if (error == 0) activate(out);
    release_signals();
    if (error == 0) return true;
    if (!is_name_taken(error)) break;
  }
  return fail(out, error, CREATING);
}

// Removes the temporary file, off the list in the same step.
SystemError remove_temp_file(SafeOutput& out) {
  hold_signals();
  const SystemError error = remove_file(out.temp_name.data());
  deactivate(out);
  release_signals();
  return error;
}

// What an output keeps of what a new file gets where it replaces another
// user's file: the owner's and others' bits within the old file's; the
// group's within the old file's group bits where the output is IN_ITS_GROUP,
// else within its others' bits, and none where it may have an ACL.
unsigned narrowed_bits(const SafeOutput& out, bool in_its_group, bool acl) {
  const unsigned group_bits = acl ? 0U : in_its_group ? out.mode : out.mode << 3;
  return (out.mode & 0707U) | (group_bits & 0070U);
}

// The temporary file of another user's file, at no moment wider than the
// output: made within what either group keeps, and made again (before the
// first byte, so a descriptor opened meanwhile reads nothing) where its own
// group keeps more. A failure once it exists fails the close.
bool create_narrowed_file(SafeOutput& out, std::size_t directory) {
  const bool acl = may_have_acl(out.judged);
  unsigned bits = narrowed_bits(out, true, acl) & narrowed_bits(out, false, acl);
  for (bool again = false;; again = true) {
    if (!create_temp_file(out, directory, NEW_FILE_MODE & bits)) return false;
    unsigned mode = 0;
    std::uint32_t group = 0;
    SystemError error = file_permissions(out.file, mode, group);
    const unsigned kept = narrowed_bits(out, group == out.group, acl);
    if (error == 0 && !again && (NEW_FILE_MODE & kept & ~bits) != 0) {
      bits = kept;
      error = close_file(out.file);
      const SystemError left = remove_temp_file(out);
      if (left != 0) print_reason(out.temp_name.data(), left, "not removed");
      if (error == 0 && left == 0) continue;
      return fail(out, error != 0 ? error : left, CREATING);
    }
    // Also where the file system gave more than was asked.
    if (error == 0) error = set_permissions(out.file, mode & kept);
    if (error != 0) fail(out, error, SETTING_PERMISSIONS);
    return true;
  }
}

}  // namespace

void prepare_safe_output() { install_signal_handlers(remove_pending_files); }

bool open_safe_output(SafeOutput& out, const char* target) {
  out = SafeOutput{};
  out.target = target;
  out.file = NO_SYSTEM_FILE;
  const std::size_t directory = directory_length(target);
  bool created = directory + sizeof TEMP_NAME <= out.temp_name.size() || fail(out, SYSTEM_NAME_TOO_LONG, CREATING);
  created = created && check_not_input(out) && check_target(out);
  if (created) {
    std::memcpy(out.temp_name.data(), target, directory);
    created = out.narrows ? create_narrowed_file(out, directory)
                          : create_temp_file(out, directory, out.keeps_permissions ? PRIVATE_MODE : NEW_FILE_MODE);
  }
  if (!out.keeps_permissions || !created) close_file(out.judged);
  if (!created && out.step != nullptr) print_reason(out.target, out.error, out.step);
  return created;
}

void write_safe_output(SafeOutput& out, const void* data, std::size_t size) {
  if (out.error == 0) fail(out, write_file(out.file, data, size), WRITING);
}

bool close_safe_output(SafeOutput& out) {
  if (out.error == 0 && out.keeps_permissions) {
    fail(out, keep_permissions(out.judged, out.file, out.mode, out.group), SETTING_PERMISSIONS);
  }
  close_file(out.judged);
  if (out.error == 0) fail(out, sync_file(out.file), SYNCING);
  fail(out, close_file(out.file), CLOSING);  // the first failure is the one reported
  // The rename or removal and the list change are one step for the handlers.
  hold_signals();
  if (out.error == 0) fail(out, replace_file(out.temp_name.data(), out.target), RENAMING);
  const SystemError left = out.error != 0 ? remove_file(out.temp_name.data()) : 0;
  deactivate(out);
  release_signals();
  if (out.error == 0) return true;
  print_reason(out.target, out.error, out.step);
  if (left != 0) print_reason(out.temp_name.data(), left, "not removed");
  return false;
}

bool write_file_whole(const char* target, const void* data, std::size_t size) {
  SafeOutput out;
  if (!open_safe_output(out, target)) return false;
  write_safe_output(out, data, size);
  return close_safe_output(out);
}

bool sync_output_directory(const char* first, const char* second) {
  const char* named = first != nullptr ? first : second;
  const SystemError error = named != nullptr ? sync_directory(directory_of(named).data()) : 0;
  for (const char* name : {first, second}) {
    if (error != 0 && name != nullptr) print_reason(name, error, "replaced, but may not be on disk");
  }
  return error == 0;
}
