// text_to_int32 against hand-worked values and against the C library's
// strtoll on a copy of the same characters, clamped to 32 bits.
#include "files/number_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace std::string_literals;

namespace {

// What strtol gives on a host with a 32-bit long: a field copied out and
// terminated, as a caller without a length limit would do.
std::int32_t oracle(const std::string& text, std::size_t length, int base) {
  const std::string field = text.substr(0, length);
  const long long value = std::strtoll(field.c_str(), nullptr, base);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(value);
}

constexpr std::size_t WHOLE = static_cast<std::size_t>(-1);

struct Case {
  std::string text;
  std::size_t length;  // WHOLE: the text's own length
  int base;
  std::int32_t expected;
};

TEST(TextToInt32, Table) {
  const Case cases[] = {
      // base 0 picks the base from the prefix: 0x59, 89 and 0131 are one chip
      {"0x59", WHOLE, 0, 0x59},
      {"0X59", WHOLE, 0, 0x59},
      {"89", WHOLE, 0, 89},
      {"0131", WHOLE, 0, 89},
      {"0", WHOLE, 0, 0},
      {"", WHOLE, 0, 0},
      {"09", WHOLE, 0, 0},  // octal stops at 9
      {"0777", WHOLE, 0, 511},
      {"12abc", WHOLE, 0, 12},
      {"abc", WHOLE, 0, 0},
      {" \t\n\v\f\r-12", WHOLE, 0, -12},
      {"+7", WHOLE, 0, 7},
      {"-0x10", WHOLE, 0, -16},
      {"- 1", WHOLE, 0, 0},
      {"+-1", WHOLE, 0, 0},
      {"0x", WHOLE, 0, 0},
      {"0xg", WHOLE, 0, 0},
      {"x1", WHOLE, 0, 0},
      // saturation at the signed 32-bit range
      {"2147483647", WHOLE, 0, INT32_MAX},
      {"2147483648", WHOLE, 0, INT32_MAX},
      {"-2147483648", WHOLE, 0, INT32_MIN},
      {"-2147483649", WHOLE, 0, INT32_MIN},
      {"4294967385", WHOLE, 0, INT32_MAX},  // 2^32 + 0x59 must not wrap to 0x59
      {"0x100000059", WHOLE, 0, INT32_MAX},
      {"-0x100000059", WHOLE, 0, INT32_MIN},
      {"99999999999999999999999999", WHOLE, 0, INT32_MAX},
      {"037777777777", WHOLE, 0, INT32_MAX},  // 2^32 - 1 in octal
      // base 16
      {"ff", WHOLE, 16, 255},
      {"FF", WHOLE, 16, 255},
      {"10", WHOLE, 16, 16},
      {"0x1f", WHOLE, 16, 31},
      {"0x", WHOLE, 16, 0},
      {"010", WHOLE, 16, 16},  // a leading 0 is no octal prefix here
      {"1G", WHOLE, 16, 1},
      {"G1", WHOLE, 16, 0},
      {"-1", WHOLE, 16, -1},
      {" 1", WHOLE, 16, 1},
      {"7fffffff", WHOLE, 16, INT32_MAX},
      {"80000000", WHOLE, 16, INT32_MAX},
      {"-80000000", WHOLE, 16, INT32_MIN},
      {"ffffffff", WHOLE, 16, INT32_MAX},
      // only `length` characters count
      {"1234", 2, 16, 0x12},
      {"1234", 0, 16, 0},
      {"0x12", 1, 16, 0},
      {"0x12", 2, 16, 0},
      {"0x12", 3, 16, 1},
      {" -1", 2, 16, 0},
      {"    12", 4, 16, 0},
      {"98765432101", 10, 0, INT32_MAX},
      {"98765432101", 9, 0, 987654321},
      // and a NUL ends the text before that
      {"1\0"s + "2", 3, 16, 1},
      {" \0"s + "2", 3, 16, 0},
  };
  for (const Case& c : cases) {
    const std::size_t length = c.length == WHOLE ? c.text.size() : c.length;
    SCOPED_TRACE("\"" + c.text + "\" length " + std::to_string(length) + " base " + std::to_string(c.base));
    EXPECT_EQ(text_to_int32(c.text.data(), length, c.base), c.expected);
    EXPECT_EQ(oracle(c.text, length, c.base), c.expected);  // the hand value itself
  }
}

// Every text of up to four characters from an alphabet of the troublesome
// ones, as the reader's fields are: the same value as strtoll.
TEST(TextToInt32, AllShortTextsMatchStrtoll) {
  const char alphabet[] = " \t+-0xX19fFgG";
  const std::size_t letters = sizeof alphabet - 1;
  for (std::size_t length = 0; length <= 4; ++length) {
    std::size_t combinations = 1;
    for (std::size_t i = 0; i < length; ++i) combinations *= letters;
    for (std::size_t n = 0; n < combinations; ++n) {
      std::string text;
      for (std::size_t i = 0, rest = n; i < length; ++i, rest /= letters) text += alphabet[rest % letters];
      for (const int base : {0, 16}) {
        ASSERT_EQ(text_to_int32(text.data(), length, base), oracle(text, length, base))
            << "\"" << text << "\" base " << base;
      }
    }
  }
}

// The same text inside a longer buffer gives the value of its first
// `length` characters only.
TEST(TextToInt32, LengthLimitMatchesACopy) {
  const std::string text = " -0x7fffffff12";
  for (std::size_t length = 0; length <= text.size(); ++length) {
    for (const int base : {0, 16}) {
      EXPECT_EQ(text_to_int32(text.data(), length, base), oracle(text, length, base))
          << "length " << length << " base " << base;
    }
  }
}

}  // namespace
