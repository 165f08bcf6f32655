// What the real-file test files share: the Intel HEX files made by real
// toolchains (SDCC, objcopy, srec_cat), and the image srec_cat makes of each
// (tests/data/make_data.sh).
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "front/flashbuf.h"

namespace real_files_support {

constexpr std::size_t IMAGE = FLASHBUF_SIZE;
extern const std::string WARNING;

struct RealFile {
  const char* label;
  const char* hex;       // file name in tests/data, or in examples
  bool in_examples;
  const char* expected;  // tests/data/<expected>.expected.bin
  std::size_t window;    // image address of the expected file's first byte
  std::uint64_t data_end;  // one past the highest data byte (srec_info)
};

extern const std::vector<RealFile> REAL_FILES;

// Test names and failure messages show the label, not the raw bytes.
void PrintTo(const RealFile& file, std::ostream* os);
std::string label_of(const testing::TestParamInfo<RealFile>& param);

std::string hex_path(const RealFile& file);

// The full image: 0xFF with the stored window laid in.
std::string image_from_window(const std::string& expected, std::size_t window);
std::string expected_image(const RealFile& file);

// Index of the first differing byte (or of the shorter end); npos if equal.
std::size_t first_difference(const std::string& a, const std::string& b);

}  // namespace real_files_support
