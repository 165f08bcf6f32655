// The tool's entry point.
#pragma once

// The whole tool: banner, command line, conversion. Returns the exit status.
int run_tool(int argc, const char* const argv[]);
