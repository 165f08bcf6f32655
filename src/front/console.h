// Standard output as a build log needs it: every message there at once, and a
// message that could not be written counted as a failure. Standard error in
// the compiler's shape, which editors and CI problem matchers read.
#pragma once

#include <cstddef>
#include <cstdint>

// Line buffered (unbuffered on Windows), so a log holds every message as soon
// as it is printed, also when the run is killed.
void prepare_stdout();

// Every message on standard output goes through here, printf's way. The
// reason of the first write that fails is kept for check_stdout: the run's
// own system calls change errno after it.
[[gnu::format(printf, 1, 2)]] void print_message(const char* format, ...);

// LINE waits for the first message and goes out before it: a line that
// heads standard output unless something asks to come first (--version).
void hold_first_line(const char* line);
// Prints the held line now, if still held.
void release_first_line();
// Drops it unprinted.
void drop_first_line();

enum class Severity { error, warning, note };

// Every line on standard error goes through here, in one of three shapes:
//   NAME:LINE: SEVERITY: TEXT   a line of a file (LINE counts from 1)
//   NAME: SEVERITY: TEXT        a whole file (LINE 0)
//   qrv_tools: SEVERITY: TEXT   no file (NAME nullptr)
// NAME is quoted as quoted_name does. Warnings are counted, and with
// set_warnings_fatal(true) printed as errors; notes never count.
void print_diagnostic(Severity severity, const char* name, std::uint64_t line, const char* text);

// An error about NAME (or, without one, about the run): "NAME: error: [WHAT: ]TEXT",
// WHAT naming the step that failed.
void print_stderr_line(const char* name, const char* what, const char* text);

// "NAME: error: REASON", REASON being strerror(error).
void print_file_error(const char* name, int error);

// From here on every warning is printed as an error, or again as a warning.
void set_warnings_fatal(bool fatal);
// True when fatal warnings were asked for and at least one was printed.
bool fatal_warning_printed();

// `status`, or the failure status after a line on standard error when any
// write to standard output failed, with the reason of the first that failed.
// The files the run wrote stay.
int check_stdout(int status);
