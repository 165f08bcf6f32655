#include "front/flashbuf.h"

FlashImage flashbuf{};
