#include "front/command_line.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "files/input_warning.h"
#include "files/number_text.h"
#include "front/console.h"
#include "front/flashbuf.h"
#include "front/key_file.h"
#include "front/options.h"
#include "front/quoted_name.h"
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

// Set while the argument after a -k is parsed: a key with a space in it
// reaches here as two arguments, so nothing of that one is ever shown.
bool may_hold_key = false;

// "qrv_tools: error: SHOWN: TEXT" for a refused argument, SHOWN being the
// part of it that tells which; after a -k only where to put the key.
void refuse(const char* shown, const char* text) {
  if (may_hold_key) {
    print_stderr_line(nullptr, nullptr,
                      "the argument after -k is not shown, as it may hold the key; the key is attached to its "
                      "letter: -kKEY, or read from a file: --key-file=FILE");
    return;
  }
  print_stderr_line(nullptr, quoted_name(shown).data(), text);
}

// At most the first `count` characters of ARG, for a message that names a switch.
std::array<char, 4> switch_part(const char* arg, std::size_t count) {
  std::array<char, 4> part{};
  std::strncpy(part.data(), arg, std::min(count, part.size() - 1));
  return part;
}

std::int32_t number_value(const char* value) { return text_to_int32(value, std::strlen(value), 0); }

bool apply_flag(const FlagSwitch& sw, const char* arg, const char* value) {
  if (value[0] != '+' && value[0] != '-') {
    if (sw.letter == 'F') {
      print_message(sw.bad_value_message, value[0]);
    } else {
      print_message(sw.bad_value_message, sw.letter, value[0]);
    }
    refuse(switch_part(arg, 3).data(), "the value is + (on) or - (off), attached to the letter");
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
  refuse(arg, text.data());
  return false;
}

bool fits_text_field(const char* arg, char letter, const char* value) {
  const std::size_t length = std::strlen(value);
  if (length <= MAX_VALUE_LENGTH) return true;
  print_message("Error:  value of -%c too long\n", letter);
  std::array<char, 96> text{};
  std::snprintf(text.data(), text.size(), "the value has %u characters; at most %u fit", static_cast<unsigned>(length),
                static_cast<unsigned>(MAX_VALUE_LENGTH));
  refuse(switch_part(arg, 2).data(), text.data());
  return false;
}

// "-z: unknown option": the switch, without its value; a long one up to its '='.
void refuse_unknown(const char* arg) {
  std::array<char, 64> name{};
  if (arg[1] == '-') {
    std::snprintf(name.data(), name.size(), "%.*s", static_cast<int>(std::strcspn(arg, "=")), arg);
  } else {
    name = {arg[0], arg[1], '\0'};
  }
  refuse(name.data(), "unknown option; qrv_tools --help lists the options");
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
      if (!fits_text_field(arg, letter, value)) return SwitchOutcome::failed;
      if (letter == 'I') copy_text(options.infile_list, value);
      if (letter == 'O') copy_text(options.outfile, value);
      if (letter == 'K') {
        set_teakey(value);
        const std::size_t length = std::strlen(value);
        if (length != TEA_KEY_BYTES) warn_key_length(nullptr, length);
      }
      return SwitchOutcome::applied;
    case 'C':
      return apply_cpu(arg, value) ? SwitchOutcome::applied : SwitchOutcome::failed;
    case 'L':
      options.limit = number_value(value);
      return SwitchOutcome::applied;
    default:
      print_message("unknown option -%c\n", letter);
      refuse_unknown(arg);
      return SwitchOutcome::failed;
  }
}

// FIRST SEPARATOR SECOND, cut where it does not fit: a hint of an argument
// too long to repeat whole still shows how it begins.
void join(std::array<char, 2 * TEXT_FIELD_SIZE>& out, const char* first, const char* separator, const char* second) {
  if (std::snprintf(out.data(), out.size(), "%s%s%s", first, separator, second) < 0) out[0] = '\0';
}

// The value of -i, -o, -c or -l given as an argument of its own, as
// "-i app.hex", is the likely mistake behind an argument that is no switch;
// after -iapp.hex, a second input file.
void explain_not_a_switch(const char* arg, const char* previous) {
  const char* name = arg[0] != '\0' ? arg : "\"\"";
  // The switch as it should have been, quoted as any name on standard error.
  std::array<char, 2 * TEXT_FIELD_SIZE> meant{};
  const bool after_switch = previous != nullptr && (previous[0] == '-' || previous[0] == '/');
  const char* hint = "not a switch; switches start with - or /, values attached: -iapp.hex";
  if (after_switch && std::strlen(previous) == 2 && std::strchr("IOCL", upper_ascii(previous[1])) != nullptr) {
    hint = "not a switch; a value is attached to its letter: ";
    join(meant, previous, "", arg);
  } else if (after_switch && std::strlen(previous) > 2 && upper_ascii(previous[1]) == 'I') {
    hint = "not a switch; more input files join the one -i with commas: ";
    join(meant, previous, ",", arg);
  }
  std::array<char, 2 * sizeof(QuotedName)> text{};
  std::snprintf(text.data(), text.size(), "%s%s", hint, quoted_name(meant.data()).data());
  refuse(name, text.data());
}

enum class LongOutcome { none, applied, ended, failed };

// The long options, GNU style: --key-file=FILE or --key-file FILE. `i`
// moves past a value given as the next argument.
LongOutcome long_option(int argc, const char* const argv[], int& i) {
  const char* arg = argv[i];
  if (std::strcmp(arg, "--help") == 0) {
    print_usage();
    return LongOutcome::ended;
  }
  if (std::strcmp(arg, "--version") == 0) {
    drop_first_line();
    print_message("qrv_tools %s\n", TOOL_VERSION);
    print_message("Copyright (c) 2026 qrv_tools developers\n");
    print_message("License MIT: the terms are in the LICENSE file; there is NO WARRANTY.\n");
    return LongOutcome::ended;
  }
  if (std::strcmp(arg, "--fatal-warnings") == 0) return LongOutcome::applied;  // taken before the parse
  constexpr char KEY_FILE[] = "--key-file";
  constexpr std::size_t KEY_FILE_LENGTH = sizeof KEY_FILE - 1;
  if (std::strncmp(arg, KEY_FILE, KEY_FILE_LENGTH) != 0 ||
      (arg[KEY_FILE_LENGTH] != '\0' && arg[KEY_FILE_LENGTH] != '=')) {
    return LongOutcome::none;
  }
  const char* name = arg + KEY_FILE_LENGTH + 1;
  if (arg[KEY_FILE_LENGTH] == '\0') {
    if (i + 1 >= argc) {
      print_stderr_line(nullptr, KEY_FILE, "the name of the file that holds the key follows it: --key-file=FILE");
      return LongOutcome::failed;
    }
    name = argv[++i];
  }
  return apply_key_file(name) ? LongOutcome::applied : LongOutcome::failed;
}

}  // namespace

ParseOutcome parse_command_line(int argc, const char* const argv[]) {
  // Every warning, those of the key before it included, is then an error.
  bool fatal = false;
  for (int i = 1; i < argc; ++i) fatal = fatal || std::strcmp(argv[i], "--fatal-warnings") == 0;
  set_warnings_fatal(fatal);
  may_hold_key = false;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    switch (long_option(argc, argv, i)) {
      case LongOutcome::none:
        break;
      case LongOutcome::applied:
        may_hold_key = false;
        continue;
      case LongOutcome::ended:
        return ParseOutcome::exit_success;
      case LongOutcome::failed:
        return ParseOutcome::exit_failure;
    }
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
    may_hold_key = letter == 'K';
  }
  // The outputs can carry no more than the image holds.
  if (options.limit > static_cast<std::int32_t>(FLASHBUF_SIZE)) {
    const auto limit = static_cast<unsigned>(static_cast<std::uint32_t>(options.limit));
    print_message("Error:  limit 0x%X above flashbuf size 0xF400\n", limit);
    std::array<char, 96> text{};
    std::snprintf(text.data(), text.size(), "the limit 0x%X lies above the image's 0x%X bytes", limit,
                  static_cast<unsigned>(FLASHBUF_SIZE));
    print_stderr_line(nullptr, "-l", text.data());
    return ParseOutcome::exit_failure;
  }
  // Outputs the chip cannot hold are made, as asked; a build may yet want to fail.
  if (options.limit > options.cpu_size) {
    std::array<char, 128> text{};
    std::snprintf(text.data(), text.size(), "-l: the limit 0x%X lies above the 0x%X bytes of flash of chip 0x%X",
                  static_cast<unsigned>(options.limit), static_cast<unsigned>(options.cpu_size),
                  static_cast<unsigned>(options.cpu_id));
    print_diagnostic(Severity::warning, nullptr, 0, text.data());
  }
  return ParseOutcome::run;
}
