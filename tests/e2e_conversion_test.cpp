// Conversion runs of the real qrv_tools: the image and both output files
// for each input and setting, the output names up to the longest, and random
// fill.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "hex_record.h"

namespace {

using std::string_literals::operator""s;

// Inputs beside A_HEX (four bytes at 0): four bytes at 2, so they overlap at
// 2 and 3, and two more that overlap the same way at 0x12 and 0x13.
const std::string B_HEX = ":04000200AABBCCDDEC\r\n:00000001FF\r\n";
const std::string C_HEX = ":040010005566778832\n";  // LF only, no end record
const std::string D_HEX = ":0400120001020304E0\r\n:00000001FF\r\n";
const std::string LOWER_HEX = ":04000000aabbccddee\r\n:00000001ff\r\n";
// D_HEX's data amid what draws no warning: address and start records, text
// and a Ctrl-Z after the end record.
const std::string E_HEX =
    ":020000040000FA\r\n:0400000300001234B3\r\n:0400120001020304E0\r\n:00000001FF\r\nnot a record\r\n\x1a";

}  // namespace

TEST(EndToEnd, ConversionRuns) {
  const std::string image_ab = "\x11\x22\x33\x44\xCC\xDD"s + ff(26);
  const std::string image_ba = "\x11\x22\xAA\xBB\xCC\xDD"s + ff(26);
  const std::string image_abcd = "\x11\x22\x33\x44\xCC\xDD"s + ff(10) + "\x55\x66\x77\x88\x03\x04"s + ff(10);
  const std::string image_ae = "\x11\x22\x33\x44"s + ff(14) + "\x01\x02\x03\x04"s + ff(10);
  const std::string kept_a = "a.hex:1: warning: a.hex and b.hex give different data for 0x0002-0x0003; a.hex is kept";
  // 0x1000 bytes at 0, then one byte at 0, 2 and 4 (01+FF+address) and the
  // records from 0x10 on once more: 3 + 0xFF0 bytes given twice.
  std::string twice_hex;
  for (unsigned a = 0; a < 0x1000; a += 16) twice_hex += hex_record(0, a, ff(16)) + "\r\n";
  twice_hex += ":01000000FF00\r\n:01000200FFFE\r\n:01000400FFFC\r\n";
  for (unsigned a = 0x10; a < 0x1000; a += 16) twice_hex += hex_record(0, a, ff(16)) + "\r\n";
  twice_hex += END_RECORD;
  const Files ab{{"a.hex", A_HEX}, {"b.hex", B_HEX}};
  const std::string done_20 = BANNER + FILL + creating("20") + DONE;
  const std::string longest(251, 'n');  // and ".BIN": 255, the longest name a directory entry takes
  // The default key over a blank image, as tests/vectors/tea_xtea_reference.py
  // computes it (the DEFAULT_KEY_CASES of crypt_test.cpp): a build for
  // any host, of either byte order, must write these bytes.
  const std::string xtea_lsb_fast = "\xC8\x21\x23\x4A\xE1\xEA\x19\xFC\xC8\x21\x23\x4A\xE1\xEA\x19\xFC"s;
  const std::string tea_msb_strong = "\x4C\xCF\xC8\x91\xEE\x09\xD8\x3B\x5D\xC0\xE6\xC0\x3B\xAE\xFB\x38"s;
  check_runs({
      {{"-x+", "-l0x10"},
       {},
       BANNER + FILL + "  ... encrypting flashbuf lsb first using XTEA fast encryption\n" + creating("10") + DONE,
       0,
       firmware_of(xtea_lsb_fast),
       {NO_INPUT}},
      {{"-e+", "-m+", "-s+", "-l0x10"},
       {},
       BANNER + FILL + "  ... encrypting flashbuf msb first using TEA strong encryption\n" + creating("10") + DONE,
       0,
       firmware_of(tea_msb_strong),
       {NO_INPUT}},
      {{"-f-"}, {}, BANNER + FILL + creating("F400") + DONE, 0, firmware_of(ff(0xF400)), {NO_INPUT}},
      {{"-c0x51"}, {}, BANNER + FILL + creating("2800") + DONE, 0, firmware_of(ff(0x2800)), {NO_INPUT}},
      {{"-l0x100"}, {}, BANNER + FILL + creating("100") + DONE, 0, firmware_of(ff(0x100)), {NO_INPUT}},
      {{"-l0x21"},
       {},
       BANNER + FILL + creating("21") + DONE,
       0,
       {{"FIRMWARE.BIN", ff(0x21)}, {"FIRMWARE.HEX", carrying(ff(0x30))}},
       {NO_INPUT}},
      {{"-l0"}, {}, BANNER + FILL + creating("0") + DONE, 0, firmware_of(""), {NO_INPUT}},
      {{"-l-5"}, {}, BANNER + FILL + creating("FFFFFFFB") + DONE, 0, firmware_of(""), {NO_INPUT}},
      {{"-l0x20"}, {}, done_20, 0, FF_FIRMWARE_20, {NO_INPUT}},
      {{"-l0x20"}, {{"FIRMWARE.BIN", "old"}, {"FIRMWARE.HEX", "old"}}, done_20, 0, FF_FIRMWARE_20, {NO_INPUT}},
      {{"-ofw.old.bin", "-l0x20"}, {}, done_20, 0, {{"fw.BIN", ff(0x20)}, {"fw.HEX", FF_HEX_20}}, {NO_INPUT}},
      {{"-o./fw.v2.bin", "-l0x20"}, {}, done_20, 0, {{"fw.BIN", ff(0x20)}, {"fw.HEX", FF_HEX_20}}, {NO_INPUT}},
      {{"-oout", "-l0x20"}, {}, done_20, 0, {{"out.BIN", ff(0x20)}, {"out.HEX", FF_HEX_20}}, {NO_INPUT}},
      {{"-o" + longest, "-l0x20"},
       {},
       done_20,
       0,
       {{longest + ".BIN", ff(0x20)}, {longest + ".HEX", FF_HEX_20}},
       {NO_INPUT}},
      {{"-a+", "-l0x20"}, {}, BANNER + FILL + creating("20") + AUTOFLASH + DONE, 0, FF_FIRMWARE_20, {NO_INPUT}},
      // A key of other than 16 characters is named, never shown.
      {{"-kabc", "-k0123456789abcdef0", "-l0x20"},
       {},
       done_20,
       0,
       FF_FIRMWARE_20,
       {"qrv_tools: warning: the key has 3 characters, not 16; a NUL byte and the last 12 bytes of the previous key "
        "complete it",
        "qrv_tools: warning: the key has 17 characters, not 16; only its first 16 are used", NO_INPUT}},
      // Data at 0x3000 of a chip with 0x2800 bytes of flash.
      {{"-ihigh.hex", "-c0x51"},
       {{"high.hex", ":10300000000102030405060708090A0B0C0D0E0F48\n" + END_RECORD}},
       BANNER + FILL + reading("high.hex") + TOO_LARGE + creating("2800") + DONE,
       0,
       firmware_of(ff(0x2800)),
       {"high.hex:1: warning: data for 0x3000-0x300F lies past the limit 0x2800 and is not in the outputs"}},
      // The earliest-named file is read last and wins where files overlap.
      {{"-ia.hex,b.hex", "-l0x20"},
       ab,
       BANNER + FILL + reading("b.hex") + reading("a.hex") + creating("20") + DONE,
       0,
       {{"FIRMWARE.BIN", image_ab},
        {"FIRMWARE.HEX",
         ":1000000011223344CCDDFFFFFFFFFFFFFFFFFFFFA7\r\n"
         ":10001000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF0\r\n"
         ":00000001FF\r\n"}},
       {kept_a}},
      // Warnings made errors: nothing written, the old target kept; a note is no warning.
      {{"--fatal-warnings", "-c0x51", "-l0x2810"},
       {},
       BANNER + FILL,
       255,
       {},
       {"qrv_tools: error: -l: the limit 0x2810 lies above the 0x2800 bytes of flash of chip 0x51",
        "qrv_tools: error: no input file; the outputs carry only the fill"}},
      {{"--fatal-warnings", "-ia.hex,b.hex", "-l0x20"},
       {{"a.hex", A_HEX}, {"b.hex", B_HEX}, {"FIRMWARE.BIN", "old"}},
       BANNER + FILL + reading("b.hex") + reading("a.hex"),
       255,
       {},
       {"a.hex:1: error: a.hex and b.hex give different data for 0x0002-0x0003; a.hex is kept"}},
      {{"-ia.hex,a2.hex", "--fatal-warnings", "-l0x20"},
       {{"a.hex", A_HEX}, {"a2.hex", A_HEX}},
       BANNER + FILL + reading("a2.hex") + reading("a.hex") + creating("20") + DONE,
       0,
       firmware_of(A_IMAGE_20),
       {"a.hex:1: note: a.hex and a2.hex give the same data for 0x0000-0x0003"}},
      {{"-ib.hex,a.hex", "-l0x20"},
       ab,
       BANNER + FILL + reading("a.hex") + reading("b.hex") + creating("20") + DONE,
       0,
       {{"FIRMWARE.BIN", image_ba},
        {"FIRMWARE.HEX",
         ":100000001122AABBCCDDFFFFFFFFFFFFFFFFFFFFB9\r\n"
         ":10001000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF0\r\n"
         ":00000001FF\r\n"}},
       {"b.hex:1: warning: b.hex and a.hex give different data for 0x0002-0x0003; b.hex is kept"}},
      {{"-ia,b", "-l0x20"},
       ab,
       BANNER + FILL + reading("b.hex") + reading("a.hex") + creating("20") + DONE,
       0,
       firmware_of(image_ab),
       {kept_a}},
      // Four files, read from the last named to the first: c and d overlap
      // at 0x12 and 0x13 as a and b do at 2 and 3.
      {{"-ia,b,c.hex,d", "-l0x20"},
       {{"a.hex", A_HEX}, {"b.hex", B_HEX}, {"c.hex", C_HEX}, {"d.hex", D_HEX}},
       BANNER + FILL + reading("d.hex") + reading("c.hex") + reading("b.hex") + reading("a.hex") + creating("20") +
           DONE,
       0,
       firmware_of(image_abcd),
       {"c.hex: warning: no end-of-file record; the file may be cut short", kept_a,
        "c.hex:1: warning: c.hex and d.hex give different data for 0x0012-0x0013; c.hex is kept"}},
      {{"-ia,,e", "-l0x20"},
       {{"a.hex", A_HEX}, {"e.hex", E_HEX}},
       BANNER + FILL + reading("e.hex") + reading("a.hex") + creating("20") + DONE,
       0,
       firmware_of(image_ae)},
      {{"-iempty", "-l0x20"},
       {{"empty.hex", ""}},
       BANNER + FILL + reading("empty.hex") + creating("20") + DONE,
       0,
       FF_FIRMWARE_20,
       {"empty.hex: warning: no end-of-file record; the file may be cut short", "empty.hex: warning: no data records"}},
      {{"-itwice", "-l0x20"},
       {{"twice.hex", twice_hex}},
       BANNER + FILL + reading("twice.hex") + creating("20") + DONE,
       0,
       FF_FIRMWARE_20,
       {"twice.hex:257: note: data for 0x0000-0x0000, 0x0002-0x0002, 0x0004-0x0004 and 1 more range, 4,083 bytes "
        "in all given twice with the same values",
        "twice.hex:3: warning: data for 0x0020-0x0FFF lies past the limit 0x0020 and is not in the outputs"}},
      // Lower-case input digits come out upper case.
      {{"-ilower.hex", "-l0x10"},
       {{"lower.hex", LOWER_HEX}},
       BANNER + FILL + reading("lower.hex") + creating("10") + DONE,
       0,
       {{"FIRMWARE.BIN", "\xAA\xBB\xCC\xDD"s + ff(12)},
        {"FIRMWARE.HEX", ":10000000AABBCCDDFFFFFFFFFFFFFFFFFFFFFFFFEE\r\n" + END_RECORD}}},
  });
}

TEST(EndToEnd, NameWithADotInItsDirectoryKeepsItsName) {
  // Run in work/, beside fw/, out/ and v1.2/: only the last path component
  // of the output name is cut at its first '.'; the input name is taken as
  // written. A backslash separates only on Windows.
  const bool windows = tool_is_windows_build();
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "work/FIRMWARE"},  // no -o: the default name
      {"-o../out/fw", "out/fw"},
      {"-o../v1.2/fw.old.bin", "v1.2/fw"},
      {"-o./fw.bin", "work/fw"},
      {"-o../out/", "out/"},
      {"-o..\\out\\fw.bin", windows ? "out/fw" : "work/"},
  };
  const std::string image = "\x11\x22\x33\x44"s + ff(12);
  for (const auto& [output, base] : cases) {
    SCOPED_TRACE(output);
    ScratchDir dir;
    for (const char* sub : {"fw", "work", "out", "v1.2"}) ASSERT_EQ(mkdir(dir.file(sub).c_str(), 0755), 0);
    dir.write("fw/app", A_HEX);
    std::vector<std::string> args = {"-i../fw/app", "-l0x10"};
    if (!output.empty()) args.push_back(output);
    const ToolResult result = run_tool_in(dir.file("work"), args);
    EXPECT_EQ(result.out, BANNER + FILL + reading("../fw/app") + creating("10") + DONE);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(dir.read(base + ".BIN"), image);
    EXPECT_EQ(hex_fault(dir.read(base + ".HEX"), image), "");
    std::ptrdiff_t outputs = 0;
    for (const char* sub : {"work", "out", "v1.2"}) {
      outputs += std::distance(std::filesystem::directory_iterator(dir.file(sub)), {});
    }
    EXPECT_EQ(outputs, 2);
  }
}

TEST(EndToEnd, RandomFillReachesBothOutputs) {
  // SOURCE_DATE_EPOCH seeds the fill with its low 32 bits: 2^32 + 1 seeds 1,
  // whose first draws (48271, 182605794, ...: x = 48271 x mod 2^31 - 1)
  // give 8F E2 46 7D. Where it is not a number, the clock seeds it.
  const struct {
    const char* epoch;  // nullptr: unset
    std::string first_bytes;
    std::vector<std::string> reasons;
  } cases[] = {
      {nullptr, "", {NO_INPUT}},
      {"4294967297", "\x8F\xE2\x46\x7D", {NO_INPUT}},
      {"12x",
       "",
       {"qrv_tools: warning: SOURCE_DATE_EPOCH is not a decimal number; ignored, the random fill is seeded from the "
        "clock",
        NO_INPUT}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.epoch == nullptr ? "unset" : c.epoch);
    ScratchDir dir;
    RunSetup setup;
    setup.in_child = [&c] {
      c.epoch != nullptr ? setenv("SOURCE_DATE_EPOCH", c.epoch, 1) : unsetenv("SOURCE_DATE_EPOCH");
    };
    const ToolResult result = run_tool_in(dir.path(), {"-f+", "-l0x40"}, setup);
    EXPECT_EQ(result.out, BANNER + RANDOM_FILL + creating("40") + DONE);
    EXPECT_EQ(result.status, 0);
    expect_reasons(result.err, c.reasons);
    const std::string bin = dir.read("FIRMWARE.BIN");
    ASSERT_EQ(bin.size(), 0x40u);
    EXPECT_NE(bin, ff(0x40));
    if (!c.first_bytes.empty()) {
      EXPECT_EQ(bin.substr(0, 4), c.first_bytes);
    }
    EXPECT_EQ(hex_fault(dir.read("FIRMWARE.HEX"), bin), "");
  }
}
