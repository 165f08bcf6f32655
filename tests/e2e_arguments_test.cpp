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
  const std::string VERSION_LINES =
      "Copyright (c) 2026 qrv_tools developers\n"
      "License MIT: the terms are in the LICENSE file; there is NO WARRANTY.\n";
  const std::string SEE_HELP = "qrv_tools --help lists the options";
  check_runs({
      {{}, {}, BANNER + USAGE, 0, {}},
      {{"-h"}, {}, BANNER + USAGE, 0, {}},
      {{"-e+", "/?", "-sq"}, {}, BANNER + USAGE, 0, {}},
      {{"--help"}, {}, BANNER + USAGE, 0, {}},
      {{"--version", "-q"}, {}, "qrv_tools " QRV_VERSION "\n" + VERSION_LINES, 0, {}},
      {{"-e+", "--version"}, {}, "qrv_tools " QRV_VERSION "\n" + VERSION_LINES, 0, {}},
      {{"-v"}, {}, BANNER + "unknown option -V\n", 255, {}, {"qrv_tools: error: -v: unknown option; " + SEE_HELP}},
      {{"--input=x"}, {}, BANNER + "unknown option --\n", 255, {}, {"qrv_tools: error: --input: unknown option; " + SEE_HELP}},
      {{"app.hex"},
       {},
       BANNER + PARAMS_WRONG + USAGE,
       255,
       {},
       {"qrv_tools: error: app.hex: not a switch; switches start with - or /, values attached: -iapp.hex"}},
      {{"-i", "a.hex"},
       a,
       BANNER + PARAMS_WRONG + USAGE,
       255,
       {},
       {"qrv_tools: error: a.hex: not a switch; a value is attached to its letter: -ia.hex"}},
      {{"-c52"},
       {},
       BANNER + "unknown cpu -c52\n",
       255,
       {},
       {"qrv_tools: error: -c52: unknown chip 52 (0x34); the known ones are 0x51, 0x52, 0x54, 0x58, 0x59"}},
      {{"-sq"},
       {},
       BANNER + "unknown option -sSq\n",
       255,
       {},
       {"qrv_tools: error: -sq: the value is + (on) or - (off), attached to the letter"}},
      {{"-i" + long_value},
       {},
       BANNER + "Error:  value of -I too long\n",
       255,
       {},
       {"qrv_tools: error: -i: the value has 252 characters; at most 251 fit"}},
      {{"-ia.hex", "-l0xF401"},
       a,
       BANNER + "Error:  limit 0xF401 above flashbuf size 0xF400\n",
       255,
       {},
       {"qrv_tools: error: -l: the limit 0xF401 lies above the image's 0xF400 bytes"}},
      {{"-ia,b,c,d,e"},
       {},
       BANNER + FILL + "too many hexfiles",
       255,
       {},
       {"qrv_tools: error: -i names 5 input files; at most 4 are read"}},
      {{"-ia,,b,c,d,e,f"},
       {},
       BANNER + FILL + "too many hexfiles",
       255,
       {},
       {"qrv_tools: error: -i names 7 input files; at most 4 are read"}},
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

// Input files that are not valid Intel HEX end the run before any output.
TEST(EndToEnd, BadInputFiles) {
  const std::string eof = ":00000001FF\n";
  const std::string first = ":040000001122334452";
  const std::string bad_sum = ":100020000102030405060708090A0B0C0D0E0F1000";  // 0x48 is right
  const auto failing = [](const std::string& name, const std::string& message) {
    return BANNER + FILL + reading(name) + message + "error in file " + name + "\n";
  };
  check_runs({
      {{"-inot.hex"},
       {{"not.hex", "this is text\n"}},
       failing("not.hex", NOT_HEX),
       255,
       {},
       {"not.hex:1: error: not an Intel HEX record: a record starts with ':'"}},
      {{"-iblank.hex"},
       {{"blank.hex", first + "\n\n" + eof}},
       failing("blank.hex", NOT_HEX),
       255,
       {},
       {"blank.hex:2: error: not an Intel HEX record: a record starts with ':'"}},
      {{"-isum.hex"},
       {{"sum.hex", first + "\r\n" + bad_sum + "\r\n" + eof}},
       failing("sum.hex", CHECKSUM_WRONG + bad_sum + "\n\n"),
       255,
       {},
       {"sum.hex:2: error: checksum wrong: 0x48 expected, 0x00 given"}},
      {{"-itype.hex"},
       {{"type.hex", ":0100000601F8\n"}},
       failing("type.hex", BAD_RECORD + ":0100000601F8\n\n"),
       255,
       {},
       {"type.hex:1: error: bad record: unknown record type 0x06"}},
      {{"-ishort.hex"},
       {{"short.hex", ":10000000FF\n"}},
       failing("short.hex", BAD_RECORD + ":10000000FF\n\n"),
       255,
       {},
       {"short.hex:1: error: bad record: 11 characters, too short for 16 data bytes and the checksum"}},
      {{"-ilong.hex"},
       {{"long.hex", ":" + std::string(1100, '0') + "\n"}},
       failing("long.hex", TOO_LONG),
       255,
       {},
       {"long.hex:1: error: line too long: more than 1023 characters"}},
      // The later-named file is read first; the failure in the other still
      // ends the run.
      {{"-inot.hex,a.hex"},
       {{"not.hex", "this is text\n"}, {"a.hex", A_HEX}},
       BANNER + FILL + reading("a.hex") + reading("not.hex") + NOT_HEX + "error in file not.hex\n",
       255,
       {},
       {"not.hex:1"}},
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
