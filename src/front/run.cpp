#include "front/run.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>

#include "crypt/crypt.h"
#include "files/firmware_files.h"
#include "files/input_files.h"
#include "files/input_warning.h"
#include "files/laid_bytes.h"
#include "files/safe_output.h"
#include "files/system_calls.h"
#include "front/command_line.h"
#include "front/console.h"
#include "front/conversion_steps.h"
#include "front/exit_status.h"
#include "front/flashbuf.h"
#include "front/usage.h"

namespace {

void append(TextField& field, const char* suffix) {
  std::strncat(field.data(), suffix, field.size() - std::strlen(field.data()) - 1);
}

// Ends options.outfile at the first '.' of its last path component and
// appends `extension`: a '.' in a directory part (../out/fw, v1.2/fw) is no
// extension.
const TextField& output_name(const char* extension) {
  char* name = options.outfile.data();
  char* dot = std::strchr(name + directory_length(name), '.');
  if (dot != nullptr) *dot = '\0';
  append(options.outfile, extension);
  return options.outfile;
}

int read_input_files(const NameTable& names) {
  for (std::size_t input = 0; input < names.size(); ++input) {
    const TextField& name = names[input];
    if (name[0] == '\0') continue;
    print_message("  ... reading hex file %s\n", name.data());
    if (read_hex_file(name.data(), input) != FILE_OK) {
      print_message("error in file %s\n", name.data());
      return FILE_FAILED;
    }
  }
  return FILE_OK;
}

// For each pair of files that give data for the same image bytes, the pair
// in the order the user named it: a warning where they differ, a note where
// they agree. The file named first is read last and keeps its bytes.
void warn_about_overlaps(const NameTable& names) {
  for (std::size_t kept = names.size(); kept-- > 0;) {
    if (names[kept][0] == '\0') continue;
    for (std::size_t lost = kept; lost-- > 0;) {
      if (names[lost][0] == '\0') continue;
      for (const Again kind : {Again::differing, Again::alike}) {
        const LaidRanges both = laid_by_both(kept, lost, kind);
        if (both.count > 0) {
          report_both_give(names[kept].data(), first_line_again(kept, lost, kind), names[lost].data(), both, kind);
        }
      }
    }
  }
}

// SOURCE_DATE_EPOCH, where a reproducible build sets it, in place of the
// clock; its low 32 bits, as of the clock's seconds. Unset or empty: the clock.
std::uint32_t random_fill_seed() {
  const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
  if (epoch != nullptr && epoch[0] != '\0') {
    std::uint32_t seed = 0;
    const char* digit = epoch;
    // Wrapping arithmetic keeps exactly the low 32 bits of any length.
    for (; *digit >= '0' && *digit <= '9'; ++digit) seed = seed * 10U + static_cast<std::uint32_t>(*digit - '0');
    if (*digit == '\0') return seed;
    warn_source_date_epoch_ignored();
  }
  return static_cast<std::uint32_t>(std::time(nullptr));
}

bool no_input_named(const NameTable& names) {
  for (const TextField& name : names) {
    if (name[0] != '\0') return false;
  }
  return true;
}

int run_conversion() {
  fill_flashbuf(options.random_fill != 0, options.random_fill != 0 ? random_fill_seed() : 0);
  NameTable names;
  if (!split_infile_list(names)) return EXIT_STATUS_FAILURE;
  add_hex_extensions(names);
  forget_input_files();
  if (no_input_named(names)) warn_no_input_file();
  if (read_input_files(names) != FILE_OK) return EXIT_STATUS_FAILURE;
  warn_about_overlaps(names);
  // Every warning comes before the outputs: with --fatal-warnings none is made.
  if (fatal_warning_printed()) return EXIT_STATUS_FAILURE;

  encrypt_flashbuf();

  print_message("  ... creating output files limit set to 0x%X\n",
                static_cast<unsigned>(static_cast<std::uint32_t>(options.limit)));
  // Both outputs are attempted even when the first fails.
  const TextField bin_name = output_name(".BIN");
  const bool bin_written = write_bin_file(bin_name.data()) == FILE_OK;
  const char* hex_name = output_name(".HEX").data();
  const bool hex_written = write_hex_file(hex_name) == FILE_OK;
  if (options.autoflash != 0) print_message("Warning:  Autoflash option ignored at this time\n");
  // What was replaced is made durable, also when the other output failed.
  const bool synced = sync_output_directory(bin_written ? bin_name.data() : nullptr, hex_written ? hex_name : nullptr);
  if (!bin_written || !hex_written || !synced) return EXIT_STATUS_FAILURE;
  print_message("done\n");
  return EXIT_STATUS_SUCCESS;
}

// The banner, then the usage text, the command line's own end, or the
// conversion; --version alone drops the banner.
int run_command_line(int argc, const char* const argv[]) {
  hold_banner();
  if (argc < 2) {
    print_usage();
    return EXIT_STATUS_SUCCESS;
  }
  const ParseOutcome outcome = parse_command_line(argc, argv);
  release_first_line();
  switch (outcome) {
    case ParseOutcome::exit_success:
      return EXIT_STATUS_SUCCESS;
    case ParseOutcome::exit_failure:
      return EXIT_STATUS_FAILURE;
    case ParseOutcome::run:
      break;
  }
  return run_conversion();
}

}  // namespace

void fill_flashbuf(bool random, std::uint32_t seed) {
  if (random) {
    // A generator of fixed definition: the same second gives the same bytes on every host.
    std::minstd_rand generator(seed);
    for (std::uint8_t& byte : flashbuf) byte = static_cast<std::uint8_t>(generator() % 256);
    print_message("  ... buffer filled with random data\n");
  } else {
    // In blocks of a few vector stores each: one memset of the whole image
    // becomes a string instruction that callgrind counts byte by byte.
    constexpr std::size_t BLOCK = 256;
    for (std::size_t at = 0; at < flashbuf.size(); at += BLOCK) {
      std::memset(flashbuf.data() + at, 0xFF, std::min(BLOCK, flashbuf.size() - at));
    }
    print_message("  ... buffer filled with 0xFF\n");
  }
}

bool split_infile_list(NameTable& names) {
  for (TextField& name : names) name.fill('\0');
  char* list = options.infile_list.data();
  for (TextField& name : names) {
    char* comma = std::strrchr(list, ',');
    if (comma == nullptr) {
      std::strcpy(name.data(), list);
      return true;
    }
    std::strcpy(name.data(), comma + 1);
    *comma = '\0';
  }
  print_message("too many hexfiles");
  std::size_t count = MAX_HEXFILES + 1;
  for (const char* c = list; *c != '\0'; ++c) count += *c == ',' ? 1 : 0;
  std::array<char, 96> text{};
  std::snprintf(text.data(), text.size(), "-i names %u input files; at most %u are read", static_cast<unsigned>(count),
                static_cast<unsigned>(MAX_HEXFILES));
  print_stderr_line(nullptr, nullptr, text.data());
  return false;
}

void add_hex_extensions(NameTable& names) {
  for (TextField& name : names) {
    if (name[0] != '\0' && std::strchr(name.data(), '.') == nullptr) append(name, ".hex");
  }
}

int run_tool(int argc, const char* const argv[]) {
  prepare_stdout();
  prepare_safe_output();
  return check_stdout(run_command_line(argc, argv));
}
