#include "files/target_check.h"

#include <sys/stat.h>

#include <cstring>

#include "files/temp_name.h"

namespace {

// umask has no read-only form: reading it means setting it, so once only.
unsigned new_file_mode = 0;
bool new_file_mode_known = false;

bool has_write_permission(const struct stat& info) {
#ifdef _WIN32
  return (info.st_mode & _S_IWRITE) != 0;
#else
  return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
#endif
}

bool directory_is_read_only(const char* target, std::size_t length) {
#ifdef _WIN32
  // A directory's read-only attribute does not stop writing on Windows.
  static_cast<void>(target);
  static_cast<void>(length);
  return false;
#else
  TempPath directory{};
  if (length == 0) {
    directory[0] = '.';
  } else {
    std::memcpy(directory.data(), target, length);  // "dir/" names the directory itself
  }
  struct stat info {};
  return stat(directory.data(), &info) == 0 && !has_write_permission(info);
#endif
}

// Sets the final mode; false if the target is read-only.
bool check_target(const char* target, unsigned& final_mode) {
  final_mode = new_file_mode;
  struct stat info {};
#ifdef _WIN32
  if (stat(target, &info) != 0) return true;
  return has_write_permission(info);
#else
  if (lstat(target, &info) != 0 || S_ISLNK(info.st_mode)) return true;
  if (!has_write_permission(info)) return false;
  // Set-id bits are not carried over onto a file this run created.
  final_mode = static_cast<unsigned>(info.st_mode) & 0777U;
  return true;
#endif
}

}  // namespace

void learn_new_file_mode() {
  if (new_file_mode_known) return;
#ifdef _WIN32
  new_file_mode = 0666;
#else
  const mode_t mask = umask(0);
  umask(mask);
  new_file_mode = 0666U & ~static_cast<unsigned>(mask);
#endif
  new_file_mode_known = true;
}

bool may_replace_target(const char* target, std::size_t directory, unsigned& final_mode) {
  return check_target(target, final_mode) && !directory_is_read_only(target, directory);
}
