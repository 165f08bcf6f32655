#include "crypt/encrypt_passes.h"

#include <cstddef>

#include "front/flashbuf.h"

namespace {

// Fast-pass blocks enciphered side by side; the image's 7808 blocks divide
// evenly.
constexpr std::size_t LANES = 4;
static_assert(FLASHBUF_SIZE % (8 * LANES) == 0, "the fast pass takes LANES blocks at a time");

template <typename Cipher, WordOrder order>
void fast_pass(std::uint8_t* image, const typename Cipher::Schedule& schedule) {
  for (std::size_t offset = 0; offset < FLASHBUF_SIZE; offset += 8 * LANES) {
    std::uint32_t w0[LANES];
    std::uint32_t w1[LANES];
    for (std::size_t i = 0; i < LANES; ++i) {
      w0[i] = load_word<order>(image + offset + 8 * i);
      w1[i] = load_word<order>(image + offset + 8 * i + 4);
    }
    Cipher::encipher_cycles(w0, w1, schedule);
    for (std::size_t i = 0; i < LANES; ++i) {
      store_word<order>(image + offset + 8 * i, w0[i]);
      store_word<order>(image + offset + 8 * i + 4, w1[i]);
    }
  }
}

// Each block is the previous block's output shifted by one byte plus one
// untouched image byte, so the pass carries the two words from block to
// block instead of reading back bytes it has just stored: only the byte that
// no later block rewrites is stored, and the last block is stored whole into
// the tail.
template <typename Cipher, WordOrder order>
void strong_pass(std::uint8_t* image, const typename Cipher::Schedule& schedule) {
  std::uint32_t w0[1] = {load_word<order>(image)};
  std::uint32_t w1[1] = {load_word<order>(image + 4)};
  for (std::size_t offset = 0; offset + 1 < FLASHBUF_SIZE; ++offset) {
    Cipher::encipher_cycles(w0, w1, schedule);
    const std::uint32_t next = image[offset + 8];
    if constexpr (order == WordOrder::lsb_first) {
      image[offset] = static_cast<std::uint8_t>(w0[0]);
      w0[0] = w0[0] >> 8 | w1[0] << 24;
      w1[0] = w1[0] >> 8 | next << 24;
    } else {
      image[offset] = static_cast<std::uint8_t>(w0[0] >> 24);
      w0[0] = w0[0] << 8 | w1[0] >> 24;
      w1[0] = w1[0] << 8 | next;
    }
  }
  Cipher::encipher_cycles(w0, w1, schedule);
  store_word<order>(image + FLASHBUF_SIZE - 1, w0[0]);
  store_word<order>(image + FLASHBUF_SIZE + 3, w1[0]);
}

template <typename Cipher, PassMode mode, WordOrder order>
void run_pass(const std::uint8_t* key) {
  const typename Cipher::Schedule schedule = Cipher::schedule(key);
  if constexpr (mode == PassMode::strong) {
    strong_pass<Cipher, order>(flashbuf.data(), schedule);
  } else {
    fast_pass<Cipher, order>(flashbuf.data(), schedule);
  }
}

using Pass = void (*)(const std::uint8_t* key);

// Every pass by cipher (TEA, XTEA), then mode (fast, strong), then word order
// (lsb, msb), as the progress lines are indexed.
constexpr Pass PASSES[2][2][2] = {
    {{run_pass<Tea, PassMode::fast, WordOrder::lsb_first>, run_pass<Tea, PassMode::fast, WordOrder::msb_first>},
     {run_pass<Tea, PassMode::strong, WordOrder::lsb_first>, run_pass<Tea, PassMode::strong, WordOrder::msb_first>}},
    {{run_pass<Xtea, PassMode::fast, WordOrder::lsb_first>, run_pass<Xtea, PassMode::fast, WordOrder::msb_first>},
     {run_pass<Xtea, PassMode::strong, WordOrder::lsb_first>, run_pass<Xtea, PassMode::strong, WordOrder::msb_first>}},
};

}  // namespace

void encrypt_pass(PassCipher cipher, WordOrder order, PassMode mode, const std::uint8_t* key) {
  PASSES[cipher == PassCipher::xtea][mode == PassMode::strong][order == WordOrder::msb_first](key);
}
