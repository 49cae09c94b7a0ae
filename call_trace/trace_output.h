// The trace's output: the file named by TVCVRTRT_TRACE, the header line that
// starts each run in it, the clock the lines' times are read from, and the
// one write that puts a line in the file.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace tvc::trace {

// What CPUID says of the processor's time-stamp counter: whether it runs at
// one rate on every core whatever the power state (leaf 0x80000007, EDX bit
// 8), and whether a hypervisor runs the system (leaf 1, ECX bit 31).
struct time_stamp_counter_facts {
    bool invariant = false;
    bool under_hypervisor = false;
    // The hypervisor's own word that the counter stays steady for this
    // machine's life: KVM's stable clock source (it shows the counter as
    // invariant only to a machine that cannot be moved to another host),
    // or Hyper-V's invariant counter controls.
    bool hypervisor_keeps_it_steady = false;
};
time_stamp_counter_facts time_stamp_counter_of_processor() noexcept;

// Whether the run's clock is the time-stamp counter: only where it is
// invariant, and either no hypervisor runs the system or the hypervisor
// says that it keeps the counter steady. A virtual machine can otherwise be
// moved to another host, whose counter reads otherwise, and its counter
// then jumps; the performance counter, which the system keeps steady across
// such a move, is read there instead, as the platform advises.
bool time_stamp_counter_trusted(const time_stamp_counter_facts &facts) noexcept;

// The run's clock now: the time-stamp counter where it is trusted, else the
// performance counter.
long long ticks_now() noexcept;
// Ticks as nanoseconds since the header; whole nanoseconds, rounded down.
long long nanoseconds_since_header(long long ticks) noexcept;

// The thread inside a write, or 0.
DWORD line_writer() noexcept;
// A whole line into the file. To a file on a disk: its space reserved with
// one atomic add in a mapped stretch and the line copied in, no lock unless
// the next stretch is due. To a pipe or a device: one write within a bound,
// one thread at a time. A line that cannot have a lock within a short wait
// (none once such a wait has timed out and the lock is still held), or any
// once the process has begun to exit, is dropped and counted; the count goes
// out as a note "# dropped=<count>" before the next line written, or at
// exit. After a failed write or mapping, a reader that took no line within
// the bound, or a file cut under its views, one line on standard output says
// so and nothing more is written.
void write_whole(const char *text, std::size_t length) noexcept;
// At the process's exit: the note of dropped lines, without the lock, and
// the file cut to the lines written.
void write_dropped_at_exit() noexcept;

// Runs inside the lock that mapping the next stretch takes, as a thread
// that maps one is: for a test to end a thread there.
void inside_stretch_mapping(void (*inside)()) noexcept;

// The value of an environment variable; empty when it is unset.
std::wstring environment_value(const wchar_t *name);

// Opens the file named by the variable, "%p" standing for the process id,
// and writes the run's header; false, after one line on standard output,
// when it cannot be opened or another program holds it open.
bool open_trace_file(const std::wstring &name);
bool trace_file_open() noexcept;

}  // namespace tvc::trace
