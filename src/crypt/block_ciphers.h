// TEA and XTEA on one 8-byte block, with the word byte order fixed at compile
// time so that a pass over the image never tests it per word.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

enum class WordOrder { lsb_first, msb_first };

// Words are built from bytes, never by casting pointers: the same value on
// every host, and safe at the unaligned offsets of the strong pass.
template <WordOrder order>
inline std::uint32_t load_word(const std::uint8_t* p) {
  if constexpr (order == WordOrder::lsb_first) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
  } else {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | std::uint32_t{p[3]};
  }
}

template <WordOrder order>
inline void store_word(std::uint8_t* p, std::uint32_t word) {
  for (std::size_t i = 0; i < 4; ++i) {
    const std::size_t shift = order == WordOrder::lsb_first ? 8 * i : 8 * (3 - i);
    p[i] = static_cast<std::uint8_t>(word >> shift);
  }
}

constexpr std::uint32_t TEA_DELTA = 0x9E3779B9;
// The published algorithms count cycles: one cycle updates both words, so
// 32 cycles are 64 Feistel rounds.
constexpr std::size_t TEA_CYCLES = 32;

using KeyWords = std::array<std::uint32_t, 4>;

// The key is always read least significant byte first; msb-first mode hands
// over the key with each group of four bytes already reversed.
inline KeyWords key_words(const std::uint8_t* key) {
  return {load_word<WordOrder::lsb_first>(key), load_word<WordOrder::lsb_first>(key + 4),
          load_word<WordOrder::lsb_first>(key + 8), load_word<WordOrder::lsb_first>(key + 12)};
}

// Each cipher prepares a Schedule from the key once per pass, and its
// encipher_cycles runs all TEA_CYCLES cycles on N independent blocks side by
// side (block i is w0[i], w1[i]): their cycles overlap in the CPU instead of
// waiting on one chain of dependent operations.
struct Tea {
  // TEA uses the four key words as they are.
  using Schedule = KeyWords;

  static Schedule schedule(const std::uint8_t* key) { return key_words(key); }

  template <std::size_t N>
  static void encipher_cycles(std::uint32_t (&w0)[N], std::uint32_t (&w1)[N], const Schedule& k) {
    std::uint32_t sum = 0;
    for (std::size_t cycle = 0; cycle < TEA_CYCLES; ++cycle) {
      sum += TEA_DELTA;
      for (std::size_t i = 0; i < N; ++i) {
        w0[i] += ((w1[i] << 4) + k[0]) ^ (w1[i] + sum) ^ ((w1[i] >> 5) + k[1]);
        w1[i] += ((w0[i] << 4) + k[2]) ^ (w0[i] + sum) ^ ((w0[i] >> 5) + k[3]);
      }
    }
  }
};

struct Xtea {
  // sum + key word for each half-cycle, computed once per key: the sums and
  // key indices do not depend on the data.
  using Schedule = std::array<std::uint32_t, 2 * TEA_CYCLES>;

  static Schedule schedule(const std::uint8_t* key) {
    const KeyWords k = key_words(key);
    Schedule s{};
    std::uint32_t sum = 0;
    for (std::size_t cycle = 0; cycle < TEA_CYCLES; ++cycle) {
      s[2 * cycle] = sum + k[sum & 3];
      sum += TEA_DELTA;
      s[2 * cycle + 1] = sum + k[(sum >> 11) & 3];
    }
    return s;
  }

  template <std::size_t N>
  static void encipher_cycles(std::uint32_t (&w0)[N], std::uint32_t (&w1)[N], const Schedule& s) {
    for (std::size_t cycle = 0; cycle < TEA_CYCLES; ++cycle) {
      for (std::size_t i = 0; i < N; ++i) {
        w0[i] += (((w1[i] << 4) ^ (w1[i] >> 5)) + w1[i]) ^ s[2 * cycle];
        w1[i] += (((w0[i] << 4) ^ (w0[i] >> 5)) + w0[i]) ^ s[2 * cycle + 1];
      }
    }
  }
};

// One block, as one lane of encipher_cycles: both words are read before
// anything is stored, so `src` may equal `dst`.
template <typename Cipher, WordOrder order>
void encipher_block(const std::uint8_t* src, std::uint8_t* dst, const typename Cipher::Schedule& schedule) {
  std::uint32_t w0[1] = {load_word<order>(src)};
  std::uint32_t w1[1] = {load_word<order>(src + 4)};
  Cipher::encipher_cycles(w0, w1, schedule);
  store_word<order>(dst, w0[0]);
  store_word<order>(dst + 4, w1[0]);
}
