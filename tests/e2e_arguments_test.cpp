// Runs of the real qrv_tools that end before any output file is written:
// help and usage, wrong switches and values, and input files that are
// missing, not Intel HEX or a directory.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "e2e_support.h"
#include "tool_messages.h"

using std::string_literals::operator""s;

// What the process adds to the command line's own table: the banner, the
// status and the lines on standard error; one row for each kind of ending.
TEST(EndToEnd, RunsThatEndBeforeAnyOutput) {
  const std::string long_value(252, 'v');
  const Files a{{"a.hex", A_HEX}};
  check_runs({
      {{}, {}, BANNER + USAGE, 0, {}},
      {{"-h"}, {}, BANNER + USAGE, 0, {}},
      {{"-e+", "/?", "-sq"}, {}, BANNER + USAGE, 0, {}},
      {{"--help"}, {}, BANNER + USAGE, 0, {}},
      {{"--version", "-q"}, {}, BANNER + "qrv_tools " QRV_VERSION "\n", 0, {}},
      {{"app.hex"},
       {},
       BANNER + PARAMS_WRONG + USAGE,
       255,
       {},
       {"app.hex: not a switch; switches start with - or /, values attached: -iapp.hex"}},
      {{"-i", "a.hex"},
       a,
       BANNER + PARAMS_WRONG + USAGE,
       255,
       {},
       {"a.hex: not a switch; a value is attached to its letter: -ia.hex"}},
      {{"-c52"},
       {},
       BANNER + "unknown cpu -c52\n",
       255,
       {},
       {"-c52: unknown chip 52 (0x34); the known ones are 0x51, 0x52, 0x54, 0x58, 0x59"}},
      {{"-sq"},
       {},
       BANNER + "unknown option -sSq\n",
       255,
       {},
       {"-sq: the value is + (on) or - (off), attached to the letter"}},
      {{"-i" + long_value}, {}, BANNER + "Error:  value of -I too long\n", 255, {}},
      {{"-ia.hex", "-l0xF401"}, a, BANNER + "Error:  limit 0xF401 above flashbuf size 0xF400\n", 255, {}},
      {{"-ia,b,c,d,e"}, {}, BANNER + FILL + "too many hexfiles", 255, {}},
      {{"-ia,,b,c,d"}, {}, BANNER + FILL + "too many hexfiles", 255, {}},
      {{"-ix"}, {}, BANNER + FILL + reading("x.hex") + "error in file x.hex\n", 255, {}, {"x.hex"}},
      {{"-i../fw/app"}, {}, BANNER + FILL + reading("../fw/app") + "error in file ../fw/app\n", 255, {}, {"../fw/app"}},
      {{"-imissing.hex,a.hex"},
       a,
       BANNER + FILL + reading("a.hex") + reading("missing.hex") + "error in file missing.hex\n",
       255,
       {},
       {"missing.hex"}},
      // No wildcard expansion on either platform: a.hex is there, "*.hex" is not.
      {{"-i*.hex"}, a, BANNER + FILL + reading("*.hex") + "error in file *.hex\n", 255, {}, {"*.hex"}},
  });
}

// An input file that is not valid Intel HEX ends the run before any output,
// even when another file was read first (the later-named one is). What each
// fault prints is in the reader's own table.
TEST(EndToEnd, BadInputFiles) {
  check_runs({
      {{"-inot.hex,a.hex"},
       {{"not.hex", "this is text\n"}, {"a.hex", A_HEX}},
       BANNER + FILL + reading("a.hex") + reading("not.hex") + NOT_HEX + "error in file not.hex\n",
       255,
       {},
       {"not.hex:1: not an Intel HEX record: a record starts with ':'"}},
  });
}

TEST(EndToEnd, DirectoryAsInputFile) {
  ScratchDir dir;
  ASSERT_EQ(mkdir(dir.file("adir.hex").c_str(), 0755), 0);
  const ToolResult result = run_tool_in(dir.path(), {"-iadir.hex"});
  EXPECT_EQ(result.out, BANNER + FILL + reading("adir.hex") + "error in file adir.hex\n");
  EXPECT_EQ(result.status, 255);
  // POSIX opens a directory and fails its first read; Windows fails the open.
  expect_reasons(result.err, {tool_is_windows_build() ? "adir.hex" : "adir.hex:1"});
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"adir.hex"});
}
