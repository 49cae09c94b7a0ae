// What of the program's state the trace's own work could change: the
// thread's last error, errno, and the floating-point status flags and
// control word of SSE, the unit that the trace's arithmetic uses (it runs
// no x87 instruction, so the x87 state stays the program's by itself). Each
// is kept for the lifetime of a local object and put back at its end, so
// that the program and the runtime see them as the bound function left them.
//
// A call line's usual path (integers formatted, an atomic add, a copy) calls
// neither the system nor the C runtime and does no floating-point
// arithmetic, so it keeps nothing: each of these costs more than the rest of
// the path. Only the steps that can change a piece keep it: text read through
// the system (last error), floating-point values formatted (SSE), and the
// rare paths that call the system or the C runtime (all of it).
#pragma once

#include <windows.h>

#include <xmmintrin.h>

#include <cerrno>

namespace tvc::trace {

class kept_last_error {
public:
    kept_last_error() noexcept : last_error_(::GetLastError()) {}
    ~kept_last_error() { ::SetLastError(last_error_); }
    kept_last_error(const kept_last_error &) = delete;
    kept_last_error &operator=(const kept_last_error &) = delete;

private:
    DWORD last_error_;
};

// Also sets the control word the C runtime starts with (round to nearest,
// every exception masked), so that a number's text does not depend on the
// program's rounding mode.
class kept_floating_point {
public:
    kept_floating_point() noexcept : mxcsr_(_mm_getcsr()) { _mm_setcsr(default_mxcsr); }
    ~kept_floating_point() { _mm_setcsr(mxcsr_); }
    kept_floating_point(const kept_floating_point &) = delete;
    kept_floating_point &operator=(const kept_floating_point &) = delete;

private:
    static constexpr unsigned int default_mxcsr = 0x1F80;
    unsigned int mxcsr_;
};

class program_state {
public:
    program_state() noexcept : errno_(errno) {}
    ~program_state() { errno = errno_; }
    program_state(const program_state &) = delete;
    program_state &operator=(const program_state &) = delete;

private:
    kept_last_error last_error_;
    kept_floating_point floating_point_;
    int errno_;
};

}  // namespace tvc::trace
