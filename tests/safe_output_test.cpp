// The whole-or-nothing output in-process: temporary files, parallel writers,
// signals (in forked children), reasons on standard error.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
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

TEST(SafeOutput, TemporaryFileIsAPrivateQrvRandomTmpAndTheTargetGetsItsModeAndGroup) {
  // The name does not grow with the target's, and nobody else can read the
  // bytes of a 0644 target while they are written.
  const mode_t umask_now = umask(022);
  umask(umask_now);
  const unsigned new_mode = 0666U & ~static_cast<unsigned>(umask_now);
  // Root may give any group; another runner one of its supplementary groups.
  gid_t team = geteuid() == 0 ? 4242 : getegid();
  std::array<gid_t, 64> groups{};
  for (int i = 0; i < getgroups(64, groups.data()); ++i) {
    if (team == getegid()) team = groups[static_cast<std::size_t>(i)];
  }
  struct ModeCase {
    std::string target;
    uid_t owner;
    gid_t group;
    mode_t mode;
    unsigned final_mode;
  };
  const std::vector<ModeCase> cases = {
      {"a", geteuid(), getegid(), 0644, 0644},
      {std::string(250, 'x') + ".BIN", geteuid(), getegid(), 0644, 0644},
      // Fault: the group was dropped and the bits kept, handing them to the runner's group.
      {"team.BIN", geteuid(), team, 0640, 0640},
      // Fault: a 0777 file squatted by another user gave its mode to the output.
      {"squatted.BIN", 12345, getegid(), 0777, new_mode},
  };
  std::string skipped;
  for (const ModeCase& c : cases) {
    SCOPED_TRACE(c.target.substr(0, 12));
    if (c.group != getegid() && team == getegid()) {
      skipped += c.target + ": the runner has no group but its own. ";
      continue;
    }
    if (c.owner != geteuid() && geteuid() != 0) {
      skipped += c.target + ": only root can give a file to another user. ";
      continue;
    }
    ScratchDir dir;
    const std::string path = dir.file(c.target);
    dir.write(c.target, "old");
    ASSERT_EQ(chown(path.c_str(), c.owner, c.group), 0);
    ASSERT_EQ(chmod(path.c_str(), c.mode), 0);
    SafeOutput out;
    ASSERT_TRUE(open_safe_output(out, path.c_str()));
    write_safe_output(out, "new", 3);
    const std::vector<std::string> entries = dir.entries();
    ASSERT_EQ(entries.size(), 2u);
    const std::string temp = entries[0] == c.target ? entries[1] : entries[0];
    EXPECT_TRUE(is_temp_name(temp)) << temp;
    struct stat info {};
    ASSERT_EQ(stat(dir.file(temp).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0077, 0u);
    EXPECT_EQ(dir.read(c.target), "old");
    ASSERT_TRUE(close_safe_output(out));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{c.target});
    EXPECT_EQ(dir.read(c.target), "new");
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, c.final_mode);
    EXPECT_EQ(info.st_gid, c.group);
  }
  if (!skipped.empty()) GTEST_SKIP() << skipped;
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
  // Fault: only SIGINT, SIGTERM and SIGHUP removed the temporary files.
  for (const int signal_number :
       {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2, SIGXCPU, SIGVTALRM, SIGPROF}) {
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
  // Fault: a temporary file that could not be removed was not named. Here it
  // is gone before the close, so the rename and the removal both fail.
  ScratchDir dir;
  const std::string target = dir.file("fw.BIN");
  SafeOutput out;
  ASSERT_TRUE(open_safe_output(out, target.c_str()));
  const std::string temp = out.temp_name.data();
  ASSERT_EQ(unlink(temp.c_str()), 0);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(close_safe_output(out));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "qrv_tools: " + target + ": " + std::strerror(ENOENT) +
                                                        "\nqrv_tools: " + temp + ": not removed: " +
                                                        std::strerror(ENOENT) + "\n");
}

}  // namespace
