// Intel HEX files made by real toolchains (SDCC, objcopy, srec_cat), read in
// process. Every expected image was made by srec_cat (tests/data/make_data.sh).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "files/firmware_files.h"
#include "front/flashbuf.h"
#include "front/options.h"
#include "real_files_support.h"

namespace {

using namespace real_files_support;

std::string image_now() { return std::string(reinterpret_cast<const char*>(flashbuf.data()), IMAGE); }

class RealFileRead : public testing::TestWithParam<RealFile> {};

TEST_P(RealFileRead, GivesTheImageSrecCatMakes) {
  const RealFile& file = GetParam();
  options = default_options();
  flashbuf.fill(0xFF);
  // Data beyond the image must be dropped, not stored in the cipher's tail.
  std::fill(flashbuf.begin() + IMAGE, flashbuf.end(), std::uint8_t{0x5A});
  testing::internal::CaptureStdout();
  const int result = read_hex_file(hex_path(file).c_str());
  const std::string out = testing::internal::GetCapturedStdout();

  EXPECT_EQ(result, 0);
  // Once per file, however many records reach past the chip.
  EXPECT_EQ(out, file.data_end >= IMAGE ? TOO_LARGE : "");
  EXPECT_EQ(first_difference(image_now(), expected_image(file)), std::string::npos);
  for (std::size_t i = IMAGE; i < flashbuf.size(); ++i) EXPECT_EQ(flashbuf[i], 0x5A) << "tail byte " << i;
}

// The warning's threshold, at the highest data address that srec_info shows.
TEST(RealFileReadWarning, WarnsWhenDataReachesTheChipSize) {
  for (const RealFile& file : REAL_FILES) {
    if (file.data_end >= IMAGE) continue;  // warns for every chip: see above
    const struct {
      std::uint64_t cpu_size;
      bool warns;
    } cases[] = {{file.data_end, true}, {file.data_end - 1, true}, {file.data_end + 1, false}, {IMAGE, false}};
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << file.label << " cpu_size 0x" << std::hex << c.cpu_size);
      options = default_options();
      options.cpu_size = static_cast<std::int32_t>(c.cpu_size);
      flashbuf.fill(0xFF);
      testing::internal::CaptureStdout();
      EXPECT_EQ(read_hex_file(hex_path(file).c_str()), 0);
      EXPECT_EQ(testing::internal::GetCapturedStdout(), c.warns ? TOO_LARGE : "");
      EXPECT_EQ(first_difference(image_now(), expected_image(file)), std::string::npos);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Toolchains, RealFileRead, testing::ValuesIn(REAL_FILES), label_of);

}  // namespace
