// Intel HEX files made by real toolchains (SDCC, objcopy, srec_cat), converted
// by the whole tool. Every expected image was made by srec_cat
// (tests/data/make_data.sh); the HEX output is read back by srec_cat.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "real_files_support.h"

namespace {

using namespace real_files_support;

bool have_srec_cat() { return std::system("command -v srec_cat > /dev/null 2>&1") == 0; }

// What an independent reader makes of a HEX file in `dir`: the bytes from
// address 0 to the highest one it holds.
std::string srec_read_back(const ScratchDir& dir, const std::string& hex) {
  const std::string command =
      "cd '" + dir.path() + "' && srec_cat '" + hex + "' -intel -o readback.bin -binary 2> srec_cat.err";
  if (std::system(command.c_str()) != 0) {
    ADD_FAILURE() << "srec_cat could not read " << hex << ": " << dir.read("srec_cat.err");
    return {};
  }
  return dir.read("readback.bin");
}

std::string run_output(const std::vector<std::string>& inputs, const std::string& warnings,
                       const std::string& limit_hex, const std::string& encrypting = "") {
  std::string out = BANNER + FILL;
  for (const std::string& name : inputs) out += reading(name);
  return out + warnings + encrypting + creating(limit_hex) + DONE;
}

std::size_t round_up_16(std::size_t n) { return (n + 15) / 16 * 16; }

class RealFileRun : public testing::TestWithParam<RealFile> {};

TEST_P(RealFileRun, ConvertsForEveryChip) {
  const RealFile& file = GetParam();
  const std::string image = expected_image(file);
  const struct {
    const char* chip;  // empty: the default chip
    std::size_t size;
    const char* limit_hex;
  } chips[] = {
      {"", 0xF400, "F400"}, {"-c0x51", 0x2800, "2800"}, {"-c0x52", 0x3800, "3800"}, {"-c0x58", 0x8000, "8000"}};
  const bool srec_cat = have_srec_cat();
  for (const auto& chip : chips) {
    SCOPED_TRACE(std::string("chip ") + chip.chip);
    ScratchDir dir;
    std::vector<std::string> args = {"-i" + hex_path(file)};
    if (chip.chip[0] != '\0') args.emplace_back(chip.chip);
    const ToolResult result = run_tool_in(dir.path(), args);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, run_output({hex_path(file)}, file.data_end >= chip.size ? TOO_LARGE : "", chip.limit_hex));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"FIRMWARE.BIN", "FIRMWARE.HEX"}));
    const std::string bin = dir.read("FIRMWARE.BIN");
    EXPECT_EQ(first_difference(bin, image.substr(0, chip.size)), std::string::npos);
    // 16-byte records of 43 characters plus CR LF, and the end record.
    EXPECT_EQ(dir.read("FIRMWARE.HEX").size(), chip.size / 16 * 45 + 13);
    if (srec_cat) {
      EXPECT_EQ(first_difference(srec_read_back(dir, "FIRMWARE.HEX"), bin), std::string::npos);
    }
  }
  if (!srec_cat) GTEST_SKIP() << "srec_cat (Debian package srecord) missing: HEX output not read back";
}

INSTANTIATE_TEST_SUITE_P(Toolchains, RealFileRun, testing::ValuesIn(REAL_FILES), label_of);

// Files copied into the working directory, named without their extension.
TEST(RealFileRunNames, ListedFilesTheFirstNamedWins) {
  const struct {
    const char* list;
    std::vector<std::string> read_order;
    const char* expected;
  } cases[] = {
      {"-iblink,srec_32_crlf", {"srec_32_crlf.hex", "blink.hex"}, "blink_over_srec_32"},
      {"-isrec_32_crlf,blink", {"blink.hex", "srec_32_crlf.hex"}, "srec_32_over_blink"},
      {"-iblink", {"blink.hex"}, "blink"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.list);
    ScratchDir dir;
    dir.write("blink.hex", read_file(example_file("blink.hex")));
    dir.write("srec_32_crlf.hex", read_file(test_data("srec_32_crlf.hex")));
    const ToolResult result = run_tool_in(dir.path(), {c.list, "-oout.bin"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, run_output(c.read_order, "", "F400"));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"blink.hex", "out.BIN", "out.HEX", "srec_32_crlf.hex"}));
    EXPECT_EQ(first_difference(dir.read("out.BIN"), image_from_window(c.expected, 0)), std::string::npos);
  }
}

TEST(RealFileRunLimits, OutputsCarryTheFirstLimitBytes) {
  const std::string image = expected_image(REAL_FILES[0]);
  const struct {
    const char* arg;
    std::size_t limit;
    const char* limit_hex;
  } cases[] = {{"-l0x123", 0x123, "123"}, {"-l395", 0x18B, "18B"}, {"-l7", 7, "7"}, {"-l0x10", 0x10, "10"}};
  if (!have_srec_cat()) GTEST_SKIP() << "srec_cat (Debian package srecord) missing";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arg);
    ScratchDir dir;
    const ToolResult result = run_tool_in(dir.path(), {"-i" + example_file("blink.hex"), c.arg});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, run_output({example_file("blink.hex")}, "", c.limit_hex));
    EXPECT_EQ(dir.read("FIRMWARE.BIN"), image.substr(0, c.limit));
    // The HEX output ends on a whole record: the image bytes up to it.
    EXPECT_EQ(srec_read_back(dir, "FIRMWARE.HEX"), image.substr(0, round_up_16(c.limit)));
  }
}

// The encrypted image itself is the cipher tests' subject; here the real file
// shows that both outputs carry the same encrypted bytes, and the structure
// that the mode implies: fast mode enciphers aligned 8-byte blocks one by one
// with one key, a permutation, so two blocks are equal after it exactly when
// they were equal before; strong mode chains the blocks, so equal plain
// blocks do not stay equal.
TEST(RealFileRunEncrypted, BothOutputsCarryTheSameCiphertext) {
  const struct {
    std::vector<std::string> args;
    const char* message;
    bool strong;
    std::size_t cpu_size;
    std::size_t limit;
    const char* limit_hex;
  } cases[] = {
      {{"-e+"}, "lsb first using TEA fast", false, 0xF400, 0xF400, "F400"},
      {{"-x+"}, "lsb first using XTEA fast", false, 0xF400, 0xF400, "F400"},
      {{"-e+", "-m+", "-c0x52"}, "msb first using TEA fast", false, 0x3800, 0x3800, "3800"},
      {{"-x+", "-s+", "-m+"}, "msb first using XTEA strong", true, 0xF400, 0xF400, "F400"},
      {{"-e+", "-s+", "-l0x105"}, "lsb first using TEA strong", true, 0xF400, 0x105, "105"},
      {{"/E+", "/S+", "-c0x51", "-kShortKey"}, "lsb first using TEA strong", true, 0x2800, 0x2800, "2800"},
      {{"-c0x51", "-l0x1C0", "-x+"}, "lsb first using XTEA fast", false, 0x2800, 0x1C0, "1C0"},
  };
  if (!have_srec_cat()) GTEST_SKIP() << "srec_cat (Debian package srecord) missing";
  for (const RealFile& file : {REAL_FILES[0], REAL_FILES[3]}) {
    const std::string plain = expected_image(file);
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(file.label) + " " + c.message + " limit " + c.limit_hex);
      ScratchDir dir;
      std::vector<std::string> args = {"-i" + hex_path(file)};
      args.insert(args.end(), c.args.begin(), c.args.end());
      const ToolResult result = run_tool_in(dir.path(), args);
      EXPECT_EQ(result.status, 0);
      const std::string warnings = file.data_end >= c.cpu_size ? TOO_LARGE : "";
      EXPECT_EQ(result.out, run_output({hex_path(file)}, warnings, c.limit_hex,
                                       std::string("  ... encrypting flashbuf ") + c.message + " encryption\n"));
      const std::string bin = dir.read("FIRMWARE.BIN");
      ASSERT_EQ(bin.size(), c.limit);
      const std::string read_back = srec_read_back(dir, "FIRMWARE.HEX");
      ASSERT_EQ(read_back.size(), round_up_16(c.limit));
      EXPECT_EQ(read_back.substr(0, c.limit), bin);

      std::size_t blank_blocks = 0;
      std::set<std::string> ciphers_of_blank;  // ciphertexts of all-0xFF plain blocks
      for (std::size_t a = 0; a + 8 <= c.limit; a += 8) {
        EXPECT_NE(bin.substr(a, 8), plain.substr(a, 8)) << "block 0x" << std::hex << a << " left plain";
        if (plain.compare(a, 8, std::string(8, '\xFF')) == 0) {
          ++blank_blocks;
          ciphers_of_blank.insert(bin.substr(a, 8));
        }
        if (c.strong || a == 0) continue;
        EXPECT_EQ(plain.compare(a, 8, plain, a - 8, 8) == 0, bin.compare(a, 8, bin, a - 8, 8) == 0)
            << "block 0x" << std::hex << a;
      }
      if (blank_blocks < 2) continue;
      if (c.strong) {
        EXPECT_GT(ciphers_of_blank.size(), 1u);
      } else {
        EXPECT_EQ(ciphers_of_blank.size(), 1u);
      }
    }
  }
}

}  // namespace
