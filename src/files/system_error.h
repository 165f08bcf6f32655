// The platform's error codes, and the one line on standard error that names
// a file and the reason, "qrv_tools: NAME: REASON".
#pragma once

#ifdef _WIN32
using SystemError = unsigned long;  // a DWORD, without windows.h in every includer
#else
using SystemError = int;  // an errno value
#endif

// Reasons for the tool's own refusals, in the platform's codes, so they read
// like the system's own.
extern const SystemError SYSTEM_ACCESS_DENIED;
extern const SystemError SYSTEM_NAME_TOO_LONG;
extern const SystemError SYSTEM_TOO_MANY_FILES;

// REASON is strerror(error): for the C library's calls, on every host.
void print_file_error(const char* name, int error);

// For the platform's own calls; Windows reasons a user meets often are given
// in the C library's words, so they read the same as on other hosts.
void print_system_error(const char* name, SystemError error);
