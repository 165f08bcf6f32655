// Which input file laid each image byte, and which bytes a file laid more
// than once: what the overlap warnings are made of. One bit per image byte
// and input file, so marking a whole image costs a pass over 976 words
// rather than over its 0xF400 bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "front/conversion_steps.h"

// Inputs are numbered as the run's name table holds them, below
// MAX_HEXFILES; a lone file, as the reader's own callers read it, is input 0.

// Clears what `input` laid before, so the next file in its place starts afresh.
void forget_laid_bytes(std::size_t input);

// Marks image bytes [begin, end) as laid by `input`; bytes it laid before are
// marked as laid twice. `end` is at most the image size.
void mark_laid_bytes(std::size_t input, std::size_t begin, std::size_t end);

// Inclusive addresses; 64 bits, since data past the image can lie far beyond it.
struct ByteRange {
  std::uint64_t first;
  std::uint64_t last;
};

// Merged ranges in address order: the first few of them, how many there are
// and how many bytes they hold.
struct LaidRanges {
  std::array<ByteRange, 3> shown;
  std::size_t count;
  std::size_t bytes;
};

// The bytes `input` laid more than once.
LaidRanges laid_twice(std::size_t input);

// The bytes both `one` and `other` laid.
LaidRanges laid_by_both(std::size_t one, std::size_t other);
