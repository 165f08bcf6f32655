// Intel HEX input and the two outputs. Each call opens, uses and closes its
// file, prints its own messages, and returns 0 on success or -1 on failure.
#pragma once

// Lays the records of one Intel HEX file into flashbuf.
int read_hex_file(const char* name);

// The first options.limit image bytes, raw.
int write_bin_file(const char* name);

// The first options.limit image bytes, rounded up to whole 16-byte records.
int write_hex_file(const char* name);
