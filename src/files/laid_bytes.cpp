#include "files/laid_bytes.h"

#include <algorithm>
#include <cstdint>

#include "front/flashbuf.h"

namespace {

constexpr std::size_t WORD_BITS = 64;
constexpr std::size_t WORDS = FLASHBUF_SIZE / WORD_BITS;
static_assert(FLASHBUF_SIZE % WORD_BITS == 0, "the image fills whole words");

using Bits = std::array<std::uint64_t, WORDS>;

struct InputMarks {
  Bits laid;
  Bits twice;
  // The words ever marked: forgetting and looking for ranges touch only those.
  std::size_t first_word;
  std::size_t end_word;
};

// Zero at the start of a process: nothing laid yet.
std::array<InputMarks, MAX_HEXFILES> marks;

// The ranges of set bits among the words `word_at(begin..end-1)`, in order.
template <typename WordAt>
LaidRanges ranges_of(std::size_t begin, std::size_t end, WordAt word_at) {
  LaidRanges ranges{};
  bool open = false;
  for (std::size_t w = begin; w < end; ++w) {
    const std::uint64_t word = word_at(w);
    // Whole words inside or outside a range, by far the most, need no bit loop.
    if (word == (open ? ~std::uint64_t{0} : 0)) {
      if (open) ranges.bytes += WORD_BITS;
      continue;
    }
    for (std::size_t bit = 0; bit < WORD_BITS; ++bit) {
      const bool set = (word >> bit & 1U) != 0;
      const std::size_t address = w * WORD_BITS + bit;
      if (set && !open) {
        if (ranges.count < ranges.shown.size()) ranges.shown[ranges.count].first = address;
        ++ranges.count;
      }
      if (!set && open && ranges.count <= ranges.shown.size()) ranges.shown[ranges.count - 1].last = address - 1;
      if (set) ++ranges.bytes;
      open = set;
    }
  }
  if (open && ranges.count <= ranges.shown.size()) ranges.shown[ranges.count - 1].last = end * WORD_BITS - 1;
  return ranges;
}

}  // namespace

void forget_laid_bytes(std::size_t input) {
  InputMarks& input_marks = marks.at(input);
  for (std::size_t w = input_marks.first_word; w < input_marks.end_word; ++w) {
    input_marks.laid[w] = 0;
    input_marks.twice[w] = 0;
  }
  input_marks.first_word = 0;
  input_marks.end_word = 0;
}

void mark_laid_bytes(std::size_t input, std::size_t begin, std::size_t end) {
  if (begin >= end) return;
  InputMarks& input_marks = marks.at(input);
  const std::size_t first = begin / WORD_BITS;
  const std::size_t last = (end - 1) / WORD_BITS;
  for (std::size_t w = first; w <= last; ++w) {
    std::uint64_t mask = ~std::uint64_t{0};
    if (w == first) mask &= mask << (begin % WORD_BITS);
    if (w == last) mask &= ~std::uint64_t{0} >> (WORD_BITS - 1 - (end - 1) % WORD_BITS);
    input_marks.twice[w] |= input_marks.laid[w] & mask;
    input_marks.laid[w] |= mask;
  }
  if (input_marks.end_word == 0) input_marks.first_word = first;
  input_marks.first_word = std::min(input_marks.first_word, first);
  input_marks.end_word = std::max(input_marks.end_word, last + 1);
}

LaidRanges laid_twice(std::size_t input) {
  const InputMarks& input_marks = marks.at(input);
  return ranges_of(input_marks.first_word, input_marks.end_word,
                   [&input_marks](std::size_t w) { return input_marks.twice[w]; });
}

LaidRanges laid_by_both(std::size_t one, std::size_t other) {
  const InputMarks& marks_one = marks.at(one);
  const InputMarks& marks_other = marks.at(other);
  const std::size_t begin = std::max(marks_one.first_word, marks_other.first_word);
  const std::size_t end = std::min(marks_one.end_word, marks_other.end_word);
  return ranges_of(begin, std::max(begin, end), [&](std::size_t w) { return marks_one.laid[w] & marks_other.laid[w]; });
}
