// What the cipher test files share: byte-string helpers, the state of a fresh
// run, and the mapping from a table's choices to the tool's cipher calls.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "crypt/block_ciphers.h"
#include "crypt/crypt.h"
#include "crypt/encrypt_passes.h"
#include "front/flashbuf.h"
#include "front/options.h"

namespace crypt_support {

using Bytes = std::vector<std::uint8_t>;
using Buffer = std::array<std::uint8_t, FLASHBUF_SIZE + FLASHBUF_TAIL_SIZE>;
using EncipherFn = void (*)(const std::uint8_t*, std::uint8_t*, const std::uint8_t*);

inline Bytes from_hex(const std::string& hex) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

// Bytes 0..3 become 3..0, 4..7 become 7..4, and so on.
inline Bytes reverse_groups(Bytes b) {
  for (std::size_t g = 0; g + 4 <= b.size(); g += 4) {
    std::swap(b[g], b[g + 3]);
    std::swap(b[g + 1], b[g + 2]);
  }
  return b;
}

// Default options and an image of 0xFF, as a fresh run starts.
inline void reset() {
  options = default_options();
  flashbuf.fill(0xFF);
}

inline void fill_random(std::mt19937& rng, std::uint8_t* p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) p[i] = static_cast<std::uint8_t>(rng());
}

inline EncipherFn encipher_fn(PassCipher c) { return c == PassCipher::tea ? tea_encipher : xtea_encipher; }
inline WordOrder order_of(bool msb) { return msb ? WordOrder::msb_first : WordOrder::lsb_first; }

}  // namespace crypt_support
