#include "command_line_support.h"

#include <gtest/gtest.h>

namespace command_line_support {

Parsed parse(const std::vector<std::string>& args) {
  options = default_options();
  std::vector<const char*> argv{"qrv_tools"};
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  testing::internal::CaptureStdout();
  const ParseOutcome outcome = parse_command_line(static_cast<int>(argv.size()), argv.data());
  return {outcome, testing::internal::GetCapturedStdout()};
}

std::string text(const TextField& field) { return field.data(); }

}  // namespace command_line_support
