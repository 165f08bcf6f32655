// parse_command_line in-process: the arguments that end the process and what
// they print, what stays applied before them, and the longest values.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "command_line_support.h"
#include "front/command_line.h"
#include "front/options.h"
#include "usage_text.h"

using namespace command_line_support;

// Arguments that end the process; the message is byte for byte, NULs included.
struct EndingCase {
  std::vector<std::string> args;
  std::string out;
  ParseOutcome outcome;
};

TEST(CommandLine, ArgumentsThatEndTheProcess) {
  using std::string_literals::operator""s;
  const std::string long_value(252, 'v');
  const ParseOutcome fail = ParseOutcome::exit_failure;
  const ParseOutcome help = ParseOutcome::exit_success;
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
      {{"app.hex"}, "one or more params wrong!\n" + USAGE, fail},
      {{"-i", "app.hex"}, "one or more params wrong!\n" + USAGE, fail},
      {{""}, "one or more params wrong!\n" + USAGE, fail},
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
  };
  for (const EndingCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    const Parsed parsed = parse(c.args);
    EXPECT_EQ(parsed.outcome, c.outcome);
    EXPECT_EQ(parsed.out, c.out);
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
