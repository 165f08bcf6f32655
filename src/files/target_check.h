// Whether a target may be replaced, and the mode its new file gets.
// Read-only is judged by the permission bits, not by a trial write: a build
// run as an administrator must not overwrite what is marked read-only either.
// The target is the directory entry named, not what a symlink there points
// to, since the rename replaces the entry: a link counts as a new file.
#pragma once

#include <cstddef>

// Reads the umask once, before any file is created.
void learn_new_file_mode();

// False if TARGET exists and is read-only, or its directory (the first
// DIRECTORY characters) is. Otherwise FINAL_MODE is the replaced target's
// permission bits, or 0666 less the umask for a new file.
bool may_replace_target(const char* target, std::size_t directory, unsigned& final_mode);
