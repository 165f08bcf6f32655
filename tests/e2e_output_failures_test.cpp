// Output files of the real qrv_tools that cannot be written, or not wholly:
// missing directory, read-only file or directory, a failed rename, a write
// refused midway, and standard output on a full device or a closed pipe.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace {

using std::string_literals::operator""s;

const std::string BIN_FAILED = "creating binary file failed!\n";
const std::string HEX_FAILED = "creating hexfile failed!\n";

}  // namespace

TEST(EndToEnd, OutputsThatCannotBeWritten) {
  const std::string failed_20 = BANNER + FILL + creating("20");
  check_runs({
      {{"-onodir/fw", "-l0x20"},
       {},
       failed_20 + BIN_FAILED + HEX_FAILED,
       255,
       {},
       {NO_INPUT, "nodir/fw.BIN", "nodir/fw.HEX"}},
      // An output never replaces an input, whatever the name reaching it.
      {{"-iFIRMWARE.HEX", "-l0x20"},
       {{"FIRMWARE.HEX", A_HEX}},
       BANNER + FILL + reading("FIRMWARE.HEX") + creating("20") + HEX_FAILED,
       255,
       {{"FIRMWARE.BIN", A_IMAGE_20}},
       {"FIRMWARE.HEX: error: is the input file FIRMWARE.HEX; not replaced"}},
      {{"-ifw.BIN", "-ofw", "-l0x20"},
       {{"fw.BIN", A_HEX}},
       BANNER + FILL + reading("fw.BIN") + creating("20") + BIN_FAILED,
       255,
       {{"fw.HEX", carrying(A_IMAGE_20)}},
       {"fw.BIN: error: is the input file fw.BIN; not replaced"}},
      // Fault: only the first input was remembered; the second was replaced.
      {{"-iFIRMWARE.HEX,a.hex", "-l0x20"},
       {{"FIRMWARE.HEX", ":040010005566778832\r\n:00000001FF\r\n"}, {"a.hex", A_HEX}},
       BANNER + FILL + reading("a.hex") + reading("FIRMWARE.HEX") + creating("20") + HEX_FAILED,
       255,
       {{"FIRMWARE.BIN", A_IMAGE_20.substr(0, 0x10) + "\x55\x66\x77\x88" + ff(0xC)}},
       {"FIRMWARE.HEX: error: is the input file FIRMWARE.HEX; not replaced"}},
      // One file on Windows, where names ignore case; two on POSIX.
      {{"-iapp.hex", "-oapp", "-l0x20"},
       {{"app.hex", A_HEX}},
       BANNER + FILL + reading("app.hex") + creating("20") + (tool_is_windows_build() ? HEX_FAILED : DONE),
       tool_is_windows_build() ? 255 : 0,
       tool_is_windows_build() ? Files{{"app.BIN", A_IMAGE_20}}
                               : Files{{"app.BIN", A_IMAGE_20}, {"app.HEX", carrying(A_IMAGE_20)}},
       tool_is_windows_build() ? std::vector<std::string>{"app.HEX: error: is the input file app.hex; not replaced"}
                               : std::vector<std::string>{}},
      {{"-onodir/fw.bin", "-a+"},
       {},
       BANNER + FILL + creating("F400") + BIN_FAILED + HEX_FAILED + AUTOFLASH,
       255,
       {},
       {NO_INPUT, "nodir/fw.BIN", "nodir/fw.HEX"}},
  });

  // Read-only is judged by the permission bits, so this holds for root too.
  struct ReadOnlyCase {
    std::string what;
    std::function<void(const ScratchDir&)> protect;
    std::string out;
    Files left;
    std::vector<std::string> reasons_for;
    std::vector<std::string> args = {"-l0x20"};
  };
  // in.hex as the target's other name: a hard link, or a symlink to it.
  const auto input_named = [](const char* target, int (*link_call)(const char*, const char*)) {
    return [target, link_call](const ScratchDir& dir) {
      dir.write("in.hex", A_HEX);
      unlink(dir.file(target).c_str());
      link_call(dir.file("in.hex").c_str(), dir.file(target).c_str());
    };
  };
  const std::string read_20 = BANNER + FILL + reading("in.hex") + creating("20");
  const std::vector<ReadOnlyCase> cases = {
      {"read-only BIN",
       [](const ScratchDir& dir) { chmod(dir.file("FIRMWARE.BIN").c_str(), 0444); },
       failed_20 + BIN_FAILED,
       {{"FIRMWARE.BIN", "old bin"}, {"FIRMWARE.HEX", FF_HEX_20}},
       {NO_INPUT, "FIRMWARE.BIN"}},
      {"read-only HEX",
       [](const ScratchDir& dir) { chmod(dir.file("FIRMWARE.HEX").c_str(), 0444); },
       failed_20 + HEX_FAILED,
       {{"FIRMWARE.BIN", ff(0x20)}, {"FIRMWARE.HEX", "old hex"}},
       {NO_INPUT, "FIRMWARE.HEX"}},
      {"BIN a hard link to the input",
       input_named("FIRMWARE.BIN", link),
       read_20 + BIN_FAILED,
       {{"FIRMWARE.BIN", A_HEX}, {"FIRMWARE.HEX", carrying(A_IMAGE_20)}, {"in.hex", A_HEX}},
       {"FIRMWARE.BIN: error: is the input file in.hex; not replaced"},
       {"-iin.hex", "-l0x20"}},
      {"HEX a symlink to the input",
       input_named("FIRMWARE.HEX", symlink),
       read_20 + HEX_FAILED,
       {{"FIRMWARE.BIN", A_IMAGE_20}, {"FIRMWARE.HEX", A_HEX}, {"in.hex", A_HEX}},
       {"FIRMWARE.HEX: error: is the input file in.hex; not replaced"},
       {"-iin.hex", "-l0x20"}},
  };
  for (const ReadOnlyCase& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    dir.write("FIRMWARE.BIN", "old bin");
    dir.write("FIRMWARE.HEX", "old hex");
    c.protect(dir);
    const ToolResult result = run_tool_in(dir.path(), c.args);
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.status, 255);
    expect_reasons(result.err, c.reasons_for);
    expect_files(dir, c.left);
  }
}

TEST(EndToEnd, ReadOnlyDirectoryKeepsItsFiles) {
  // Windows has no write permission on a directory (its read-only attribute
  // does not stop writing), and CI runs as root, which wine does not restrain.
  if (tool_is_windows_build()) GTEST_SKIP() << "no directory write permission on Windows";
  ScratchDir dir;
  dir.write("FIRMWARE.BIN", "old bin");
  dir.write("FIRMWARE.HEX", "old hex");
  chmod(dir.path().c_str(), 0555);
  const ToolResult result = run_tool_in(dir.path(), {"-l0x20"});
  EXPECT_EQ(result.out, BANNER + FILL + creating("20") + BIN_FAILED + HEX_FAILED);
  EXPECT_EQ(result.status, 255);
  expect_reasons(result.err, {NO_INPUT, "FIRMWARE.BIN", "FIRMWARE.HEX"});
  expect_files(dir, {{"FIRMWARE.BIN", "old bin"}, {"FIRMWARE.HEX", "old hex"}});
}

TEST(EndToEnd, FailedRenameLeavesNoTemporaryFile) {
  // A directory in the way of the target fails only at the rename, after the
  // temporary file was written.
  ScratchDir dir;
  ASSERT_EQ(mkdir(dir.file("FIRMWARE.BIN").c_str(), 0755), 0);
  const ToolResult result = run_tool_in(dir.path(), {"-l0x20"});
  EXPECT_EQ(result.out, BANNER + FILL + creating("20") + BIN_FAILED);
  EXPECT_EQ(result.status, 255);
  expect_reasons(result.err, {NO_INPUT, "FIRMWARE.BIN"});
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"FIRMWARE.BIN", "FIRMWARE.HEX"}));
  EXPECT_EQ(dir.read("FIRMWARE.HEX"), FF_HEX_20);
}

TEST(EndToEnd, WriteRefusedMidwayKeepsTheOldTarget) {
  // A file size limit of 4096 bytes: the BIN of 0x800 bytes fits, the HEX of
  // 128 records (5773 bytes) is cut off by the kernel after its first 4096.
  // The limit's signal, ignored or at its default, must not end the run
  // (fault: SIGXFSZ at its default killed the run and left the temporary file).
  for (const auto disposition : {SIG_IGN, SIG_DFL}) {
    SCOPED_TRACE(disposition == SIG_IGN ? "SIGXFSZ ignored" : "SIGXFSZ at its default");
    // Windows has no such signal to ignore; wine itself dies of it.
    if (disposition == SIG_DFL && tool_is_windows_build()) continue;
    ScratchDir dir;
    dir.write("FIRMWARE.BIN", "old bin");
    dir.write("FIRMWARE.HEX", "old hex");
    RunSetup setup;
    setup.in_child = [disposition] {
      signal(SIGXFSZ, disposition);
      const rlimit limit{4096, 4096};
      setrlimit(RLIMIT_FSIZE, &limit);
    };
    const ToolResult result = run_tool_in(dir.path(), {"-l0x800"}, setup);
    EXPECT_EQ(result.out, BANNER + FILL + creating("800") + HEX_FAILED);
    EXPECT_EQ(result.status, 255);
    expect_reasons(result.err, {NO_INPUT, "FIRMWARE.HEX"});
    // Windows words the refusal its own way.
    if (!tool_is_windows_build()) {
      EXPECT_EQ(result.err, NO_INPUT + "\nFIRMWARE.HEX: error: writing: "s + std::strerror(EFBIG) + "\n");
    }
    expect_files(dir, {{"FIRMWARE.BIN", ff(0x800)}, {"FIRMWARE.HEX", "old hex"}});
  }
}

TEST(EndToEnd, StandardOutputOnAFullDevice) {
  // The files are written; the lost messages make the run a failure, with
  // the reason of the write that failed.
  struct FullCase {
    std::vector<std::string> args;
    Files outputs;
    std::string stdout_path;
    std::function<void()> in_child;
    int reason;
    std::vector<std::string> before = {};  // lines before the one for standard output
  };
  // Fault: a closed pipe with SIGPIPE ignored was reported as an I/O error.
  const auto closed_pipe = [] {
    int ends[2];
    if (pipe(ends) != 0) _exit(99);
    close(ends[0]);
    dup2(ends[1], STDOUT_FILENO);
    signal(SIGPIPE, SIG_IGN);
  };
  const auto read_only_bin = [] { close(open("FIRMWARE.BIN", O_CREAT | O_WRONLY, 0444)); };
  const std::vector<FullCase> cases = {
      {{"-l0x20"}, {{"FIRMWARE.BIN", ff(0x20)}, {"FIRMWARE.HEX", FF_HEX_20}}, "/dev/full", nullptr, ENOSPC, {NO_INPUT}},
      {{"-h"}, {}, "/dev/full", nullptr, ENOSPC},
      {{"-l0x20"}, {{"FIRMWARE.BIN", ff(0x20)}, {"FIRMWARE.HEX", FF_HEX_20}}, "", closed_pipe, EPIPE, {NO_INPUT}},
      // Fault: after a failed output the reason was that of a later system call.
      {{"-l0x20"},
       {{"FIRMWARE.BIN", ""}, {"FIRMWARE.HEX", FF_HEX_20}},
       "/dev/full",
       read_only_bin,
       ENOSPC,
       {NO_INPUT, "FIRMWARE.BIN"}},
  };
  for (const FullCase& c : cases) {
    SCOPED_TRACE(std::strerror(c.reason));
    // The Windows runtime keeps no reason for a failed console write.
    if (c.reason == EPIPE && tool_is_windows_build()) continue;
    ScratchDir dir;
    RunSetup setup;
    setup.stdout_path = c.stdout_path;
    setup.in_child = c.in_child;
    const ToolResult result = run_tool_in(dir.path(), c.args, setup);
    EXPECT_EQ(result.status, 255);
    std::vector<std::string> reasons_for = c.before;
    // The reason's words are the C library's; Windows has its own.
    reasons_for.push_back("qrv_tools: error: standard output: "s +
                          (tool_is_windows_build() ? "" : std::strerror(c.reason)));
    expect_reasons(result.err, reasons_for);
    expect_files(dir, c.outputs);
  }
}

TEST(EndToEnd, OutputsOnFileSystemsAtTheirEdges) {
  // FAT over FUSE: app.HEX is another spelling of the input app.hex, and it
  // holds no owners or modes (fault: every rebuild failed, the group refused
  // with ENOSYS). ext4 with 128-byte inodes keeps whole seconds: files of one
  // quick build are alike in size and times, and only another spelling in the
  // input's own directory is the input (faults: a second build refused fw.HEX
  // as stage1/fw.HEX; APP.HEX, a file of its own, was refused as app.hex).
  struct Run {
    std::vector<std::string> args;        // -iINPUT first
    bool refused;                         // its HEX output, as the input
    std::vector<std::string> alike = {};  // given one size and time first
  };
  struct FileSystemCase {
    std::string what;
    std::string mount;  // shell, with the image $I and the mount point $M
    bool on_windows;
    Files before;
    std::vector<Run> runs;
  };
  const std::vector<std::string> app = {"-iapp.hex", "-ofw", "-l0x20"};
  const std::vector<std::string> stage2 = {"-istage1/fw.HEX", "-ofw", "-l0x20"};
  const std::vector<FileSystemCase> cases = {
      {"FAT over FUSE (Debian: fusefat, dosfstools; /dev/fuse)",
       "truncate -s 2M $I && mkfs.vfat $I && fusefat -o rw+ $I $M",
       true,
       {{"app.hex", A_HEX}},
       {{{"-iapp.hex", "-oapp", "-l0x20"}, true}, {app, false}, {app, false}}},
      {"ext4 in whole seconds (Debian: fuse2fs, or a loop device)",
       "truncate -s 8M $I && mkfs.ext4 -q -I 128 $I && (fuse2fs -o rw $I $M || mount -o loop $I $M) && mkdir $M/stage1",
       false,
       {{"app.hex", A_HEX}, {"APP.HEX", A_HEX}},
       {{{"-iapp.hex", "-ostage1/fw", "-l0x20"}, false},
        {stage2, false},
        {stage2, false, {"stage1/fw.HEX", "fw.HEX"}},
        {{"-iapp.hex", "-oAPP", "-l0x20"}, false, {"app.hex", "APP.HEX"}}}},
  };
  std::string skipped;
  for (const FileSystemCase& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    const std::string mount = dir.file("mount");
    const std::string names = "I='" + dir.file("image") + "' M='" + mount + "'; ";
    if (tool_is_windows_build() && !c.on_windows) {
      skipped += c.what + ": Windows names ignore case. ";
      continue;
    }
    if (mkdir(mount.c_str(), 0755) != 0 || std::system((names + "(" + c.mount + ") >/dev/null 2>&1").c_str()) != 0) {
      skipped += c.what + " not mounted. ";
      continue;
    }
    struct Unmount {
      std::string command;
      ~Unmount() { EXPECT_EQ(std::system(command.c_str()), 0); }
    } unmount{names + "fusermount -u $M 2>/dev/null || umount $M"};
    for (const auto& [name, bytes] : c.before) std::ofstream(mount + "/" + name, std::ios::binary) << bytes;
    for (const Run& run : c.runs) {
      SCOPED_TRACE(testing::PrintToString(run.args));
      struct stat one {};
      struct stat other {};
      // Touched in one call, again where a second began in between.
      for (int tries = 0; !run.alike.empty() && (tries == 0 || (tries < 5 && one.st_ctime != other.st_ctime));
           ++tries) {
        const std::string both = " '" + mount + "/" + run.alike[0] + "' '" + mount + "/" + run.alike[1] + "'";
        ASSERT_EQ(std::system(("touch -d @1700000000" + both).c_str()), 0);
        ASSERT_EQ(stat((mount + "/" + run.alike[0]).c_str(), &one) | stat((mount + "/" + run.alike[1]).c_str(), &other),
                  0);
        ASSERT_EQ(one.st_size, other.st_size);
        ASSERT_EQ(one.st_ctim.tv_nsec | other.st_ctim.tv_nsec, 0) << "times finer than seconds";
      }
      ASSERT_EQ(one.st_ctime, other.st_ctime);
      const std::string input = run.args[0].substr(2);
      const std::string input_bytes = read_file(mount + "/" + input);
      const ToolResult result = run_tool_in(mount, run.args);
      EXPECT_EQ(result.out, BANNER + FILL + reading(input) + creating("20") + (run.refused ? HEX_FAILED : DONE));
      EXPECT_EQ(result.status, run.refused ? 255 : 0);
      const std::string hex = run.args[1].substr(2) + ".HEX";
      expect_reasons(result.err, run.refused ? std::vector{hex + ": error: is the input file " + input + "; not replaced"}
                                             : std::vector<std::string>{});
      EXPECT_EQ(read_file(mount + "/" + input), input_bytes);
      EXPECT_EQ(run.refused ? "" : hex_fault(read_file(mount + "/" + hex), A_IMAGE_20), "");
    }
  }
  if (!skipped.empty()) GTEST_SKIP() << skipped;
}
