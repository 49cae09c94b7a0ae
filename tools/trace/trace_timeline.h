// A call trace file (TVCVRTRT_TRACE) as a timeline in the Trace Event Format,
// the JSON that the Perfetto UI and chrome://tracing open: one complete
// event per call, on a row per thread of each run's process.
#pragma once

#include <cstdio>

namespace tvc_trace {

// Writes the timeline of the trace at trace_path to output_path, as the
// lines are read: the file is never held, so its size does not matter. Each
// run is a process of its own, numbered as the runs of the file (a process
// id that the system gave to two runs makes two processes), and starts at
// its header's wall-clock time, never before the last call of the run
// before it ends. Returns 0; on a file that cannot be read or written,
// prints a one-line error on messages and returns 1; lines that are neither
// headers nor calls with a start time are skipped, counted in a one-line
// error, and make it 1 too.
int write_trace_timeline(const char *trace_path, const char *output_path, std::FILE *messages);

}  // namespace tvc_trace
