// Standard output as a build log needs it: every message there at once, and a
// message that could not be written counted as a failure.
#pragma once

// Line buffered, so a log holds every message as soon as it is printed, also
// when the run is killed.
void buffer_stdout_by_line();

// `status`, or the failure status after a line on standard error when any
// write to standard output failed. The files the run wrote stay.
int check_stdout(int status);
