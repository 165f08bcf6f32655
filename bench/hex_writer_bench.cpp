// Writing a full image: the HEX output (formatting included) and the BIN
// output, each into a file of a scratch directory.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "files/firmware_files.h"
#include "files/input_files.h"
#include "front/flashbuf.h"
#include "front/options.h"

namespace {

// A target name in a directory of its own, both removed afterwards.
class ScratchTarget {
 public:
  explicit ScratchTarget(const char* name) {
    char pattern[] = "/tmp/qrv_bench_out_XXXXXX";
    if (mkdtemp(pattern) == nullptr) std::abort();
    directory_ = pattern;
    path_ = directory_ + "/" + name;
  }
  ~ScratchTarget() {
    std::remove(path_.c_str());
    rmdir(directory_.c_str());
  }
  ScratchTarget(const ScratchTarget&) = delete;
  ScratchTarget& operator=(const ScratchTarget&) = delete;
  const char* path() const { return path_.c_str(); }

 private:
  std::string directory_;
  std::string path_;
};

void fill_image() {
  options = default_options();
  // The reader's benchmark removed its input, still remembered: a target
  // made later may get its inode and be refused as that input.
  forget_input_files();
  for (std::size_t i = 0; i < FLASHBUF_SIZE; ++i) flashbuf[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8));
}

// One full image through a writer into `name`.
void BM_WriteFullImage(benchmark::State& state, int (*writer)(const char*), const char* name) {
  fill_image();
  const ScratchTarget target(name);
  for (auto _ : state) {
    if (writer(target.path()) != 0) state.SkipWithError("the writer failed");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(FLASHBUF_SIZE));
}
BENCHMARK_CAPTURE(BM_WriteFullImage, hex, write_hex_file, "FIRMWARE.HEX")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_WriteFullImage, bin, write_bin_file, "FIRMWARE.BIN")->Unit(benchmark::kMicrosecond);

}  // namespace
