#include "files/number_text.h"

namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// The value of an alphanumeric digit, or 36 for anything else.
int digit_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 36;
}

}  // namespace

std::int32_t text_to_int32(const char* text, std::size_t length, int base) {
  const auto at = [text, length](std::size_t i) { return i < length ? text[i] : '\0'; };
  std::size_t i = 0;
  while (is_space(at(i))) ++i;
  bool negative = false;
  if (at(i) == '+' || at(i) == '-') {
    negative = at(i) == '-';
    ++i;
  }
  if ((base == 0 || base == 16) && at(i) == '0' && (at(i + 1) == 'x' || at(i + 1) == 'X')) {
    i += 2;  // "0x" with no hex digit after it still converts to 0
    base = 16;
  } else if (base == 0) {
    base = at(i) == '0' ? 8 : 10;
  }

  // Just past the largest magnitude of a signed 32-bit value; growth stops there.
  constexpr std::int64_t saturated = std::int64_t{1} << 31;
  std::int64_t magnitude = 0;
  for (int digit = digit_value(at(i)); digit < base; digit = digit_value(at(++i))) {
    magnitude = magnitude * base + digit;
    if (magnitude > saturated) magnitude = saturated + 1;
  }
  if (negative) return magnitude >= saturated ? INT32_MIN : static_cast<std::int32_t>(-magnitude);
  return magnitude >= saturated ? INT32_MAX : static_cast<std::int32_t>(magnitude);
}
