// Runs the program under test (the built qrv_tools, or the executable and
// launcher the build configuration names) in a scratch directory, for
// end-to-end tests.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

// Index of the first differing byte (or of the shorter end); npos if equal.
inline std::size_t first_difference(const std::string& a, const std::string& b) {
  const auto where = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
  if (where.first == a.end() && where.second == b.end()) return std::string::npos;
  return static_cast<std::size_t>(where.first - a.begin());
}

// Reads a whole file; empty if it cannot be opened.
inline std::string read_file(const std::string& path) {
  std::ifstream stream(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << stream.rdbuf();
  return bytes.str();
}

// A name for mkdtemp or mkstemp under BASE, else TMPDIR, or /tmp when it is unset.
inline std::string scratch_pattern(const std::string& prefix, const char* base = nullptr) {
  if (base == nullptr) base = std::getenv("TMPDIR");
  return std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/" + prefix + "_XXXXXX";
}

// A fresh empty directory, removed with everything in it when destroyed.
class ScratchDir {
 public:
  explicit ScratchDir(const char* base = nullptr) {
    std::string pattern = scratch_pattern("qrv_test", base);
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~ScratchDir() {
    // Tests may leave read-only files and directories behind.
    const std::string command = "chmod -R u+w '" + path_ + "' 2>/dev/null; rm -rf '" + path_ + "'";
    if (std::system(command.c_str()) != 0) {
      // Nothing to do: a leftover scratch directory does not change any result.
    }
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  void write(const std::string& name, const std::string& bytes) const {
    std::ofstream stream(file(name), std::ios::binary);
    stream << bytes;
  }
  std::string read(const std::string& name) const { return read_file(file(name)); }
  bool exists(const std::string& name) const { return access(file(name).c_str(), F_OK) == 0; }
  // Names of all entries, sorted.
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    if (DIR* dir = opendir(path_.c_str())) {
      while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
      }
      closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

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

// The executable under test, and the fixed data directories.
inline std::string tool_path() { return QRV_TOOLS_EXE; }
// True when the program under test is a Windows build, for the few cases the
// Windows platform cannot honour (the caller skips them with a reason).
inline bool tool_is_windows_build() { return QRV_TEST_WINDOWS != 0; }
inline std::string test_data(const std::string& name) { return std::string(QRV_TEST_DATA) + "/" + name; }
inline std::string example_file(const std::string& name) { return std::string(QRV_EXAMPLES) + "/" + name; }

// Windows text output turns each LF into CR LF, exactly once: a bare LF or a
// doubled CR is a fault of the program, not of the console.
inline std::string fold_windows_lines(const std::string& out) {
  std::string folded;
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (out[i] == '\r' && i + 1 < out.size() && out[i + 1] == '\n') continue;
    if (out[i] == '\n' && (i == 0 || out[i - 1] != '\r' || (i >= 2 && out[i - 2] == '\r'))) {
      ADD_FAILURE() << "Windows console output: LF at byte " << i << " not preceded by exactly one CR";
    }
    folded += out[i];
  }
  return folded;
}

// Every line on standard error in a shape editors and CI read:
// "FILE:LINE: SEVERITY: ", "FILE: SEVERITY: " or "qrv_tools: SEVERITY: ",
// then a message.
inline void expect_diagnostic_shapes(const std::string& err) {
  static const std::regex shape("([^ :][^:]*(:[1-9][0-9]*)?|qrv_tools): (error|warning|note): [^ ].*");
  std::istringstream lines(err);
  for (std::string line; std::getline(lines, line);) {
    EXPECT_TRUE(std::regex_match(line, shape)) << "not a diagnostic: " << line;
  }
}

// Runs the executable with `args` (argv[1..]) in directory `dir`, with no
// standard input. A Windows build's console output must end every line in
// exactly one CR LF, and standard error must hold only diagnostics; anything
// else is a test failure, reported here.
inline ToolResult run_tool_in(const std::string& dir, const std::vector<std::string>& args,
                              const RunSetup& setup = RunSetup{}) {
  std::string out_name = scratch_pattern("qrv_out");
  std::string err_name = scratch_pattern("qrv_err");
  const int out_fd = mkstemp(out_name.data());
  const int err_fd = mkstemp(err_name.data());
  if (out_fd < 0 || err_fd < 0) throw std::runtime_error("mkstemp failed");
  const std::string exe = tool_path();
  const std::string launcher = QRV_TEST_LAUNCHER;
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(127);
    if (setup.stdout_path.empty()) {
      dup2(out_fd, STDOUT_FILENO);
    } else {
      const int fd = open(setup.stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd < 0) _exit(127);
      dup2(fd, STDOUT_FILENO);
    }
    dup2(err_fd, STDERR_FILENO);
    const int null_fd = open("/dev/null", O_RDONLY);
    if (null_fd >= 0) dup2(null_fd, STDIN_FILENO);
    if (setup.in_child) setup.in_child();
    std::vector<char*> argv;
    if (!launcher.empty()) argv.push_back(const_cast<char*>(launcher.c_str()));
    argv.push_back(const_cast<char*>(exe.c_str()));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int wait_status = 0;
  waitpid(pid, &wait_status, 0);
  close(out_fd);
  close(err_fd);
  ToolResult result{read_file(out_name), WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1, read_file(err_name)};
  unlink(out_name.c_str());
  unlink(err_name.c_str());
  if (tool_is_windows_build()) {
    result.out = fold_windows_lines(result.out);
    result.err = fold_windows_lines(result.err);
  }
  expect_diagnostic_shapes(result.err);
  return result;
}
