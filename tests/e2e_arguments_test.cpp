// Runs of the real qrv_tools that end before any output file is written:
// help and usage, wrong switches and values, and input files that are
// missing, not Intel HEX or a directory.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
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
      {{"--input=x"},
       {},
       BANNER + "unknown option --\n",
       255,
       {},
       {"qrv_tools: error: --input: unknown option; " + SEE_HELP}},
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
      // A name that is not all printable is quoted as ls --quoting-style=shell-escape shows it.
      {{"-ia\nb"}, {}, BANNER + FILL + reading("a\nb.hex") + "error in file a\nb.hex\n", 255, {}, {"'a'$'\\n''b.hex'"}},
      {{"-ix.a'b\x1b"},
       {},
       BANNER + FILL + reading("x.a'b\x1b") + "error in file x.a'b\x1b\n",
       255,
       {},
       {"'''x.a'\\''b'$'\\033'"}},
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
       {"not.hex:1: error: not an Intel HEX record: a record starts with ':'"}},
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

// No way of giving the key shows it on either stream, and a key read from a
// file encrypts as the same key given with -k.
TEST(EndToEnd, TheKeyIsNeverShown) {
  const std::string key = "QzX7wPkR4mYt9VbN";
  const std::string no_input = NO_INPUT + "\n";
  const std::string after_k =
      "qrv_tools: error: the argument after -k is not shown, as it may hold the key; the key is attached to its "
      "letter: -kKEY, or read from a file: --key-file=FILE\n";
  const auto short_key = [](const std::string& source, unsigned length) {
    return source + ": warning: the key has " + std::to_string(length) +
           " characters, not 16; a NUL byte and the last " + std::to_string(15 - length) +
           " bytes of the previous key complete it\n";
  };
  const std::string long_key = ": warning: the key has 17 characters, not 16; only its first 16 are used\n";
  const std::string shared = tool_is_windows_build() ? ""
                                                     : "k.txt: warning: others may open the key file (its group and "
                                                       "others have 044); chmod 600 keeps it private\n";
  struct KeyCase {
    std::vector<std::string> args;
    std::string file;  // k.txt, when not empty
    mode_t mode;
    int status;
    std::string err;
  };
  const std::vector<KeyCase> cases = {
      {{"-k" + key}, "", 0, 0, no_input},
      {{"/K" + key}, "", 0, 0, no_input},
      {{"-k" + key + "X"}, "", 0, 0, "qrv_tools" + long_key + no_input},
      {{"-k", key}, "", 0, 255, short_key("qrv_tools", 0) + after_k},
      {{"-K", "-" + key}, "", 0, 255, short_key("qrv_tools", 0) + after_k},
      {{"-k" + key.substr(0, 6), key.substr(6)}, "", 0, 255, short_key("qrv_tools", 6) + after_k},
      {{"--key=" + key}, "", 0, 255, "qrv_tools: error: --key: unknown option; qrv_tools --help lists the options\n"},
      {{"--key-file=k.txt"}, key + "\n", 0600, 0, no_input},
      {{"--key-file", "k.txt"}, key + "\r\nsecond line\n", 0600, 0, no_input},
      {{"--key-file=k.txt"}, key + "X", 0644, 0, shared + "k.txt" + long_key + no_input},
      {{"--key-file=k.txt", "--fatal-warnings"},
       key + "\n",
       0640,
       255,
       (tool_is_windows_build() ? ""s
                                : "k.txt: error: others may open the key file (its group and others have 040); chmod "
                                  "600 keeps it private\n") +
           "qrv_tools: error: no input file; the outputs carry only the fill\n"},
      {{"--key-file=none.txt"}, "", 0, 255, "none.txt: error: "s + std::strerror(ENOENT) + "\n"},
  };
  std::string first_bin;
  for (const KeyCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    ScratchDir dir;
    if (!c.file.empty()) {
      dir.write("k.txt", c.file);
      ASSERT_EQ(chmod(dir.file("k.txt").c_str(), c.mode), 0);
    }
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"-x+", "-l0x10"});
    const ToolResult result = run_tool_in(dir.path(), args);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.err, c.err);
    for (const std::string& part : {key, key.substr(0, 8), key.substr(8)}) {
      EXPECT_EQ(result.out.find(part), std::string::npos) << result.out;
      EXPECT_EQ(result.err.find(part), std::string::npos);
    }
    if (c.status != 0) continue;
    const std::string bin = dir.read("FIRMWARE.BIN");
    if (first_bin.empty()) first_bin = bin;
    EXPECT_EQ(bin, first_bin);
    EXPECT_NE(bin, ff(0x10));
  }
}
