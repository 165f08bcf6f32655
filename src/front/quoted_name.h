// File names as standard error shows them: a name of printable characters as
// it is, so an editor still reads NAME:LINE:, and any other name quoted as
// `ls --quoting-style=shell-escape` shows it, so a newline or an escape
// sequence in a name can neither forge a line nor reach the terminal.
#pragma once

#include <array>
#include <cstddef>

// Room for the longest name a text field holds, every byte escaped as \ooo.
using QuotedName = std::array<char, 5 * 256 + 16>;

// "a.hex" stays a.hex; "a\nb" becomes 'a'$'\n''b'. Printable is judged by the
// user's LC_CTYPE (only the character classes are taken from the locale); a
// byte that is no character there is escaped.
QuotedName quoted_name(const char* name);
