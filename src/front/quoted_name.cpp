#include "front/quoted_name.h"

#include <clocale>
#include <cstring>
#include <cwchar>
#include <cwctype>

namespace {

// One character of a name: its bytes, and whether it shows as itself.
struct Character {
  std::size_t bytes;
  bool printable;
};

// A byte that starts no character of the locale is a character of its own,
// not printable.
Character character_at(const char* text, std::size_t left) {
  std::mbstate_t state{};
  wchar_t wide = 0;
  const std::size_t bytes = std::mbrtowc(&wide, text, left, &state);
  if (bytes == 0 || bytes > left) return {1, false};
  return {bytes, std::iswprint(static_cast<std::wint_t>(wide)) != 0};
}

// Printable ASCII prints in every locale, and control characters in none:
// only a name with other bytes needs the user's locale, read the first time.
bool all_printable(const char* name, std::size_t length) {
  std::size_t ascii = 0;
  while (ascii < length && name[ascii] >= ' ' && name[ascii] <= '~') ++ascii;
  if (ascii == length) return true;
  static const char* const locale = std::setlocale(LC_CTYPE, "");
  static_cast<void>(locale);
  for (std::size_t at = ascii; at < length;) {
    const Character c = character_at(name + at, length - at);
    if (!c.printable) return false;
    at += c.bytes;
  }
  return true;
}

// Appends to a QuotedName, or counts nothing when there is none (a dry run);
// what does not fit is dropped, the NUL always kept.
struct Output {
  QuotedName* text;
  std::size_t used;
  void put(const char* part, std::size_t count) {
    if (text == nullptr) return;
    for (std::size_t i = 0; i < count && used + 1 < text->size(); ++i) (*text)[used++] = part[i];
  }
  void put(const char* part) { put(part, std::strlen(part)); }
};

void put_escape(Output& out, unsigned char byte) {
  constexpr char LETTERS[] = "abtnvfr";  // \a is 7, up to \r at 13
  char escape[5] = {'\\', 0, 0, 0, 0};
  if (byte >= 7 && byte <= 13) {
    escape[1] = LETTERS[byte - 7];
  } else {
    escape[1] = static_cast<char>('0' + (byte >> 6));
    escape[2] = static_cast<char>('0' + (byte >> 3 & 7));
    escape[3] = static_cast<char>('0' + (byte & 7));
  }
  out.put(escape);
}

// The name in single quotes, each run of other characters as $'...' between
// them; true when it ends inside such a run. Starting "inside" reproduces
// what coreutils shows for a name that holds a quote: it writes such a name
// in a second pass, which begins in the state its first pass ended in.
bool shell_escape(Output& out, const char* name, std::size_t length, bool escaping) {
  out.put("'");
  for (std::size_t at = 0; at < length;) {
    const Character c = character_at(name + at, length - at);
    if (name[at] == '\'') {
      out.put("'\\''");
      escaping = false;
    } else if (c.printable) {
      if (escaping) out.put("''");
      escaping = false;
      out.put(name + at, c.bytes);
    } else {
      if (!escaping) out.put("'$'");
      escaping = true;
      for (std::size_t i = 0; i < c.bytes; ++i) put_escape(out, static_cast<unsigned char>(name[at + i]));
    }
    at += c.bytes;
  }
  out.put("'");
  return escaping;
}

}  // namespace

QuotedName quoted_name(const char* name) {
  QuotedName text{};
  Output out{&text, 0};
  const std::size_t length = std::strlen(name);
  if (all_printable(name, length)) {
    out.put(name, length);
    return text;
  }
  bool escaping = false;
  if (std::strchr(name, '\'') != nullptr) {
    Output dry_run{nullptr, 0};
    escaping = shell_escape(dry_run, name, length, false);
  }
  shell_escape(out, name, length, escaping);
  return text;
}
