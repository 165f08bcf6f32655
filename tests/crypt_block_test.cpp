// Single cipher blocks: how the two word orders relate, and enciphering in
// place against into a separate block.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "crypt/encrypt_passes.h"
#include "crypt_support.h"
#include "front/options.h"

namespace {

using namespace crypt_support;

TEST(CryptBlock, MsbFirstIsLsbFirstWithReversedWordBytes) {
  std::mt19937 rng(20240604);
  for (int i = 0; i < 2000; ++i) {
    const PassCipher cipher = i % 2 != 0 ? PassCipher::xtea : PassCipher::tea;
    Bytes key(16), block(8), msb_out(8), lsb_out(8);
    fill_random(rng, key.data(), 16);
    fill_random(rng, block.data(), 8);
    reset();
    options.msb_first = 1;
    encipher_fn(cipher)(block.data(), msb_out.data(), key.data());
    options.msb_first = 0;
    const Bytes reversed = reverse_groups(block);
    encipher_fn(cipher)(reversed.data(), lsb_out.data(), key.data());
    ASSERT_EQ(msb_out, reverse_groups(lsb_out)) << "case " << i;
  }
}

TEST(CryptBlock, InPlaceEqualsOutOfPlaceAtAnyOffset) {
  std::mt19937 rng(7);
  for (int i = 0; i < 400; ++i) {
    const PassCipher cipher = i % 2 != 0 ? PassCipher::xtea : PassCipher::tea;
    std::uint8_t key[16], buf[24], out[8];
    fill_random(rng, key, sizeof key);
    fill_random(rng, buf, sizeof buf);
    reset();
    options.msb_first = (i / 2) % 2;
    std::uint8_t* const block = buf + i % 16;  // unaligned as in the strong pass
    encipher_fn(cipher)(block, out, key);
    encipher_fn(cipher)(block, block, key);
    ASSERT_EQ(0, std::memcmp(out, block, 8)) << "case " << i;
  }
}

}  // namespace
