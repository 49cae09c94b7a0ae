// Following a call trace file (TVCVRTRT_TRACE) while a program writes it.
// A trace on disk is mapped in stretches: the file is longer than its lines
// and ends in the zero bytes reserved for the next ones, so a follower that
// waits for the file to grow (tail -f) sees nothing new. This one reads at
// the offset after the last line it printed, passes over the reserved zeros,
// and prints each line once it is complete.
#pragma once

#include <cstdio>

namespace tvc_trace {

struct follow_timing {
    // How often the file is looked at while nothing new is there.
    unsigned poll_ms = 100;
    // How long zero bytes before written lines are taken for a line still
    // being copied in (a writer gives a line at most 200 ms); after that they
    // are space that a process which ended abruptly took and never filled,
    // and are passed over.
    unsigned gap_ms = 2000;
};

// Prints the lines of the trace at path on out, from its start, and then
// each line as it is written, until the process is ended. Only reads: the
// file is opened for reading, sharing every access, so the writer and its
// exclusive checks see no other writer. A file that does not exist yet is
// waited for; one that is cut below the lines printed (deleted and made
// again) is followed again from its start, with a note. Control characters
// are shown as the summary shows them. Returns 1, with a one-line error on
// messages, when the file cannot be opened or read, is no file on a disk,
// or out cannot be written.
int follow_trace(const char *path, std::FILE *out, std::FILE *messages, const follow_timing &timing = {});

}  // namespace tvc_trace
