#include "tool_runner.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

ScratchDir::ScratchDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/qrv_test_XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  // Tests may leave read-only files and directories behind.
  const std::string command = "chmod -R u+w '" + path_ + "' 2>/dev/null; rm -rf '" + path_ + "'";
  if (std::system(command.c_str()) != 0) {
    // Nothing to do: a leftover scratch directory does not change any result.
  }
}

void ScratchDir::write(const std::string& name, const std::string& bytes) const {
  std::ofstream stream(file(name), std::ios::binary);
  stream << bytes;
}

std::string ScratchDir::read(const std::string& name) const { return read_file(file(name)); }

bool ScratchDir::exists(const std::string& name) const { return access(file(name).c_str(), F_OK) == 0; }

std::vector<std::string> ScratchDir::entries() const {
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

std::string read_file(const std::string& path) {
  std::ifstream stream(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << stream.rdbuf();
  return bytes.str();
}

namespace {

// Windows text output turns each LF into CR LF, exactly once: a bare LF or a
// doubled CR is a fault of the program, not of the console.
std::string fold_windows_lines(const std::string& out) {
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

}  // namespace

ToolResult run_tool_in(const std::string& dir, const std::vector<std::string>& args, const RunSetup& setup) {
  char out_name[] = "/tmp/qrv_out_XXXXXX";
  char err_name[] = "/tmp/qrv_err_XXXXXX";
  const int out_fd = mkstemp(out_name);
  const int err_fd = mkstemp(err_name);
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
  unlink(out_name);
  unlink(err_name);
  if (tool_is_windows_build()) {
    result.out = fold_windows_lines(result.out);
    result.err = fold_windows_lines(result.err);
  }
  return result;
}

std::string tool_path() { return QRV_TOOLS_EXE; }
bool tool_is_windows_build() { return QRV_TEST_WINDOWS != 0; }
std::string test_data(const std::string& name) { return std::string(QRV_TEST_DATA) + "/" + name; }
std::string example_file(const std::string& name) { return std::string(QRV_EXAMPLES) + "/" + name; }
