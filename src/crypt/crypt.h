// Encryption of the flash image with TEA or XTEA.
#pragma once

#include <cstdint>

// Encipher the 8-byte block at `src` into `dst` (which may equal `src`; no
// alignment needed). `key` points to 16 bytes read as four words least
// significant byte first; the block's two words are read and stored in the
// order options.msb_first chooses.
void tea_encipher(const std::uint8_t* src, std::uint8_t* dst, const std::uint8_t* key);
void xtea_encipher(const std::uint8_t* src, std::uint8_t* dst, const std::uint8_t* key);

// Encrypts all FLASHBUF_SIZE image bytes in place with the cipher, mode, word
// order and key that `options` chose, printing one line per pass that runs.
void encrypt_flashbuf();
