#include <cstdio>

#include "block_ciphers.h"
#include "crypt.h"
#include "encrypt_passes.h"
#include "flashbuf.h"
#include "options.h"

namespace {

// Progress lines by cipher, then word order (lsb, msb), then mode (fast, strong).
constexpr const char* PASS_MESSAGES[2][2][2] = {
    {{"  ... encrypting flashbuf lsb first using TEA fast encryption\n",
      "  ... encrypting flashbuf lsb first using TEA strong encryption\n"},
     {"  ... encrypting flashbuf msb first using TEA fast encryption\n",
      "  ... encrypting flashbuf msb first using TEA strong encryption\n"}},
    {{"  ... encrypting flashbuf lsb first using XTEA fast encryption\n",
      "  ... encrypting flashbuf lsb first using XTEA strong encryption\n"},
     {"  ... encrypting flashbuf msb first using XTEA fast encryption\n",
      "  ... encrypting flashbuf msb first using XTEA strong encryption\n"}},
};

void run_cipher(PassCipher cipher) {
  const WordOrder order = options.msb_first != 0 ? WordOrder::msb_first : WordOrder::lsb_first;
  const PassMode mode = options.strong != 0 ? PassMode::strong : PassMode::fast;
  const std::uint8_t* key = options.msb_first != 0 ? options.teakey_msb.data() : options.teakey.data();
  std::fputs(PASS_MESSAGES[cipher == PassCipher::xtea][options.msb_first != 0][options.strong != 0], stdout);
  encrypt_pass(cipher, order, mode, key);
}

template <typename Cipher>
void encipher_with_options(const std::uint8_t* src, std::uint8_t* dst, const std::uint8_t* key) {
  const typename Cipher::Schedule schedule = Cipher::schedule(key);
  if (options.msb_first != 0) {
    encipher_block<Cipher, WordOrder::msb_first>(src, dst, schedule);
  } else {
    encipher_block<Cipher, WordOrder::lsb_first>(src, dst, schedule);
  }
}

}  // namespace

void tea_encipher(const std::uint8_t* src, std::uint8_t* dst, const std::uint8_t* key) {
  encipher_with_options<Tea>(src, dst, key);
}

void xtea_encipher(const std::uint8_t* src, std::uint8_t* dst, const std::uint8_t* key) {
  encipher_with_options<Xtea>(src, dst, key);
}

void encrypt_flashbuf() {
  if (options.tea_on != 0) run_cipher(PassCipher::tea);
  if (options.xtea_on != 0) run_cipher(PassCipher::xtea);
}
