#include "safe_output.h"

#include <sys/stat.h>

#include <array>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

constexpr char TEMP_SUFFIX[] = ".qrvtmp";

bool has_write_permission(const struct stat& info) {
#ifdef _WIN32
  return (info.st_mode & _S_IWRITE) != 0;
#else
  return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
#endif
}

// Read-only is judged by the permission bits, not by a trial write: a build
// run as an administrator must not overwrite what is marked read-only either.
bool directory_is_read_only(const char* target) {
#ifdef _WIN32
  // A directory's read-only attribute does not stop writing on Windows.
  static_cast<void>(target);
  return false;
#else
  std::array<char, 512> directory{};
  const char* slash = std::strrchr(target, '/');
  if (slash == nullptr) {
    std::strcpy(directory.data(), ".");
  } else if (slash == target) {
    std::strcpy(directory.data(), "/");
  } else {
    std::memcpy(directory.data(), target, static_cast<std::size_t>(slash - target));
  }
  struct stat info {};
  return stat(directory.data(), &info) == 0 && !has_write_permission(info);
#endif
}

bool keep_mode(const char* temp_name, unsigned mode) {
#ifdef _WIN32
  static_cast<void>(temp_name);
  static_cast<void>(mode);
  return true;
#else
  return mode == 0 || chmod(temp_name, static_cast<mode_t>(mode)) == 0;
#endif
}

bool replace_target(const char* temp_name, const char* target) {
#ifdef _WIN32
  return MoveFileExA(temp_name, target, MOVEFILE_REPLACE_EXISTING) != 0;
#else
  return std::rename(temp_name, target) == 0;
#endif
}

}  // namespace

bool open_safe_output(SafeOutput& out, const char* target) {
  out.target = target;
  out.file = nullptr;
  out.target_mode = 0;
  out.failed = false;
  out.temp_name.fill('\0');
  if (std::strlen(target) + sizeof TEMP_SUFFIX > out.temp_name.size()) return false;
  struct stat info {};
  if (stat(target, &info) == 0) {
    if (!has_write_permission(info)) return false;
    // The new file keeps the permissions of the one it replaces.
    out.target_mode = static_cast<unsigned>(info.st_mode) & 07777U;
  }
  if (directory_is_read_only(target)) return false;
  std::strcpy(out.temp_name.data(), target);
  std::strcat(out.temp_name.data(), TEMP_SUFFIX);
  out.file = std::fopen(out.temp_name.data(), "wb");
  return out.file != nullptr;
}

void write_safe_output(SafeOutput& out, const void* data, std::size_t size) {
  if (size != 0 && std::fwrite(data, 1, size, out.file) != size) out.failed = true;
}

bool close_safe_output(SafeOutput& out) {
  const bool closed = std::fclose(out.file) == 0;
  out.file = nullptr;
  if (!out.failed && closed && keep_mode(out.temp_name.data(), out.target_mode) &&
      replace_target(out.temp_name.data(), out.target)) {
    return true;
  }
  std::remove(out.temp_name.data());
  return false;
}

bool write_file_whole(const char* target, const void* data, std::size_t size) {
  SafeOutput out;
  if (!open_safe_output(out, target)) return false;
  write_safe_output(out, data, size);
  return close_safe_output(out);
}
