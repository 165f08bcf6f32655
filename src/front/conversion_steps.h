// The steps of the conversion run that stand on their own: the fill of the
// image and the input names. Only the run and its tests call them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "front/options.h"

constexpr std::size_t MAX_HEXFILES = 4;

// Input names in reading order, indexed by input: the last name of the list is input 0.
using NameTable = std::array<TextField, MAX_HEXFILES>;

// Fills the image and its tail with 0xFF, or with draws of a generator
// seeded with `seed` (the clock's whole seconds in a run).
void fill_flashbuf(bool random, std::uint32_t seed);

// Cuts options.infile_list at its commas into `names`, last name first.
// False after printing "too many hexfiles" when a fifth name is left.
bool split_infile_list(NameTable& names);

// Appends ".hex" to every non-empty name without a '.' anywhere: a name with
// one, even in its directory part, is taken as written, since a wrong input
// name fails the run loudly.
void add_hex_extensions(NameTable& names);
