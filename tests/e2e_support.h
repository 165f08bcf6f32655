// What the end-to-end test files share beside the tool's fixed messages:
// builders of expected output, and the table runner that checks standard
// output, exit status, standard error and exactly the files left behind.
// Expected values are written out by hand or built from the record layout,
// never from the tool's code.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "tool_messages.h"
#include "tool_runner.h"

using Files = std::map<std::string, std::string>;

inline std::string creating(const std::string& hex_limit) {
  return "  ... creating output files limit set to 0x" + hex_limit + "\n";
}
inline std::string reading(const std::string& name) { return "  ... reading hex file " + name + "\n"; }
inline std::string ff(std::size_t count) { return std::string(count, '\xFF'); }

// "" when `hex` is a HEX output that carries `image`: 16-byte data records
// from address 0 up with upper-case digits, each summing to 0 mod 256, CR LF
// line ends, then the end record; else its first fault. It reads the file as
// any reader would, so it shares nothing with the writer.
inline std::string hex_fault(const std::string& hex, const std::string& image) {
  const auto digit = [](char c) { return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1; };
  std::size_t at = 0;
  for (std::size_t address = 0; address < image.size(); address += 16, at += 45) {
    const std::string where = "record at 0x" + std::to_string(address) + ": ";
    if (hex.size() < at + 45 || hex[at] != ':' || hex.compare(at + 43, 2, "\r\n") != 0) return where + "not a line";
    unsigned sum = 0;
    std::string bytes;
    for (std::size_t i = at + 1; i < at + 43; i += 2) {
      const int high = digit(hex[i]);
      const int low = digit(hex[i + 1]);
      if (high < 0 || low < 0) return where + "not upper-case hex digits";
      bytes += static_cast<char>(high * 16 + low);
      sum += static_cast<unsigned>(high * 16 + low);
    }
    const std::string header = {'\x10', static_cast<char>(address >> 8), static_cast<char>(address & 0xFF), '\0'};
    if (bytes.compare(0, 4, header) != 0) return where + "wrong count, address or type";
    if (sum % 0x100 != 0) return where + "wrong checksum";
    if (bytes.compare(4, 16, image, address, 16) != 0) return where + "other data";
  }
  return hex.compare(at, std::string::npos, END_RECORD) == 0 ? "" : "no end record after the data";
}

// An expected HEX output named by the image it carries; expect_files checks
// it with hex_fault.
inline const std::string CARRIES =
    "\x01"
    "carries ";
inline std::string carrying(const std::string& image) { return CARRIES + image; }

// Both default outputs of `image`, whose size is a multiple of 16.
inline Files firmware_of(const std::string& image) {
  return {{"FIRMWARE.BIN", image}, {"FIRMWARE.HEX", carrying(image)}};
}

// The line of a run that names no input file.
inline const std::string NO_INPUT = "qrv_tools: warning: no input file; the outputs carry only the fill";

// Four bytes at 0: 11 22 33 44.
inline const std::string A_HEX = ":040000001122334452\r\n:00000001FF\r\n";
// Its image cut at 0x20.
inline const std::string A_IMAGE_20 = std::string("\x11\x22\x33\x44") + ff(0x1C);

// The HEX output of a 0xFF image cut at 0x20, worked out by hand.
inline const std::string FF_HEX_20 =
    ":10000000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF00\r\n"
    ":10001000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF0\r\n"
    ":00000001FF\r\n";
// Both default outputs of that image.
inline const Files FF_FIRMWARE_20 = {{"FIRMWARE.BIN", ff(0x20)}, {"FIRMWARE.HEX", FF_HEX_20}};

inline void expect_bytes(const std::string& actual, const std::string& expected, const std::string& what) {
  const std::size_t first = first_difference(actual, expected);
  if (first == std::string::npos) return;
  ADD_FAILURE() << what << ": " << actual.size() << " bytes, expected " << expected.size()
                << "; first difference at byte " << first;
}

// Everything in the directory, with its bytes.
inline void expect_files(const ScratchDir& dir, const Files& expected) {
  std::vector<std::string> names;
  for (const auto& entry : expected) names.push_back(entry.first);
  EXPECT_EQ(dir.entries(), names);
  for (const auto& [name, bytes] : expected) {
    if (!dir.exists(name)) continue;
    if (bytes.rfind(CARRIES, 0) == 0) {
      EXPECT_EQ(hex_fault(dir.read(name), bytes.substr(CARRIES.size())), "") << name;
    } else {
      expect_bytes(dir.read(name), bytes, name);
    }
  }
}

// Standard error names each of `names` in turn, one "NAME: error: REASON"
// line each; the reason's wording is the host's. An entry holding ": " is
// the whole line, one ending in ": " its start.
inline void expect_reasons(const std::string& err, const std::vector<std::string>& names) {
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < err.size();) {
    const std::size_t end = err.find('\n', start);
    if (end == std::string::npos) {
      ADD_FAILURE() << "standard error does not end its line: " << err;
      break;
    }
    lines.push_back(err.substr(start, end - start));
    start = end + 1;
  }
  ASSERT_EQ(lines.size(), names.size()) << err;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::size_t size = names[i].size();
    if (size >= 2 && names[i].compare(size - 2, 2, ": ") == 0) {
      EXPECT_EQ(lines[i].substr(0, size), names[i]);
      continue;
    }
    if (names[i].find(": ") != std::string::npos) {
      EXPECT_EQ(lines[i], names[i]);
      continue;
    }
    const std::string prefix = names[i] + ": error: ";
    EXPECT_EQ(lines[i].substr(0, prefix.size()), prefix);
    EXPECT_GT(lines[i].size(), prefix.size()) << "no reason in: " << lines[i];
  }
}

struct RunCase {
  std::vector<std::string> args;
  Files inputs;  // placed before the run; left as they were unless an output replaces them
  std::string out;
  int status;
  Files outputs;
  // Files named on standard error, one "NAME: error: REASON" line each, or
  // whole lines.
  std::vector<std::string> reasons_for = {};
};

// Each case in a fresh scratch directory.
inline void check_runs(const std::vector<RunCase>& cases) {
  for (const RunCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    ScratchDir dir;
    for (const auto& [name, bytes] : c.inputs) dir.write(name, bytes);
    const ToolResult result = run_tool_in(dir.path(), c.args);
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.status, c.status);
    expect_reasons(result.err, c.reasons_for);
    Files left = c.inputs;
    for (const auto& [name, bytes] : c.outputs) left[name] = bytes;
    expect_files(dir, left);
  }
}
