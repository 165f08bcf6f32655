// The key read from a file, so that no command line, build log or process
// list shows it.
#pragma once

// Takes the first line of NAME, its LF or CR LF dropped, as -k takes its
// value, with the same warnings; a file its group or others may open draws a
// warning too. False after an error naming the file. Nothing of the key is
// ever printed.
bool apply_key_file(const char* name);
