#include "files/temp_name.h"

#include <cstdint>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/random.h>
#endif
#endif

namespace {

constexpr char TEMP_PREFIX[] = ".qrv-";
constexpr char TEMP_SUFFIX[] = ".tmp";
constexpr std::size_t TEMP_RANDOM_CHARS = 6;
static_assert(TEMP_NAME_LENGTH == sizeof TEMP_PREFIX - 1 + TEMP_RANDOM_CHARS + sizeof TEMP_SUFFIX - 1,
              "TEMP_NAME_LENGTH counts prefix, random part and suffix");
constexpr char NAME_CHARS[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::uint64_t NAME_CHAR_COUNT = sizeof NAME_CHARS - 1;

bool is_separator(char c) {
#ifdef _WIN32
  return c == '/' || c == '\\' || c == ':';
#else
  return c == '/';
#endif
}

// A 64-bit finaliser: spreads clock and process bits over every name character.
std::uint64_t mix(std::uint64_t value) {
  value += 0x9E3779B97F4A7C15ULL;
  value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ULL;
  value = (value ^ (value >> 27)) * 0x94D049BB133111EBULL;
  return value ^ (value >> 31);
}

// Fresh bits for each name: from the kernel where it offers them, else the
// clock and the process id, mixed, with a counter so no two tries repeat.
std::uint64_t random_bits() {
  static std::uint64_t counter = 0;
  ++counter;
  std::uint64_t value = 0;
#if defined(__linux__)
  if (getrandom(&value, sizeof value, GRND_NONBLOCK) == static_cast<ssize_t>(sizeof value)) return value;
#endif
#ifdef _WIN32
  LARGE_INTEGER ticks{};
  QueryPerformanceCounter(&ticks);
  value = static_cast<std::uint64_t>(ticks.QuadPart) ^ (std::uint64_t{GetCurrentProcessId()} << 32) ^
          std::uint64_t{GetTickCount()} << 16;
#else
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  value = static_cast<std::uint64_t>(now.tv_nsec) ^ (static_cast<std::uint64_t>(now.tv_sec) << 30) ^
          (static_cast<std::uint64_t>(getpid()) << 40);
#endif
  return mix(value ^ mix(counter));
}

}  // namespace

std::size_t directory_length(const char* target) {
  std::size_t length = 0;
  for (std::size_t i = 0; target[i] != '\0'; ++i) {
    if (is_separator(target[i])) length = i + 1;
  }
  return length;
}

void make_temp_name(char* name) {
  std::memcpy(name, TEMP_PREFIX, sizeof TEMP_PREFIX - 1);
  name += sizeof TEMP_PREFIX - 1;
  std::uint64_t bits = random_bits();
  for (std::size_t i = 0; i < TEMP_RANDOM_CHARS; ++i) {
    name[i] = NAME_CHARS[bits % NAME_CHAR_COUNT];
    bits /= NAME_CHAR_COUNT;
  }
  std::memcpy(name + TEMP_RANDOM_CHARS, TEMP_SUFFIX, sizeof TEMP_SUFFIX);
}
