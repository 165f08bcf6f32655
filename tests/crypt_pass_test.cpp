// The fast and strong passes over the whole image, and encrypt_flashbuf as
// the options drive it: each pass is undone by a decipherment written here
// from the published algorithms.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>

#include "crypt/crypt.h"
#include "crypt/encrypt_passes.h"
#include "crypt_support.h"
#include "front/command_line.h"
#include "front/flashbuf.h"
#include "front/options.h"

namespace {

using namespace crypt_support;

constexpr std::uint32_t DELTA = 0x9E3779B9;

// Decipherment exists only here, written from the published algorithms, so
// that a round trip checks the tool's encipherment independently.
std::uint32_t get_word(const std::uint8_t* p, bool msb) {
  std::uint32_t w = 0;
  for (int i = 0; i < 4; ++i) w |= std::uint32_t{p[i]} << (msb ? 24 - 8 * i : 8 * i);
  return w;
}
void put_word(std::uint8_t* p, std::uint32_t w, bool msb) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(w >> (msb ? 24 - 8 * i : 8 * i));
}

void decipher(PassCipher cipher, bool msb, std::uint8_t* p, const std::uint8_t* key) {
  std::uint32_t k[4];
  for (int i = 0; i < 4; ++i) k[i] = get_word(key + 4 * i, false);
  std::uint32_t w0 = get_word(p, msb);
  std::uint32_t w1 = get_word(p + 4, msb);
  std::uint32_t sum = DELTA * 32;
  for (int c = 0; c < 32; ++c) {
    if (cipher == PassCipher::tea) {
      w1 -= ((w0 << 4) + k[2]) ^ (w0 + sum) ^ ((w0 >> 5) + k[3]);
      w0 -= ((w1 << 4) + k[0]) ^ (w1 + sum) ^ ((w1 >> 5) + k[1]);
      sum -= DELTA;
    } else {
      w1 -= (((w0 << 4) ^ (w0 >> 5)) + w0) ^ (sum + k[(sum >> 11) & 3]);
      sum -= DELTA;
      w0 -= (((w1 << 4) ^ (w1 >> 5)) + w1) ^ (sum + k[sum & 3]);
    }
  }
  put_word(p, w0, msb);
  put_word(p + 4, w1, msb);
}

// Undoes a whole pass: the strong pass backwards from the last offset.
void decipher_image(Buffer& buf, PassCipher cipher, bool msb, PassMode mode, const std::uint8_t* key) {
  if (mode == PassMode::fast) {
    for (std::size_t o = 0; o < FLASHBUF_SIZE; o += 8) decipher(cipher, msb, buf.data() + o, key);
  } else {
    for (std::size_t o = FLASHBUF_SIZE; o-- > 0;) decipher(cipher, msb, buf.data() + o, key);
  }
}

struct PassCase {
  PassCipher cipher;
  bool msb;
  PassMode mode;
};
const PassCase PASS_CASES[] = {
    {PassCipher::tea, false, PassMode::fast},    {PassCipher::tea, true, PassMode::fast},
    {PassCipher::tea, false, PassMode::strong},  {PassCipher::tea, true, PassMode::strong},
    {PassCipher::xtea, false, PassMode::fast},   {PassCipher::xtea, true, PassMode::fast},
    {PassCipher::xtea, false, PassMode::strong}, {PassCipher::xtea, true, PassMode::strong},
};

TEST(CryptPasses, DecipheringRestoresRandomImage) {
  std::mt19937 rng(99);
  for (const PassCase& c : PASS_CASES) {
    reset();
    std::uint8_t key[16];
    fill_random(rng, key, sizeof key);
    fill_random(rng, flashbuf.data(), flashbuf.size());
    const Buffer original = flashbuf;
    encrypt_pass(c.cipher, order_of(c.msb), c.mode, key);
    Buffer buf = flashbuf;
    EXPECT_NE(0, std::memcmp(buf.data(), original.data(), FLASHBUF_SIZE));
    decipher_image(buf, c.cipher, c.msb, c.mode, key);
    // Knowing the tail's final bytes, the strong pass inverts completely,
    // the tail's own starting bytes included.
    EXPECT_EQ(buf, original) << static_cast<int>(c.cipher) << c.msb << static_cast<int>(c.mode);
  }
}

TEST(CryptPasses, ChangeStaysLocal) {
  const std::size_t positions[] = {0, 7, 8, 1000, 0x3801, FLASHBUF_SIZE - 8, FLASHBUF_SIZE - 1};
  const std::uint8_t key[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  for (const PassCase& c : PASS_CASES) {
    if (c.msb) continue;  // word order plays no part in where a change spreads
    reset();
    encrypt_pass(c.cipher, WordOrder::lsb_first, c.mode, key);
    const Buffer base = flashbuf;
    for (const std::size_t n : positions) {
      SCOPED_TRACE(n);
      reset();
      flashbuf[n] = 0x5A;
      encrypt_pass(c.cipher, WordOrder::lsb_first, c.mode, key);
      const std::size_t lo = c.mode == PassMode::fast ? n & ~std::size_t{7} : (n >= 7 ? n - 7 : 0);
      const std::size_t hi = c.mode == PassMode::fast ? lo + 8 : FLASHBUF_SIZE;
      EXPECT_EQ(0, std::memcmp(flashbuf.data(), base.data(), lo));
      EXPECT_EQ(0, std::memcmp(flashbuf.data() + hi, base.data() + hi, FLASHBUF_SIZE - hi));
      EXPECT_NE(0, std::memcmp(flashbuf.data() + lo, base.data() + lo, std::min<std::size_t>(8, FLASHBUF_SIZE - lo)));
    }
  }
}

TEST(CryptFlashbuf, SmallerChipStillEncryptsWholeImage) {
  for (const char* mode : {"-s-", "-s+"}) {
    reset();
    const char* defaults[] = {"qrv_tools", "-e+", mode};
    ASSERT_EQ(parse_command_line(3, defaults), ParseOutcome::run);
    testing::internal::CaptureStdout();
    encrypt_flashbuf();
    testing::internal::GetCapturedStdout();
    const Buffer full_chip = flashbuf;

    reset();
    const char* small[] = {"qrv_tools", "-c0x52", "-e+", mode};
    ASSERT_EQ(parse_command_line(4, small), ParseOutcome::run);
    ASSERT_EQ(options.limit, 0x3800);
    testing::internal::CaptureStdout();
    encrypt_flashbuf();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              mode[2] == '+' ? "  ... encrypting flashbuf lsb first using TEA strong encryption\n"
                             : "  ... encrypting flashbuf lsb first using TEA fast encryption\n");
    EXPECT_EQ(0, std::memcmp(flashbuf.data(), full_chip.data(), FLASHBUF_SIZE)) << mode;
    EXPECT_NE(flashbuf[FLASHBUF_SIZE - 1], 0xFF);
  }
}

struct FlashbufCase {
  bool xtea;
  int msb;
  int strong;
  const char* message;
};
const FlashbufCase FLASHBUF_CASES[] = {
    {false, 1, 1, "  ... encrypting flashbuf msb first using TEA strong encryption\n"},
    {false, 1, 0, "  ... encrypting flashbuf msb first using TEA fast encryption\n"},
    {false, 0, 1, "  ... encrypting flashbuf lsb first using TEA strong encryption\n"},
    {false, 0, 0, "  ... encrypting flashbuf lsb first using TEA fast encryption\n"},
    {true, 1, 1, "  ... encrypting flashbuf msb first using XTEA strong encryption\n"},
    {true, 1, 0, "  ... encrypting flashbuf msb first using XTEA fast encryption\n"},
    {true, 0, 1, "  ... encrypting flashbuf lsb first using XTEA strong encryption\n"},
    {true, 0, 0, "  ... encrypting flashbuf lsb first using XTEA fast encryption\n"},
};

TEST(CryptFlashbuf, PrintsItsLineAndUsesTheChosenCipherOrderModeAndKey) {
  std::mt19937 rng(3);
  for (const FlashbufCase& c : FLASHBUF_CASES) {
    SCOPED_TRACE(c.message);
    reset();
    set_teakey("a key of sixteen");  // so that it fills all 16 bytes
    options.tea_on = c.xtea ? 0 : 1;
    options.xtea_on = c.xtea ? 1 : 0;
    options.msb_first = c.msb;
    options.strong = c.strong;
    fill_random(rng, flashbuf.data(), flashbuf.size());
    const Buffer original = flashbuf;
    testing::internal::CaptureStdout();
    encrypt_flashbuf();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.message);
    Buffer buf = flashbuf;
    const std::string text = "a key of sixteen";
    const Bytes key_bytes(text.begin(), text.end());
    const Bytes key = c.msb != 0 ? reverse_groups(key_bytes) : key_bytes;
    decipher_image(buf, c.xtea ? PassCipher::xtea : PassCipher::tea, c.msb != 0,
                   c.strong != 0 ? PassMode::strong : PassMode::fast, key.data());
    EXPECT_EQ(buf, original);
  }
}

TEST(CryptFlashbuf, NoCipherLeavesImageAndPrintsNothing) {
  reset();
  options.strong = 1;
  options.msb_first = 1;
  const Buffer before = flashbuf;
  testing::internal::CaptureStdout();
  encrypt_flashbuf();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(flashbuf, before);
}

}  // namespace
