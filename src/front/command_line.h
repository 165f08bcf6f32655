// The command line: applies the switches to `options`, left to right.
#pragma once

// What the caller does after parse_command_line: carry on with the run, or end
// the process at once with a success or failure status.
enum class ParseOutcome { run, exit_success, exit_failure };

// Applies the arguments after the program name to `options`, printing the
// usage text or an error message where one ends the process.
ParseOutcome parse_command_line(int argc, const char* const argv[]);
