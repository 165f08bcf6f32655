// The fast and strong passes over the image, free of `options` so that
// benchmarks and tests can choose every combination.
#pragma once

#include <cstdint>

#include "crypt/block_ciphers.h"

enum class PassCipher { tea, xtea };

// fast: one block per aligned 8 bytes, none overlapping.
// strong: one block per byte offset, in ascending order, each reading seven
// bytes the previous one wrote; the last seven reach into the image's tail.
enum class PassMode { fast, strong };

void encrypt_pass(PassCipher cipher, WordOrder order, PassMode mode, const std::uint8_t* key);
