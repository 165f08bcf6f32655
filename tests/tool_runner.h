// Runs the program under test (the built qrv_tools, or the executable and
// launcher the build configuration names) in a scratch directory, for
// end-to-end tests.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A fresh empty directory, removed with everything in it when destroyed.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  void write(const std::string& name, const std::string& bytes) const;
  std::string read(const std::string& name) const;
  bool exists(const std::string& name) const;
  // Names of all entries, sorted.
  std::vector<std::string> entries() const;

 private:
  std::string path_;
};

struct ToolResult {
  std::string out;  // standard output, byte for byte (a Windows build's CR LF as LF)
  int status;       // exit status as a shell sees it (-1 is 255)
  std::string err;  // standard error
};

// What a test changes about a run; the defaults capture standard output.
struct RunSetup {
  std::string stdout_path;         // if set, standard output goes to this file
  std::function<void()> in_child;  // runs in the child just before the exec
};

// Runs the executable with `args` (argv[1..]) in directory `dir`, with no
// standard input. A Windows build's console output must end every line in
// exactly one CR LF; anything else is a test failure, reported here.
ToolResult run_tool_in(const std::string& dir, const std::vector<std::string>& args,
                       const RunSetup& setup = RunSetup{});

// Reads a whole file; empty if it cannot be opened.
std::string read_file(const std::string& path);

// The executable under test, and the fixed data directories.
std::string tool_path();
// True when the program under test is a Windows build, for the few cases the
// Windows platform cannot honour (the caller skips them with a reason).
bool tool_is_windows_build();
std::string test_data(const std::string& name);
std::string example_file(const std::string& name);
