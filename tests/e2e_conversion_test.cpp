// Conversion runs of the real qrv_tools: the image and both output files
// for each input and setting, the output names, and random fill.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "e2e_support.h"

namespace {

using std::string_literals::operator""s;

// Inputs beside A_HEX (four bytes at 0): four bytes at 2, so they overlap at
// 2 and 3, and two more that overlap the same way at 0x12 and 0x13.
const std::string B_HEX = ":04000200AABBCCDDEC\r\n:00000001FF\r\n";
const std::string C_HEX = ":040010005566778832\n";  // LF only, no end record
const std::string D_HEX = ":0400120001020304E0\r\n:00000001FF\r\n";
const std::string LOWER_HEX = ":04000000aabbccddee\r\n:00000001ff\r\n";

}  // namespace

TEST(EndToEnd, ConversionRuns) {
  const std::string image_ab = "\x11\x22\x33\x44\xCC\xDD"s + ff(26);
  const std::string image_ba = "\x11\x22\xAA\xBB\xCC\xDD"s + ff(26);
  const std::string image_abcd = "\x11\x22\x33\x44\xCC\xDD"s + ff(10) + "\x55\x66\x77\x88\x03\x04"s + ff(10);
  const Files ab{{"a.hex", A_HEX}, {"b.hex", B_HEX}};
  const std::string done_20 = BANNER + FILL + creating("20") + DONE;
  // The default key over a blank image, as tests/vectors/tea_xtea_reference.py
  // computes it (the DEFAULT_KEY_CASES of crypt_vectors_test.cpp): a build for
  // any host, of either byte order, must write these bytes.
  const std::string xtea_lsb_fast = "\xC8\x21\x23\x4A\xE1\xEA\x19\xFC\xC8\x21\x23\x4A\xE1\xEA\x19\xFC"s;
  const std::string tea_msb_strong = "\x4C\xCF\xC8\x91\xEE\x09\xD8\x3B\x5D\xC0\xE6\xC0\x3B\xAE\xFB\x38"s;
  check_runs({
      {{"-x+", "-l0x10"},
       {},
       BANNER + FILL + "  ... encrypting flashbuf lsb first using XTEA fast encryption\n" + creating("10") + DONE,
       0,
       {{"FIRMWARE.BIN", xtea_lsb_fast}, {"FIRMWARE.HEX", hex_of(xtea_lsb_fast)}}},
      {{"-e+", "-m+", "-s+", "-l0x10"},
       {},
       BANNER + FILL + "  ... encrypting flashbuf msb first using TEA strong encryption\n" + creating("10") + DONE,
       0,
       {{"FIRMWARE.BIN", tea_msb_strong}, {"FIRMWARE.HEX", hex_of(tea_msb_strong)}}},
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
