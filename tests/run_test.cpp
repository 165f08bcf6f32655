// The run's own pieces in-process: the name table and the fill of flashbuf.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "front/conversion_steps.h"
#include "front/flashbuf.h"
#include "front/options.h"
#include "tool_messages.h"

namespace {

// Inputs hold garbage before the split: it must clear them itself.
NameTable dirty_names() {
  NameTable names;
  for (TextField& name : names) name.fill('Q');
  return names;
}

std::vector<std::string> inputs(const NameTable& names) {
  std::vector<std::string> result;
  for (const TextField& name : names) {
    result.emplace_back(name.data(), strnlen(name.data(), name.size()));
  }
  return result;
}

}  // namespace

struct SplitCase {
  std::string list;
  std::vector<std::string> inputs;  // input 0 first
};

TEST(Run, SplitInfileList) {
  const std::vector<SplitCase> cases = {
      {"", {"", "", "", ""}},
      {"a.hex", {"a.hex", "", "", ""}},
      {"a.hex,b.hex", {"b.hex", "a.hex", "", ""}},
      {"a,b,c,d", {"d", "c", "b", "a"}},
      {"a,,b", {"b", "", "a", ""}},
      {",a", {"a", "", "", ""}},
      {"a,", {"", "a", "", ""}},
      {",,,", {"", "", "", ""}},
      {"../x/a.hex,b c", {"b c", "../x/a.hex", "", ""}},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(c.list);
    options = default_options();
    std::strcpy(options.infile_list.data(), c.list.c_str());
    NameTable names = dirty_names();
    testing::internal::CaptureStdout();
    EXPECT_TRUE(split_infile_list(names));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(inputs(names), c.inputs);
  }
}

TEST(Run, FifthNameIsRefusedWithoutLineEnd) {
  for (const char* list : {"a,b,c,d,e", "a,,b,c,d", ",,,,", "a,b,c,d,e,f"}) {
    SCOPED_TRACE(list);
    options = default_options();
    std::strcpy(options.infile_list.data(), list);
    NameTable names = dirty_names();
    testing::internal::CaptureStdout();
    EXPECT_FALSE(split_infile_list(names));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "too many hexfiles");
  }
}

TEST(Run, HexExtensionOnlyForNamesWithoutAnyDot) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"app", "app.hex"},
      {"APP", "APP.hex"},
      {"app.hex", "app.hex"},
      {"app.ihx", "app.ihx"},
      {"../fw/app", "../fw/app"},
      {"fw.d/app", "fw.d/app"},
      {"a.", "a."},
      {"", ""},
      {std::string(251, 'n'), std::string(251, 'n') + ".hex"},
  };
  for (const auto& [name, expected] : cases) {
    SCOPED_TRACE(name);
    NameTable names{};
    // The same name in every input: each is treated on its own.
    for (TextField& input : names) std::strcpy(input.data(), name.c_str());
    add_hex_extensions(names);
    EXPECT_EQ(inputs(names), std::vector<std::string>(MAX_HEXFILES, expected));
  }
}

TEST(Run, FillWithFFCoversImageAndTail) {
  flashbuf.fill(0x00);
  testing::internal::CaptureStdout();
  fill_flashbuf(false, 1234);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), FILL);
  EXPECT_TRUE(std::all_of(flashbuf.begin(), flashbuf.end(), [](std::uint8_t b) { return b == 0xFF; }));
}

TEST(Run, RandomFillDependsOnlyOnTheSeed) {
  using Image = std::array<std::uint8_t, FLASHBUF_SIZE + FLASHBUF_TAIL_SIZE>;
  // Filled over two different earlier contents: no byte, tail included, may
  // keep what was there.
  const auto fill_over = [](std::uint8_t previous, std::uint32_t seed) {
    flashbuf.fill(previous);
    testing::internal::CaptureStdout();
    fill_flashbuf(true, seed);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), RANDOM_FILL);
    return Image(flashbuf);
  };
  const Image first = fill_over(0x00, 1700000000);
  EXPECT_EQ(fill_over(0xFF, 1700000000), first);
  EXPECT_NE(fill_over(0x00, 1700000001), first);
  EXPECT_NE(fill_over(0x00, 0), first);

  // Draws modulo 256 reach every byte value, none of them far too often.
  const std::set<std::uint8_t> values(first.begin(), first.end());
  EXPECT_EQ(values.size(), 256u);
  const auto most = std::max_element(values.begin(), values.end(), [&first](std::uint8_t a, std::uint8_t b) {
    return std::count(first.begin(), first.end(), a) < std::count(first.begin(), first.end(), b);
  });
  EXPECT_LT(std::count(first.begin(), first.end(), *most), 0x400);
}
