// A generated file of pseudo-random records run through the real qrv_tools:
// the image it must give, and pairs of runs over it that must agree.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "hex_record.h"

namespace {

using std::string_literals::operator""s;

// A file of 16- and 32-byte records of pseudo-random bytes, behind a linear
// address record: 0x600 bytes at 0, 0x40 across the 0x3800 chip size, and
// 16 bytes across the end of the image. Also the image it must give.
struct Generated {
  std::vector<std::string> lines;
  std::string image;
};

Generated generated_file() {
  Generated g{{hex_record(4, 0, "\0\0"s)}, ff(0xF400)};
  std::uint32_t x = 12345;
  const auto data = [&x](std::size_t count) {
    std::string bytes;
    for (std::size_t i = 0; i < count; ++i) {
      x = (x * 1103515245u + 12345u) % 2147483648u;
      bytes += static_cast<char>((x >> 16) & 0xFF);
    }
    return bytes;
  };
  const auto add = [&g](unsigned address, const std::string& bytes) {
    g.lines.push_back(hex_record(0, address, bytes));
    for (std::size_t i = 0; i < bytes.size() && address + i < g.image.size(); ++i) g.image[address + i] = bytes[i];
  };
  for (unsigned a = 0; a < 0x600; a += 16) add(a, data(16));
  for (unsigned a = 0x37E0; a < 0x3820; a += 32) add(a, data(32));
  add(0xF3F8, data(16));
  return g;
}

std::string joined(const std::vector<std::string>& lines, const std::string& end_of_line) {
  std::string text;
  for (const std::string& line : lines) text += line + end_of_line;
  return text;
}

}  // namespace

TEST(EndToEnd, GeneratedFileGivesItsImage) {
  const Generated g = generated_file();
  check_runs({
      {{"-igen.hex"},
       {{"gen.hex", joined(g.lines, "\n") + ":00000001FF\n"}},
       BANNER + FILL + reading("gen.hex") + TOO_LARGE + creating("F400") + DONE,
       0,
       firmware_of(g.image),
       {"gen.hex:100: warning: data for 0xF400-0xF407 lies past the limit 0xF400 and is not in the outputs"}},
      {{"-igen.hex", "-c0x52"},
       {{"gen.hex", joined(g.lines, "\n") + ":00000001FF\n"}},
       BANNER + FILL + reading("gen.hex") + TOO_LARGE + creating("3800") + DONE,
       0,
       firmware_of(g.image.substr(0, 0x3800)),
       {"gen.hex:99: warning: data for 0x3800-0x381F, 0xF3F8-0xF407 lies past the limit 0x3800 and is not in the "
        "outputs"}},
  });
}

// Pairs of runs that must give the same stdout and the same files (or, where
// `same` is false, different files): what only a real process shows, an
// argument's bytes as its command line passes them on to the cipher. The
// readings of input variants and the key's bytes have their unit tables.
TEST(EndToEnd, RunsThatMustAgree) {
  const Generated g = generated_file();
  const std::string plain = joined(g.lines, "\n") + ":00000001FF\n";
  const struct {
    const char* what;
    std::vector<std::string> args_a;
    std::vector<std::string> args_b;
    bool same;
  } cases[] = {
      {"quotes and backslashes", {"-e+", "-ka \"b\\c\\"}, {"-e+", "-kQQQQQQQQOverHill", "-ka \"b\\c\\"}, true},
      {"251-character key", {"-x+", "-k" + std::string(251, 'k')}, {"-x+", "-k" + std::string(16, 'k')}, true},
      {"slash and upper case switches", {"/e+", "/s+", "/m+"}, {"-E+", "-S+", "-M+"}, true},
      {"the key matters", {"-x+", "-kabc"}, {"-x+"}, false},
  };
  const auto run = [](const ScratchDir& dir, const std::string& input, std::vector<std::string> args) {
    dir.write("in.hex", input);
    args.insert(args.begin(), "-iin.hex");
    return run_tool_in(dir.path(), args);
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir_a;
    ScratchDir dir_b;
    const ToolResult a = run(dir_a, plain, c.args_a);
    const ToolResult b = run(dir_b, plain, c.args_b);
    EXPECT_EQ(a.status, 0);
    EXPECT_EQ(b.status, 0);
    if (c.same) {
      EXPECT_EQ(a.out, b.out);
    }
    EXPECT_NE(a.out.find(DONE), std::string::npos);
    EXPECT_EQ(dir_a.entries(), (std::vector<std::string>{"FIRMWARE.BIN", "FIRMWARE.HEX", "in.hex"}));
    EXPECT_EQ(dir_b.entries(), dir_a.entries());
    for (const char* name : {"FIRMWARE.BIN", "FIRMWARE.HEX"}) {
      EXPECT_EQ(dir_a.read(name) == dir_b.read(name), c.same) << name;
    }
  }
}
