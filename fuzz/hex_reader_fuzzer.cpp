// Arbitrary bytes as an Intel HEX file: the reader must answer 0 or -1 and
// must never write past the image into its tail. Each input is read in one
// of the run's places in the map of laid bytes.

#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "files/firmware_files.h"
#include "files/laid_bytes.h"
#include "front/flashbuf.h"
#include "front/options.h"

namespace {

// One temporary file serves every input; it is rewritten each time.
const std::string& input_file() {
  static const std::string name = [] {
    char pattern[] = "/tmp/qrv_fuzz_XXXXXX";
    const int fd = mkstemp(pattern);
    if (fd < 0) std::abort();
    close(fd);
    return std::string(pattern);
  }();
  static const bool removed_at_exit = std::atexit([] { std::remove(name.c_str()); }) == 0;
  (void)removed_at_exit;
  return name;
}

// FNV-1a: a fill and a chip that differ between inputs yet repeat for the
// same input, so any finding reproduces.
std::uint64_t input_hash(const std::uint8_t* data, std::size_t size) {
  std::uint64_t hash = 0xCBF29CE484222325u;
  for (std::size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 0x100000001B3u;
  return hash;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The reader's messages would flood the fuzzer's own report.
  static const bool silenced = std::freopen("/dev/null", "w", stdout) != nullptr;
  (void)silenced;

  std::FILE* file = std::fopen(input_file().c_str(), "wb");
  if (file == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);

  std::uint64_t state = input_hash(data, size) | 1;
  const std::int32_t cpu_sizes[] = {0x2800, 0x3800, 0x8000, 0xF400};
  options = default_options();
  options.cpu_size = cpu_sizes[state % 4];
  // xorshift64, eight fill bytes a step: the fill is most of the work per input.
  for (std::size_t i = 0; i < flashbuf.size(); i += sizeof state) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    std::memcpy(flashbuf.data() + i, &state, std::min(sizeof state, flashbuf.size() - i));
  }
  std::uint8_t tail[FLASHBUF_TAIL_SIZE];
  for (std::size_t i = 0; i < FLASHBUF_TAIL_SIZE; ++i) tail[i] = flashbuf[FLASHBUF_SIZE + i];

  const int result = read_hex_file(input_file().c_str(), (state >> 2) % MAX_HEXFILES);
  if (result != 0 && result != -1) std::abort();
  for (std::size_t i = 0; i < FLASHBUF_TAIL_SIZE; ++i) {
    if (flashbuf[FLASHBUF_SIZE + i] != tail[i]) std::abort();
  }
  return 0;
}
