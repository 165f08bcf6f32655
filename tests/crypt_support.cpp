#include "crypt_support.h"

#include <utility>

#include "crypt/crypt.h"
#include "front/options.h"

namespace crypt_support {

Bytes from_hex(const std::string& hex) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

Bytes reverse_groups(Bytes b) {
  for (std::size_t g = 0; g + 4 <= b.size(); g += 4) {
    std::swap(b[g], b[g + 3]);
    std::swap(b[g + 1], b[g + 2]);
  }
  return b;
}

void reset() {
  options = default_options();
  flashbuf.fill(0xFF);
}

void fill_random(std::mt19937& rng, std::uint8_t* p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) p[i] = static_cast<std::uint8_t>(rng());
}

EncipherFn encipher_fn(PassCipher c) { return c == PassCipher::tea ? tea_encipher : xtea_encipher; }
WordOrder order_of(bool msb) { return msb ? WordOrder::msb_first : WordOrder::lsb_first; }

}  // namespace crypt_support
