// Intel HEX input and the two outputs. Each call opens, uses and closes its
// file, prints its own messages, and returns FILE_OK or FILE_FAILED.
#pragma once

constexpr int FILE_OK = 0;
constexpr int FILE_FAILED = -1;

// Lays the records of one Intel HEX file into flashbuf.
int read_hex_file(const char* name);

// The first options.limit image bytes, raw.
int write_bin_file(const char* name);

// The first options.limit image bytes, rounded up to whole 16-byte records.
int write_hex_file(const char* name);
