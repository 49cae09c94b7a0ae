// Calls and time per export in a call trace file (TVCVRTRT_TRACE), in the
// manner of "ltrace -c".
#pragma once

#include <cstdio>

// Prints one row per export, the most total time first: its share of all
// the time, total microseconds, calls, microseconds per call and name, then
// a total row. Returns 0; on a file that cannot be read, or one with lines
// that are not trace lines (skipped and counted, the rest summarized),
// prints a one-line error last and returns 1.
int summarize_trace(const char *path, FILE *out);
