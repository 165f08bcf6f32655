// What the command-line test files share: a parse from the defaults, as a
// fresh process would start, with what it printed.
#pragma once

#include <string>
#include <vector>

#include "front/command_line.h"
#include "front/options.h"

namespace command_line_support {

struct Parsed {
  ParseOutcome outcome;
  std::string out;
};

Parsed parse(const std::vector<std::string>& args);

std::string text(const TextField& field);

}  // namespace command_line_support
