// The encryption passes over the full image, next to a plain reference loop
// that shows the latency floor of the strong pass's dependent blocks.

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <cstring>

#include "crypt/encrypt_passes.h"
#include "front/flashbuf.h"

namespace {

constexpr std::uint8_t KEY[16] = {'P', 'a', 'l', 'e', 'M', 'o', 'o', 'n',
                                  'O', 'v', 'e', 'r', 'H', 'i', 'l', 'l'};
constexpr std::uint32_t DELTA = 0x9E3779B9;

// Reported as seconds per block (shown with an SI prefix, "90n" = 90 ns).
void count_blocks(benchmark::State& state, std::size_t blocks) {
  state.counters["per_block"] = benchmark::Counter(
      static_cast<double>(blocks),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// range(0): 0 TEA, 1 XTEA; range(1): 0 lsb first, 1 msb first; range(2): 0 fast, 1 strong.
void BM_Pass(benchmark::State& state) {
  const PassCipher cipher = state.range(0) != 0 ? PassCipher::xtea : PassCipher::tea;
  const WordOrder order = state.range(1) != 0 ? WordOrder::msb_first : WordOrder::lsb_first;
  const PassMode mode = state.range(2) != 0 ? PassMode::strong : PassMode::fast;
  flashbuf.fill(0xFF);
  for (auto _ : state) {
    encrypt_pass(cipher, order, mode, KEY);
    benchmark::DoNotOptimize(flashbuf.data());
    benchmark::ClobberMemory();
  }
  count_blocks(state, mode == PassMode::strong ? FLASHBUF_SIZE : FLASHBUF_SIZE / 8);
}
BENCHMARK(BM_Pass)
    ->ArgNames({"xtea", "msb", "strong"})
    ->ArgsProduct({{0, 1}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

// The published reference code on host-order words, with no byte-order
// handling and the key words taken as they are: the floor to compare with.
std::array<std::uint8_t, FLASHBUF_SIZE + 8> plain_image;

void reference_tea(std::uint8_t* p, const std::uint32_t* k) {
  std::uint32_t v[2];
  std::memcpy(v, p, sizeof v);
  std::uint32_t v0 = v[0], v1 = v[1], sum = 0;
  for (int i = 0; i < 32; ++i) {
    sum += DELTA;
    v0 += ((v1 << 4) + k[0]) ^ (v1 + sum) ^ ((v1 >> 5) + k[1]);
    v1 += ((v0 << 4) + k[2]) ^ (v0 + sum) ^ ((v0 >> 5) + k[3]);
  }
  v[0] = v0;
  v[1] = v1;
  std::memcpy(p, v, sizeof v);
}

void reference_xtea(std::uint8_t* p, const std::uint32_t* k) {
  std::uint32_t v[2];
  std::memcpy(v, p, sizeof v);
  std::uint32_t v0 = v[0], v1 = v[1], sum = 0;
  for (int i = 0; i < 32; ++i) {
    v0 += (((v1 << 4) ^ (v1 >> 5)) + v1) ^ (sum + k[sum & 3]);
    sum += DELTA;
    v1 += (((v0 << 4) ^ (v0 >> 5)) + v0) ^ (sum + k[(sum >> 11) & 3]);
  }
  v[0] = v0;
  v[1] = v1;
  std::memcpy(p, v, sizeof v);
}

// range(0): 0 TEA, 1 XTEA; range(1): 0 fast, 1 strong.
void BM_ReferenceLoop(benchmark::State& state) {
  const bool xtea = state.range(0) != 0;
  const std::size_t step = state.range(1) != 0 ? 1 : 8;
  std::uint32_t k[4];
  std::memcpy(k, KEY, sizeof k);
  plain_image.fill(0xFF);
  for (auto _ : state) {
    for (std::size_t offset = 0; offset < FLASHBUF_SIZE; offset += step) {
      if (xtea) {
        reference_xtea(plain_image.data() + offset, k);
      } else {
        reference_tea(plain_image.data() + offset, k);
      }
    }
    benchmark::DoNotOptimize(plain_image.data());
    benchmark::ClobberMemory();
  }
  count_blocks(state, FLASHBUF_SIZE / step);
}
BENCHMARK(BM_ReferenceLoop)
    ->ArgNames({"xtea", "strong"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
