// What a traced call costs: a locked forwarder whose slot holds its tracing
// entry against the same forwarder with the bound function in the slot,
// alternating in one run, best of several rounds each. The trace goes to NUL
// unless TVCVRTRT_TRACE names a file, so by default the figure is the
// formatting and the system's write without a disk behind it.
#include "forwarding/call_trace.h"
#include "forwarding/forwarding_slots.h"
#include "tvcvrtrt7_17.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

CRITICAL_SECTION runtime_mutex;
__attribute__((noinline)) void enter_runtime_mutex() { ::EnterCriticalSection(&runtime_mutex); }
__attribute__((noinline)) void leave_runtime_mutex() { ::LeaveCriticalSection(&runtime_mutex); }
__attribute__((noinline)) std::int32_t close_nothing(const void *) { return 0; }

using close_function = decltype(TVC_SLOT(vltClose));

double seconds_for(int calls, close_function in_slot) {
    TVC_SLOT(vltClose) = in_slot;
    const auto start = std::chrono::steady_clock::now();
    for (int call = 0; call < calls; ++call) vltClose_proxy(nullptr);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
    ::InitializeCriticalSection(&runtime_mutex);
    if (::GetEnvironmentVariableA("TVCVRTRT_TRACE", nullptr, 0) == 0) {
        ::SetEnvironmentVariableA("TVCVRTRT_TRACE", "NUL");
    }
    TVC_SLOT(tvcAcquireMutex) = &enter_runtime_mutex;
    TVC_SLOT(tvcReleaseMutex) = &leave_runtime_mutex;
    TVC_SLOT(vltClose) = &close_nothing;
    tvc::install_call_trace();
    const close_function tracing_entry = TVC_SLOT(vltClose);
    if (tracing_entry == &close_nothing) {
        std::printf("the trace file did not open: nothing to measure\n");
        return 1;
    }
    constexpr int calls = 20000;
    constexpr int rounds = 9;
    double traced = 1e30, untraced = 1e30;
    for (int round = 0; round < rounds; ++round) {
        traced = std::min(traced, seconds_for(calls, tracing_entry));
        untraced = std::min(untraced, seconds_for(calls, &close_nothing));
    }
    std::printf("traced locked forwarder / untraced  %7.1fx  (%.0f ns vs %.1f ns a call)\n", traced / untraced,
                traced / calls * 1e9, untraced / calls * 1e9);
    return 0;
}
