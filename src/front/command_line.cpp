#include "front/command_line.h"

#include <array>
#include <cstring>

#include "files/number_text.h"
#include "front/console.h"
#include "front/flashbuf.h"
#include "front/options.h"
#include "front/usage.h"

namespace {

struct Cpu {
  std::int32_t id;
  std::int32_t flash_size;
};

// The only chips -c accepts; the whole converted number must match an id.
constexpr std::array<Cpu, 5> CPU_TABLE{{
    {0x51, 0x2800},
    {0x52, 0x3800},
    {0x54, 0x3800},
    {0x58, 0x8000},
    {0x59, 0xF400},
}};

// A switch whose value is '+' (on) or '-' (off).
struct FlagSwitch {
  char letter;
  int Options::*flag;
  int Options::*other_cipher;  // switched off with this one on, or nullptr
  const char* bad_value_message;
};

// All but -f quote the upper-cased letter and the bad character; -f only the
// bad character.
constexpr std::array<FlagSwitch, 6> FLAG_SWITCHES{{
    {'E', &Options::tea_on, &Options::xtea_on, "unknown option -e%c%c\n"},
    {'X', &Options::xtea_on, &Options::tea_on, "unknown option -x%c%c\n"},
    {'S', &Options::strong, nullptr, "unknown option -s%c%c\n"},
    {'M', &Options::msb_first, nullptr, "unknown option -m%c%c\n"},
    {'F', &Options::random_fill, nullptr, "unknown option -f%c\n"},
    {'A', &Options::autoflash, nullptr, "unknown option -a%c%c\n"},
}};

// Locale-independent, so every host reads the letters alike.
char upper_ascii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::int32_t number_value(const char* value) { return text_to_int32(value, std::strlen(value), 0); }

bool apply_flag(const FlagSwitch& sw, const char* value) {
  if (value[0] != '+' && value[0] != '-') {
    if (sw.letter == 'F') {
      print_message(sw.bad_value_message, value[0]);
    } else {
      print_message(sw.bad_value_message, sw.letter, value[0]);
    }
    return false;
  }
  const bool on = value[0] == '+';
  options.*sw.flag = on ? 1 : 0;
  if (on && sw.other_cipher != nullptr) options.*sw.other_cipher = 0;
  return true;
}

bool apply_cpu(const char* value) {
  options.cpu_id = number_value(value);
  for (const Cpu& cpu : CPU_TABLE) {
    if (cpu.id == options.cpu_id) {
      options.cpu_size = cpu.flash_size;
      options.limit = cpu.flash_size;
      return true;
    }
  }
  print_message("unknown cpu -c%d\n", static_cast<int>(options.cpu_id));
  return false;
}

bool fits_text_field(char letter, const char* value) {
  if (std::strlen(value) <= MAX_VALUE_LENGTH) return true;
  print_message("Error:  value of -%c too long\n", letter);
  return false;
}

void copy_text(TextField& field, const char* value) { std::memcpy(field.data(), value, std::strlen(value) + 1); }

enum class SwitchOutcome { applied, help, failed };

SwitchOutcome apply_switch(char letter, const char* value) {
  for (const FlagSwitch& sw : FLAG_SWITCHES) {
    if (sw.letter == letter) return apply_flag(sw, value) ? SwitchOutcome::applied : SwitchOutcome::failed;
  }
  switch (letter) {
    case '?':
    case 'H':
      print_usage();
      return SwitchOutcome::help;
    case 'I':
    case 'O':
    case 'K':
      if (!fits_text_field(letter, value)) return SwitchOutcome::failed;
      if (letter == 'I') copy_text(options.infile_list, value);
      if (letter == 'O') copy_text(options.outfile, value);
      if (letter == 'K') set_teakey(value);
      return SwitchOutcome::applied;
    case 'C':
      return apply_cpu(value) ? SwitchOutcome::applied : SwitchOutcome::failed;
    case 'L':
      options.limit = number_value(value);
      return SwitchOutcome::applied;
    default:
      print_message("unknown option -%c\n", letter);
      return SwitchOutcome::failed;
  }
}

}  // namespace

ParseOutcome parse_command_line(int argc, const char* const argv[]) {
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (arg[0] != '-' && arg[0] != '/') {
      print_message("one or more params wrong!\n");
      print_usage();
      return ParseOutcome::exit_failure;
    }
    const char letter = upper_ascii(arg[1]);
    // A bare '-' or '/' has no value; its NUL letter matches no switch.
    const char* value = letter == '\0' ? arg + 1 : arg + 2;
    switch (apply_switch(letter, value)) {
      case SwitchOutcome::applied:
        break;
      case SwitchOutcome::help:
        return ParseOutcome::exit_success;
      case SwitchOutcome::failed:
        return ParseOutcome::exit_failure;
    }
  }
  // The outputs can carry no more than the image holds.
  if (options.limit > static_cast<std::int32_t>(FLASHBUF_SIZE)) {
    print_message("Error:  limit 0x%X above flashbuf size 0xF400\n",
                  static_cast<unsigned>(static_cast<std::uint32_t>(options.limit)));
    return ParseOutcome::exit_failure;
  }
  return ParseOutcome::run;
}
