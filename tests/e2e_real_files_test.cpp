// Intel HEX files made by real toolchains (SDCC, objcopy, srec_cat), converted
// by the whole tool. Every expected image was made by srec_cat
// (tests/data/make_data.sh); the HEX output is read back by srec_cat.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
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
                       const std::string& limit_hex) {
  std::string out = BANNER + FILL;
  for (const std::string& name : inputs) out += reading(name);
  return out + warnings + creating(limit_hex) + DONE;
}

std::size_t round_up_16(std::size_t n) { return (n + 15) / 16 * 16; }

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

// Each chip's size or a limit cuts both outputs; the HEX is read back by srec_cat.
TEST(RealFileRunLimits, OutputsCarryTheFirstLimitBytes) {
  const std::string image = expected_image(REAL_FILES[0]);
  const struct {
    const char* arg;
    std::size_t limit;
    const char* limit_hex;
  } cases[] = {{"-l0x123", 0x123, "123"}, {"-l395", 0x18B, "18B"},    {"-l7", 7, "7"},
               {"-l0x10", 0x10, "10"},    {"-c0x51", 0x2800, "2800"}, {"-c0x58", 0x8000, "8000"},
               {"-c0x59", 0xF400, "F400"}};
  if (!have_srec_cat()) GTEST_SKIP() << "srec_cat (Debian package srecord) missing";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arg);
    ScratchDir dir;
    const ToolResult result = run_tool_in(dir.path(), {"-i" + example_file("blink.hex"), c.arg});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, run_output({example_file("blink.hex")}, "", c.limit_hex));
    EXPECT_EQ(first_difference(dir.read("FIRMWARE.BIN"), image.substr(0, c.limit)), std::string::npos);
    // The HEX output ends on a whole record: the image bytes up to it.
    EXPECT_EQ(first_difference(srec_read_back(dir, "FIRMWARE.HEX"), image.substr(0, round_up_16(c.limit))),
              std::string::npos);
  }
}

}  // namespace
