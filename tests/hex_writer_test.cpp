// write_hex_file and write_bin_file in-process, into a scratch directory.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "files/firmware_files.h"
#include "front/flashbuf.h"
#include "front/options.h"
#include "hex_record.h"
#include "tool_messages.h"
#include "tool_runner.h"

namespace {

struct Written {
  int status;
  std::string out;
  std::string file;
};

Written write_with(int (*writer)(const char*), std::int32_t limit) {
  ScratchDir dir;
  options = default_options();
  options.limit = limit;
  testing::internal::CaptureStdout();
  const int status = writer(dir.file("out").c_str());
  return {status, testing::internal::GetCapturedStdout(), dir.read("out")};
}

void fill_counting() {
  for (std::size_t i = 0; i < flashbuf.size(); ++i) flashbuf[i] = static_cast<std::uint8_t>(i);
}

FlashImage random_image(std::mt19937& random) {
  FlashImage image{};
  for (std::uint8_t& byte : image) byte = static_cast<std::uint8_t>(random());
  return image;
}

// The first `size` bytes of `image`, as hex_fault compares them.
std::string first_bytes(const FlashImage& image, std::size_t size) { return {image.begin(), image.begin() + size}; }

}  // namespace

struct HexCase {
  std::int32_t limit;
  std::string file;
};

TEST(HexWriter, HandComputedRecords) {
  const std::vector<HexCase> ff_cases = {
      {0x20,
       ":10000000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF00\r\n"
       ":10001000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF0\r\n"
       ":00000001FF\r\n"},
      {0x1, ":10000000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF00\r\n" + END_RECORD},
      {0, END_RECORD},
      {-5, END_RECORD},
      {INT32_MIN, END_RECORD},
  };
  for (const HexCase& c : ff_cases) {
    SCOPED_TRACE(c.limit);
    flashbuf.fill(0xFF);
    const Written written = write_with(write_hex_file, c.limit);
    EXPECT_EQ(written.status, 0);
    EXPECT_EQ(written.out, "");
    EXPECT_EQ(written.file, c.file);
  }

  // Bytes 0..0x2F hold their own address: the third record carries the bytes
  // past the limit up to 0x2F, and A..F come out in upper case.
  fill_counting();
  const Written written = write_with(write_hex_file, 0x21);
  EXPECT_EQ(written.status, 0);
  EXPECT_EQ(written.file,
            ":10000000000102030405060708090A0B0C0D0E0F78\r\n"
            ":10001000101112131415161718191A1B1C1D1E1F68\r\n"
            ":10002000202122232425262728292A2B2C2D2E2F58\r\n"
            ":00000001FF\r\n");
}

TEST(HexWriter, WholeImageByDefault) {
  std::mt19937 random(7);
  const FlashImage image = random_image(random);
  flashbuf = image;
  const Written written = write_with(write_hex_file, static_cast<std::int32_t>(FLASHBUF_SIZE));
  EXPECT_EQ(written.status, 0);
  EXPECT_EQ(hex_fault(written.file, first_bytes(image, FLASHBUF_SIZE)), "");
}

TEST(HexWriter, RandomImagesReadBackUnchanged) {
  std::mt19937 random(2024);
  std::vector<std::int32_t> limits = {1, 15, 16, 17, 0xF3F1, static_cast<std::int32_t>(FLASHBUF_SIZE), 0, -1};
  for (int i = 0; i < 8; ++i) limits.push_back(static_cast<std::int32_t>(random() % FLASHBUF_SIZE) + 1);
  for (const std::int32_t limit : limits) {
    SCOPED_TRACE(limit);
    const FlashImage image = random_image(random);
    flashbuf = image;
    const Written written = write_with(write_hex_file, limit);
    ASSERT_EQ(written.status, 0);
    const std::size_t carried = limit > 0 ? (static_cast<std::size_t>(limit) + 15) / 16 * 16 : 0;
    EXPECT_EQ(hex_fault(written.file, first_bytes(image, carried)), "");

    ScratchDir dir;
    dir.write("in.hex", written.file);
    flashbuf.fill(0x5A);
    testing::internal::CaptureStdout();  // the size warning is not under test here
    const int read_status = read_hex_file(dir.file("in.hex").c_str());
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(read_status, 0);
    for (std::size_t a = 0; a < FLASHBUF_SIZE; ++a) {
      ASSERT_EQ(flashbuf[a], a < carried ? image[a] : 0x5A) << a;
    }
  }
}

TEST(BinWriter, FirstLimitBytesRaw) {
  std::mt19937 random(11);
  const FlashImage image = random_image(random);
  const std::string bytes(image.begin(), image.begin() + FLASHBUF_SIZE);
  const std::vector<std::pair<std::int32_t, std::string>> cases = {
      {static_cast<std::int32_t>(FLASHBUF_SIZE), bytes},
      {0x2800, bytes.substr(0, 0x2800)},
      {0x101, bytes.substr(0, 0x101)},
      {1, bytes.substr(0, 1)},
      {0, ""},
      {-5, ""},
  };
  for (const auto& [limit, expected] : cases) {
    SCOPED_TRACE(limit);
    flashbuf = image;
    const Written written = write_with(write_bin_file, limit);
    EXPECT_EQ(written.status, 0);
    EXPECT_EQ(written.out, "");
    EXPECT_EQ(written.file, expected);
  }
}

TEST(Writers, AbsentOrUncreatableFile) {
  options = default_options();
  EXPECT_EQ(write_bin_file(nullptr), -1);
  EXPECT_EQ(write_hex_file(nullptr), -1);

  const std::vector<std::pair<int (*)(const char*), std::string>> cases = {
      {write_bin_file, "creating binary file failed!\n"},
      {write_hex_file, "creating hexfile failed!\n"},
  };
  for (const auto& [writer, message] : cases) {
    SCOPED_TRACE(message);
    ScratchDir dir;
    testing::internal::CaptureStdout();
    EXPECT_EQ(writer(dir.file("nodir/out").c_str()), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), message);
    EXPECT_TRUE(dir.entries().empty());
  }
}
