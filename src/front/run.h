// The tool's entry point and its conversion run: fill, inputs, encryption,
// outputs, in that order.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "front/options.h"

// The process's exit status. A shell sees the failure status as 255.
constexpr int EXIT_STATUS_SUCCESS = 0;
constexpr int EXIT_STATUS_FAILURE = -1;

// The whole tool: banner, command line, conversion. Returns the exit status.
int run_tool(int argc, const char* const argv[]);

constexpr std::size_t MAX_HEXFILES = 4;

// Input names in reading order: the last name of the list sits in slot 0.
using NameTable = std::array<TextField, MAX_HEXFILES>;

// Fills the image and its tail with 0xFF, or with draws of a generator
// seeded with `seed` (the clock's whole seconds in a run).
void fill_flashbuf(bool random, std::uint32_t seed);

// Cuts options.infile_list at its commas into `names`, last name first.
// False after printing "too many hexfiles" when a fifth name is left.
bool split_infile_list(NameTable& names);

// Appends ".hex" to every non-empty name without a '.'.
void add_hex_extensions(NameTable& names);

// Everything after the command line. Returns the exit status.
int run_conversion();
