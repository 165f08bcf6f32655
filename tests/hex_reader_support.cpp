#include "hex_reader_support.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>

#include "files/firmware_files.h"
#include "front/flashbuf.h"
#include "front/options.h"

namespace hex_reader_support {

namespace {

using Image = std::array<std::uint8_t, FLASHBUF_SIZE + FLASHBUF_TAIL_SIZE>;

Outcome read_content(const ScratchDir& dir, const std::string& content, std::int32_t cpu_size) {
  dir.write("in.hex", content);
  options = default_options();
  options.cpu_size = cpu_size;
  flashbuf.fill(0xFF);
  return read_file_named(dir.file("in.hex").c_str());
}

// Each line of `lines` after "qrv_tools: NAME: ".
std::string named_lines(const std::string& lines, const std::string& name) {
  std::string named;
  for (std::size_t start = 0; start < lines.size();) {
    const std::size_t end = lines.find('\n', start) + 1;
    named += "qrv_tools: " + name + ": " + lines.substr(start, end - start);
    start = end;
  }
  return named;
}

}  // namespace

const std::string WARNING = "Warning:  HexFile too large for the selected CPU\n";

Outcome read_file_named(const char* name) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const int result = read_hex_file(name);
  std::string out = testing::internal::GetCapturedStdout();
  return {result, out, testing::internal::GetCapturedStderr()};
}

std::string image_difference(const std::vector<Write>& writes) {
  Image expected;
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

void check(const std::vector<Case>& cases) {
  const ScratchDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome outcome = read_content(dir, c.content, c.cpu_size);
    EXPECT_EQ(outcome.result, c.result);
    EXPECT_EQ(outcome.out, c.out);
    if (c.err) {
      EXPECT_EQ(outcome.err, named_lines(*c.err, dir.file("in.hex")));
    }
    EXPECT_EQ(image_difference(c.writes), "");
  }
}

const std::string R1234 = ":0400000001020304F2";  // 04+01+02+03+04 = 0E
const std::string R5678 = ":0400040005060708DE";  // 04+04+05+06+07+08 = 22
const std::string END = ":00000001FF";
const Write W1234{0, {1, 2, 3, 4}};
const Write W5678{4, {5, 6, 7, 8}};

std::string zeros16(const std::string& address, const std::string& checksum) {
  return ":10" + address + "00" + std::string(32, '0') + checksum + "\n";
}
const Write Z37F0{0x37F0, std::vector<std::uint8_t>(16, 0)};

}  // namespace hex_reader_support
