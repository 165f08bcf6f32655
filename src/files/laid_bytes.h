// Which input file laid each image byte, the values each gave, and which
// bytes were given again, alike or not: what the overlap warnings and notes
// are made of. One bit per image byte and input file, so marking a whole
// image costs a pass over 976 words rather than over its 0xF400 bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "front/conversion_steps.h"

// Inputs are numbered as the run's name table holds them, below
// MAX_HEXFILES, and read in that order; a lone file, as the reader's own
// callers read it, is input 0.

// Clears what `input` laid before, so the next file in its place starts afresh.
void forget_laid_bytes(std::size_t input);

// Marks image bytes [begin, end) as laid by `input`. `end` is at most the
// image size.
void mark_laid_bytes(std::size_t input, std::size_t begin, std::size_t end);

// The lowest image offset from `from` on that any input marked, or
// FLASHBUF_SIZE: bytes below it are new, so a record there needs no
// note_laid_again.
std::size_t next_laid(std::size_t from);

// Before `count` bytes at image offset `begin` are stored for `input`, from
// the record on `line`: which of them `input` itself or an input read before
// it gave already, alike or not. Bytes `input` gave are compared with
// flashbuf, so its own marks must be up to date for the bytes it overwrites.
void note_laid_again(std::size_t input, std::size_t begin, const std::uint8_t* bytes, std::size_t count,
                     std::uint64_t line);

// After a file is read: the values it gave, kept for the files read after
// it. Until the next file is read or two files are compared, flashbuf must
// hold them as the reader left it.
void keep_given_bytes(std::size_t input);

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

// Given again with the same values (`alike`), or with other values.
enum class Again { alike, differing };

// The bytes `input` gave more than once; a byte given differently once
// counts as differing.
LaidRanges laid_twice(std::size_t input, Again kind);

// The bytes both `later` and `earlier` (read before it) gave.
LaidRanges laid_by_both(std::size_t later, std::size_t earlier, Again kind);

// The line of the first record of `input` that gave again bytes that
// `earlier` (or `input` itself) gave before; 0 where none did.
std::uint64_t first_line_again(std::size_t input, std::size_t earlier, Again kind);
