// The trace's output: the file named by TVCVRTRT_TRACE, the header line that
// starts each run in it, the clock the lines' times are read from, and the
// one write that puts a line in the file.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace tvc::trace {

// The performance counter now.
long long ticks_now() noexcept;
// Ticks as nanoseconds since the header; whole nanoseconds, rounded down.
long long nanoseconds_since_header(long long ticks) noexcept;

// The thread inside a write, or 0.
DWORD line_writer() noexcept;
// One write of a whole line, one thread at a time.
void write_whole(const char *text, std::size_t length) noexcept;

// The value of an environment variable; empty when it is unset.
std::wstring environment_value(const wchar_t *name);

// Opens the file for appending and writes the run's header; false, after
// one line on standard output, when it cannot be opened.
bool open_trace_file(const std::wstring &name);
bool trace_file_open() noexcept;

}  // namespace tvc::trace
