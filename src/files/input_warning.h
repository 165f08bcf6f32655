// Warnings about input that reads without error yet is likely not what its
// user meant: one line on standard error each, "qrv_tools: NAMES: warning:
// TEXT", in the form of the reasons given for files. Standard output and the
// exit status stay as they are, so no script reading them changes.
#pragma once

#include "files/laid_bytes.h"

void print_input_warning(const char* names, const char* text);

// "LEAD RANGESTAIL": ranges as 0x0100-0x010F; of more than three, the first
// three and "and 12 more ranges, 4,096 bytes in all".
void print_ranges_warning(const char* names, const char* lead, const LaidRanges& ranges, const char* tail);
