// Calls and time per export in a call trace file (TVCVRTRT_TRACE), in the
// manner of "ltrace -c", one table per run of the file.
#pragma once

#include <cstdio>
#include <string>

namespace tvc_trace {

struct trace_summary_options {
    // The run's number as the user wrote it (decimal digits, 1 for the first
    // run of the file); empty for every run.
    std::string run;
    bool json = false;
};

// Prints, for each run chosen, a line naming the run (process id, start time,
// executable), then one row per export, the most total time first: its share
// of the run's time, total microseconds, calls, microseconds per call and
// name, then a total row. With json, one JSON object instead. Each run is
// printed when its last line is read: the file is never held, so its size
// does not matter. Returns 0; on a file that cannot be read, a run that the
// file lacks, times that add up beyond what can be counted (that run is left
// out), or lines that are neither headers nor calls (skipped and counted, the
// rest summarized), prints a one-line error last (on out; in JSON as
// "error") and returns 1. Output that cannot be written is reported on
// messages and returns 1 as well.
int summarize_trace(const char *path, const trace_summary_options &options, std::FILE *out, std::FILE *messages);

}  // namespace tvc_trace
