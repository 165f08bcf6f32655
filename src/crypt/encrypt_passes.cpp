#include "encrypt_passes.h"

#include <cstddef>

#include "flashbuf.h"

namespace {

template <typename Cipher, WordOrder order>
void run_pass(PassMode mode, const std::uint8_t* key) {
  const typename Cipher::Schedule schedule = Cipher::schedule(key);
  const std::size_t step = mode == PassMode::strong ? 1 : 8;
  std::uint8_t* const image = flashbuf.data();
  for (std::size_t offset = 0; offset < FLASHBUF_SIZE; offset += step) {
    Cipher::template encipher<order>(image + offset, image + offset, schedule);
  }
}

template <typename Cipher>
void run_pass(WordOrder order, PassMode mode, const std::uint8_t* key) {
  if (order == WordOrder::msb_first) {
    run_pass<Cipher, WordOrder::msb_first>(mode, key);
  } else {
    run_pass<Cipher, WordOrder::lsb_first>(mode, key);
  }
}

}  // namespace

void encrypt_pass(PassCipher cipher, WordOrder order, PassMode mode, const std::uint8_t* key) {
  if (cipher == PassCipher::tea) {
    run_pass<Tea>(order, mode, key);
  } else {
    run_pass<Xtea>(order, mode, key);
  }
}
