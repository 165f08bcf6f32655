// The names of the outputs' temporary files: ".qrv-XXXXXX.tmp" beside the
// target, the X's random letters or digits.
#pragma once

// The form of every name, its terminating zero included.
constexpr char TEMP_NAME[] = ".qrv-XXXXXX.tmp";

// Writes a fresh random name of that form at NAME, its zero included.
void make_temp_name(char* name);
