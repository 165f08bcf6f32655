// The ciphers, the passes over the image and encrypt_flashbuf as the options
// drive it. Values from outside the code first: published test vectors for
// single blocks and the fast pass, and the default key over a blank image in
// each order and mode (tests/vectors/tea_xtea_reference.py --check re-checks
// every row of VECTORS and DEFAULT_KEY_CASES in this file). Then properties
// against a decipherment written here from the published algorithms: how the
// two word orders relate, in place against out of place, each pass undone,
// and where a change spreads.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "crypt/block_ciphers.h"
#include "crypt/crypt.h"
#include "crypt/encrypt_passes.h"
#include "front/command_line.h"
#include "front/flashbuf.h"
#include "front/options.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using EncipherFn = void (*)(const std::uint8_t*, std::uint8_t*, const std::uint8_t*);

Bytes from_hex(const std::string& hex) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

// Bytes 0..3 become 3..0, 4..7 become 7..4, and so on.
Bytes reverse_groups(Bytes b) {
  for (std::size_t g = 0; g + 4 <= b.size(); g += 4) {
    std::swap(b[g], b[g + 3]);
    std::swap(b[g + 1], b[g + 2]);
  }
  return b;
}

// Default options and an image of 0xFF, as a fresh run starts.
void reset() {
  options = default_options();
  flashbuf.fill(0xFF);
}

void fill_random(std::mt19937& rng, std::uint8_t* p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) p[i] = static_cast<std::uint8_t>(rng());
}

EncipherFn encipher_fn(PassCipher c) { return c == PassCipher::tea ? tea_encipher : xtea_encipher; }
WordOrder order_of(bool msb) { return msb ? WordOrder::msb_first : WordOrder::lsb_first; }

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
void decipher_image(FlashImage& buf, PassCipher cipher, bool msb, PassMode mode, const std::uint8_t* key) {
  if (mode == PassMode::fast) {
    for (std::size_t o = 0; o < FLASHBUF_SIZE; o += 8) decipher(cipher, msb, buf.data() + o, key);
  } else {
    for (std::size_t o = FLASHBUF_SIZE; o-- > 0;) decipher(cipher, msb, buf.data() + o, key);
  }
}

// Published vectors: single blocks and the fast pass.

struct Vector {
  PassCipher cipher;
  bool msb;  // reference big-endian form, key read through the teakey_msb transform
  const char* key;
  const char* plain;
  const char* cipher_text;
  const char* source;
};

// Where each row comes from, and the word and key byte order it uses.
constexpr const char* BOUNCY_CASTLE = "Bouncy Castle TEATest/XTEATest, big-endian words and key";
constexpr const char* GO_XTEA = "golang.org/x/crypto/xtea tests, big-endian words and key";
constexpr const char* LINUX_CRYPTO =
    "Linux crypto/testmgr.h tea_tv_template/xtea_tv_template, little-endian words and key";

// The 16-byte Linux vectors ("longer_test_vect") appear as their ECB blocks.
const Vector VECTORS[] = {
    {PassCipher::tea, true, "00000000000000000000000000000000", "0000000000000000", "41ea3a0a94baa940", BOUNCY_CASTLE},
    // A TEA key with four different words in msb-first mode: catches key words taken in the wrong byte order.
    {PassCipher::tea, true, "0123456712345678234567893456789a", "0102030405060708", "773dc179878a81c0", BOUNCY_CASTLE},
    {PassCipher::xtea, true, "00000000000000000000000000000000", "0000000000000000", "dee9d4d8f7131ed9", BOUNCY_CASTLE},
    {PassCipher::xtea, true, "000102030405060708090a0b0c0d0e0f", "4142434445464748", "497df3d072612cb5", GO_XTEA},
    {PassCipher::xtea, true, "000102030405060708090a0b0c0d0e0f", "4141414141414141", "e78f2d13744341d8", GO_XTEA},
    {PassCipher::xtea, true, "000102030405060708090a0b0c0d0e0f", "5a5b6e278948d77f", "4141414141414141", GO_XTEA},
    {PassCipher::xtea, true, "00000000000000000000000000000000", "4142434445464748", "a0390589f8b8efa5", GO_XTEA},
    {PassCipher::xtea, true, "00000000000000000000000000000000", "4141414141414141", "ed23375a821a8c2d", GO_XTEA},
    {PassCipher::xtea, true, "00000000000000000000000000000000", "70e1225d6e4e7655", "4141414141414141", GO_XTEA},
    {PassCipher::tea, false, "00000000000000000000000000000000", "0000000000000000", "0a3aea4140a9ba94", LINUX_CRYPTO},
    {PassCipher::tea, false, "0965431166443925513a16100a08126e", "6c6f6e6765725f74", "be7abb81952d1f1e", LINUX_CRYPTO},
    {PassCipher::tea, false, "0965431166443925513a16100a08126e", "6573745f76656374", "dd89a1250421df95", LINUX_CRYPTO},
    {PassCipher::xtea, false, "00000000000000000000000000000000", "0000000000000000", "d8d4e9ded91e13f7", LINUX_CRYPTO},
    {PassCipher::xtea, false, "0965431166443925513a16100a08126e", "6c6f6e6765725f74", "3eceae226056a89d", LINUX_CRYPTO},
};

TEST(CryptVectors, BlockAndFastPassMatchPublishedValues) {
  for (const Vector& v : VECTORS) {
    SCOPED_TRACE(std::string(v.source) + ": " + v.key + " " + v.plain);
    reset();
    options.msb_first = v.msb ? 1 : 0;
    const Bytes key = v.msb ? reverse_groups(from_hex(v.key)) : from_hex(v.key);
    const Bytes plain = from_hex(v.plain);
    const Bytes expected = from_hex(v.cipher_text);
    Bytes out(8);
    encipher_fn(v.cipher)(plain.data(), out.data(), key.data());
    EXPECT_EQ(out, expected);

    // The fast pass on the first and the last block of the image.
    std::memcpy(flashbuf.data(), plain.data(), 8);
    std::memcpy(flashbuf.data() + FLASHBUF_SIZE - 8, plain.data(), 8);
    encrypt_pass(v.cipher, order_of(v.msb), PassMode::fast, key.data());
    EXPECT_EQ(Bytes(flashbuf.begin(), flashbuf.begin() + 8), expected);
    EXPECT_EQ(Bytes(flashbuf.begin() + FLASHBUF_SIZE - 8, flashbuf.begin() + FLASHBUF_SIZE), expected);
  }
}

// Default key "PaleMoonOverHill" over an all-0xFF image (tail 0xFF too);
// computed with tests/vectors/tea_xtea_reference.py from the published algorithm.
struct DefaultKeyCase {
  const char* args[3];
  const char* first16;
  const char* last16;
};
const DefaultKeyCase DEFAULT_KEY_CASES[] = {
    {{"-e+", "-m+", "-s-"}, "4ca62baf613f0bf34ca62baf613f0bf3", "4ca62baf613f0bf34ca62baf613f0bf3"},
    {{"-x+", "-m-", "-s-"}, "c821234ae1ea19fcc821234ae1ea19fc", "c821234ae1ea19fcc821234ae1ea19fc"},
    {{"-e+", "-m+", "-s+"}, "4ccfc891ee09d83b5dc0e6c03baefb38", "1521afc390c86e8eac08750e42148f3e"},
    {{"-x+", "-m-", "-s+"}, "c88afe6fc50bb9069e703e9379f1369c", "838ef2e387980cc7b75a510f20781719"},
};

TEST(CryptFlashbuf, DefaultKeyInEachOrder) {
  for (const DefaultKeyCase& c : DEFAULT_KEY_CASES) {
    SCOPED_TRACE(std::string(c.args[0]) + c.args[1] + c.args[2]);
    reset();
    const char* argv[] = {"qrv_tools", c.args[0], c.args[1], c.args[2]};
    ASSERT_EQ(parse_command_line(4, argv), ParseOutcome::run);
    testing::internal::CaptureStdout();
    encrypt_flashbuf();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(Bytes(flashbuf.begin(), flashbuf.begin() + 16), from_hex(c.first16));
    EXPECT_EQ(Bytes(flashbuf.begin() + FLASHBUF_SIZE - 16, flashbuf.begin() + FLASHBUF_SIZE), from_hex(c.last16));
  }
}

// Single blocks: how the two word orders relate, and enciphering in place
// against into a separate block.

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

// The fast and strong passes over the whole image, and encrypt_flashbuf as
// the options drive it: each pass is undone by the decipherment above.

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
    const FlashImage original = flashbuf;
    encrypt_pass(c.cipher, order_of(c.msb), c.mode, key);
    FlashImage buf = flashbuf;
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
    const FlashImage base = flashbuf;
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
    const FlashImage full_chip = flashbuf;

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
    const FlashImage original = flashbuf;
    testing::internal::CaptureStdout();
    encrypt_flashbuf();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.message);
    FlashImage buf = flashbuf;
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
  const FlashImage before = flashbuf;
  testing::internal::CaptureStdout();
  encrypt_flashbuf();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(flashbuf, before);
}

}  // namespace
