// How many image bytes an output carries.
#pragma once

#include <cstddef>

#include "front/options.h"

// options.limit, or none for a limit of 0 or below. The command line refuses
// a limit above the image, so the outputs never reach past it.
inline std::size_t output_size() { return options.limit > 0 ? static_cast<std::size_t>(options.limit) : 0; }
