#include "front/flashbuf.h"

std::array<std::uint8_t, FLASHBUF_SIZE + FLASHBUF_TAIL_SIZE> flashbuf{};
