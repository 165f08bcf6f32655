#include "front/command_line.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "files/input_warning.h"
#include "files/number_text.h"
#include "front/console.h"
#include "front/flashbuf.h"
#include "front/options.h"
#include "front/usage.h"
#include "front/version.h"

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

bool apply_flag(const FlagSwitch& sw, const char* arg, const char* value) {
  if (value[0] != '+' && value[0] != '-') {
    if (sw.letter == 'F') {
      print_message(sw.bad_value_message, value[0]);
    } else {
      print_message(sw.bad_value_message, sw.letter, value[0]);
    }
    print_stderr_line(arg, nullptr, "the value is + (on) or - (off), attached to the letter");
    return false;
  }
  const bool on = value[0] == '+';
  options.*sw.flag = on ? 1 : 0;
  if (on && sw.other_cipher != nullptr) options.*sw.other_cipher = 0;
  return true;
}

bool apply_cpu(const char* arg, const char* value) {
  options.cpu_id = number_value(value);
  for (const Cpu& cpu : CPU_TABLE) {
    if (cpu.id == options.cpu_id) {
      options.cpu_size = cpu.flash_size;
      options.limit = cpu.flash_size;
      return true;
    }
  }
  print_message("unknown cpu -c%d\n", static_cast<int>(options.cpu_id));
  // The number as read, in both bases (-c52 is not 0x52), and the table's ids.
  std::array<char, 160> text{};
  int used = std::snprintf(text.data(), text.size(), "unknown chip %d (0x%X); the known ones are",
                           static_cast<int>(options.cpu_id), static_cast<unsigned>(options.cpu_id));
  for (const Cpu& cpu : CPU_TABLE) {
    used += std::snprintf(text.data() + used, text.size() - static_cast<std::size_t>(used), "%s 0x%02X",
                          &cpu == CPU_TABLE.data() ? "" : ",", static_cast<unsigned>(cpu.id));
  }
  print_stderr_line(arg, nullptr, text.data());
  return false;
}

bool fits_text_field(char letter, const char* value) {
  if (std::strlen(value) <= MAX_VALUE_LENGTH) return true;
  print_message("Error:  value of -%c too long\n", letter);
  return false;
}

void copy_text(TextField& field, const char* value) { std::memcpy(field.data(), value, std::strlen(value) + 1); }

enum class SwitchOutcome { applied, help, failed };

SwitchOutcome apply_switch(const char* arg, char letter, const char* value) {
  for (const FlagSwitch& sw : FLAG_SWITCHES) {
    if (sw.letter == letter) return apply_flag(sw, arg, value) ? SwitchOutcome::applied : SwitchOutcome::failed;
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
      if (letter == 'K') {
        set_teakey(value);
        const std::size_t length = std::strlen(value);
        if (length != TEA_KEY_BYTES) warn_key_length(length);
      }
      return SwitchOutcome::applied;
    case 'C':
      return apply_cpu(arg, value) ? SwitchOutcome::applied : SwitchOutcome::failed;
    case 'L':
      options.limit = number_value(value);
      return SwitchOutcome::applied;
    default:
      print_message("unknown option -%c\n", letter);
      return SwitchOutcome::failed;
  }
}

// The value of -i, -o, -k, -c or -l given as an argument of its own, as
// "-i app.hex", is the likely mistake behind an argument that is no switch.
void explain_not_a_switch(const char* arg, const char* previous) {
  const char* name = arg[0] != '\0' ? arg : "\"\"";
  if (previous == nullptr || std::strlen(previous) != 2 || std::strchr("IOKCL", upper_ascii(previous[1])) == nullptr) {
    print_stderr_line(name, nullptr, "not a switch; switches start with - or /, values attached: -iapp.hex");
    return;
  }
  std::array<char, 2 * TEXT_FIELD_SIZE> text{};
  std::snprintf(text.data(), text.size(), "not a switch; a value is attached to its letter: %s%s", previous, arg);
  print_stderr_line(name, nullptr, text.data());
}

// The long forms every build tool answers; true when ARG was one of them.
bool long_option(const char* arg) {
  if (std::strcmp(arg, "--help") == 0) {
    print_usage();
  } else if (std::strcmp(arg, "--version") == 0) {
    print_message("qrv_tools %s\n", TOOL_VERSION);
  } else {
    return false;
  }
  return true;
}

}  // namespace

ParseOutcome parse_command_line(int argc, const char* const argv[]) {
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (long_option(arg)) return ParseOutcome::exit_success;
    if (arg[0] != '-' && arg[0] != '/') {
      print_message("one or more params wrong!\n");
      explain_not_a_switch(arg, i > 1 ? argv[i - 1] : nullptr);
      print_usage();
      return ParseOutcome::exit_failure;
    }
    const char letter = upper_ascii(arg[1]);
    // A bare '-' or '/' has no value; its NUL letter matches no switch.
    const char* value = letter == '\0' ? arg + 1 : arg + 2;
    switch (apply_switch(arg, letter, value)) {
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
