// Standard output as a build log needs it: every message there at once, and a
// message that could not be written counted as a failure.
#pragma once

#include <cstddef>

// Line buffered (unbuffered on Windows), so a log holds every message as soon
// as it is printed, also when the run is killed.
void prepare_stdout();

// Every message on standard output goes through here, printf's way. The
// reason of the first write that fails is kept for check_stdout: the run's
// own system calls change errno after it.
[[gnu::format(printf, 1, 2)]] void print_message(const char* format, ...);

// "qrv_tools: NAME: [WHAT: ]TEXT" on standard error: the form of every line
// there, reasons and warnings alike; without a NAME, "qrv_tools: [WHAT: ]TEXT".
void print_stderr_line(const char* name, const char* what, const char* text);

// "qrv_tools: NAME:LINE: TEXT", the form editors and CI problem matchers jump
// to; LINE counts from 1.
void print_input_error(const char* name, std::size_t line, const char* text);

// "qrv_tools: NAME: REASON" on standard error, REASON being strerror(error).
void print_file_error(const char* name, int error);

// `status`, or the failure status after a line on standard error when any
// write to standard output failed, with the reason of the first that failed.
// The files the run wrote stay.
int check_stdout(int status);
