// Warnings about input that reads without error yet is likely not what its
// user meant, and about what a run drops, cuts or assumes: one line on
// standard error each, in the shapes print_diagnostic gives ("NAME:LINE:
// warning: TEXT" where a record is concerned). Notes tell what needs no
// change. Standard output and the exit status stay as they are, so no script
// reading them changes. Ranges read as 0x0100-0x010F; of more than three, the
// first three and "and 12 more ranges, 4,096 bytes in all".
#pragma once

#include <cstddef>
#include <cstdint>

#include "files/laid_bytes.h"

// "NAME: warning: no end-of-file record; the file may be cut short"
void warn_missing_end_record(const char* name);

// "NAME: warning: no data records"
void warn_no_data_records(const char* name);

// For the bytes file `input` gave more than once, with other values: "NAME:LINE:
// warning: data for RANGES given twice with other values; the later record is
// kept"; with the same values: "NAME:LINE: note: data for RANGES given twice
// with the same values". LINE is the first record giving them again.
void report_given_twice(const char* name, std::size_t input);

// Differing: "KEPT:LINE: warning: KEPT and OTHER give different data for
// RANGES; KEPT is kept"; alike: "KEPT:LINE: note: KEPT and OTHER give the
// same data for RANGES". LINE is KEPT's first record concerned.
void report_both_give(const char* kept, std::uint64_t line, const char* other, const LaidRanges& ranges, Again kind);

// "NAME:LINE: warning: data for RANGES lies past the limit 0xLIMIT and is not
// in the outputs", LINE being the first record concerned.
void warn_past_limit(const char* name, std::uint64_t line, const LaidRanges& ranges, std::size_t limit);

// "qrv_tools: warning: no input file; the outputs carry only the fill"
void warn_no_input_file();

// "qrv_tools: warning: the key has ..." (with a key file, "FILE: warning: ...")
// for a key of `length` characters, not 16: what was cut, or what completes
// it. Never a character of the key itself.
void warn_key_length(const char* key_file, std::size_t length);

// "qrv_tools: warning: SOURCE_DATE_EPOCH is not a decimal number; ..."
void warn_source_date_epoch_ignored();
