// What of the program's state the trace's own work could change: the
// thread's last error, errno, and the floating-point status flags and
// control word of SSE, the unit that the trace's arithmetic uses (it runs
// no x87 instruction, so the x87 state stays the program's by itself). Kept for the lifetime of a local object and put back at its
// end, so that the program and the runtime see them as the bound function
// left them.
#pragma once

#include <windows.h>

#include <xmmintrin.h>

#include <cerrno>

namespace tvc::trace {

class program_state {
public:
    program_state() noexcept : last_error_(::GetLastError()), errno_(errno), mxcsr_(_mm_getcsr()) {}
    ~program_state() {
        _mm_setcsr(mxcsr_);
        errno = errno_;
        ::SetLastError(last_error_);
    }
    program_state(const program_state &) = delete;
    program_state &operator=(const program_state &) = delete;

private:
    DWORD last_error_;
    int errno_;
    unsigned int mxcsr_;
};

}  // namespace tvc::trace
