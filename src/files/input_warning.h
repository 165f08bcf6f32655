// Warnings about input that reads without error yet is likely not what its
// user meant: one line on standard error each, "qrv_tools: NAMES: warning:
// TEXT", in the form of the reasons given for files. Standard output and the
// exit status stay as they are, so no script reading them changes. Ranges
// read as 0x0100-0x010F; of more than three, the first three and "and 12 more
// ranges, 4,096 bytes in all".
#pragma once

#include "files/laid_bytes.h"

// "NAME: warning: no end-of-file record; the file may be cut short"
void warn_missing_end_record(const char* name);

// "NAME: warning: no data records"
void warn_no_data_records(const char* name);

// "NAME: warning: data for RANGES given twice; the later record is kept"
void warn_given_twice(const char* name, const LaidRanges& ranges);

// "KEPT, OTHER: warning: both give data for RANGES; KEPT is kept"
void warn_both_give(const char* kept, const char* other, const LaidRanges& ranges);
