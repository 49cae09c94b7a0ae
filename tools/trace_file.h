// Reading a call trace file (TVCVRTRT_TRACE). A file holds one run per
// opening of the trace by a process, each begun by a header line
//   # pid=<process id> start=<UTC wall-clock time> exe=<executable path>
// and followed by the call lines of that run
//   <thread id> <start> <export>(<arguments>) = <result> <duration>us
// with the start in microseconds since the header. Times are kept as whole
// nanoseconds, so that totals are exact and a time that is not a plain
// decimal number (inf, nan, a sign) is no time at all.
#pragma once

#include <string>
#include <vector>

namespace tvc_trace {

struct call {
    unsigned long thread = 0;
    bool has_start = false;  // lines written before runs had headers lack it
    long long start_ns = 0;
    std::string export_name;
    std::string arguments;  // the text between the parentheses
    std::string result;
    long long duration_ns = 0;
};

struct run {
    bool has_header = false;  // false for call lines before the first header
    unsigned long pid = 0;
    std::string started;
    std::string executable;
    std::vector<call> calls;
};

struct trace {
    std::vector<run> runs;
    // Line numbers (from 1) of lines that are neither headers nor calls.
    std::vector<unsigned long long> malformed_lines;
};

// False, with a one-line reason, when the file cannot be read.
bool read_trace(const char *path, trace &content, std::string &error);

// "12.345" as 12345 nanoseconds for microseconds text; false for anything
// but digits with an optional fraction.
bool parse_microseconds(const std::string &text, long long &nanoseconds);

}  // namespace tvc_trace
