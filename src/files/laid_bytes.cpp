#include "files/laid_bytes.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "front/flashbuf.h"

namespace {

constexpr std::size_t WORD_BITS = 64;
constexpr std::size_t WORDS = FLASHBUF_SIZE / WORD_BITS;
static_assert(FLASHBUF_SIZE % WORD_BITS == 0, "the image fills whole words");

using Bits = std::array<std::uint64_t, WORDS>;

struct InputMarks {
  Bits laid;
  Bits twice_alike;
  Bits twice_differing;
  // The words ever marked: forgetting and looking for ranges touch only those.
  std::size_t first_word;
  std::size_t end_word;
  // Indexed by the input given before, this one included: the line of the
  // first record that gave its bytes again, alike and differing; 0 for none.
  std::array<std::array<std::uint64_t, 2>, MAX_HEXFILES> first_lines;
};

// Zero at the start of a process: nothing laid yet.
std::array<InputMarks, MAX_HEXFILES> marks;
// Every input's laid bits together, for the one test each record pays.
Bits taken;
// The values each input gave, for the inputs read after it.
std::array<std::array<std::uint8_t, FLASHBUF_SIZE>, MAX_HEXFILES> given;
// The input last read, whose values are still flashbuf's own until the next
// file is read: copied only then, or when two files are compared, so a run
// of one file copies nothing.
constexpr std::size_t NO_INPUT = MAX_HEXFILES;
std::size_t values_in_image = NO_INPUT;

void copy_given_bytes() {
  if (values_in_image == NO_INPUT) return;
  const InputMarks& input_marks = marks[values_in_image];
  const std::size_t begin = input_marks.first_word * WORD_BITS;
  const std::size_t end = input_marks.end_word * WORD_BITS;
  if (begin < end) std::memcpy(given[values_in_image].data() + begin, flashbuf.data() + begin, end - begin);
  values_in_image = NO_INPUT;
}

std::uint64_t word_mask(std::size_t w, std::size_t begin, std::size_t end) {
  std::uint64_t mask = ~std::uint64_t{0};
  if (w == begin / WORD_BITS) mask &= mask << (begin % WORD_BITS);
  if (w == (end - 1) / WORD_BITS) mask &= ~std::uint64_t{0} >> (WORD_BITS - 1 - (end - 1) % WORD_BITS);
  return mask;
}

bool is_set(const Bits& bits, std::size_t address) {
  return (bits[address / WORD_BITS] >> address % WORD_BITS & 1U) != 0;
}
void set(Bits& bits, std::size_t address) { bits[address / WORD_BITS] |= std::uint64_t{1} << address % WORD_BITS; }

void note_line(std::uint64_t& first, std::uint64_t line) {
  if (first == 0) first = line;
}

// The bits of the bytes of word `w` at which the two images agree.
std::uint64_t alike_bits(const std::uint8_t* one, const std::uint8_t* other, std::size_t w) {
  std::uint64_t bits = 0;
  for (std::size_t bit = 0; bit < WORD_BITS; ++bit) {
    if (one[w * WORD_BITS + bit] == other[w * WORD_BITS + bit]) bits |= std::uint64_t{1} << bit;
  }
  return bits;
}

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
      const bool bit_set = (word >> bit & 1U) != 0;
      const std::size_t address = w * WORD_BITS + bit;
      if (bit_set && !open) {
        if (ranges.count < ranges.shown.size()) ranges.shown[ranges.count].first = address;
        ++ranges.count;
      }
      if (!bit_set && open && ranges.count <= ranges.shown.size()) ranges.shown[ranges.count - 1].last = address - 1;
      if (bit_set) ++ranges.bytes;
      open = bit_set;
    }
  }
  if (open && ranges.count <= ranges.shown.size()) ranges.shown[ranges.count - 1].last = end * WORD_BITS - 1;
  return ranges;
}

std::size_t kind_index(Again kind) { return kind == Again::alike ? 0 : 1; }

}  // namespace

void forget_laid_bytes(std::size_t input) {
  copy_given_bytes();
  InputMarks& input_marks = marks.at(input);
  for (std::size_t w = input_marks.first_word; w < input_marks.end_word; ++w) {
    input_marks.laid[w] = 0;
    input_marks.twice_alike[w] = 0;
    input_marks.twice_differing[w] = 0;
    taken[w] = 0;
    for (const InputMarks& other : marks) taken[w] |= other.laid[w];
  }
  input_marks.first_word = 0;
  input_marks.end_word = 0;
  for (InputMarks& other : marks) other.first_lines[input] = {};
  input_marks.first_lines = {};
}

void mark_laid_bytes(std::size_t input, std::size_t begin, std::size_t end) {
  if (begin >= end) return;
  InputMarks& input_marks = marks.at(input);
  const std::size_t first = begin / WORD_BITS;
  const std::size_t last = (end - 1) / WORD_BITS;
  for (std::size_t w = first; w <= last; ++w) {
    const std::uint64_t mask = word_mask(w, begin, end);
    input_marks.laid[w] |= mask;
    taken[w] |= mask;
  }
  if (input_marks.end_word == 0) input_marks.first_word = first;
  input_marks.first_word = std::min(input_marks.first_word, first);
  input_marks.end_word = std::max(input_marks.end_word, last + 1);
}

std::size_t next_laid(std::size_t from) {
  std::size_t w = from / WORD_BITS;
  if (w >= WORDS) return FLASHBUF_SIZE;
  std::uint64_t word = taken[w] & ~std::uint64_t{0} << (from % WORD_BITS);
  while (word == 0) {
    if (++w == WORDS) return FLASHBUF_SIZE;
    word = taken[w];
  }
  std::size_t bit = 0;
  while ((word >> bit & 1U) == 0) ++bit;
  return w * WORD_BITS + bit;
}

void note_laid_again(std::size_t input, std::size_t begin, const std::uint8_t* bytes, std::size_t count,
                     std::uint64_t line) {
  InputMarks& input_marks = marks.at(input);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t address = begin + i;
    if (is_set(input_marks.laid, address)) {
      const bool alike = flashbuf[address] == bytes[i];
      set(alike ? input_marks.twice_alike : input_marks.twice_differing, address);
      note_line(input_marks.first_lines[input][alike ? 0 : 1], line);
    }
    for (std::size_t earlier = 0; earlier < input; ++earlier) {
      if (!is_set(marks[earlier].laid, address)) continue;
      note_line(input_marks.first_lines[earlier][given[earlier][address] == bytes[i] ? 0 : 1], line);
    }
  }
}

void keep_given_bytes(std::size_t input) { values_in_image = input < MAX_HEXFILES ? input : NO_INPUT; }

LaidRanges laid_twice(std::size_t input, Again kind) {
  const InputMarks& input_marks = marks.at(input);
  return ranges_of(input_marks.first_word, input_marks.end_word, [&input_marks, kind](std::size_t w) {
    return kind == Again::alike ? input_marks.twice_alike[w] & ~input_marks.twice_differing[w]
                                : input_marks.twice_differing[w];
  });
}

LaidRanges laid_by_both(std::size_t later, std::size_t earlier, Again kind) {
  copy_given_bytes();
  const InputMarks& marks_later = marks.at(later);
  const InputMarks& marks_earlier = marks.at(earlier);
  const std::size_t begin = std::max(marks_later.first_word, marks_earlier.first_word);
  const std::size_t end = std::min(marks_later.end_word, marks_earlier.end_word);
  return ranges_of(begin, std::max(begin, end), [&](std::size_t w) {
    const std::uint64_t both = marks_later.laid[w] & marks_earlier.laid[w];
    if (both == 0) return both;
    const std::uint64_t alike = alike_bits(given[later].data(), given[earlier].data(), w);
    return both & (kind == Again::alike ? alike : ~alike);
  });
}

std::uint64_t first_line_again(std::size_t input, std::size_t earlier, Again kind) {
  return marks.at(input).first_lines.at(earlier)[kind_index(kind)];
}
