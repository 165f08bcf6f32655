// How the real qrv_tools puts its output files in place: the modes of
// written files, a symlinked target, and parallel runs on one target.
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "e2e_support.h"

TEST(EndToEnd, ModesOfWrittenFiles) {
  if (tool_is_windows_build()) GTEST_SKIP() << "Windows files have no permission bits";
  // A replaced file keeps its permission bits whatever the umask; a new one
  // gets 0666 less the umask; a symlink in the target's place counts as new.
  struct ModeCase {
    mode_t umask_value;
    int old_mode;  // -1: no file there
    mode_t expected;
  };
  const std::vector<ModeCase> cases = {
      {022, -1, 0644},   {077, -1, 0600},   {027, -1, 0640}, {0, -1, 0666},
      {077, 0640, 0640}, {022, 0600, 0600}, {0, 0604, 0604}, {022, 0200, 0200},
  };
  for (const ModeCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "umask " << c.umask_value << " old mode " << c.old_mode);
    ScratchDir dir;
    if (c.old_mode >= 0) {
      dir.write("FIRMWARE.BIN", "old");
      ASSERT_EQ(chmod(dir.file("FIRMWARE.BIN").c_str(), static_cast<mode_t>(c.old_mode)), 0);
    }
    RunSetup setup;
    const mode_t mask = c.umask_value;
    setup.in_child = [mask] { umask(mask); };
    const ToolResult result = run_tool_in(dir.path(), {"-l0x20"}, setup);
    EXPECT_EQ(result.status, 0);
    struct stat info {};
    ASSERT_EQ(stat(dir.file("FIRMWARE.BIN").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, c.expected);
    EXPECT_EQ(info.st_size, 0x20);
  }
}

TEST(EndToEnd, SymlinkedTargetIsReplacedAndWhatItPointedToKept) {
  if (tool_is_windows_build()) GTEST_SKIP() << "wine resolves a POSIX symlink before Windows code sees it";
  // Only the link is replaced: a read-only file behind it is no reason to
  // refuse, nor a directory the runner cannot search (root runs without the
  // capabilities that pass over permission bits, so it still reaches a tool
  // built in /root), with an input or without. Fault: with an input, that
  // link was refused.
  struct LinkCase {
    std::string what;
    mode_t elsewhere_mode;
    bool input;  // in.hex
  };
  const std::vector<LinkCase> cases = {
      {"to a read-only file", 0755, false},
      {"into a directory not searched", 0, false},
      {"into a directory not searched, with an input", 0, true},
  };
  for (const LinkCase& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    ScratchDir elsewhere;
    elsewhere.write("image", "pointed to");
    ASSERT_EQ(chmod(elsewhere.file("image").c_str(), 0444), 0);
    ASSERT_EQ(symlink(elsewhere.file("image").c_str(), dir.file("FIRMWARE.BIN").c_str()), 0);
    if (c.input) dir.write("in.hex", A_HEX);
    ASSERT_EQ(chmod(dir.path().c_str(), 0777) | chmod(elsewhere.path().c_str(), c.elsewhere_mode), 0);
    RunSetup setup;
    setup.in_child = [] {
      umask(022);
      // Dropped from the bounding set, they stay dropped across the exec.
      if (geteuid() == 0 && (prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE) != 0 ||
                             prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH) != 0)) {
        _exit(126);
      }
    };
    const ToolResult result = run_tool_in(
        dir.path(), c.input ? std::vector<std::string>{"-iin.hex", "-l0x20"} : std::vector<std::string>{"-l0x20"},
        setup);
    ASSERT_EQ(chmod(elsewhere.path().c_str(), 0755), 0);
    EXPECT_EQ(result.out, BANNER + FILL + (c.input ? reading("in.hex") : "") + creating("20") + DONE);
    EXPECT_EQ(result.status, 0);
    expect_reasons(result.err, c.input ? std::vector<std::string>{} : std::vector{NO_INPUT});
    expect_files(
        dir, c.input ? Files{{"FIRMWARE.BIN", A_IMAGE_20}, {"FIRMWARE.HEX", carrying(A_IMAGE_20)}, {"in.hex", A_HEX}}
                     : FF_FIRMWARE_20);
    struct stat info {};
    ASSERT_EQ(lstat(dir.file("FIRMWARE.BIN").c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(info.st_mode & 07777, 0644u);
    EXPECT_EQ(elsewhere.read("image"), "pointed to");
  }
}

TEST(EndToEnd, ParallelRunsOnOneTargetEachLeaveAWholeImage) {
  // Four runs at once, each with an image of its own size; whichever renames
  // last wins, but the target is always one run's complete output.
  const std::vector<std::string> limits = {"0x4000", "0x6000", "0x8000", "0xA000"};
  for (int round = 0; round < 3; ++round) {
    ScratchDir dir;
    std::vector<pid_t> children;
    for (const std::string& limit : limits) {
      const pid_t pid = fork();
      ASSERT_GE(pid, 0);
      if (pid == 0) {
        const ToolResult result = run_tool_in(dir.path(), {"-l" + limit});
        _exit(result.status == 0 && result.err == NO_INPUT + "\n" ? 0 : 1);
      }
      children.push_back(pid);
    }
    for (const pid_t pid : children) {
      int status = 0;
      waitpid(pid, &status, 0);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a run failed in round " << round;
    }
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"FIRMWARE.BIN", "FIRMWARE.HEX"}));
    const std::string bin = dir.read("FIRMWARE.BIN");
    EXPECT_TRUE(bin == ff(0x4000) || bin == ff(0x6000) || bin == ff(0x8000) || bin == ff(0xA000))
        << bin.size() << " bytes";
    const std::string hex = dir.read("FIRMWARE.HEX");
    EXPECT_TRUE(hex_fault(hex, ff(0x4000)).empty() || hex_fault(hex, ff(0x6000)).empty() ||
                hex_fault(hex, ff(0x8000)).empty() || hex_fault(hex, ff(0xA000)).empty())
        << hex.size() << " bytes";
  }
}
