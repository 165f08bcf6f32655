// The settings record of one run: its fields, its defaults and the key
// handling that keeps its two key fields in step.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// Text fields hold up to 255 characters and their terminating NUL.
constexpr std::size_t TEXT_FIELD_SIZE = 256;
using TextField = std::array<char, TEXT_FIELD_SIZE>;

// Values of -i, -o and -k longer than this are refused: the run appends up to
// four characters to names, and they must still fit their field.
constexpr std::size_t MAX_VALUE_LENGTH = TEXT_FIELD_SIZE - 5;

constexpr std::size_t TEA_KEY_BYTES = 16;

struct Options {
  TextField infile_list;
  TextField outfile;
  std::array<std::uint8_t, TEXT_FIELD_SIZE> teakey;
  // teakey's first 16 bytes with each group of four reversed: hands the
  // ciphers the key words most significant byte first.
  std::array<std::uint8_t, TEXT_FIELD_SIZE> teakey_msb;
  std::int32_t cpu_id;
  std::int32_t cpu_size;
  std::int32_t limit;
  int tea_on;
  int xtea_on;
  int random_fill;
  int autoflash;
  int msb_first;
  int strong;
};

extern Options options;

// The settings before any switch is applied.
Options default_options();

// Copies `value` with its NUL over the start of teakey and rebuilds teakey_msb.
void set_teakey(const char* value);
