// Reading a whole image given as 16-byte records, the common shape of input.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "files/firmware_files.h"
#include "front/flashbuf.h"
#include "front/options.h"
#include "hex_record.h"

namespace {

// A full 0xF400-byte image as 16-byte data records plus the end record
// (about 170 KB of text), written once to a temporary file.
class ImageFile {
 public:
  ImageFile() {
    char name[] = "/tmp/qrv_bench_XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) std::abort();
    close(fd);
    name_ = name;
    std::FILE* file = std::fopen(name, "wb");
    if (file == nullptr) std::abort();
    for (unsigned address = 0; address < FLASHBUF_SIZE; address += 16) {
      std::string data;
      for (unsigned i = 0; i < 16; ++i) data += static_cast<char>((address * 7 + i * 13) & 0xFF);
      std::fprintf(file, "%s\r\n", hex_record(0, address, data).c_str());
    }
    std::fprintf(file, ":00000001FF\r\n");
    std::fclose(file);
  }
  ~ImageFile() { std::remove(name_.c_str()); }
  ImageFile(const ImageFile&) = delete;
  ImageFile& operator=(const ImageFile&) = delete;
  const char* name() const { return name_.c_str(); }

 private:
  std::string name_;
};

void BM_ReadHexFileFullImage(benchmark::State& state) {
  const ImageFile image;
  options = default_options();
  // The last record ends at 0xF400 and would print the size warning on every
  // pass, into the benchmark's own report; a larger flash keeps it quiet.
  options.cpu_size = 0x10000;
  for (auto _ : state) {
    if (read_hex_file(image.name()) != 0) {
      state.SkipWithError("read_hex_file failed");
      break;
    }
    benchmark::DoNotOptimize(flashbuf.data());
    benchmark::ClobberMemory();
  }
  std::FILE* file = std::fopen(image.name(), "rb");
  if (file != nullptr) {
    std::fseek(file, 0, SEEK_END);
    state.SetBytesProcessed(state.iterations() * std::ftell(file));
    std::fclose(file);
  }
}
BENCHMARK(BM_ReadHexFileFullImage)->Unit(benchmark::kMicrosecond);

}  // namespace
