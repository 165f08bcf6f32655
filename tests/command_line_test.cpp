// parse_command_line in-process: what each switch and value that lets the run
// go on does to `options`, the key material included; the arguments that end
// the process and what they print, what stays applied before them, and the
// longest values.
#include "front/command_line.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "front/options.h"
#include "tool_messages.h"

namespace {

// A parse from the defaults, as a fresh process would start, with what it
// printed.
struct Parsed {
  ParseOutcome outcome;
  std::string out;
  std::string err;
};

Parsed parse(const std::vector<std::string>& args) {
  options = default_options();
  std::vector<const char*> argv{"qrv_tools"};
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const ParseOutcome outcome = parse_command_line(static_cast<int>(argv.size()), argv.data());
  std::string out = testing::internal::GetCapturedStdout();
  return {outcome, out, testing::internal::GetCapturedStderr()};
}

std::string text(const TextField& field) { return field.data(); }

std::string key_bytes(const std::array<std::uint8_t, TEXT_FIELD_SIZE>& key, std::size_t count) {
  return std::string(reinterpret_cast<const char*>(key.data()), count);
}

void expect_same_options(const Options& actual, const Options& expected) {
  EXPECT_EQ(text(actual.infile_list), text(expected.infile_list));
  EXPECT_EQ(text(actual.outfile), text(expected.outfile));
  EXPECT_EQ(actual.teakey, expected.teakey);
  EXPECT_EQ(actual.teakey_msb, expected.teakey_msb);
  EXPECT_EQ(actual.cpu_id, expected.cpu_id);
  EXPECT_EQ(actual.cpu_size, expected.cpu_size);
  EXPECT_EQ(actual.limit, expected.limit);
  EXPECT_EQ(actual.tea_on, expected.tea_on);
  EXPECT_EQ(actual.xtea_on, expected.xtea_on);
  EXPECT_EQ(actual.random_fill, expected.random_fill);
  EXPECT_EQ(actual.autoflash, expected.autoflash);
  EXPECT_EQ(actual.msb_first, expected.msb_first);
  EXPECT_EQ(actual.strong, expected.strong);
}

void set_text(TextField& field, const char* value) { std::strcpy(field.data(), value); }

void set_chip(Options& o, std::int32_t id, std::int32_t size) {
  o.cpu_id = id;
  o.cpu_size = size;
  o.limit = size;
}

// The documented defaults, written out: empty input list, FIRMWARE.BIN, the
// built-in key and its msb copy, chip 0x59, every flag off.
Options documented_defaults() {
  Options o{};
  set_text(o.outfile, "FIRMWARE.BIN");
  std::memcpy(o.teakey.data(), "PaleMoonOverHill", 16);
  std::memcpy(o.teakey_msb.data(), "elaPnooMrevOlliH", 16);
  set_chip(o, 0x59, 0xF400);
  return o;
}

}  // namespace

TEST(Options, Defaults) { expect_same_options(default_options(), documented_defaults()); }

// Arguments that are applied and let the run go on, silently.
struct AppliedCase {
  std::vector<std::string> args;
  std::function<void(Options&)> change;  // from the defaults
};

TEST(CommandLine, SwitchesApplied) {
  const std::vector<AppliedCase> cases = {
      {{"-iapp.hex"}, [](Options& o) { set_text(o.infile_list, "app.hex"); }},
      {{"/Ia.hex,b.hex"}, [](Options& o) { set_text(o.infile_list, "a.hex,b.hex"); }},
      {{"-ifirst.hex", "-isecond.hex"}, [](Options& o) { set_text(o.infile_list, "second.hex"); }},
      {{"-ifirst.hex", "-i"}, [](Options&) {}},
      {{"-ofw.bin"}, [](Options& o) { set_text(o.outfile, "fw.bin"); }},
      {{"/O../out/x"}, [](Options& o) { set_text(o.outfile, "../out/x"); }},
      {{"-o"}, [](Options& o) { set_text(o.outfile, ""); }},
      {{"-c0x51"}, [](Options& o) { set_chip(o, 0x51, 0x2800); }},
      {{"-c0x52"}, [](Options& o) { set_chip(o, 0x52, 0x3800); }},
      {{"-C0X54"}, [](Options& o) { set_chip(o, 0x54, 0x3800); }},
      {{"/c0x58"}, [](Options& o) { set_chip(o, 0x58, 0x8000); }},
      {{"-c0x52", "-c89"}, [](Options&) {}},
      {{"-c0x52", "-c0131"}, [](Options&) {}},
      {{"-c0x52", "-c 0x59z"}, [](Options&) {}},
      {{"-c+82"}, [](Options& o) { set_chip(o, 0x52, 0x3800); }},
      {{"-l0x100"}, [](Options& o) { o.limit = 0x100; }},
      {{"-L256"}, [](Options& o) { o.limit = 0x100; }},
      {{"-l0400"}, [](Options& o) { o.limit = 0x100; }},
      {{"-l"}, [](Options& o) { o.limit = 0; }},
      {{"-lxyz"}, [](Options& o) { o.limit = 0; }},
      {{"-l-5"}, [](Options& o) { o.limit = -5; }},
      {{"-l0xF400"}, [](Options& o) { o.limit = 0xF400; }},
      {{"-l-99999999999"}, [](Options& o) { o.limit = INT32_MIN; }},
      {{"-l0x1000", "-c0x52"}, [](Options& o) { set_chip(o, 0x52, 0x3800); }},
      {{"-c0x52", "-l0x1000"}, [](Options& o) { set_chip(o, 0x52, 0x3800), o.limit = 0x1000; }},
      // Only the final limit is measured against the image.
      {{"-l0x10000", "-c0x51"}, [](Options& o) { set_chip(o, 0x51, 0x2800); }},
      {{"-e+"}, [](Options& o) { o.tea_on = 1; }},
      {{"/E+xyz"}, [](Options& o) { o.tea_on = 1; }},
      {{"-x+"}, [](Options& o) { o.xtea_on = 1; }},
      {{"-x+", "-e+"}, [](Options& o) { o.tea_on = 1; }},
      {{"-e+", "-x+"}, [](Options& o) { o.xtea_on = 1; }},
      {{"-e+", "-x-"}, [](Options& o) { o.tea_on = 1; }},
      {{"-x+", "-e-"}, [](Options& o) { o.xtea_on = 1; }},
      {{"-e+", "-e-"}, [](Options&) {}},
      {{"-s+"}, [](Options& o) { o.strong = 1; }},
      {{"-S+xyz"}, [](Options& o) { o.strong = 1; }},
      {{"-s+", "/s-"}, [](Options&) {}},
      {{"-m+"}, [](Options& o) { o.msb_first = 1; }},
      {{"/M+"}, [](Options& o) { o.msb_first = 1; }},
      {{"-f+"}, [](Options& o) { o.random_fill = 1; }},
      {{"-F+", "-f-"}, [](Options&) {}},
      {{"-a+"}, [](Options& o) { o.autoflash = 1; }},
      {{"-A+-"}, [](Options& o) { o.autoflash = 1; }},
      {{"-a-"}, [](Options&) {}},
  };
  for (const AppliedCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    const Parsed parsed = parse(c.args);
    EXPECT_EQ(parsed.outcome, ParseOutcome::run);
    EXPECT_EQ(parsed.out, "");
    EXPECT_EQ(parsed.err, "");
    Options expected = documented_defaults();
    c.change(expected);
    expect_same_options(options, expected);
  }
}

// The key material after each -k, NULs included, and its msb copy.
struct KeyCase {
  std::vector<std::string> args;
  std::string teakey;      // the first bytes of teakey, NULs included
  std::string teakey_msb;  // its first 16 bytes
};

TEST(CommandLine, KeyHandling) {
  using std::string_literals::operator""s;
  const std::vector<KeyCase> cases = {
      {{}, "PaleMoonOverHill\0"s, "elaPnooMrevOlliH"},
      {{"-k"}, "\0aleMoonOverHill\0"s, "ela\0nooMrevOlliH"s},
      {{"-kabc"}, "abc\0MoonOverHill\0"s, "\0cbanooMrevOlliH"s},
      {{"-k0123456789ABCDEF"}, "0123456789ABCDEF\0"s, "32107654BA98FEDC"},
      {{"-K0123456789ABCDEFGHIJ"}, "0123456789ABCDEFGHIJ\0"s, "32107654BA98FEDC"},
      // A short key keeps the tail of the one before it, even beyond byte 16.
      {{"-k0123456789ABCDEFGHIJ", "/kxy"}, "xy\0"s + "3456789ABCDEFGHIJ\0"s, "3\0yx7654BA98FEDC"s},
      {{"-kabcd"}, "abcd\0oonOverHill\0"s, "dcbanoo\0revOlliH"s},
  };
  for (const KeyCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    parse(c.args);
    EXPECT_EQ(key_bytes(options.teakey, c.teakey.size()), c.teakey);
    EXPECT_EQ(key_bytes(options.teakey_msb, 16), c.teakey_msb);
    for (std::size_t i = TEA_KEY_BYTES; i < TEXT_FIELD_SIZE; ++i) EXPECT_EQ(options.teakey_msb[i], 0) << i;
  }
}

// Arguments that end the process; the message is byte for byte, NULs included.
struct EndingCase {
  std::vector<std::string> args;
  std::string out;
  ParseOutcome outcome;
  std::optional<std::string> err = std::nullopt;  // standard error, where the row is about it
};

TEST(CommandLine, ArgumentsThatEndTheProcess) {
  using std::string_literals::operator""s;
  const std::string long_value(252, 'v');
  const ParseOutcome fail = ParseOutcome::exit_failure;
  const ParseOutcome help = ParseOutcome::exit_success;
  const std::string UNKNOWN = "unknown option; qrv_tools --help lists the options\n";
  const std::string AFTER_K =
      "qrv_tools: error: the argument after -k is not shown, as it may hold the key; the key is attached to its "
      "letter: -kKEY, or read from a file: --key-file=FILE\n";
  const std::string NO_KEY =
      "qrv_tools: warning: the key has 0 characters, not 16; a NUL byte and the last 15 bytes of the previous key "
      "complete it\n";
  const std::vector<EndingCase> cases = {
      {{"-c0x53"}, "unknown cpu -c83\n", fail},
      {{"-c0x55"}, "unknown cpu -c85\n", fail},
      {{"-c0x56"}, "unknown cpu -c86\n", fail},
      {{"-c0x57"}, "unknown cpu -c87\n", fail},
      {{"-c0x159"}, "unknown cpu -c345\n", fail},
      {{"-c4294967385"}, "unknown cpu -c2147483647\n", fail},
      {{"-c-4294967207"}, "unknown cpu -c-2147483648\n", fail},
      {{"-c-1"}, "unknown cpu -c-1\n", fail},
      {{"-c"}, "unknown cpu -c0\n", fail},
      {{"-cx59"}, "unknown cpu -c0\n", fail},
      {{"-sq"}, "unknown option -sSq\n", fail},
      {{"-s"}, "unknown option -sS\0\n"s, fail},
      {{"-ex"}, "unknown option -eEx\n", fail},
      {{"-e"}, "unknown option -eE\0\n"s, fail},
      {{"/Xz"}, "unknown option -xXz\n", fail},
      {{"-m0"}, "unknown option -mM0\n", fail},
      {{"-a*"}, "unknown option -aA*\n", fail},
      {{"-fq"}, "unknown option -fq\n", fail},
      {{"-F"}, "unknown option -f\0\n"s, fail},
      {{"-z"}, "unknown option -Z\n", fail},
      {{"-1"}, "unknown option -1\n", fail},
      {{"-"}, "unknown option -\0\n"s, fail},
      {{"/"}, "unknown option -\0\n"s, fail},
      {{"-i" + long_value}, "Error:  value of -I too long\n", fail},
      {{"/o" + long_value}, "Error:  value of -O too long\n", fail},
      {{"-K" + long_value}, "Error:  value of -K too long\n", fail},
      {{"-l0x10000"}, "Error:  limit 0x10000 above flashbuf size 0xF400\n", fail},
      {{"-l0xF401"}, "Error:  limit 0xF401 above flashbuf size 0xF400\n", fail},
      {{"-l99999999999"}, "Error:  limit 0x7FFFFFFF above flashbuf size 0xF400\n", fail},
      {{"-c0x52", "-l0xF410"}, "Error:  limit 0xF410 above flashbuf size 0xF400\n", fail},
      {{"app.hex"}, PARAMS_WRONG + USAGE, fail},
      {{"-i", "app.hex"}, PARAMS_WRONG + USAGE, fail},
      {{""}, PARAMS_WRONG + USAGE, fail},
      {{"-?"}, USAGE, help},
      {{"-h"}, USAGE, help},
      {{"/H"}, USAGE, help},
      {{"-hxyz"}, USAGE, help},
      // Nothing after the first ending argument is looked at.
      {{"-sq", "-z"}, "unknown option -sSq\n", fail},
      {{"-h", "-z"}, USAGE, help},
      {{"-z", "-h"}, "unknown option -Z\n", fail},
      {{"-l0x10000", "-h"}, USAGE, help},
      {{"-l0x10000", "-sq"}, "unknown option -sSq\n", fail},
      {{"-c0x53", "-l0x10000"}, "unknown cpu -c83\n", fail},
      {{"-fq", "app.hex"}, "unknown option -fq\n", fail},
      // The hint fits what came before: a second input file joins the list.
      {{"-iapp.hex", "foo"},
       PARAMS_WRONG + USAGE,
       fail,
       "qrv_tools: error: foo: not a switch; more input files join the one -i with commas: -iapp.hex,foo\n"},
      {{"/o", "fw"},
       PARAMS_WRONG + USAGE,
       fail,
       "qrv_tools: error: fw: not a switch; a value is attached to its letter: /ofw\n"},
      // A newline in the hint, as in a name, cannot start a line of its own.
      {{"-i", "a\nb"},
       PARAMS_WRONG + USAGE,
       fail,
       "qrv_tools: error: 'a'$'\\n''b': not a switch; a value is attached to its letter: '-ia'$'\\n''b'\n"},
      {{"--versionx"}, "unknown option --\n", fail, "qrv_tools: error: --versionx: " + UNKNOWN},
      {{"--key-file=k", "-h"}, "", fail},
      {{"-zSECRET"}, "unknown option -Z\n", fail, "qrv_tools: error: -z: " + UNKNOWN},
      // Nothing of what follows -k is shown: it may be the key, or part of it.
      {{"-k", "SECRETKEY1234567"}, PARAMS_WRONG + USAGE, fail, NO_KEY + AFTER_K},
      {{"-k", "--SECRETKEY12345"}, "unknown option --\n", fail, NO_KEY + AFTER_K},
      {{"-k0123456789ABCDEF", "more"}, PARAMS_WRONG + USAGE, fail, AFTER_K},
      {{"-k0123456789ABCDEF", "-eKEY"}, "unknown option -eEK\n", fail, AFTER_K},
      {{"--key-file"},
       "",
       fail,
       "qrv_tools: error: --key-file: the name of the file that holds the key follows it: --key-file=FILE\n"},
  };
  for (const EndingCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    const Parsed parsed = parse(c.args);
    EXPECT_EQ(parsed.outcome, c.outcome);
    EXPECT_EQ(parsed.out, c.out);
    if (c.err) {
      EXPECT_EQ(parsed.err, *c.err);
    }
  }
}

TEST(CommandLine, SwitchesBeforeAnErrorAreAppliedNoneAfter) {
  const std::string long_value(252, 'v');
  const std::vector<std::vector<std::string>> cases = {
      {"-e+", "-iapp.hex", "-sq", "-x+", "-ilater.hex"},
      {"-e+", "-iapp.hex", "-i" + long_value, "-x+"},
      {"-e+", "-iapp.hex", "nonswitch", "-x+", "-ilater.hex"},
      {"-e+", "-iapp.hex", "-c0x53", "-x+", "-ilater.hex"},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(testing::PrintToString(args));
    EXPECT_EQ(parse(args).outcome, ParseOutcome::exit_failure);
    EXPECT_EQ(text(options.infile_list), "app.hex");
    EXPECT_EQ(options.tea_on, 1);
    EXPECT_EQ(options.xtea_on, 0);
  }
}

TEST(CommandLine, LongestValuesFitAndTheRunCanStillAppendFourCharacters) {
  const std::string longest(251, 'n');
  struct FieldCase {
    std::string letter;
    std::function<std::string()> stored;
  };
  const std::vector<FieldCase> cases = {
      {"-i", [] { return text(options.infile_list); }},
      {"-o", [] { return text(options.outfile); }},
      {"-k", [] { return std::string(reinterpret_cast<const char*>(options.teakey.data())); }},
  };
  for (const FieldCase& c : cases) {
    SCOPED_TRACE(c.letter);
    const Parsed parsed = parse({c.letter + longest});
    EXPECT_EQ(parsed.outcome, ParseOutcome::run);
    EXPECT_EQ(parsed.out, "");
    EXPECT_EQ(c.stored(), longest);
    // A refused value leaves the field as the earlier switch set it.
    EXPECT_EQ(parse({c.letter + "keep", c.letter + longest + "x"}).outcome, ParseOutcome::exit_failure);
    EXPECT_EQ(c.stored(), "keep");
  }
}
