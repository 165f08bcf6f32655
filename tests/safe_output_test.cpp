// The whole-or-nothing output in-process: temporary files, parallel writers,
// signals (in forked children), reasons on standard error.
#include "files/safe_output.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tool_runner.h"

namespace {

using std::string_literals::operator""s;

bool is_temp_name(const std::string& name) {
  // ".qrv-" six letters or digits ".tmp"
  if (name.size() != 15 || name.compare(0, 5, ".qrv-") != 0 || name.compare(11, 4, ".tmp") != 0) return false;
  for (std::size_t i = 5; i < 11; ++i) {
    const char c = name[i];
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

TEST(SafeOutput, TemporaryFileIsAQrvRandomTmpAndTheTargetGetsItsModeAndGroup) {
  // The name does not grow with the target's, and nobody else can read the
  // bytes of a 0640 target while they are written.
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
    unsigned final_mode;  // the temporary file's too, unless the old file's passes on
    gid_t final_group;
    bool second_link = false;
  };
  const std::vector<ModeCase> cases = {
      {"a", geteuid(), getegid(), 0640, 0640, getegid()},
      {std::string(250, 'x') + ".BIN", geteuid(), getegid(), 0604, 0604, getegid()},
      // Fault: the group was dropped and the bits kept, handing them to the runner's group.
      {"team.BIN", geteuid(), team, 0640, 0640, team},
      // Faults: a 0777 file squatted by another user gave its mode, and one
      // in the planter's group its group, to the output.
      {"squatted.BIN", 12345, getegid(), 0777, new_mode, getegid()},
      {"planted.BIN", 12345, team, 0666, new_mode, getegid()},
      // Faults: a teammate's 0640 file became readable by all, and by the
      // runner's group; the set-id bits passed on; a second link, perhaps
      // planted, passed on its group.
      {"teammate.BIN", 12345, team, 0640, new_mode & 0600U, getegid()},
      {"same-group.BIN", 12345, getegid(), 0640, new_mode & 0640U, getegid()},
      {"setuid.BIN", geteuid(), getegid(), 04755, 0755, getegid()},
      {"linked.BIN", geteuid(), team, 0660, new_mode, getegid(), true},
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
    ScratchDir elsewhere;
    const std::string path = dir.file(c.target);
    dir.write(c.target, "old");
    ASSERT_EQ(chown(path.c_str(), c.owner, c.group), 0);
    ASSERT_EQ(chmod(path.c_str(), c.mode), 0);
    ASSERT_TRUE(!c.second_link || link(path.c_str(), elsewhere.file("link").c_str()) == 0);
    SafeOutput out;
    ASSERT_TRUE(open_safe_output(out, path.c_str()));
    write_safe_output(out, "new", 3);
    const std::vector<std::string> entries = dir.entries();
    ASSERT_EQ(entries.size(), 2u);
    const std::string temp = entries[0] == c.target ? entries[1] : entries[0];
    EXPECT_TRUE(is_temp_name(temp)) << temp;
    struct stat info {};
    ASSERT_EQ(stat(dir.file(temp).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, c.owner == geteuid() && !c.second_link ? 0600 : c.final_mode);
    EXPECT_EQ(dir.read(c.target), "old");
    ASSERT_TRUE(close_safe_output(out));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{c.target});
    EXPECT_EQ(dir.read(c.target), "new");
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, c.final_mode);
    EXPECT_EQ(info.st_gid, c.final_group);
  }
  if (!skipped.empty()) GTEST_SKIP() << skipped;
}

// Mode and access ACL, "" for none.
std::string permissions(const std::string& path) {
  struct stat info {};
  std::vector<char> acl(65536);
  const ssize_t size = getxattr(path.c_str(), "system.posix_acl_access", acl.data(), acl.size());
  if (stat(path.c_str(), &info) != 0 || (size < 0 && errno != ENODATA)) return "unreadable";
  return std::to_string(info.st_mode & 07777) + " " + std::string(acl.data(), size < 0 ? 0 : std::size_t(size));
}

TEST(SafeOutput, AccessControlListsAreTheOldFilesOrWhatTheFileSystemGives) {
  if (std::system("setfacl --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "setfacl (Debian acl) is missing";
  struct AclCase {
    std::string what;
    std::string directory_default;  // setfacl -d -m
    bool replaces;                  // else the output is new: like a file made by open(0666) there
    std::string old_acl;            // setfacl -m
    bool swapped = false;           // for a file with another ACL between the open and the close
    const char* base = nullptr;     // of the scratch directory, else TMPDIR
  };
  // 1,100 named users: 8,836 bytes, which tmpfs holds and ext4 does not.
  std::string large_acl = "u:999:r--";
  for (int user = 1000; user < 2099; ++user) large_acl += ",u:" + std::to_string(user) + ":r--";
  const std::vector<AclCase> cases = {
      // Fault: the ACL was dropped; the group gained the mask's bits and nobody lost access.
      {"own file with an ACL", "", true, "u:nobody:rw-,g::---,m::rw-"},
      // Fault: the mode was set over the directory's default ACL, so others could read.
      {"new file under a default ACL", "u::rw-,g::rw-,o::---", false, ""},
      {"own file without one under a default ACL", "u:nobody:rw-", true, ""},
      // Fault: the ACL was read by name at the close, from the file swapped in.
      {"own file swapped before the close", "", true, "u:nobody:r--", true},
      // Fault: an ACL over 8 KiB failed the output ("Numerical result out of range").
      {"own file with an ACL over 8 KiB", "", true, large_acl, false, "/dev/shm"},
  };
  for (const AclCase& c : cases) {
    SCOPED_TRACE(c.what);
    // The last row: ext4 holds at most 4 KiB.
    if (c.base != nullptr && access(c.base, W_OK) != 0) GTEST_SKIP() << c.base << " (tmpfs) is missing";
    ScratchDir dir(c.base);
    const std::string target = dir.file("fw.BIN");
    const std::string reference = dir.file(c.replaces ? "fw.BIN" : "made-by-open");
    if (c.replaces) dir.write("fw.BIN", "old");
    const auto setfacl = [](const std::string& flags, const std::string& path) {
      ASSERT_EQ(std::system(("setfacl " + flags + " '" + path + "'").c_str()), 0) << flags;
    };
    if (!c.old_acl.empty()) setfacl("-m " + c.old_acl, target);
    if (!c.directory_default.empty()) setfacl("-d -m " + c.directory_default, dir.path());
    if (!c.replaces) close(open(reference.c_str(), O_CREAT | O_WRONLY, 0666));
    const std::string expected = permissions(reference);
    SafeOutput out;
    ASSERT_TRUE(open_safe_output(out, target.c_str()));
    if (c.swapped) {
      dir.write("swap", "other");
      setfacl("-m u:nobody:rwx,o::rw-", dir.file("swap"));
      ASSERT_EQ(rename(dir.file("swap").c_str(), target.c_str()), 0);
    }
    write_safe_output(out, "new", 3);
    ASSERT_TRUE(close_safe_output(out));
    EXPECT_EQ(permissions(target), expected);
  }
}

TEST(SafeOutput, EverySignalThatEndsTheRunRemovesOnlyItsOpenTemporaryFile) {
  // In the tool's order: the BIN closed, the HEX open. Another run has since
  // taken the BIN's old temporary name. Faults: only eleven signals removed
  // the temporary files; a closed output left on the list removed that file.
  // Which signals end a process by default, the kernel tells: a child raises
  // each at its default. SIGKILL cannot be caught; the tool ignores SIGXFSZ.
  const auto ends_by_default = [](int signal_number) {
    const pid_t child = fork();
    if (child == 0) {
      const rlimit no_core{0, 0};
      setrlimit(RLIMIT_CORE, &no_core);
      signal(signal_number, SIG_DFL);
      raise(signal_number);
      _exit(0);
    }
    int status = 0;
    waitpid(child, &status, WUNTRACED);
    if (WIFSTOPPED(status)) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      return false;
    }
    return WIFSIGNALED(status) && WTERMSIG(status) == signal_number;
  };
  for (int signal_number = 1; signal_number <= SIGRTMAX; ++signal_number) {
    if (signal_number == SIGKILL || signal_number == SIGXFSZ || (signal_number > SIGSYS && signal_number < SIGRTMIN) ||
        !ends_by_default(signal_number)) {
      continue;
    }
    SCOPED_TRACE(strsignal(signal_number));
    ScratchDir dir;
    dir.write("fw.HEX", "old");
    const std::string bin = dir.file("fw.BIN");
    const std::string hex = dir.file("fw.HEX");
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      signal(signal_number, SIG_DFL);  // a sanitizer's handler would keep it
      prepare_safe_output();
      SafeOutput bin_out;
      SafeOutput hex_out;
      if (!open_safe_output(bin_out, bin.c_str())) _exit(1);
      write_safe_output(bin_out, "bin", 3);
      if (!close_safe_output(bin_out)) _exit(1);
      const int taken = open(bin_out.temp_name.data(), O_CREAT | O_EXCL | O_WRONLY, 0600);
      if (taken < 0 || write(taken, "other run", 9) != 9 || !open_safe_output(hex_out, hex.c_str())) _exit(1);
      write_safe_output(hex_out, "partial", 7);
      raise(signal_number);
      _exit(2);  // not reached: the signal ends the process
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number) << "status " << status;
    const std::vector<std::string> entries = dir.entries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_TRUE(is_temp_name(entries[0])) << entries[0];
    EXPECT_EQ(dir.read(entries[0]), "other run");
    EXPECT_EQ(dir.read("fw.BIN"), "bin");
    EXPECT_EQ(dir.read("fw.HEX"), "old");
  }
}

TEST(SafeOutput, FailuresNameTheTargetAndTheReason) {
  struct FailCase {
    std::string what;
    std::string name;                    // in the scratch directory
    void (*prepare)(const ScratchDir&);  // what is in the way
    std::string step;
    int reason;
    std::vector<std::string> left;
  };
  const std::vector<FailCase> cases = {
      {"missing directory", "nodir/fw.BIN", [](const ScratchDir&) {}, "creating", ENOENT, {}},
      {"read-only target",
       "fw.BIN",
       [](const ScratchDir& dir) {
         dir.write("fw.BIN", "old");
         chmod(dir.file("fw.BIN").c_str(), 0444);
       },
       "checking",
       EACCES,
       {"fw.BIN"}},
      {"directory in the way",
       "fw.BIN",
       [](const ScratchDir& dir) { mkdir(dir.file("fw.BIN").c_str(), 0755); },
       "renaming",
       EISDIR,
       {"fw.BIN"}},
  };
  for (const FailCase& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    c.prepare(dir);
    const std::string target = dir.file(c.name);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(write_file_whole(target.c_str(), "image", 5));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), target + ": error: " + c.step + ": " + std::strerror(c.reason) + "\n");
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
  EXPECT_EQ(testing::internal::GetCapturedStderr(), target + ": error: renaming: " + std::strerror(ENOENT) + "\n" +
                                                        temp + ": error: not removed: " + std::strerror(ENOENT) + "\n");
  // A directory that cannot be synced: both outputs are named, as replaced.
  const std::string lost = ": error: replaced, but may not be on disk: "s + std::strerror(ENOENT) + "\n";
  testing::internal::CaptureStderr();
  EXPECT_FALSE(sync_output_directory("gone/fw.BIN", "gone/fw.HEX"));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "gone/fw.BIN" + lost + "gone/fw.HEX" + lost);
}

}  // namespace
