// The run's input files as they were opened for reading, so that no output
// is ever written over one of them, by whatever name it is reached.
#pragma once

#include <cstddef>
#include <cstdio>

#include "files/system_calls.h"

// Forgets every input file: a run starts with none.
void forget_input_files();

// Notes the file `stream` reads as input `input` (below MAX_HEXFILES), named NAME.
void remember_input_file(std::size_t input, const char* name, std::FILE* stream);

// The name of the input file that NAME leads to, or nullptr for none. Where
// NAME exists but cannot be identified, `error` tells why and the result is
// nullptr: such a target is refused like one whose status cannot be read.
const char* input_file_at(const char* name, SystemError& error);
