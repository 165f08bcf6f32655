// Number conversion that gives the same result on every host.
#pragma once

#include <cstddef>
#include <cstdint>

// Converts like the C library's strtol on a host with a 32-bit long:
// leading white space and a sign are skipped; "0x"/"0X" selects base 16
// (for base 0 and 16), a leading '0' base 8 (for base 0), anything else is
// base 10 (for base 0); conversion stops at the first character that is not
// a digit of the base; no digits give 0; values beyond the signed 32-bit
// range saturate. Looks at no more than `length` characters and stops at a
// NUL, so a fixed-width field needs no copy.
// Cold: the reader calls it only for a field that is not plain hex digits,
// the command line once per number.
[[gnu::cold]] std::int32_t text_to_int32(const char* text, std::size_t length, int base);
