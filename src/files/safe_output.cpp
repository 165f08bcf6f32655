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
bool target_is_read_only(const char* target) {
  struct stat info {};
  return stat(target, &info) == 0 && !has_write_permission(info);
}

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

bool replace_target(const char* temp_name, const char* target) {
#ifdef _WIN32
  return MoveFileExA(temp_name, target, MOVEFILE_REPLACE_EXISTING) != 0;
#else
  return std::rename(temp_name, target) == 0;
#endif
}

}  // namespace

bool write_file_whole(const char* target, const void* data, std::size_t size) {
  std::array<char, 512> temp_name{};
  if (std::strlen(target) + sizeof TEMP_SUFFIX > temp_name.size()) return false;
  if (target_is_read_only(target) || directory_is_read_only(target)) return false;
  std::strcpy(temp_name.data(), target);
  std::strcat(temp_name.data(), TEMP_SUFFIX);

  std::FILE* file = std::fopen(temp_name.data(), "wb");
  if (file == nullptr) return false;
  const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
  const bool closed = std::fclose(file) == 0;
  if (written && closed && replace_target(temp_name.data(), target)) return true;
  std::remove(temp_name.data());
  return false;
}
