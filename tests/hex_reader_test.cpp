// read_hex_file on files written for each case: the records it accepts and
// how their fields convert, the files it refuses or warns about, files it
// cannot open, and one file after another. The runner writes each file and
// checks result, output bytes, standard error and the whole image, tail
// included. Checksums were worked out by hand; the comment beside a record
// gives its byte sum (mod 256) without the checksum.
#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "files/firmware_files.h"
#include "front/flashbuf.h"
#include "front/options.h"
#include "tool_messages.h"
#include "tool_runner.h"

using namespace std::string_literals;

namespace {

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
  std::optional<std::string> err = std::nullopt;  // standard error, each line after "NAME:"
};

struct Outcome {
  int result;
  std::string out;
  std::string err;
};

// read_hex_file on `name` as it stands, its standard output and error captured.
Outcome read_file_named(const char* name) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const int result = read_hex_file(name);
  std::string out = testing::internal::GetCapturedStdout();
  return {result, out, testing::internal::GetCapturedStderr()};
}

// Each line of `lines` after "NAME:", and a blank unless the line starts
// with its line number.
std::string named_lines(const std::string& lines, const std::string& name) {
  std::string named;
  for (std::size_t start = 0; start < lines.size();) {
    const std::size_t end = lines.find('\n', start) + 1;
    const bool numbered = lines[start] >= '0' && lines[start] <= '9';
    named += name + (numbered ? ":" : ": ") + lines.substr(start, end - start);
    start = end;
  }
  return named;
}

// "" when flashbuf holds `writes` on 0xFF, else where it first differs.
std::string image_difference(const std::vector<Write>& writes) {
  FlashImage expected;
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

// Each case from default options with its cpu_size and an image of 0xFF.
void check(const std::vector<Case>& cases) {
  const ScratchDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dir.write("in.hex", c.content);
    options = default_options();
    options.cpu_size = c.cpu_size;
    flashbuf.fill(0xFF);
    const Outcome outcome = read_file_named(dir.file("in.hex").c_str());
    EXPECT_EQ(outcome.result, c.result);
    EXPECT_EQ(outcome.out, c.out);
    if (c.err) {
      EXPECT_EQ(outcome.err, named_lines(*c.err, dir.file("in.hex")));
    }
    EXPECT_EQ(image_difference(c.writes), "");
  }
}

// Records with their byte sums worked out by hand.
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
const std::string R20_AT_FFFF = ":20FFFF00" + repeat("5A", 0x20) + "A2\n";
// 255 bytes of 01 at 0: FF + FF = 1FE -> FE.
const std::string R255 = ":FF000000" + repeat("01", 255) + "02\n";

const std::string NO_END = "warning: no end-of-file record; the file may be cut short\n";
const std::string NO_DATA = "warning: no data records\n";

TEST(HexReader, ValidFiles) {
  check({
      {"LF", R1234 + "\n" + END + "\n", 0, "", {W1234}},
      {"CR LF", R1234 + "\r\n" + R5678 + "\r\n" + END + "\r\n", 0, "", {W1234, W5678}},
      {"CR anywhere", ":04000000\r01020304F2\r\r\n\r", 0, "", {W1234}},
      {"lower case", ":04001000deadbeefb4\n:00000001ff\n", 0, "", {{0x10, {0xDE, 0xAD, 0xBE, 0xEF}}}},  // 4C
      {"Ctrl-Z ends the file", R1234 + "\r\n\x1a" + R5678 + "\r\n", 0, "", {W1234}, 0xF400, NO_END},
      {"Ctrl-Z after the end record", R1234 + "\r\n" + END + "\r\n\x1a", 0, "", {W1234}, 0xF400, ""},
      {"Ctrl-Z ends a line", R1234 + "\x1a\n" + R5678 + "\n", 0, "", {W1234}},
      {"text after the end record", END + "\nnot hex at all\n" + R1234 + "\n", 0, "", {}, 0xF400, NO_DATA},
      {"end record only", END, 0, "", {}, 0xF400, NO_DATA},
      {"end record without checksum", ":00000001\n" + R1234 + "\n", 0, "", {}},
      {"empty file", "", 0, "", {}, 0xF400, NO_END + NO_DATA},
      {"no end record, last line without LF", R1234 + "\n" + R5678, 0, "", {W1234, W5678}},
      {"text after the checksum", R1234 + " junk\n", 0, "", {W1234}},
      {"later record overwrites",
       R1234 + "\n:02000100AABB98\n",  // 68
       0,
       "",
       {{0, {1, 0xAA, 0xBB, 4}}},
       0xF400,
       NO_END + "2: warning: data for 0x0001-0x0002 given twice with other values; the later record is kept\n"},
      // The map's first word moves down to a record below the first one.
      {"step back below the first record",
       ":0401000001020304F1\n" + R1234 + "\n" + R1234 + "\n" + END,  // 0F
       0,
       "",
       {W1234, {0x100, {1, 2, 3, 4}}},
       0xF400,
       "3: note: data for 0x0000-0x0003 given twice with the same values\n"},
      // A byte given alike and then otherwise counts as differing only.
      {"given again alike, then otherwise",
       R1234 + "\n" + R1234 + "\n:01000000AA55\n" + END,  // 55: 01+AA = AB
       0,
       "",
       {{0, {0xAA, 2, 3, 4}}},
       0xF400,
       "3: warning: data for 0x0000-0x0000 given twice with other values; the later record is kept\n"
       "2: note: data for 0x0001-0x0003 given twice with the same values\n"},
      {"overlaps merge",
       R1234 + "\n:04000200AABBCCDDEC\n" + R5678 + "\n" + END,  // EC: 14
       0,
       "",
       {{0, {1, 2, 0xAA, 0xBB, 5, 6, 7, 8}}},
       0xF400,
       "2: warning: data for 0x0002-0x0005 given twice with other values; the later record is kept\n"},
      {"type 04 zero at the top", ":020000040000FA\n" + R1234 + "\n" + END + "\n", 0, "", {W1234}, 0xF400, ""},  // 06
      {"type 04 moves data out of the image",
       ":020000040001F9\n" + R1234 + "\n",  // 07
       0,
       TOO_LARGE,
       {},
       0xF400,
       NO_END + "2: warning: data for 0x10000-0x10003 lies past the limit 0xF400 and is not in the outputs\n"},
      {"type 02 sets and resets the base",
       ":020000020100FB\n" + R1234 + "\n:020000020000FC\n:02000100AABB98\n",  // 05, 04
       0,
       "",
       {{0x1000, {1, 2, 3, 4}}, {1, {0xAA, 0xBB}}}},
      {"type 02 record across the image end",
       ":020000020F00ED\n:0403FE001122334451\n",  // 13, AF: 0xF000 + 0x3FE
       0,
       TOO_LARGE,
       {{0xF3FE, {0x11, 0x22}}}},
      // 4D, 4F
      {"types 03 and 05 store nothing", ":0400000300001234B3\n:0400000500001234B1\n" + END, 0, "", {}, 0xF400, NO_DATA},
      {"last byte of the image", ":01F3FF007796\n", 0, TOO_LARGE, {{0xF3FF, {0x77}}}},  // 6A
      {"byte past the image dropped",
       ":02F3FF001234C6\n",
       0,
       TOO_LARGE,
       {{0xF3FF, {0x12}}},
       0xF400,
       NO_END + "1: warning: data for 0xF400-0xF400 lies past the limit 0xF400 and is not in the outputs\n"},  // 3A
      {"address does not wrap at 16 bits", ":02FFFF00ABCD88\n", 0, TOO_LARGE, {}},                             // 78
      {"given twice past the image",
       ":02FFFF00ABCD88\n:02FFFF00ABCD88\n" + END,
       0,
       TOO_LARGE,
       {},
       0xF400,
       "1: warning: data for 0xFFFF-0x10000 lies past the limit 0xF400 and is not in the outputs\n"},
      {"address does not wrap at 32 bits", ":02000004FFFFFC\n" + R20_AT_FFFF, 0, TOO_LARGE, {}},  // 04
      {"255 data bytes", R255, 0, "", {{0, std::vector<std::uint8_t>(255, 1)}}},
      {"lines across a 40 KB file", repeat(R1234 + "\r\n", 2000) + R5678 + "\n", 0, "", {W1234, W5678}},
      {"Ctrl-Z in a line ends a 40 KB file", R1234 + "\x1a" + repeat("\n" + R5678, 2000), 0, "", {W1234}},
      {"1023 characters", R1234 + std::string(1023 - R1234.size(), ' ') + "\n", 0, "", {W1234}},
      {"1023 characters and CRs", R1234 + "\r" + std::string(1023 - R1234.size(), ' ') + "\r\r\n", 0, "", {W1234}},
      {"1023 characters then Ctrl-Z", R1234 + std::string(1023 - R1234.size(), ' ') + "\x1a", 0, "", {W1234}},
  });
}

// Fields convert as strtol does in base 16; the checksum proves the value
// where the image cannot (FF on an image of FF).
TEST(HexReader, FieldsConvertLikeStrtol) {
  check({
      {"count with a blank", ": 1000000AB54\n", 0, "", {{0, {0xAB}}}},    // 01+AB = AC
      {"data -1 is FF", ":01000000-100\n", 0, "", {}},                    // 01+FF = 00
      {"data -2 is FE", ":01000000-201\n", 0, "", {{0, {0xFE}}}},         // 01+FE = FF
      {"address -001 is FFFF", ":01-00100AB56\n", 0, TOO_LARGE, {}},      // 01+FF+FF+AB = AA
      {"0x in the address", ":010x1200AB42\n", 0, "", {{0x12, {0xAB}}}},  // 01+12+AB = BE
      {"0X in the address", ":010X1200AB42\n", 0, "", {{0x12, {0xAB}}}},
      {"blank in the address", ":01 01200AB42\n", 0, "", {{0x12, {0xAB}}}},
      {"blank address stays in its field", ":01    00AB54\n", 0, "", {{0, {0xAB}}}},
      {"tab before a digit", ":01000000\t7F8\n", 0, "", {{0, {0x07}}}},  // 01+07 = 08
      {"leading digit only", ":010000001GFE\n", 0, "", {{0, {0x01}}}},   // 01+01 = 02
      {"no leading digit", ":01000000G1FF\n", 0, "", {{0, {0x00}}}},
      {"NUL in data", ":01000000\0"s + "5FF\n", 0, "", {{0, {0x00}}}},
      {"checksum 0x is 0", ":01000000-10x\n", 0, "", {}},
      {"type with a blank", ":020000 40001F9\n" + R1234 + "\n", 0, TOO_LARGE, {}},  // 02+04+01 = 07
      {"type +1 ends the file", ":000000+1\n" + R1234 + "\n", 0, "", {}},
  });
}

TEST(HexReader, Failures) {
  const std::string long_tail(1024 - R1234.size(), ' ');
  check({
      {"text", "hello\n", -1, NOT_HEX, {}, 0xF400, "1: error: not an Intel HEX record: a record starts with ':'\n"},
      {"blank line first", "\n" + END + "\n", -1, NOT_HEX, {}},
      {"blank CR LF line after data",
       R1234 + "\n\r\n" + END + "\n",
       -1,
       NOT_HEX,
       {W1234},
       0xF400,
       "2: error: not an Intel HEX record: a record starts with ':'\n"},
      {"leading blank", " " + R1234 + "\n", -1, NOT_HEX, {}},
      {"NUL first", "\0"s + R1234 + "\n", -1, NOT_HEX, {}},
      {"checksum, LF quoted",
       ":0400000001020304F3\n",
       -1,
       CHECKSUM_WRONG + ":0400000001020304F3\n\n",
       {W1234},
       0xF400,
       "1: error: checksum wrong: 0xF2 expected, 0xF3 given\n"},
      {"checksum, CR not quoted", ":0400000001020304F3\r\n", -1, CHECKSUM_WRONG + ":0400000001020304F3\n\n", {W1234}},
      {"checksum, last line", ":0400000001020304F3", -1, CHECKSUM_WRONG + ":0400000001020304F3\n", {W1234}},
      {"checksum of type 04",
       ":020000040000FB\n",
       -1,
       CHECKSUM_WRONG + ":020000040000FB\n\n",
       {},
       0xF400,
       "1: error: checksum wrong: 0xFA expected, 0xFB given\n"},
      {"checksum of type 03", ":0400000300001234B4\n", -1, CHECKSUM_WRONG + ":0400000300001234B4\n\n", {}},
      // The data field NUL,'5' converts to 0, so the sum is 01 and FF is due.
      {"quote cut at NUL", ":01000000\0"s + "5FE\n", -1, CHECKSUM_WRONG + ":01000000\n", {{0, {0}}}},
      {"after an accepted record",
       R1234 + "\n" + R5678.substr(0, 18) + "0\n",
       -1,
       CHECKSUM_WRONG + ":0400040005060708D0\n\n",
       {W1234, W5678},
       0xF400,
       "2: error: checksum wrong: 0xDE expected, 0xD0 given\n"},
      {"short record",
       ":0400000001020304\n",
       -1,
       BAD_RECORD + ":0400000001020304\n\n",
       {},
       0xF400,
       "1: error: bad record: 17 characters, too short for 4 data bytes and the checksum\n"},
      {"short by one, CR dropped", ":0400000001020304F\r\n", -1, BAD_RECORD + ":0400000001020304F\n\n", {}},
      {"colon only", ":\n", -1, BAD_RECORD + ":\n\n", {}},
      {"count only, no LF", ":04", -1, BAD_RECORD + ":04\n", {}},
      {"record cut by Ctrl-Z", ":0400000001020304\x1a"s + "F2\n", -1, BAD_RECORD + ":0400000001020304\n", {}},
      {"type 06",
       ":00000006FA\n",
       -1,
       BAD_RECORD + ":00000006FA\n\n",
       {},
       0xF400,
       "1: error: bad record: unknown record type 0x06\n"},
      {"type 80", ":0000008080\n", -1, BAD_RECORD + ":0000008080\n\n", {}},  // 80
      {"type -1 is FF", ":000000-101\n", -1, BAD_RECORD + ":000000-101\n\n", {}},
      {"count -1 is FF", ":-1000000\n", -1, BAD_RECORD + ":-1000000\n\n", {}},
      {"type 02 of one byte",
       ":0100000200FD\n",  // 03
       -1,
       BAD_RECORD + ":0100000200FD\n\n",
       {},
       0xF400,
       "1: error: bad record: an address record holds 2 bytes, this one 1\n"},
      {"type 04 of four bytes", ":0400000400000000F8\n", -1, BAD_RECORD + ":0400000400000000F8\n\n", {}},  // 08
      {"short record draws no warning", ":1037F000\n", -1, BAD_RECORD + ":1037F000\n\n", {}, 0x3800},
      {"warning before checksum",
       zeros16("37F0", "C8"),
       -1,
       TOO_LARGE + CHECKSUM_WRONG + zeros16("37F0", "C8") + "\n",
       {Z37F0},
       0x3800},
      {"1024 characters", R1234 + long_tail + "\n", -1, TOO_LONG, {}},
      {"1024 characters, no LF", R1234 + long_tail, -1, TOO_LONG, {}},
      {"1024 characters then Ctrl-Z", R1234 + long_tail + "\x1a", -1, TOO_LONG, {}},
      {"1024 characters of text", std::string(1024, 'x') + "\n", -1, TOO_LONG, {}},
      {"too long after data",
       R1234 + "\n" + R5678 + long_tail + "\n",
       -1,
       TOO_LONG,
       {W1234},
       0xF400,
       "2: error: line too long: more than 1023 characters\n"},
  });
}

TEST(HexReader, SizeWarning) {
  const std::string at_37f0 = zeros16("37F0", "C9");  // 10+37+F0 = 37
  check({
      {"ends at cpu_size", at_37f0, 0, TOO_LARGE, {Z37F0}, 0x3800},
      {"16 lower", zeros16("37E0", "D9"), 0, "", {{0x37E0, std::vector<std::uint8_t>(16, 0)}}, 0x3800},  // 27
      {"once per file", at_37f0 + at_37f0 + ":01F3FF007796\n", 0, TOO_LARGE, {Z37F0, {0xF3FF, {0x77}}}, 0x3800},
      {"end record high", ":00FFFF0101\n", 0, "", {}, 0x3800},
      {"address record high", ":02FFFF040000FC\n", 0, "", {}, 0x3800},  // 04
      {"full address with base", ":020000020300F9\n" + zeros16("07F0", "F9"), 0, TOO_LARGE, {Z37F0}, 0x3800},
      {"with base, 16 lower",
       ":020000020300F9\n" + zeros16("07E0", "09"),  // 10+07+E0 = F7
       0,
       "",
       {{0x37E0, std::vector<std::uint8_t>(16, 0)}},
       0x3800},
      {"default size", zeros16("F3F0", "0D"), 0, TOO_LARGE, {{0xF3F0, std::vector<std::uint8_t>(16, 0)}}},     // F3
      {"default size, 16 lower", zeros16("F3E0", "1D"), 0, "", {{0xF3E0, std::vector<std::uint8_t>(16, 0)}}},  // E3
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
    EXPECT_EQ(outcome.out, std::string(name) == "high.hex" ? TOO_LARGE : "");
  }
  EXPECT_EQ(image_difference({{0, {1, 0xAA, 0xBB, 4}}, Z37F0}), "");
}

}  // namespace
