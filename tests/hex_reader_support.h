// What the reader's test files share: a table of files and what reading each
// must give, and the runner that writes each file and checks result, output
// bytes and the whole image, tail included.
#pragma once

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

namespace hex_reader_support {

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
  std::optional<std::string> err = std::nullopt;  // standard error, each line after "qrv_tools: NAME:"
};

struct Outcome {
  int result;
  std::string out;
  std::string err;
};

// read_hex_file on `name` as it stands, its standard output and error captured.
inline Outcome read_file_named(const char* name) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const int result = read_hex_file(name);
  std::string out = testing::internal::GetCapturedStdout();
  return {result, out, testing::internal::GetCapturedStderr()};
}

// Each line of `lines` after "qrv_tools: NAME:", and a blank unless the line
// starts with its line number.
inline std::string named_lines(const std::string& lines, const std::string& name) {
  std::string named;
  for (std::size_t start = 0; start < lines.size();) {
    const std::size_t end = lines.find('\n', start) + 1;
    const bool numbered = lines[start] >= '0' && lines[start] <= '9';
    named += "qrv_tools: " + name + (numbered ? ":" : ": ") + lines.substr(start, end - start);
    start = end;
  }
  return named;
}

// "" when flashbuf holds `writes` on 0xFF, else where it first differs.
inline std::string image_difference(const std::vector<Write>& writes) {
  std::array<std::uint8_t, FLASHBUF_SIZE + FLASHBUF_TAIL_SIZE> expected;
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
inline void check(const std::vector<Case>& cases) {
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
inline const std::string R1234 = ":0400000001020304F2";  // 04+01+02+03+04 = 0E
inline const std::string R5678 = ":0400040005060708DE";  // 04+04+05+06+07+08 = 22
inline const std::string END = ":00000001FF";
inline const Write W1234{0, {1, 2, 3, 4}};
inline const Write W5678{4, {5, 6, 7, 8}};

// A data record of 16 zero bytes at `address` with the given checksum.
inline std::string zeros16(const std::string& address, const std::string& checksum) {
  return ":10" + address + "00" + std::string(32, '0') + checksum + "\n";
}
inline const Write Z37F0{0x37F0, std::vector<std::uint8_t>(16, 0)};

}  // namespace hex_reader_support
