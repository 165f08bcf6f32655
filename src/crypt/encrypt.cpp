// The one crypt file that reads `options`: it picks the cipher, word order,
// mode and key from the settings and prints the progress lines.

#include "crypt/block_ciphers.h"
#include "crypt/crypt.h"
#include "crypt/encrypt_passes.h"
#include "front/console.h"
#include "front/flashbuf.h"
#include "front/options.h"

namespace {

// Progress lines by cipher, then mode (fast, strong), then word order (lsb, msb).
constexpr const char* PASS_MESSAGES[2][2][2] = {
    {{"  ... encrypting flashbuf lsb first using TEA fast encryption\n",
      "  ... encrypting flashbuf msb first using TEA fast encryption\n"},
     {"  ... encrypting flashbuf lsb first using TEA strong encryption\n",
      "  ... encrypting flashbuf msb first using TEA strong encryption\n"}},
    {{"  ... encrypting flashbuf lsb first using XTEA fast encryption\n",
      "  ... encrypting flashbuf msb first using XTEA fast encryption\n"},
     {"  ... encrypting flashbuf lsb first using XTEA strong encryption\n",
      "  ... encrypting flashbuf msb first using XTEA strong encryption\n"}},
};

void print_and_run_pass(PassCipher cipher) {
  const bool msb_first = options.msb_first != 0;
  const bool strong = options.strong != 0;
  print_message("%s", PASS_MESSAGES[cipher == PassCipher::xtea][strong][msb_first]);
  encrypt_pass(cipher, msb_first ? WordOrder::msb_first : WordOrder::lsb_first,
               strong ? PassMode::strong : PassMode::fast,
               msb_first ? options.teakey_msb.data() : options.teakey.data());
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
  if (options.tea_on != 0) print_and_run_pass(PassCipher::tea);
  if (options.xtea_on != 0) print_and_run_pass(PassCipher::xtea);
}
