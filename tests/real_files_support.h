// What the real-file test files share: the Intel HEX files made by real
// toolchains (SDCC, objcopy, srec_cat), and the image srec_cat makes of each
// (tests/data/make_data.sh).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "front/flashbuf.h"
#include "tool_messages.h"
#include "tool_runner.h"

namespace real_files_support {

constexpr std::size_t IMAGE = FLASHBUF_SIZE;

struct RealFile {
  const char* label;
  const char* hex;  // file name in tests/data, or in examples
  bool in_examples;
  const char* expected;    // tests/data/<expected>.expected.bin
  std::size_t window;      // image address of the expected file's first byte
  std::uint64_t data_end;  // one past the highest data byte (srec_info)
};

// Windows and data ends as make_data.sh and srec_info give them.
inline const std::vector<RealFile> REAL_FILES = {
    {"sdcc_blink", "blink.hex", true, "blink", 0x0000, 0x018B},
    {"objcopy_segment", "objcopy_segment.hex", false, "objcopy_segment", 0x0100, 0x1F040},
    {"objcopy_linear", "objcopy_linear.hex", false, "objcopy_linear", 0x7E00, 0xABC020},
    {"srec_255", "srec_255.hex", false, "srec_255", 0x1000, 0x1BB8},
    {"srec_32_crlf", "srec_32_crlf.hex", false, "srec_32_crlf", 0x0000, 0x0800},
    {"srec_segment", "srec_segment.hex", false, "srec_segment", 0xF2C8, 0x100C0},
    {"srec_i8hex_lower", "srec_i8hex_lower.hex", false, "srec_i8hex_lower", 0x3780, 0x3800},
};

// Test names and failure messages show the label, not the raw bytes.
inline void PrintTo(const RealFile& file, std::ostream* os) { *os << file.label; }
inline std::string label_of(const testing::TestParamInfo<RealFile>& param) { return param.param.label; }

inline std::string hex_path(const RealFile& file) {
  return file.in_examples ? example_file(file.hex) : test_data(file.hex);
}

// The full image: 0xFF with the stored window laid in.
inline std::string image_from_window(const std::string& expected, std::size_t window) {
  const std::string bytes = read_file(test_data(expected + ".expected.bin"));
  std::string image(IMAGE, '\xFF');
  if (bytes.empty() || window + bytes.size() > IMAGE) {
    ADD_FAILURE() << "missing or oversized " << expected << ".expected.bin";
    return image;
  }
  return image.replace(window, bytes.size(), bytes);
}
inline std::string expected_image(const RealFile& file) { return image_from_window(file.expected, file.window); }

}  // namespace real_files_support
