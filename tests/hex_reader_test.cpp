// read_hex_file on files written for each case: result, exact output bytes
// and the whole image, tail included. Checksums were worked out by hand; the
// comment beside a record gives its byte sum (mod 256) without the checksum.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "files/firmware_files.h"
#include "front/flashbuf.h"
#include "front/options.h"
#include "tool_runner.h"

using namespace std::string_literals;

namespace {

using Image = std::array<std::uint8_t, FLASHBUF_SIZE + FLASHBUF_TAIL_SIZE>;

struct Write {
  std::size_t address;
  std::vector<std::uint8_t> bytes;
};

struct Case {
  const char* name;
  std::string content;
  int result;
  std::string out;
  std::vector<Write> writes;  // onto an image of 0xFF
  std::int32_t cpu_size = 0xF400;
};

const std::string WARNING = "Warning:  HexFile too large for the selected CPU\n";
const std::string NOT_HEX = "Error:  not a Intel Hex file\n";
const std::string TOO_LONG = "Error:  line too long\n";

struct Outcome {
  int result;
  std::string out;
};

Outcome read_file_named(const char* name) {
  testing::internal::CaptureStdout();
  const int result = read_hex_file(name);
  return {result, testing::internal::GetCapturedStdout()};
}

Outcome read_content(const ScratchDir& dir, const std::string& content, std::int32_t cpu_size) {
  dir.write("in.hex", content);
  options = default_options();
  options.cpu_size = cpu_size;
  flashbuf.fill(0xFF);
  return read_file_named(dir.file("in.hex").c_str());
}

// "" when flashbuf holds `writes` on 0xFF, else where it first differs.
std::string image_difference(const std::vector<Write>& writes) {
  Image expected;
  expected.fill(0xFF);
  for (const Write& write : writes) {
    for (std::size_t i = 0; i < write.bytes.size(); ++i) expected.at(write.address + i) = write.bytes[i];
  }
  for (std::size_t i = 0; i < expected.size(); ++i) {
    if (flashbuf[i] != expected[i]) {
      char text[80];
      std::snprintf(text, sizeof text, "at 0x%zX: 0x%02X, expected 0x%02X", i, flashbuf[i], expected[i]);
      return text;
    }
  }
  return "";
}

void check(const std::vector<Case>& cases) {
  const ScratchDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome outcome = read_content(dir, c.content, c.cpu_size);
    EXPECT_EQ(outcome.result, c.result);
    EXPECT_EQ(outcome.out, c.out);
    EXPECT_EQ(image_difference(c.writes), "");
  }
}

const std::string R1234 = ":0400000001020304F2";  // 04+01+02+03+04 = 0E
const std::string R5678 = ":0400040005060708DE";  // 04+04+05+06+07+08 = 22
const std::string END = ":00000001FF";
const Write W1234{0, {1, 2, 3, 4}};
const Write W5678{4, {5, 6, 7, 8}};

// A data record of 16 zero bytes at `address` with the given checksum.
std::string zeros16(const std::string& address, const std::string& checksum) {
  return ":10" + address + "00" + std::string(32, '0') + checksum + "\n";
}
const Write Z37F0{0x37F0, std::vector<std::uint8_t>(16, 0)};

std::string repeat(const std::string& text, int times) {
  std::string result;
  for (int i = 0; i < times; ++i) result += text;
  return result;
}

// 0x20 bytes of 5A at 0xFFFF: 20+FF+FF+(20*5A = 0B40) = 5E.
const std::string R20_AT_FFFF = ":20FFFF00" + [] {
  std::string data;
  for (int i = 0; i < 0x20; ++i) data += "5A";
  return data;
}() + "A2\n";

// 255 bytes of 01 at 0: FF + FF = 1FE -> FE.
const std::string R255 = ":FF000000" + [] {
  std::string data;
  for (int i = 0; i < 255; ++i) data += "01";
  return data;
}() + "02\n";

TEST(HexReader, ValidFiles) {
  check({
      {"LF", R1234 + "\n" + END + "\n", 0, "", {W1234}},
      {"CR LF", R1234 + "\r\n" + R5678 + "\r\n" + END + "\r\n", 0, "", {W1234, W5678}},
      {"CR anywhere", ":04000000\r01020304F2\r\r\n\r", 0, "", {W1234}},
      {"lower case", ":04001000deadbeefb4\n:00000001ff\n", 0, "", {{0x10, {0xDE, 0xAD, 0xBE, 0xEF}}}},  // 4C
      {"Ctrl-Z ends the file", R1234 + "\r\n\x1a" + R5678 + "\r\n", 0, "", {W1234}},
      {"Ctrl-Z ends a line", R1234 + "\x1a\n" + R5678 + "\n", 0, "", {W1234}},
      {"text after the end record", END + "\nnot hex at all\n" + R1234 + "\n", 0, "", {}},
      {"end record only", END, 0, "", {}},
      {"end record without checksum", ":00000001\n" + R1234 + "\n", 0, "", {}},
      {"empty file", "", 0, "", {}},
      {"no end record, last line without LF", R1234 + "\n" + R5678, 0, "", {W1234, W5678}},
      {"text after the checksum", R1234 + " junk\n", 0, "", {W1234}},
      {"later record overwrites", R1234 + "\n:02000100AABB98\n", 0, "", {{0, {1, 0xAA, 0xBB, 4}}}},  // 68
      {"type 04 zero at the top", ":020000040000FA\n" + R1234 + "\n" + END + "\n", 0, "", {W1234}},  // 06
      {"type 04 moves data out of the image", ":020000040001F9\n" + R1234 + "\n", 0, WARNING, {}},  // 07
      {"type 02 sets and resets the base",
       ":020000020100FB\n" + R1234 + "\n:020000020000FC\n:02000100AABB98\n",  // 05, 04
       0,
       "",
       {{0x1000, {1, 2, 3, 4}}, {1, {0xAA, 0xBB}}}},
      {"type 02 record across the image end",
       ":020000020F00ED\n:0403FE001122334451\n",  // 13, AF: 0xF000 + 0x3FE
       0,
       WARNING,
       {{0xF3FE, {0x11, 0x22}}}},
      {"types 03 and 05 store nothing", ":0400000300001234B3\n:0400000500001234B1\n", 0, "", {}},  // 4D, 4F
      {"last byte of the image", ":01F3FF007796\n", 0, WARNING, {{0xF3FF, {0x77}}}},                 // 6A
      {"byte past the image dropped", ":02F3FF001234C6\n", 0, WARNING, {{0xF3FF, {0x12}}}},          // 3A
      {"address does not wrap at 16 bits", ":02FFFF00ABCD88\n", 0, WARNING, {}},                     // 78
      {"address does not wrap at 32 bits", ":02000004FFFFFC\n" + R20_AT_FFFF, 0, WARNING, {}},        // 04
      {"255 data bytes", R255, 0, "", {{0, std::vector<std::uint8_t>(255, 1)}}},
      {"lines across a 40 KB file", repeat(R1234 + "\r\n", 2000) + R5678 + "\n", 0, "", {W1234, W5678}},
      {"Ctrl-Z in a line ends a 40 KB file", R1234 + "\x1a" + repeat("\n" + R5678, 2000), 0, "", {W1234}},
      {"1023 characters", R1234 + std::string(1023 - R1234.size(), ' ') + "\n", 0, "", {W1234}},
      {"1023 characters and CRs", R1234 + "\r" + std::string(1023 - R1234.size(), ' ') + "\r\r\n", 0, "", {W1234}},
      {"1023 characters then Ctrl-Z", R1234 + std::string(1023 - R1234.size(), ' ') + "\x1a", 0, "", {W1234}},
  });
}

TEST(HexReader, Failures) {
  const std::string long_tail(1024 - R1234.size(), ' ');
  check({
      {"text", "hello\n", -1, NOT_HEX, {}},
      {"blank line first", "\n" + END + "\n", -1, NOT_HEX, {}},
      {"blank CR LF line after data", R1234 + "\n\r\n" + END + "\n", -1, NOT_HEX, {W1234}},
      {"leading blank", " " + R1234 + "\n", -1, NOT_HEX, {}},
      {"NUL first", "\0"s + R1234 + "\n", -1, NOT_HEX, {}},
      {"checksum, LF quoted", ":0400000001020304F3\n", -1, "Error:  Checksum wrong :0400000001020304F3\n\n", {W1234}},
      {"checksum, CR not quoted",
       ":0400000001020304F3\r\n",
       -1,
       "Error:  Checksum wrong :0400000001020304F3\n\n",
       {W1234}},
      {"checksum, last line", ":0400000001020304F3", -1, "Error:  Checksum wrong :0400000001020304F3\n", {W1234}},
      {"checksum of type 04", ":020000040000FB\n", -1, "Error:  Checksum wrong :020000040000FB\n\n", {}},
      {"checksum of type 03",
       ":0400000300001234B4\n",
       -1,
       "Error:  Checksum wrong :0400000300001234B4\n\n",
       {}},
      // The data field NUL,'5' converts to 0, so the sum is 01 and FF is due.
      {"quote cut at NUL", ":01000000\0"s "5FE\n", -1, "Error:  Checksum wrong :01000000\n", {{0, {0}}}},
      {"after an accepted record", R1234 + "\n" + R5678.substr(0, 18) + "0\n", -1,
       "Error:  Checksum wrong :0400040005060708D0\n\n", {W1234, W5678}},
      {"short record", ":0400000001020304\n", -1, "Error:  bad record :0400000001020304\n\n", {}},
      {"short by one, CR dropped",
       ":0400000001020304F\r\n",
       -1,
       "Error:  bad record :0400000001020304F\n\n",
       {}},
      {"colon only", ":\n", -1, "Error:  bad record :\n\n", {}},
      {"count only, no LF", ":04", -1, "Error:  bad record :04\n", {}},
      {"record cut by Ctrl-Z", ":0400000001020304\x1a" "F2\n", -1, "Error:  bad record :0400000001020304\n", {}},
      {"type 06", ":00000006FA\n", -1, "Error:  bad record :00000006FA\n\n", {}},   // 06
      {"type 80", ":0000008080\n", -1, "Error:  bad record :0000008080\n\n", {}},   // 80
      {"type -1 is FF", ":000000-101\n", -1, "Error:  bad record :000000-101\n\n", {}},
      {"count -1 is FF", ":-1000000\n", -1, "Error:  bad record :-1000000\n\n", {}},
      {"type 02 of one byte", ":0100000200FD\n", -1, "Error:  bad record :0100000200FD\n\n", {}},  // 03
      {"type 04 of four bytes",
       ":0400000400000000F8\n",
       -1,
       "Error:  bad record :0400000400000000F8\n\n",
       {}},  // 08
      {"short record draws no warning", ":1037F000\n", -1, "Error:  bad record :1037F000\n\n", {}, 0x3800},
      {"warning before checksum",
       zeros16("37F0", "C8"),
       -1,
       WARNING + "Error:  Checksum wrong " + zeros16("37F0", "C8") + "\n",
       {Z37F0},
       0x3800},
      {"1024 characters", R1234 + long_tail + "\n", -1, TOO_LONG, {}},
      {"1024 characters, no LF", R1234 + long_tail, -1, TOO_LONG, {}},
      {"1024 characters then Ctrl-Z", R1234 + long_tail + "\x1a", -1, TOO_LONG, {}},
      {"1024 characters of text", std::string(1024, 'x') + "\n", -1, TOO_LONG, {}},
      {"too long after data", R1234 + "\n" + R5678 + long_tail + "\n", -1, TOO_LONG, {W1234}},
  });
}

TEST(HexReader, SizeWarning) {
  const std::string at_37f0 = zeros16("37F0", "C9");  // 10+37+F0 = 37
  check({
      {"ends at cpu_size", at_37f0, 0, WARNING, {Z37F0}, 0x3800},
      {"16 lower", zeros16("37E0", "D9"), 0, "", {{0x37E0, std::vector<std::uint8_t>(16, 0)}}, 0x3800},  // 27
      {"once per file", at_37f0 + at_37f0 + ":01F3FF007796\n", 0, WARNING, {Z37F0, {0xF3FF, {0x77}}}, 0x3800},
      {"end record high", ":00FFFF0101\n", 0, "", {}, 0x3800},
      {"address record high", ":02FFFF040000FC\n", 0, "", {}, 0x3800},  // 04
      {"full address with base", ":020000020300F9\n" + zeros16("07F0", "F9"), 0, WARNING, {Z37F0}, 0x3800},
      {"with base, 16 lower",
       ":020000020300F9\n" + zeros16("07E0", "09"),  // 10+07+E0 = F7
       0,
       "",
       {{0x37E0, std::vector<std::uint8_t>(16, 0)}},
       0x3800},
      {"default size", zeros16("F3F0", "0D"), 0, WARNING, {{0xF3F0, std::vector<std::uint8_t>(16, 0)}}},  // F3
      {"default size, 16 lower", zeros16("F3E0", "1D"), 0, "", {{0xF3E0, std::vector<std::uint8_t>(16, 0)}}},  // E3
  });
}

// Fields convert as strtol does in base 16; the checksum proves the value
// where the image cannot (FF on an image of FF).
TEST(HexReader, FieldsConvertLikeStrtol) {
  check({
      {"count with a blank", ": 1000000AB54\n", 0, "", {{0, {0xAB}}}},  // 01+AB = AC
      {"data -1 is FF", ":01000000-100\n", 0, "", {}},                  // 01+FF = 00
      {"data -2 is FE", ":01000000-201\n", 0, "", {{0, {0xFE}}}},       // 01+FE = FF
      {"address -001 is FFFF", ":01-00100AB56\n", 0, WARNING, {}},     // 01+FF+FF+AB = AA
      {"0x in the address", ":010x1200AB42\n", 0, "", {{0x12, {0xAB}}}},  // 01+12+AB = BE
      {"0X in the address", ":010X1200AB42\n", 0, "", {{0x12, {0xAB}}}},
      {"blank in the address", ":01 01200AB42\n", 0, "", {{0x12, {0xAB}}}},
      {"blank address stays in its field", ":01    00AB54\n", 0, "", {{0, {0xAB}}}},
      {"tab before a digit", ":01000000\t7F8\n", 0, "", {{0, {0x07}}}},  // 01+07 = 08
      {"leading digit only", ":010000001GFE\n", 0, "", {{0, {0x01}}}},  // 01+01 = 02
      {"no leading digit", ":01000000G1FF\n", 0, "", {{0, {0x00}}}},
      {"NUL in data", ":01000000\0"s "5FF\n", 0, "", {{0, {0x00}}}},
      {"checksum 0x is 0", ":01000000-10x\n", 0, "", {}},
      {"type with a blank", ":020000 40001F9\n" + R1234 + "\n", 0, WARNING, {}},  // 02+04+01 = 07
      {"type +1 ends the file", ":000000+1\n" + R1234 + "\n", 0, "", {}},
  });
}

TEST(HexReader, FilesThatCannotBeRead) {
  ScratchDir dir;
  options = default_options();
  flashbuf.fill(0xFF);
  const std::string missing = dir.file("missing.hex");
  for (const char* name : {dir.path().c_str(), missing.c_str(), "", static_cast<const char*>(nullptr)}) {
    SCOPED_TRACE(name == nullptr ? "(null)" : name);
    const Outcome outcome = read_file_named(name);
    EXPECT_EQ(outcome.result, -1);
    EXPECT_EQ(outcome.out, "");
  }
  EXPECT_EQ(image_difference({}), "");
}

TEST(HexReader, EachFileStartsAfresh) {
  ScratchDir dir;
  dir.write("base.hex", ":020000020100FB\n");  // base 0x1000, no data
  dir.write("data.hex", R1234 + "\n");
  dir.write("over.hex", ":02000100AABB98\n");
  dir.write("high.hex", zeros16("37F0", "C9") + zeros16("37F0", "C9"));
  options = default_options();
  options.cpu_size = 0x3800;
  flashbuf.fill(0xFF);
  for (const char* name : {"base.hex", "data.hex", "over.hex", "high.hex", "high.hex"}) {
    SCOPED_TRACE(name);
    const Outcome outcome = read_file_named(dir.file(name).c_str());
    EXPECT_EQ(outcome.result, 0);
    EXPECT_EQ(outcome.out, std::string(name) == "high.hex" ? WARNING : "");
  }
  EXPECT_EQ(image_difference({{0, {1, 0xAA, 0xBB, 4}}, Z37F0}), "");
}

}  // namespace
