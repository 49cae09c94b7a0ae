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
// One write of a whole line, one thread at a time. A line that cannot have
// the lock within a short wait, or any once the process has begun to exit,
// is dropped and counted; the count goes out as a note "# dropped=<count>"
// before the next line written, or at exit. After a failed write, one line
// on standard output says so and nothing more is written.
void write_whole(const char *text, std::size_t length) noexcept;
// The note of dropped lines at the process's exit, without the lock.
void write_dropped_at_exit() noexcept;

// The value of an environment variable; empty when it is unset.
std::wstring environment_value(const wchar_t *name);

// Opens the file named by the variable, "%p" standing for the process id,
// and writes the run's header; false, after one line on standard output,
// when it cannot be opened or another process traces into it.
bool open_trace_file(const std::wstring &name);
bool trace_file_open() noexcept;

}  // namespace tvc::trace
