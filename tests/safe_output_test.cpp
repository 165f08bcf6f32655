// The whole-or-nothing output in-process: temporary files, parallel writers,
// signals (in forked children), reasons on standard error.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "files/safe_output.h"
#include "tool_runner.h"

namespace {

bool is_temp_name(const std::string& name) {
  // ".qrv-" six letters or digits ".tmp"
  if (name.size() != 15 || name.compare(0, 5, ".qrv-") != 0 || name.compare(11, 4, ".tmp") != 0) return false;
  for (std::size_t i = 5; i < 11; ++i) {
    const char c = name[i];
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

TEST(SafeOutput, TemporaryFileIsPrivateAndHasAShortFixedName) {
  // The name does not grow with the target's, and nobody else can read the
  // bytes of a 0644 target while they are written.
  for (const std::string& target : {std::string("a"), std::string(250, 'x') + ".BIN"}) {
    ScratchDir dir;
    dir.write(target, "old");
    ASSERT_EQ(chmod(dir.file(target).c_str(), 0644), 0);
    SafeOutput out;
    const std::string path = dir.file(target);
    ASSERT_TRUE(open_safe_output(out, path.c_str()));
    write_safe_output(out, "new", 3);
    const std::vector<std::string> entries = dir.entries();
    ASSERT_EQ(entries.size(), 2u);
    const std::string temp = entries[0] == target ? entries[1] : entries[0];
    EXPECT_TRUE(is_temp_name(temp)) << temp;
    struct stat info {};
    ASSERT_EQ(stat(dir.file(temp).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0077, 0u);
    EXPECT_EQ(dir.read(target), "old");
    ASSERT_TRUE(close_safe_output(out));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{target});
    EXPECT_EQ(dir.read(target), "new");
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644u);
  }
}

TEST(SafeOutput, TwoWritersOnOneTargetEachCloseIntoAWholeImage) {
  ScratchDir dir;
  const std::string target = dir.file("fw.BIN");
  const std::string first_a(5000, 'a');
  const std::string first_b(3000, 'b');
  SafeOutput a;
  SafeOutput b;
  ASSERT_TRUE(open_safe_output(a, target.c_str()));
  ASSERT_TRUE(open_safe_output(b, target.c_str()));
  write_safe_output(a, first_a.data(), first_a.size());
  write_safe_output(b, first_b.data(), first_b.size());
  write_safe_output(a, "A-end", 5);
  write_safe_output(b, "B-end", 5);
  ASSERT_TRUE(close_safe_output(a));
  EXPECT_EQ(dir.read("fw.BIN"), first_a + "A-end");
  ASSERT_TRUE(close_safe_output(b));
  EXPECT_EQ(dir.read("fw.BIN"), first_b + "B-end");
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"fw.BIN"});
}

TEST(SafeOutput, SignalWhileWritingLeavesNothingBehind) {
  for (const int signal_number : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(strsignal(signal_number));
    ScratchDir dir;
    dir.write("fw.BIN", "old");
    const std::string target = dir.file("fw.BIN");
    const std::string other = dir.file("fw.HEX");
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      prepare_safe_output();
      SafeOutput bin;
      SafeOutput hex;
      if (!open_safe_output(bin, target.c_str()) || !open_safe_output(hex, other.c_str())) _exit(1);
      write_safe_output(bin, "partial", 7);
      write_safe_output(hex, "partial", 7);
      raise(signal_number);
      _exit(2);  // not reached: the signal ends the process
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number) << "status " << status;
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"fw.BIN"});
    EXPECT_EQ(dir.read("fw.BIN"), "old");
  }
}

TEST(SafeOutput, FailuresNameTheTargetAndTheReason) {
  struct FailCase {
    std::string what;
    std::string name;                              // in the scratch directory
    void (*prepare)(const ScratchDir&);            // what is in the way
    int reason;
    std::vector<std::string> left;
  };
  const std::vector<FailCase> cases = {
      {"missing directory", "nodir/fw.BIN", [](const ScratchDir&) {}, ENOENT, {}},
      {"read-only target", "fw.BIN",
       [](const ScratchDir& dir) {
         dir.write("fw.BIN", "old");
         chmod(dir.file("fw.BIN").c_str(), 0444);
       },
       EACCES, {"fw.BIN"}},
      {"directory in the way", "fw.BIN", [](const ScratchDir& dir) { mkdir(dir.file("fw.BIN").c_str(), 0755); },
       EISDIR, {"fw.BIN"}},
  };
  for (const FailCase& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    c.prepare(dir);
    const std::string target = dir.file(c.name);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(write_file_whole(target.c_str(), "image", 5));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "qrv_tools: " + target + ": " + std::strerror(c.reason) + "\n");
    EXPECT_EQ(dir.entries(), c.left);
  }
}

}  // namespace
