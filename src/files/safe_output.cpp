#include "files/safe_output.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "files/input_files.h"
#include "files/system_calls.h"
#include "front/console.h"

namespace {

// Random letters or digits in place of the X's.
constexpr char TEMP_NAME[] = ".qrv-XXXXXX.tmp";
constexpr char NAME_CHARS[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::uint64_t NAME_CHAR_COUNT = sizeof NAME_CHARS - 1;
// Names taken by other files are skipped; this many in a row means something
// else is wrong.
constexpr int TEMP_TRIES = 100;

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

// A 64-bit finaliser, with a counter so no two tries repeat even where the
// platform's bits come from a coarse clock.
std::uint64_t mix(std::uint64_t value) {
  value += 0x9E3779B97F4A7C15ULL;
  value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ULL;
  value = (value ^ (value >> 27)) * 0x94D049BB133111EBULL;
  return value ^ (value >> 31);
}

void make_temp_name(char* name) {
  static std::uint64_t counter = 0;
  std::uint64_t bits = mix(random_bits() ^ mix(++counter));
  for (std::size_t i = 0; i < sizeof TEMP_NAME; ++i) {
    name[i] = TEMP_NAME[i] == 'X' ? NAME_CHARS[bits % NAME_CHAR_COUNT] : TEMP_NAME[i];
    if (TEMP_NAME[i] == 'X') bits /= NAME_CHAR_COUNT;
  }
}

void print_reason(const char* name, SystemError error, const char* what = nullptr) {
  print_stderr_line(name, what, reason_text(error).data());
}

bool fail(SafeOutput& out, SystemError error) {
  out.error = error;
  print_reason(out.target, error);
  return false;
}

// Only "does not exist" makes a target new: an unreadable status never turns
// a protected target into a new one. Read-only is judged by the permission
// bits, so an administrator's run does not overwrite it either. A link, a file
// with a second link (perhaps planted) or anything not regular counts as new.
bool check_target(SafeOutput& out) {
  EntryStatus status{};
  SystemError error = entry_status(directory_of(out.target).data(), status);
  if (error != 0 && !is_missing(error)) return fail(out, error);
  if (error == 0 && !status.writable) return fail(out, SYSTEM_ACCESS_DENIED);
  error = entry_status(out.target, status);
  if (error != 0 && !is_missing(error)) return fail(out, error);
  if (error == 0 && !status.is_link && !status.writable) return fail(out, SYSTEM_ACCESS_DENIED);
  if (error != 0 || !status.is_regular || status.links != 1 || !open_entry(out.judged, out.target, status)) return true;
  out.keeps_permissions = status.owned_by_runner;
  out.narrows = !status.owned_by_runner;
  out.mode = status.mode & 0777U;  // set-id bits never pass on
  out.group = status.group;
  return true;
}

// An output never replaces an input, by whatever name it reaches it: the next
// identical build would read its own output.
bool check_not_input(SafeOutput& out) {
  SystemError error = 0;
  const char* input = input_file_at(out.target, error);
  if (error != 0) return fail(out, error);
  if (input == nullptr) return true;
  out.error = SYSTEM_ACCESS_DENIED;
  std::array<char, 320> text{};
  std::snprintf(text.data(), text.size(), "is the input file %s; not replaced", input);
  print_stderr_line(out.target, nullptr, text.data());
  return false;
}

// Creates the file exclusively, and lists it for the signal handlers in the
// same step. A taken name (someone else's file, or a planted link) means
// another name; any other failure ends the tries.
bool create_temp_file(SafeOutput& out, std::size_t directory) {
  for (int attempt = 0; attempt < TEMP_TRIES; ++attempt) {
    make_temp_name(out.temp_name.data() + directory);
    hold_signals();
    out.error = create_new_file(out.file, out.temp_name.data(), out.keeps_permissions);
    if (out.error == 0) activate(out);
    release_signals();
    if (out.error == 0) return true;
    if (!is_name_taken(out.error)) return false;
  }
  return false;
}

}  // namespace

std::size_t directory_length(const char* name) {
  std::size_t length = 0;
  for (std::size_t i = 0; name[i] != '\0'; ++i) {
    if (std::strchr(PATH_SEPARATORS, name[i]) != nullptr) length = i + 1;
  }
  return length;
}

void prepare_safe_output() { install_signal_handlers(remove_pending_files); }

bool open_safe_output(SafeOutput& out, const char* target) {
  out = SafeOutput{};
  out.target = target;
  out.file = NO_SYSTEM_FILE;
  const std::size_t directory = directory_length(target);
  if (directory + sizeof TEMP_NAME > out.temp_name.size()) return fail(out, SYSTEM_NAME_TOO_LONG);
  if (!check_not_input(out) || !check_target(out)) return false;
  std::memcpy(out.temp_name.data(), target, directory);
  const bool created = create_temp_file(out, directory);
  // Before the first byte; a failure here fails the close.
  if (created && out.narrows) out.error = narrow_permissions(out.judged, out.file, out.mode, out.group);
  if (!out.keeps_permissions || !created) close_file(out.judged);
  return created || fail(out, out.error);
}

void write_safe_output(SafeOutput& out, const void* data, std::size_t size) {
  if (out.error == 0) out.error = write_file(out.file, data, size);
}

bool close_safe_output(SafeOutput& out) {
  if (out.error == 0 && out.keeps_permissions) out.error = keep_permissions(out.judged, out.file, out.mode, out.group);
  close_file(out.judged);
  if (out.error == 0) out.error = sync_file(out.file);
  const SystemError closed = close_file(out.file);
  if (out.error == 0) out.error = closed;  // the first failure is the one reported
  // The rename or removal and the list change are one step for the handlers.
  hold_signals();
  if (out.error == 0) out.error = replace_file(out.temp_name.data(), out.target);
  const SystemError left = out.error != 0 ? remove_file(out.temp_name.data()) : 0;
  deactivate(out);
  release_signals();
  if (out.error == 0) return true;
  print_reason(out.target, out.error);
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
