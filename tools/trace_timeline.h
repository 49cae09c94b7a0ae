// A call trace file (TVCVRTRT_TRACE) as a timeline in the Trace Event Format,
// the JSON that the Perfetto UI and chrome://tracing open: one complete
// event per call, on a row per thread of each traced process.
#pragma once

#include <cstdio>

// Writes the timeline of the trace at trace_path to output_path. Returns 0;
// on a file that cannot be read or written, prints a one-line error on
// messages and returns 1; lines that are neither headers nor calls with a
// start time are skipped, counted in a one-line error, and make it 1 too.
int write_trace_timeline(const char *trace_path, const char *output_path, FILE *messages);
