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

#include "hex_record.h"
#include "tool_messages.h"
#include "tool_runner.h"

using Files = std::map<std::string, std::string>;

inline std::string creating(const std::string& hex_limit) {
  return "  ... creating output files limit set to 0x" + hex_limit + "\n";
}
inline std::string reading(const std::string& name) { return "  ... reading hex file " + name + "\n"; }
inline std::string ff(std::size_t count) { return std::string(count, '\xFF'); }

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
