// The platform's file calls the whole-or-nothing output makes, each giving 0
// or the system's reason, so the output's flow reads the same on every host.
#pragma once

#include <cstddef>

#include "files/system_error.h"

#ifdef _WIN32
using NativeFile = void*;  // a HANDLE
#else
using NativeFile = int;  // a descriptor
#endif

// The value of a file that is not open.
extern const NativeFile NO_NATIVE_FILE;

// Creates NAME for writing only if nothing of that name exists, not even a
// dangling symlink, private to the user (mode 0600).
SystemError create_new_file(NativeFile& file, const char* name);

// The reason create_new_file gives when the name is taken.
bool is_name_taken(SystemError error);

// Writes all SIZE bytes, or stops at the first failure.
SystemError write_native_file(NativeFile file, const void* data, std::size_t size);

// Gives the open file its permission bits (nothing to do on Windows).
SystemError give_final_mode(NativeFile file, unsigned mode);

SystemError close_native_file(NativeFile& file);

// Renames FROM onto TARGET, replacing the directory entry TARGET in one step.
SystemError replace_file(const char* from, const char* target);

// Async-signal-safe: called from the signal handlers too.
void remove_file(const char* name);
