// Reading a call trace file (TVCVRTRT_TRACE) line by line, in the format of
// call_trace/trace_format.h. The reader holds one line at a time, never the
// file, so a trace of any size is read in the same memory, and it reads a
// pipe as well as a file.
#pragma once

#include "call_trace/trace_format.h"
#include "common/unique_resource.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace tvc_trace {

// The run that a call line belongs to: the one whose header precedes it.
// With one process per file that is exact; lines of processes that
// interleave in one file cannot be told apart.
struct run {
    unsigned long long number = 0;  // 1 for the first run of the file
    // False for call lines before the file's first header (written before
    // runs had headers) and for the lines after a damaged header.
    bool has_header = false;
    std::uint32_t pid = 0;
    std::string started;
    long long started_us = 0;  // since 1970-01-01
    std::string clock;         // what the times were read from; empty in older headers
    long long clock_hz = 0;
    std::string executable;
};

class trace_reader {
public:
    // False, with a one-line reason, when the file cannot be opened.
    bool open(const char *path, std::string &error);

    // Goes to the next call line or to the start of the next run, passing
    // over blank lines, notes and lines not in the format (counted). False
    // at the end of the file, or when it cannot be read (read_error() then
    // says why).
    bool next();

    // Whether the reader stands at the start of a run (current_run() is the
    // new run) or at a call line (call() is the line, current_run() its run).
    bool at_run_start() const { return at_run_start_; }
    const run &current_run() const { return run_; }
    // Valid until the next call of next().
    const call_fields &call() const { return call_; }

    unsigned long long malformed_lines() const { return malformed_; }
    unsigned long long first_malformed_line() const { return first_malformed_; }
    const std::string &read_error() const { return read_error_; }

private:
    bool next_line(std::string_view &line);
    void count_malformed();
    void begin_run(const header_fields *header);

    std::string path_;
    tvc::unique_handle file_;
    std::vector<char> chunk_;
    std::size_t chunk_begin_ = 0;
    std::size_t chunk_end_ = 0;
    bool at_end_ = false;
    // A line that continues beyond the chunk read; an overlong one is
    // dropped as it comes and only remembered as such.
    std::string pending_;
    bool overlong_ = false;
    unsigned long long line_number_ = 0;
    unsigned long long malformed_ = 0;
    unsigned long long first_malformed_ = 0;
    std::string read_error_;
    bool at_run_start_ = false;
    run run_;
    call_fields call_;
};

// Text from the file as it may be written to a terminal: C0 and C1 control
// characters and DEL as \xNN (\u00NN for C1), and the bytes of a C1 control
// in UTF-8 as \xc2\xNN whatever the code page makes of them, so that a
// hostile file cannot move the cursor, retitle or recolour the terminal.
std::string shown(const std::string &text);

// The system's text for an error code, without its line end.
std::string system_text(unsigned long code);

// A file opened for writing by a narrow path of any length; null with errno
// set when it cannot be.
std::FILE *open_output(const char *path);

}  // namespace tvc_trace
