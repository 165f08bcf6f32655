// The flash image shared by every stage of a run.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// Bytes of the image: the largest flash of the supported chips.
constexpr std::size_t FLASHBUF_SIZE = 0xF400;

// The strong encryption pass starts a block at every image offset, so the
// blocks at the last seven offsets reach seven bytes past the image. Those
// bytes live here, after the image; no output ever carries them.
constexpr std::size_t FLASHBUF_TAIL_SIZE = 7;

// Indexed by flash address from 0. Only the first FLASHBUF_SIZE bytes are
// the image: size() includes the tail, so loop over FLASHBUF_SIZE instead.
using FlashImage = std::array<std::uint8_t, FLASHBUF_SIZE + FLASHBUF_TAIL_SIZE>;
extern FlashImage flashbuf;
