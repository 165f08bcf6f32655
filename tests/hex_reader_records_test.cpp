// read_hex_file on files written for each case: the records it accepts and
// how their fields convert. Checksums were worked out by hand; the comment
// beside a record gives its byte sum (mod 256) without the checksum.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "hex_reader_support.h"

using namespace std::string_literals;

namespace {

using namespace hex_reader_support;

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
       NO_END + "warning: data for 0x0001-0x0002 given twice; the later record is kept\n"},
      {"overlaps merge",
       R1234 + "\n:04000200AABBCCDDEC\n" + R5678 + "\n" + END,  // EC: 14
       0,
       "",
       {{0, {1, 2, 0xAA, 0xBB, 5, 6, 7, 8}}},
       0xF400,
       "warning: data for 0x0002-0x0005 given twice; the later record is kept\n"},
      {"type 04 zero at the top", ":020000040000FA\n" + R1234 + "\n" + END + "\n", 0, "", {W1234}, 0xF400, ""},  // 06
      {"type 04 moves data out of the image",
       ":020000040001F9\n" + R1234 + "\n",  // 07
       0,
       TOO_LARGE,
       {},
       0xF400,
       NO_END + "warning: data for 0x10000-0x10003 lies past the limit 0xF400 and is not in the outputs\n"},
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
       NO_END + "warning: data for 0xF400-0xF400 lies past the limit 0xF400 and is not in the outputs\n"},  // 3A
      {"address does not wrap at 16 bits", ":02FFFF00ABCD88\n", 0, TOO_LARGE, {}},                          // 78
      {"given twice past the image",
       ":02FFFF00ABCD88\n:02FFFF00ABCD88\n" + END,
       0,
       TOO_LARGE,
       {},
       0xF400,
       "warning: data for 0xFFFF-0x10000 lies past the limit 0xF400 and is not in the outputs\n"},
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

}  // namespace
