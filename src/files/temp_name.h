// Names of temporary files: ".qrv-XXXXXX.tmp" (six random letters and digits)
// in the target's directory. The name does not grow with the target's, so
// every name the file system accepts can be written; being unpredictable, it
// cannot be planted in advance.
#pragma once

#include <array>
#include <cstddef>

// Room for the target's directory and the temporary name.
constexpr std::size_t TEMP_PATH_SIZE = 512;
using TempPath = std::array<char, TEMP_PATH_SIZE>;

// Characters of the name, without its directory and the closing NUL.
constexpr std::size_t TEMP_NAME_LENGTH = 15;

// Length of the target's directory part, with its last separator; 0 for a
// name in the current directory.
std::size_t directory_length(const char* target);

// Writes a fresh name and its closing NUL at NAME, which has room for
// TEMP_NAME_LENGTH + 1 characters. Each call gives another name.
void make_temp_name(char* name);
