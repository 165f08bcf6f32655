// What the reader's test files share: a table of files and what reading each
// must give, and the runner that writes each file and checks result, output
// bytes and the whole image, tail included.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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
  std::optional<std::string> err = std::nullopt;  // standard error, each line after "qrv_tools: NAME: "
};

extern const std::string WARNING;

struct Outcome {
  int result;
  std::string out;
  std::string err;
};

// read_hex_file on `name` as it stands, its standard output and error captured.
Outcome read_file_named(const char* name);

// "" when flashbuf holds `writes` on 0xFF, else where it first differs.
std::string image_difference(const std::vector<Write>& writes);

// Each case from default options with its cpu_size and an image of 0xFF.
void check(const std::vector<Case>& cases);

// Records with their byte sums worked out by hand.
extern const std::string R1234;
extern const std::string R5678;
extern const std::string END;
extern const Write W1234;
extern const Write W5678;

// A data record of 16 zero bytes at `address` with the given checksum.
std::string zeros16(const std::string& address, const std::string& checksum);
extern const Write Z37F0;

}  // namespace hex_reader_support
