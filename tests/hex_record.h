// Intel HEX for tests and benchmarks: one record as a toolchain writes it,
// for the inputs they generate, and the one check of a HEX output.
#pragma once

#include <cstdio>
#include <string>

#include "tool_messages.h"

// Its checksum makes all its bytes sum to 0 mod 256.

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

// "" when `hex` is a HEX output that carries `image`: 16-byte data records
// from address 0 up with upper-case digits, each summing to 0 mod 256, CR LF
// line ends, then the end record; else its first fault. It reads the file as
// any reader would, so it shares nothing with the writer.
inline std::string hex_fault(const std::string& hex, const std::string& image) {
  const auto digit = [](char c) { return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1; };
  std::size_t at = 0;
  for (std::size_t address = 0; address < image.size(); address += 16, at += 45) {
    const std::string where = "record at 0x" + std::to_string(address) + ": ";
    if (hex.size() < at + 45 || hex[at] != ':' || hex.compare(at + 43, 2, "\r\n") != 0) return where + "not a line";
    unsigned sum = 0;
    std::string bytes;
    for (std::size_t i = at + 1; i < at + 43; i += 2) {
      const int high = digit(hex[i]);
      const int low = digit(hex[i + 1]);
      if (high < 0 || low < 0) return where + "not upper-case hex digits";
      bytes += static_cast<char>(high * 16 + low);
      sum += static_cast<unsigned>(high * 16 + low);
    }
    const std::string header = {'\x10', static_cast<char>(address >> 8), static_cast<char>(address & 0xFF), '\0'};
    if (bytes.compare(0, 4, header) != 0) return where + "wrong count, address or type";
    if (sum % 0x100 != 0) return where + "wrong checksum";
    if (bytes.compare(4, 16, image, address, 16) != 0) return where + "other data";
  }
  return hex.compare(at, std::string::npos, END_RECORD) == 0 ? "" : "no end record after the data";
}
