// The temporary files this run created and that still exist, removed when
// SIGINT, SIGTERM or SIGHUP (Ctrl-C, Ctrl-Break or a closed console on
// Windows) ends the run, so an interrupted run leaves no temporary file.
#pragma once

#include "files/temp_name.h"

// Installs the handlers; each removes the listed files, then ends the
// process as the signal would have. A signal that was ignored when the
// process started stays ignored. Called once at the start of a run.
void install_cleanup_handlers();

// A free entry in the list, or -1 when every entry is taken.
int free_cleanup_slot();

// An entry is filled together with creating its file, and emptied together
// with renaming or removing it, while the handlers are held off: so the list
// never names a file that is not this run's, nor misses one that is.
void hold_cleanup_handlers();
void release_cleanup_handlers();

// Only while the handlers are held off.
void list_for_cleanup(int slot, const TempPath& name);
void unlist_for_cleanup(int slot);
