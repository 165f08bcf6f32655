// Warnings about input that reads without error yet is likely not what its
// user meant, and about what a run drops, cuts or assumes: one line on
// standard error each, "qrv_tools: NAMES: warning: TEXT", in the form of the
// reasons given for files. Standard output and the exit status stay as they
// are, so no script reading them changes. Ranges read as 0x0100-0x010F; of
// more than three, the first three and "and 12 more ranges, 4,096 bytes in
// all".
#pragma once

#include <cstddef>

#include "files/laid_bytes.h"

// "NAME: warning: no end-of-file record; the file may be cut short"
void warn_missing_end_record(const char* name);

// "NAME: warning: no data records"
void warn_no_data_records(const char* name);

// "NAME: warning: data for RANGES given twice; the later record is kept"
void warn_given_twice(const char* name, const LaidRanges& ranges);

// "KEPT, OTHER: warning: both give data for RANGES; KEPT is kept"
void warn_both_give(const char* kept, const char* other, const LaidRanges& ranges);

// "NAME: warning: data for RANGES lies past the limit 0xLIMIT and is not in
// the outputs"
void warn_past_limit(const char* name, const LaidRanges& ranges, std::size_t limit);

// "warning: no input file; the outputs carry only the fill"
void warn_no_input_file();

// "-k: warning: ..." for a key of `length` characters, not 16: what was cut,
// or what completes it. Never a character of the key itself.
void warn_key_length(std::size_t length);

// "SOURCE_DATE_EPOCH: warning: not a decimal number; ..."
void warn_source_date_epoch_ignored();
