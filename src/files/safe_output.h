// Output files that appear whole or not at all.
#pragma once

#include <cstddef>

// Writes `size` bytes into a temporary file beside `target` and renames it
// onto `target` only after every byte was written and the file was closed
// without error. Refuses a target that exists and is read-only, and one in a
// read-only directory. On any failure the temporary file is removed, an
// existing target is left as it was, and the result is false.
bool write_file_whole(const char* target, const void* data, std::size_t size);
