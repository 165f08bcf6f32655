// One Intel HEX record as a toolchain writes it, for the inputs that tests
// and benchmarks generate: its checksum makes all its bytes sum to 0 mod 256.
#pragma once

#include <cstdio>
#include <string>

inline std::string hex_record(unsigned type, unsigned address, const std::string& data) {
  unsigned sum = static_cast<unsigned>(data.size()) + (address >> 8) + (address & 0xFF) + type;
  char digits[16];
  std::snprintf(digits, sizeof digits, ":%02X%04X%02X", static_cast<unsigned>(data.size()), address, type);
  std::string text = digits;
  for (const char c : data) {
    sum += static_cast<unsigned char>(c);
    std::snprintf(digits, sizeof digits, "%02X", static_cast<unsigned char>(c));
    text += digits;
  }
  std::snprintf(digits, sizeof digits, "%02X", (0x100 - sum % 0x100) % 0x100);
  return text + digits;
}
