// Calls and time per export in a call trace file (TVCVRTRT_TRACE), in the
// manner of "ltrace -c", one table per run of the file.
#pragma once

#include <cstdio>

struct trace_summary_options {
    int run = 0;  // 1 for the first run of the file, ...; 0 for every run
    bool json = false;
};

// Prints, for each run chosen, a line naming the run (process id, start time,
// executable), then one row per export, the most total time first: its share
// of the run's time, total microseconds, calls, microseconds per call and
// name, then a total row. With json, one JSON object instead. Returns 0; on
// a file that cannot be read, a run that the file lacks, or lines that are
// neither headers nor calls (skipped and counted, the rest summarized),
// prints a one-line error last (on out; in JSON as "error") and returns 1.
int summarize_trace(const char *path, const trace_summary_options &options, FILE *out);
