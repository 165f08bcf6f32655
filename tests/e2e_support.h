// What the end-to-end test files share: the tool's fixed messages, builders
// of expected output, and the table runner that checks standard output, exit
// status, standard error and exactly the files left behind.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "tool_runner.h"

extern const std::string BANNER;
extern const std::string FILL;
extern const std::string DONE;
extern const std::string AUTOFLASH;
extern const std::string END_RECORD;

std::string creating(const std::string& hex_limit);
std::string reading(const std::string& name);
std::string ff(std::size_t count);

// The HEX output of an image whose size is a multiple of 16.
std::string hex_of(const std::string& image);

// Four bytes at 0: 11 22 33 44.
extern const std::string A_HEX;
// Both outputs of a 0xFF image cut at 0x20, worked out by hand.
extern const std::string FF_HEX_20;

using Files = std::map<std::string, std::string>;

// Everything in the directory, with its bytes.
void expect_files(const ScratchDir& dir, const Files& expected);

// Standard error names each of `names` in turn, one "qrv_tools: NAME: REASON"
// line each; the reason's wording is the host's. A name holding ": warning: "
// is the whole line after "qrv_tools: ".
void expect_reasons(const std::string& err, const std::vector<std::string>& names);

struct RunCase {
  std::vector<std::string> args;
  Files inputs;  // placed before the run; left as they were unless an output replaces them
  std::string out;
  int status;
  Files outputs;
  // Files named on standard error, one "qrv_tools: NAME: REASON" line each,
  // or whole warning lines.
  std::vector<std::string> reasons_for = {};
};

// Each case in a fresh scratch directory.
void check_runs(const std::vector<RunCase>& cases);
