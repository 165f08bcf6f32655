// The real qrv_tools in a scratch directory: standard output byte for byte,
// exit status as a shell sees it, and exactly the files left behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tool_runner.h"
#include "usage_text.h"

namespace {

using std::string_literals::operator""s;

const std::string BANNER = "qrv auto hex tools \n";
const std::string FILL = "  ... buffer filled with 0xFF\n";
const std::string WRONG = "one or more params wrong!\n";
const std::string DONE = "done\n";
const std::string AUTOFLASH = "Warning:  Autoflash option ignored at this time\n";
const std::string BIN_FAILED = "creating binary file failed!\n";
const std::string HEX_FAILED = "creating hexfile failed!\n";
const std::string END_RECORD = ":00000001FF\r\n";
const std::string NOT_HEX = "Error:  not a Intel Hex file\n";
const std::string LINE_TOO_LONG = "Error:  line too long\n";
const std::string TOO_LARGE = "Warning:  HexFile too large for the selected CPU\n";

std::string creating(const std::string& hex_limit) {
  return "  ... creating output files limit set to 0x" + hex_limit + "\n";
}
std::string reading(const std::string& name) { return "  ... reading hex file " + name + "\n"; }
std::string ff(std::size_t count) { return std::string(count, '\xFF'); }

// The HEX output of an image whose size is a multiple of 16, built from the
// record layout: the checksum makes all record bytes sum to 0 mod 256.
std::string hex_of(const std::string& image) {
  std::string text;
  char digits[8];
  for (std::size_t address = 0; address < image.size(); address += 16) {
    unsigned sum = 0x10 + static_cast<unsigned>(address >> 8) + static_cast<unsigned>(address & 0xFF);
    std::snprintf(digits, sizeof digits, "%04X", static_cast<unsigned>(address));
    text += ":10" + std::string(digits) + "00";
    for (std::size_t i = 0; i < 16; ++i) {
      const auto byte = static_cast<unsigned char>(image[address + i]);
      sum += byte;
      std::snprintf(digits, sizeof digits, "%02X", byte);
      text += digits;
    }
    std::snprintf(digits, sizeof digits, "%02X", (0x100 - sum % 0x100) % 0x100);
    text += std::string(digits) + "\r\n";
  }
  return text + END_RECORD;
}

// Inputs: four bytes at 0 and four bytes at 2, so they overlap at 2 and 3.
const std::string A_HEX = ":040000001122334452\r\n:00000001FF\r\n";
const std::string B_HEX = ":04000200AABBCCDDEC\r\n:00000001FF\r\n";
const std::string C_HEX = ":040010005566778832\n";  // LF only, no end record
const std::string D_HEX = ":0400120001020304E0\r\n:00000001FF\r\n";
const std::string LOWER_HEX = ":04000000aabbccddee\r\n:00000001ff\r\n";

// Both outputs of a 0xFF image cut at 0x20, worked out by hand.
const std::string FF_HEX_20 =
    ":10000000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF00\r\n"
    ":10001000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF0\r\n" + END_RECORD;

using Files = std::map<std::string, std::string>;

void expect_bytes(const std::string& actual, const std::string& expected, const std::string& what) {
  if (actual == expected) return;
  const auto first = std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
  ADD_FAILURE() << what << ": " << actual.size() << " bytes, expected " << expected.size()
                << "; first difference at byte " << (first.first - actual.begin());
}

// Everything in the directory, with its bytes.
void expect_files(const ScratchDir& dir, const Files& expected) {
  std::vector<std::string> names;
  for (const auto& entry : expected) names.push_back(entry.first);
  EXPECT_EQ(dir.entries(), names);
  for (const auto& [name, bytes] : expected) {
    if (dir.exists(name)) expect_bytes(dir.read(name), bytes, name);
  }
}

struct RunCase {
  std::vector<std::string> args;
  Files inputs;  // placed before the run; left as they were unless an output replaces them
  std::string out;
  int status;
  Files outputs;
  // Files named on standard error, one "qrv_tools: NAME: REASON" line each.
  std::vector<std::string> reasons_for = {};
};

// The reason's wording is the host's; the name and the line form are ours.
void expect_reasons(const std::string& err, const std::vector<std::string>& names) {
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < err.size();) {
    const std::size_t end = err.find('\n', start);
    if (end == std::string::npos) {
      ADD_FAILURE() << "standard error does not end its line: " << err;
      break;
    }
    lines.push_back(err.substr(start, end - start));
    start = end + 1;
  }
  ASSERT_EQ(lines.size(), names.size()) << err;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string prefix = "qrv_tools: " + names[i] + ": ";
    EXPECT_EQ(lines[i].substr(0, prefix.size()), prefix);
    EXPECT_GT(lines[i].size(), prefix.size()) << "no reason in: " << lines[i];
  }
}

void check_runs(const std::vector<RunCase>& cases) {
  for (const RunCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    ScratchDir dir;
    for (const auto& [name, bytes] : c.inputs) dir.write(name, bytes);
    const ToolResult result = run_tool_in(dir.path(), c.args);
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.status, c.status);
    expect_reasons(result.err, c.reasons_for);
    Files left = c.inputs;
    for (const auto& [name, bytes] : c.outputs) left[name] = bytes;
    expect_files(dir, left);
  }
}

}  // namespace

TEST(EndToEnd, RunsThatEndBeforeAnyOutput) {
  const std::string long_value(252, 'v');
  const Files a{{"a.hex", A_HEX}};
  check_runs({
      {{}, {}, BANNER + USAGE, 0, {}},
      {{"-h"}, {}, BANNER + USAGE, 0, {}},
      {{"-?"}, {}, BANNER + USAGE, 0, {}},
      {{"-H"}, {}, BANNER + USAGE, 0, {}},
      {{"-e+", "/?", "-sq"}, {}, BANNER + USAGE, 0, {}},
      {{"app.hex"}, {}, BANNER + WRONG + USAGE, 255, {}},
      {{"-i", "a.hex"}, a, BANNER + WRONG + USAGE, 255, {}},
      {{"-c0x53"}, {}, BANNER + "unknown cpu -c83\n", 255, {}},
      {{"-c0x159"}, {}, BANNER + "unknown cpu -c345\n", 255, {}},
      {{"-c4294967385"}, {}, BANNER + "unknown cpu -c2147483647\n", 255, {}},
      {{"-sq"}, {}, BANNER + "unknown option -sSq\n", 255, {}},
      {{"-E"}, {}, BANNER + "unknown option -eE\0\n"s, 255, {}},
      {{"-x?"}, {}, BANNER + "unknown option -xX?\n", 255, {}},
      {{"-m"}, {}, BANNER + "unknown option -mM\0\n"s, 255, {}},
      {{"-ay"}, {}, BANNER + "unknown option -aAy\n", 255, {}},
      {{"-f"}, {}, BANNER + "unknown option -f\0\n"s, 255, {}},
      {{"-fq"}, {}, BANNER + "unknown option -fq\n", 255, {}},
      {{"-"}, {}, BANNER + "unknown option -\0\n"s, 255, {}},
      {{"/"}, {}, BANNER + "unknown option -\0\n"s, 255, {}},
      {{"-q"}, {}, BANNER + "unknown option -Q\n", 255, {}},
      {{"-i" + long_value}, {}, BANNER + "Error:  value of -I too long\n", 255, {}},
      {{"-O" + long_value}, {}, BANNER + "Error:  value of -O too long\n", 255, {}},
      {{"/k" + long_value}, {}, BANNER + "Error:  value of -K too long\n", 255, {}},
      {{"-l0x10000"}, {}, BANNER + "Error:  limit 0x10000 above flashbuf size 0xF400\n", 255, {}},
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

// Input files that are not valid Intel HEX end the run before any output.
TEST(EndToEnd, BadInputFiles) {
  const std::string eof = ":00000001FF\n";
  const std::string first = ":040000001122334452";
  const std::string bad_sum = ":100020000102030405060708090A0B0C0D0E0F1000";  // 0x48 is right
  const auto failing = [](const std::string& name, const std::string& message) {
    return BANNER + FILL + reading(name) + message + "error in file " + name + "\n";
  };
  check_runs({
      {{"-inot.hex"}, {{"not.hex", "this is text\n"}}, failing("not.hex", NOT_HEX), 255, {}},
      {{"-iblank.hex"}, {{"blank.hex", first + "\n\n" + eof}}, failing("blank.hex", NOT_HEX), 255, {}},
      {{"-isum.hex"},
       {{"sum.hex", first + "\r\n" + bad_sum + "\r\n" + eof}},
       failing("sum.hex", "Error:  Checksum wrong " + bad_sum + "\n\n"),
       255,
       {}},
      {{"-itype.hex"},
       {{"type.hex", ":0100000601F8\n"}},
       failing("type.hex", "Error:  bad record :0100000601F8\n\n"),
       255,
       {}},
      {{"-ishort.hex"},
       {{"short.hex", ":10000000FF\n"}},
       failing("short.hex", "Error:  bad record :10000000FF\n\n"),
       255,
       {}},
      {{"-ilong.hex"}, {{"long.hex", ":" + std::string(1100, '0') + "\n"}}, failing("long.hex", LINE_TOO_LONG), 255, {}},
      // The later-named file is read first; the failure in the other still
      // ends the run.
      {{"-inot.hex,a.hex"},
       {{"not.hex", "this is text\n"}, {"a.hex", A_HEX}},
       BANNER + FILL + reading("a.hex") + reading("not.hex") + NOT_HEX + "error in file not.hex\n",
       255,
       {}},
  });
}

TEST(EndToEnd, DirectoryAsInputFile) {
  ScratchDir dir;
  ASSERT_EQ(mkdir(dir.file("adir.hex").c_str(), 0755), 0);
  const ToolResult result = run_tool_in(dir.path(), {"-iadir.hex"});
  EXPECT_EQ(result.out, BANNER + FILL + reading("adir.hex") + "error in file adir.hex\n");
  EXPECT_EQ(result.status, 255);
  expect_reasons(result.err, {"adir.hex"});
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"adir.hex"});
}

TEST(EndToEnd, ConversionRuns) {
  const std::string image_ab = "\x11\x22\x33\x44\xCC\xDD"s + ff(26);
  const std::string image_ba = "\x11\x22\xAA\xBB\xCC\xDD"s + ff(26);
  const std::string image_abcd = "\x11\x22\x33\x44\xCC\xDD"s + ff(10) + "\x55\x66\x77\x88\x03\x04"s + ff(10);
  const Files ab{{"a.hex", A_HEX}, {"b.hex", B_HEX}};
  const std::string done_20 = BANNER + FILL + creating("20") + DONE;
  check_runs({
      {{"-f-"},
       {},
       BANNER + FILL + creating("F400") + DONE,
       0,
       {{"FIRMWARE.BIN", ff(0xF400)}, {"FIRMWARE.HEX", hex_of(ff(0xF400))}}},
      {{"-c0x51"},
       {},
       BANNER + FILL + creating("2800") + DONE,
       0,
       {{"FIRMWARE.BIN", ff(0x2800)}, {"FIRMWARE.HEX", hex_of(ff(0x2800))}}},
      {{"-l0x100"},
       {},
       BANNER + FILL + creating("100") + DONE,
       0,
       {{"FIRMWARE.BIN", ff(0x100)}, {"FIRMWARE.HEX", hex_of(ff(0x100))}}},
      {{"-l0x21"},
       {},
       BANNER + FILL + creating("21") + DONE,
       0,
       {{"FIRMWARE.BIN", ff(0x21)}, {"FIRMWARE.HEX", hex_of(ff(0x30))}}},
      {{"-l0"}, {}, BANNER + FILL + creating("0") + DONE, 0, {{"FIRMWARE.BIN", ""}, {"FIRMWARE.HEX", END_RECORD}}},
      {{"-l-5"},
       {},
       BANNER + FILL + creating("FFFFFFFB") + DONE,
       0,
       {{"FIRMWARE.BIN", ""}, {"FIRMWARE.HEX", END_RECORD}}},
      {{"-l0x20"}, {}, done_20, 0, {{"FIRMWARE.BIN", ff(0x20)}, {"FIRMWARE.HEX", FF_HEX_20}}},
      {{"-l0x20"},
       {{"FIRMWARE.BIN", "old"}, {"FIRMWARE.HEX", "old"}},
       done_20,
       0,
       {{"FIRMWARE.BIN", ff(0x20)}, {"FIRMWARE.HEX", FF_HEX_20}}},
      {{"-ofw.old.bin", "-l0x20"}, {}, done_20, 0, {{"fw.BIN", ff(0x20)}, {"fw.HEX", FF_HEX_20}}},
      {{"-o../out/fw.bin", "-l0x20"}, {}, done_20, 0, {{".BIN", ff(0x20)}, {".HEX", FF_HEX_20}}},
      {{"-oout", "-l0x20"}, {}, done_20, 0, {{"out.BIN", ff(0x20)}, {"out.HEX", FF_HEX_20}}},
      {{"-a+", "-l0x20"},
       {},
       BANNER + FILL + creating("20") + AUTOFLASH + DONE,
       0,
       {{"FIRMWARE.BIN", ff(0x20)}, {"FIRMWARE.HEX", FF_HEX_20}}},
      // The earliest-named file is read last and wins where files overlap.
      {{"-ia.hex,b.hex", "-l0x20"},
       ab,
       BANNER + FILL + reading("b.hex") + reading("a.hex") + creating("20") + DONE,
       0,
       {{"FIRMWARE.BIN", image_ab},
        {"FIRMWARE.HEX",
         ":1000000011223344CCDDFFFFFFFFFFFFFFFFFFFFA7\r\n"
         ":10001000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF0\r\n" + END_RECORD}}},
      {{"-ib.hex,a.hex", "-l0x20"},
       ab,
       BANNER + FILL + reading("a.hex") + reading("b.hex") + creating("20") + DONE,
       0,
       {{"FIRMWARE.BIN", image_ba},
        {"FIRMWARE.HEX",
         ":100000001122AABBCCDDFFFFFFFFFFFFFFFFFFFFB9\r\n"
         ":10001000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF0\r\n" + END_RECORD}}},
      {{"-ia,b", "-l0x20"},
       ab,
       BANNER + FILL + reading("b.hex") + reading("a.hex") + creating("20") + DONE,
       0,
       {{"FIRMWARE.BIN", image_ab}, {"FIRMWARE.HEX", hex_of(image_ab)}}},
      // Four files, read from the last named to the first: c and d overlap
      // at 0x12 and 0x13 as a and b do at 2 and 3.
      {{"-ia,b,c.hex,d", "-l0x20"},
       {{"a.hex", A_HEX}, {"b.hex", B_HEX}, {"c.hex", C_HEX}, {"d.hex", D_HEX}},
       BANNER + FILL + reading("d.hex") + reading("c.hex") + reading("b.hex") + reading("a.hex") + creating("20") +
           DONE,
       0,
       {{"FIRMWARE.BIN", image_abcd}, {"FIRMWARE.HEX", hex_of(image_abcd)}}},
      // Lower-case input digits come out upper case.
      {{"-ilower.hex", "-l0x10"},
       {{"lower.hex", LOWER_HEX}},
       BANNER + FILL + reading("lower.hex") + creating("10") + DONE,
       0,
       {{"FIRMWARE.BIN", "\xAA\xBB\xCC\xDD"s + ff(12)},
        {"FIRMWARE.HEX", ":10000000AABBCCDDFFFFFFFFFFFFFFFFFFFFFFFFEE\r\n" + END_RECORD}}},
  });
}

TEST(EndToEnd, OutputsThatCannotBeWritten) {
  const std::string failed_20 = BANNER + FILL + creating("20");
  check_runs({
      {{"-onodir/fw", "-l0x20"}, {}, failed_20 + BIN_FAILED + HEX_FAILED, 255, {}, {"nodir/fw.BIN", "nodir/fw.HEX"}},
      {{"-onodir/fw.bin", "-a+"},
       {},
       BANNER + FILL + creating("F400") + BIN_FAILED + HEX_FAILED + AUTOFLASH,
       255,
       {},
       {"nodir/fw.BIN", "nodir/fw.HEX"}},
  });

  // Read-only is judged by the permission bits, so this holds for root too.
  struct ReadOnlyCase {
    std::string what;
    std::function<void(const ScratchDir&)> protect;
    std::string out;
    Files left;
    std::vector<std::string> reasons_for;
  };
  const std::vector<ReadOnlyCase> cases = {
      {"read-only BIN",
       [](const ScratchDir& dir) { chmod(dir.file("FIRMWARE.BIN").c_str(), 0444); },
       failed_20 + BIN_FAILED,
       {{"FIRMWARE.BIN", "old bin"}, {"FIRMWARE.HEX", FF_HEX_20}},
       {"FIRMWARE.BIN"}},
      {"read-only HEX",
       [](const ScratchDir& dir) { chmod(dir.file("FIRMWARE.HEX").c_str(), 0444); },
       failed_20 + HEX_FAILED,
       {{"FIRMWARE.BIN", ff(0x20)}, {"FIRMWARE.HEX", "old hex"}},
       {"FIRMWARE.HEX"}},
  };
  for (const ReadOnlyCase& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    dir.write("FIRMWARE.BIN", "old bin");
    dir.write("FIRMWARE.HEX", "old hex");
    c.protect(dir);
    const ToolResult result = run_tool_in(dir.path(), {"-l0x20"});
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.status, 255);
    expect_reasons(result.err, c.reasons_for);
    expect_files(dir, c.left);
  }
}

TEST(EndToEnd, ReadOnlyDirectoryKeepsItsFiles) {
  // Windows has no write permission on a directory (its read-only attribute
  // does not stop writing), and CI runs as root, which wine does not restrain.
  if (tool_is_windows_build()) GTEST_SKIP() << "no directory write permission on Windows";
  ScratchDir dir;
  dir.write("FIRMWARE.BIN", "old bin");
  dir.write("FIRMWARE.HEX", "old hex");
  chmod(dir.path().c_str(), 0555);
  const ToolResult result = run_tool_in(dir.path(), {"-l0x20"});
  EXPECT_EQ(result.out, BANNER + FILL + creating("20") + BIN_FAILED + HEX_FAILED);
  EXPECT_EQ(result.status, 255);
  expect_reasons(result.err, {"FIRMWARE.BIN", "FIRMWARE.HEX"});
  expect_files(dir, {{"FIRMWARE.BIN", "old bin"}, {"FIRMWARE.HEX", "old hex"}});
}

TEST(EndToEnd, NameWithADotInItsDirectoryKeepsItsName) {
  ScratchDir dir;
  ASSERT_EQ(mkdir(dir.file("fw").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(dir.file("work").c_str(), 0755), 0);
  dir.write("fw/app", A_HEX);
  const ToolResult result = run_tool_in(dir.file("work"), {"-i../fw/app", "-l0x10"});
  EXPECT_EQ(result.out, BANNER + FILL + reading("../fw/app") + creating("10") + DONE);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(dir.read("work/FIRMWARE.BIN"), "\x11\x22\x33\x44"s + ff(12));
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"fw", "work"}));
}

TEST(EndToEnd, RandomFillReachesBothOutputs) {
  ScratchDir dir;
  const ToolResult result = run_tool_in(dir.path(), {"-f+", "-l0x40"});
  EXPECT_EQ(result.out, BANNER + "  ... buffer filled with random data\n" + creating("40") + DONE);
  EXPECT_EQ(result.status, 0);
  const std::string bin = dir.read("FIRMWARE.BIN");
  ASSERT_EQ(bin.size(), 0x40u);
  EXPECT_NE(bin, ff(0x40));
  EXPECT_EQ(dir.read("FIRMWARE.HEX"), hex_of(bin));
}

TEST(EndToEnd, FailedRenameLeavesNoTemporaryFile) {
  // A directory in the way of the target fails only at the rename, after the
  // temporary file was written.
  ScratchDir dir;
  ASSERT_EQ(mkdir(dir.file("FIRMWARE.BIN").c_str(), 0755), 0);
  const ToolResult result = run_tool_in(dir.path(), {"-l0x20"});
  EXPECT_EQ(result.out, BANNER + FILL + creating("20") + BIN_FAILED);
  EXPECT_EQ(result.status, 255);
  expect_reasons(result.err, {"FIRMWARE.BIN"});
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"FIRMWARE.BIN", "FIRMWARE.HEX"}));
  EXPECT_EQ(dir.read("FIRMWARE.HEX"), FF_HEX_20);
}

TEST(EndToEnd, PlantedFilesAtTheOldTemporaryNameAreLeftAlone) {
  // A link to a file outside, a FIFO and an unrelated file where earlier
  // versions put their temporary files: none is opened, followed or removed.
  ScratchDir dir;
  ScratchDir elsewhere;
  elsewhere.write("victim", "victim");
  ASSERT_EQ(symlink(elsewhere.file("victim").c_str(), dir.file("FIRMWARE.BIN.qrvtmp").c_str()), 0);
  ASSERT_EQ(mkfifo(dir.file("FIRMWARE.HEX.qrvtmp").c_str(), 0644), 0);
  dir.write("FIRMWARE.qrvtmp", "unrelated");
  RunSetup setup;
  setup.in_child = [] { alarm(20); };  // a run stuck on the FIFO ends, and fails
  const ToolResult result = run_tool_in(dir.path(), {"-l0x20"}, setup);
  EXPECT_EQ(result.out, BANNER + FILL + creating("20") + DONE);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"FIRMWARE.BIN", "FIRMWARE.BIN.qrvtmp", "FIRMWARE.HEX",
                                                     "FIRMWARE.HEX.qrvtmp", "FIRMWARE.qrvtmp"}));
  EXPECT_EQ(dir.read("FIRMWARE.BIN"), ff(0x20));
  EXPECT_EQ(dir.read("FIRMWARE.HEX"), FF_HEX_20);
  EXPECT_EQ(dir.read("FIRMWARE.qrvtmp"), "unrelated");
  EXPECT_EQ(elsewhere.read("victim"), "victim");
  struct stat info {};
  ASSERT_EQ(lstat(dir.file("FIRMWARE.BIN.qrvtmp").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  ASSERT_EQ(lstat(dir.file("FIRMWARE.HEX.qrvtmp").c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

TEST(EndToEnd, LongestAcceptedOutputNameIsWritten) {
  // 251 characters and ".BIN" make 255, the longest name a directory entry takes.
  const std::string base(251, 'n');
  check_runs({
      {{"-o" + base, "-l0x20"}, {}, BANNER + FILL + creating("20") + DONE, 0,
       {{base + ".BIN", ff(0x20)}, {base + ".HEX", FF_HEX_20}}},
  });
}

TEST(EndToEnd, WriteRefusedMidwayKeepsTheOldTarget) {
  // A file size limit of 4096 bytes: the BIN of 0x800 bytes fits, the HEX of
  // 128 records (5773 bytes) is cut off by the kernel after its first 4096.
  ScratchDir dir;
  dir.write("FIRMWARE.BIN", "old bin");
  dir.write("FIRMWARE.HEX", "old hex");
  RunSetup setup;
  setup.in_child = [] {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
  };
  const ToolResult result = run_tool_in(dir.path(), {"-l0x800"}, setup);
  EXPECT_EQ(result.out, BANNER + FILL + creating("800") + HEX_FAILED);
  EXPECT_EQ(result.status, 255);
  expect_reasons(result.err, {"FIRMWARE.HEX"});
  // Windows words the refusal its own way.
  if (!tool_is_windows_build()) {
    EXPECT_EQ(result.err, "qrv_tools: FIRMWARE.HEX: "s + std::strerror(EFBIG) + "\n");
  }
  expect_files(dir, {{"FIRMWARE.BIN", ff(0x800)}, {"FIRMWARE.HEX", "old hex"}});
}

TEST(EndToEnd, ModesOfWrittenFiles) {
  if (tool_is_windows_build()) GTEST_SKIP() << "Windows files have no permission bits";
  // A replaced file keeps its permission bits whatever the umask; a new one
  // gets 0666 less the umask; a symlink in the target's place counts as new.
  struct ModeCase {
    mode_t umask_value;
    int old_mode;  // -1: no file there
    mode_t expected;
  };
  const std::vector<ModeCase> cases = {
      {022, -1, 0644}, {077, -1, 0600}, {027, -1, 0640}, {0, -1, 0666},
      {077, 0640, 0640}, {022, 0600, 0600}, {0, 0604, 0604}, {022, 0200, 0200},
  };
  for (const ModeCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "umask " << c.umask_value << " old mode " << c.old_mode);
    ScratchDir dir;
    if (c.old_mode >= 0) {
      dir.write("FIRMWARE.BIN", "old");
      ASSERT_EQ(chmod(dir.file("FIRMWARE.BIN").c_str(), static_cast<mode_t>(c.old_mode)), 0);
    }
    RunSetup setup;
    const mode_t mask = c.umask_value;
    setup.in_child = [mask] { umask(mask); };
    const ToolResult result = run_tool_in(dir.path(), {"-l0x20"}, setup);
    EXPECT_EQ(result.status, 0);
    struct stat info {};
    ASSERT_EQ(stat(dir.file("FIRMWARE.BIN").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, c.expected);
    EXPECT_EQ(info.st_size, 0x20);
  }
}

TEST(EndToEnd, SymlinkedTargetIsReplacedAndWhatItPointedToKept) {
  if (tool_is_windows_build()) GTEST_SKIP() << "wine resolves a POSIX symlink before Windows code sees it";
  // Even a read-only file behind the link is no reason to refuse: only the
  // link is replaced.
  ScratchDir dir;
  ScratchDir elsewhere;
  elsewhere.write("image", "pointed to");
  ASSERT_EQ(chmod(elsewhere.file("image").c_str(), 0444), 0);
  ASSERT_EQ(symlink(elsewhere.file("image").c_str(), dir.file("FIRMWARE.BIN").c_str()), 0);
  RunSetup setup;
  setup.in_child = [] { umask(022); };
  const ToolResult result = run_tool_in(dir.path(), {"-l0x20"}, setup);
  EXPECT_EQ(result.out, BANNER + FILL + creating("20") + DONE);
  EXPECT_EQ(result.status, 0);
  expect_files(dir, {{"FIRMWARE.BIN", ff(0x20)}, {"FIRMWARE.HEX", FF_HEX_20}});
  struct stat info {};
  ASSERT_EQ(lstat(dir.file("FIRMWARE.BIN").c_str(), &info), 0);
  EXPECT_TRUE(S_ISREG(info.st_mode));
  EXPECT_EQ(info.st_mode & 07777, 0644u);
  EXPECT_EQ(elsewhere.read("image"), "pointed to");
}

TEST(EndToEnd, StandardOutputOnAFullDevice) {
  // The files are written; the lost messages make the run a failure.
  struct FullCase {
    std::vector<std::string> args;
    Files outputs;
  };
  const std::vector<FullCase> cases = {
      {{"-l0x20"}, {{"FIRMWARE.BIN", ff(0x20)}, {"FIRMWARE.HEX", FF_HEX_20}}},
      {{"-h"}, {}},
  };
  for (const FullCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    ScratchDir dir;
    RunSetup setup;
    setup.stdout_path = "/dev/full";
    const ToolResult result = run_tool_in(dir.path(), c.args, setup);
    EXPECT_EQ(result.status, 255);
    expect_reasons(result.err, {"standard output"});
    // The Windows runtime keeps no reason for a failed console write.
    if (!tool_is_windows_build()) {
      EXPECT_EQ(result.err, "qrv_tools: standard output: "s + std::strerror(ENOSPC) + "\n");
    }
    expect_files(dir, c.outputs);
  }
}

TEST(EndToEnd, ParallelRunsOnOneTargetEachLeaveAWholeImage) {
  // Four runs at once, each with an image of its own size; whichever renames
  // last wins, but the target is always one run's complete output.
  const std::vector<std::string> limits = {"0x4000", "0x6000", "0x8000", "0xA000"};
  for (int round = 0; round < 3; ++round) {
    ScratchDir dir;
    std::vector<pid_t> children;
    for (const std::string& limit : limits) {
      const pid_t pid = fork();
      ASSERT_GE(pid, 0);
      if (pid == 0) {
        const ToolResult result = run_tool_in(dir.path(), {"-l" + limit});
        _exit(result.status == 0 && result.err.empty() ? 0 : 1);
      }
      children.push_back(pid);
    }
    for (const pid_t pid : children) {
      int status = 0;
      waitpid(pid, &status, 0);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a run failed in round " << round;
    }
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"FIRMWARE.BIN", "FIRMWARE.HEX"}));
    const std::string bin = dir.read("FIRMWARE.BIN");
    EXPECT_TRUE(bin == ff(0x4000) || bin == ff(0x6000) || bin == ff(0x8000) || bin == ff(0xA000))
        << bin.size() << " bytes";
    const std::string hex = dir.read("FIRMWARE.HEX");
    EXPECT_TRUE(hex == hex_of(ff(0x4000)) || hex == hex_of(ff(0x6000)) || hex == hex_of(ff(0x8000)) ||
                hex == hex_of(ff(0xA000)))
        << hex.size() << " bytes";
  }
}

namespace {

// One record, its checksum making all its bytes sum to 0 mod 256.
std::string record(unsigned type, unsigned address, const std::string& data) {
  unsigned sum = static_cast<unsigned>(data.size()) + (address >> 8) + (address & 0xFF) + type;
  std::string text(":");
  char digits[16];
  std::snprintf(digits, sizeof digits, "%02X%04X%02X", static_cast<unsigned>(data.size()), address, type);
  text += digits;
  for (const char c : data) {
    sum += static_cast<unsigned char>(c);
    std::snprintf(digits, sizeof digits, "%02X", static_cast<unsigned char>(c));
    text += digits;
  }
  std::snprintf(digits, sizeof digits, "%02X", (0x100 - sum % 0x100) % 0x100);
  return text + digits;
}

// A file of 16- and 32-byte records of pseudo-random bytes, behind a linear
// address record: 0x600 bytes at 0, 0x40 across the 0x3800 chip size, and
// 16 bytes across the end of the image. Also the image it must give.
struct Generated {
  std::vector<std::string> lines;
  std::string image;
};

Generated generated_file() {
  Generated g{{record(4, 0, "\0\0"s)}, ff(0xF400)};
  std::uint32_t x = 12345;
  const auto data = [&x](std::size_t count) {
    std::string bytes;
    for (std::size_t i = 0; i < count; ++i) {
      x = (x * 1103515245u + 12345u) % 2147483648u;
      bytes += static_cast<char>((x >> 16) & 0xFF);
    }
    return bytes;
  };
  const auto add = [&g](unsigned address, const std::string& bytes) {
    g.lines.push_back(record(0, address, bytes));
    for (std::size_t i = 0; i < bytes.size() && address + i < g.image.size(); ++i) g.image[address + i] = bytes[i];
  };
  for (unsigned a = 0; a < 0x600; a += 16) add(a, data(16));
  for (unsigned a = 0x37E0; a < 0x3820; a += 32) add(a, data(32));
  add(0xF3F8, data(16));
  return g;
}

std::string joined(const std::vector<std::string>& lines, const std::string& end_of_line) {
  std::string text;
  for (const std::string& line : lines) text += line + end_of_line;
  return text;
}

}  // namespace

TEST(EndToEnd, GeneratedFileGivesItsImage) {
  const Generated g = generated_file();
  check_runs({
      {{"-igen.hex"},
       {{"gen.hex", joined(g.lines, "\n") + ":00000001FF\n"}},
       BANNER + FILL + reading("gen.hex") + TOO_LARGE + creating("F400") + DONE,
       0,
       {{"FIRMWARE.BIN", g.image}, {"FIRMWARE.HEX", hex_of(g.image)}}},
      {{"-igen.hex", "-c0x52"},
       {{"gen.hex", joined(g.lines, "\n") + ":00000001FF\n"}},
       BANNER + FILL + reading("gen.hex") + TOO_LARGE + creating("3800") + DONE,
       0,
       {{"FIRMWARE.BIN", g.image.substr(0, 0x3800)}, {"FIRMWARE.HEX", hex_of(g.image.substr(0, 0x3800))}}},
  });
}

// Pairs of runs that must give the same stdout and the same files (or, where
// `same` is false, different files): input variants that must read alike,
// and spellings of one key or setting. Each run reads its own in.hex.
TEST(EndToEnd, RunsThatMustAgree) {
  const Generated g = generated_file();
  const std::string plain = joined(g.lines, "\n") + ":00000001FF\n";
  std::vector<std::string> lower = g.lines;
  for (std::string& line : lower) {
    for (char& c : line) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  const struct {
    const char* what;
    std::string input_a;
    std::vector<std::string> args_a;
    std::string input_b;
    std::vector<std::string> args_b;
    bool same;
  } cases[] = {
      {"CR LF", joined(g.lines, "\r\n") + ":00000001FF\r\n", {"-x+", "-s+"}, plain, {"-x+", "-s+"}, true},
      {"lower case", joined(lower, "\n") + ":00000001ff\n", {"-x+", "-s+"}, plain, {"-x+", "-s+"}, true},
      {"Ctrl-Z ends the file", joined(g.lines, "\n") + "\x1a:garbage after Ctrl-Z\n", {"-e+"}, plain, {"-e+"}, true},
      {"text after the end record", plain + "not a record", {"-e+"}, plain, {"-e+"}, true},
      {"no end record", joined(g.lines, "\n"), {"-x+"}, plain, {"-x+"}, true},
      {"only 16 key characters count", plain, {"-e+", "-kSecretKey0123456789"}, plain, {"-e+", "-kSecretKey0123456"}, true},
      // A -k value goes over the key with its NUL; later bytes stay.
      {"short key keeps the previous key's rest",
       plain, {"-x+", "-kLongerKeyThanSixteen", "-kab"}, plain, {"-x+", "-kabcgerKeyThanSixteen", "-kab"}, true},
      {"short key over the built-in one", plain, {"-x+", "-s+", "-kabc"}, plain, {"-x+", "-s+", "-kxyzQMoonOverHill", "-kabc"}, true},
      {"empty key", plain, {"-e+", "-m+", "-k"}, plain, {"-e+", "-m+", "-kXaleMoonOverHill", "-k"}, true},
      {"quotes and backslashes in a key", plain, {"-e+", "-ka \"b\\c\\"}, plain, {"-e+", "-kQQQQQQQQOverHill", "-ka \"b\\c\\"}, true},
      {"251-character key", plain, {"-x+", "-k" + std::string(251, 'k')}, plain, {"-x+", "-k" + std::string(16, 'k')}, true},
      {"XTEA turns TEA off", plain, {"-e+", "-x+", "-m+"}, plain, {"-x+", "-m+"}, true},
      {"slash and upper case switches", plain, {"/e+", "/s+", "/m+"}, plain, {"-E+", "-S+", "-M+"}, true},
      {"the key matters", plain, {"-x+", "-kabc"}, plain, {"-x+"}, false},
      {"the key's rest matters", plain, {"-e+", "-kLongerKeyThanSixteen", "-kab"}, plain, {"-e+", "-kab"}, false},
      {"the word order matters", plain, {"-e+", "-m+"}, plain, {"-e+"}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir_a;
    ScratchDir dir_b;
    dir_a.write("in.hex", c.input_a);
    dir_b.write("in.hex", c.input_b);
    std::vector<std::string> args_a = c.args_a;
    std::vector<std::string> args_b = c.args_b;
    args_a.insert(args_a.begin(), "-iin.hex");
    args_b.insert(args_b.begin(), "-iin.hex");
    const ToolResult a = run_tool_in(dir_a.path(), args_a);
    const ToolResult b = run_tool_in(dir_b.path(), args_b);
    EXPECT_EQ(a.status, 0);
    EXPECT_EQ(b.status, 0);
    if (c.same) {
      EXPECT_EQ(a.out, b.out);
    }
    EXPECT_NE(a.out.find(DONE), std::string::npos);
    EXPECT_EQ(dir_a.entries(), (std::vector<std::string>{"FIRMWARE.BIN", "FIRMWARE.HEX", "in.hex"}));
    EXPECT_EQ(dir_b.entries(), dir_a.entries());
    for (const char* name : {"FIRMWARE.BIN", "FIRMWARE.HEX"}) {
      EXPECT_EQ(dir_a.read(name) == dir_b.read(name), c.same) << name;
    }
  }
}
