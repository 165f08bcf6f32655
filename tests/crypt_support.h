// What the cipher test files share: byte-string helpers, the state of a fresh
// run, and the mapping from a table's choices to the tool's cipher calls.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "crypt/block_ciphers.h"
#include "crypt/encrypt_passes.h"
#include "front/flashbuf.h"

namespace crypt_support {

using Bytes = std::vector<std::uint8_t>;
using Buffer = std::array<std::uint8_t, FLASHBUF_SIZE + FLASHBUF_TAIL_SIZE>;
using EncipherFn = void (*)(const std::uint8_t*, std::uint8_t*, const std::uint8_t*);

Bytes from_hex(const std::string& hex);

// Bytes 0..3 become 3..0, 4..7 become 7..4, and so on.
Bytes reverse_groups(Bytes b);

// Default options and an image of 0xFF, as a fresh run starts.
void reset();

void fill_random(std::mt19937& rng, std::uint8_t* p, std::size_t n);

EncipherFn encipher_fn(PassCipher c);
WordOrder order_of(bool msb);

}  // namespace crypt_support
