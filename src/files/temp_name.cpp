#include "files/temp_name.h"

#include <cstddef>
#include <cstdint>

#include "files/system_calls.h"

namespace {

constexpr char NAME_CHARS[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::uint64_t NAME_CHAR_COUNT = sizeof NAME_CHARS - 1;

// A 64-bit finaliser, with a counter so no two tries repeat even where the
// platform's bits come from a coarse clock.
std::uint64_t mix(std::uint64_t value) {
  value += 0x9E3779B97F4A7C15ULL;
  value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ULL;
  value = (value ^ (value >> 27)) * 0x94D049BB133111EBULL;
  return value ^ (value >> 31);
}

}  // namespace

void make_temp_name(char* name) {
  static std::uint64_t counter = 0;
  std::uint64_t bits = mix(random_bits() ^ mix(++counter));
  for (std::size_t i = 0; i < sizeof TEMP_NAME; ++i) {
    name[i] = TEMP_NAME[i] == 'X' ? NAME_CHARS[bits % NAME_CHAR_COUNT] : TEMP_NAME[i];
    if (TEMP_NAME[i] == 'X') bits /= NAME_CHAR_COUNT;
  }
}
