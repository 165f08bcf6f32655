// read_hex_file on whole files: those it refuses or warns about, files it
// cannot open, and one file after another. Checksums were worked out by hand;
// the comment beside a record gives its byte sum (mod 256) without the
// checksum.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "front/flashbuf.h"
#include "front/options.h"
#include "hex_reader_support.h"
#include "tool_runner.h"

using namespace std::string_literals;

namespace {

using namespace hex_reader_support;

TEST(HexReader, Failures) {
  const std::string long_tail(1024 - R1234.size(), ' ');
  check({
      {"text", "hello\n", -1, NOT_HEX, {}, 0xF400, "1: not an Intel HEX record: a record starts with ':'\n"},
      {"blank line first", "\n" + END + "\n", -1, NOT_HEX, {}},
      {"blank CR LF line after data",
       R1234 + "\n\r\n" + END + "\n",
       -1,
       NOT_HEX,
       {W1234},
       0xF400,
       "2: not an Intel HEX record: a record starts with ':'\n"},
      {"leading blank", " " + R1234 + "\n", -1, NOT_HEX, {}},
      {"NUL first", "\0"s + R1234 + "\n", -1, NOT_HEX, {}},
      {"checksum, LF quoted",
       ":0400000001020304F3\n",
       -1,
       CHECKSUM_WRONG + ":0400000001020304F3\n\n",
       {W1234},
       0xF400,
       "1: checksum wrong: 0xF2 expected, 0xF3 given\n"},
      {"checksum, CR not quoted", ":0400000001020304F3\r\n", -1, CHECKSUM_WRONG + ":0400000001020304F3\n\n", {W1234}},
      {"checksum, last line", ":0400000001020304F3", -1, CHECKSUM_WRONG + ":0400000001020304F3\n", {W1234}},
      {"checksum of type 04",
       ":020000040000FB\n",
       -1,
       CHECKSUM_WRONG + ":020000040000FB\n\n",
       {},
       0xF400,
       "1: checksum wrong: 0xFA expected, 0xFB given\n"},
      {"checksum of type 03", ":0400000300001234B4\n", -1, CHECKSUM_WRONG + ":0400000300001234B4\n\n", {}},
      // The data field NUL,'5' converts to 0, so the sum is 01 and FF is due.
      {"quote cut at NUL", ":01000000\0"s + "5FE\n", -1, CHECKSUM_WRONG + ":01000000\n", {{0, {0}}}},
      {"after an accepted record",
       R1234 + "\n" + R5678.substr(0, 18) + "0\n",
       -1,
       CHECKSUM_WRONG + ":0400040005060708D0\n\n",
       {W1234, W5678},
       0xF400,
       "2: checksum wrong: 0xDE expected, 0xD0 given\n"},
      {"short record",
       ":0400000001020304\n",
       -1,
       BAD_RECORD + ":0400000001020304\n\n",
       {},
       0xF400,
       "1: bad record: 17 characters, too short for 4 data bytes and the checksum\n"},
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
       "1: bad record: unknown record type 0x06\n"},
      {"type 80", ":0000008080\n", -1, BAD_RECORD + ":0000008080\n\n", {}},  // 80
      {"type -1 is FF", ":000000-101\n", -1, BAD_RECORD + ":000000-101\n\n", {}},
      {"count -1 is FF", ":-1000000\n", -1, BAD_RECORD + ":-1000000\n\n", {}},
      {"type 02 of one byte",
       ":0100000200FD\n",  // 03
       -1,
       BAD_RECORD + ":0100000200FD\n\n",
       {},
       0xF400,
       "1: bad record: an address record holds 2 bytes, this one 1\n"},
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
       "2: line too long: more than 1023 characters\n"},
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
