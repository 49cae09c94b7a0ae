// What a traced call costs: a locked and a direct forwarder whose slots hold
// their tracing entries against the same forwarders with the bound functions
// in the slots, alternating in one run, 25 rounds of 20,000 calls each: the
// best round and the median round. The trace goes to a
// file in the temporary directory, deleted afterwards, unless TVCVRTRT_TRACE
// names another (NUL measures the write path of character devices; a FIFO
// read by another program that of pipes).
#include "call_trace/call_trace.h"
#include "forwarding/forwarding_slots.h"
#include "tvcvrtrt7_17.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

CRITICAL_SECTION runtime_mutex;
__attribute__((noinline)) void enter_runtime_mutex() { ::EnterCriticalSection(&runtime_mutex); }
__attribute__((noinline)) void leave_runtime_mutex() { ::LeaveCriticalSection(&runtime_mutex); }
__attribute__((noinline)) std::int32_t close_nothing(const void *) { return 0; }
__attribute__((noinline)) std::int32_t write_nothing(const void *, const void *) { return 0; }

// Calls of export through slot, which holds in_slot meanwhile.
template <typename Function, typename Call>
double seconds_for(int calls, Function &slot, Function in_slot, Call export_call) {
    const Function kept = slot;
    slot = in_slot;
    const auto start = std::chrono::steady_clock::now();
    for (int call = 0; call < calls; ++call) export_call();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    slot = kept;
    return seconds;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The best round shows the line's own work; the median of whole rounds
// (each with its share of stretch changes, the zeros written ahead and the
// file cache's page faults) what a program pays.
template <typename Function, typename Call>
void compare(const char *what, Function &slot, Function untraced, Call export_call) {
    const Function tracing_entry = slot;
    constexpr int calls = 20000;
    constexpr int rounds = 25;
    std::vector<double> traced, plain;
    for (int round = 0; round < rounds; ++round) {
        traced.push_back(seconds_for(calls, slot, tracing_entry, export_call));
        plain.push_back(seconds_for(calls, slot, untraced, export_call));
    }
    const double best_traced = *std::min_element(traced.begin(), traced.end());
    const double best_plain = *std::min_element(plain.begin(), plain.end());
    const double median_traced = median(traced), median_plain = median(plain);
    std::printf("traced %s forwarder / untraced  best %7.1fx  (%.0f ns vs %.1f ns a call), median %7.1fx  (%.0f ns vs "
                "%.1f ns)\n",
                what, best_traced / best_plain, best_traced / calls * 1e9, best_plain / calls * 1e9,
                median_traced / median_plain, median_traced / calls * 1e9, median_plain / calls * 1e9);
}

}  // namespace

int main() {
    ::InitializeCriticalSection(&runtime_mutex);
    char scratch[MAX_PATH + 1] = {};
    if (::GetEnvironmentVariableA("TVCVRTRT_TRACE", nullptr, 0) == 0) {
        char directory[MAX_PATH + 1] = {};
        ::GetTempPathA(sizeof directory, directory);
        ::GetTempFileNameA(directory, "trc", 0, scratch);
        ::SetEnvironmentVariableA("TVCVRTRT_TRACE", scratch);
    }
    TVC_SLOT(tvcAcquireMutex) = &enter_runtime_mutex;
    TVC_SLOT(tvcReleaseMutex) = &leave_runtime_mutex;
    TVC_SLOT(vltClose) = &close_nothing;
    TVC_SLOT(tvcWrite) = &write_nothing;
    tvc::install_call_trace();
    if (TVC_SLOT(vltClose) == &close_nothing) {
        std::printf("the trace file did not open: nothing to measure\n");
        return 1;
    }
    compare("locked", TVC_SLOT(vltClose), &close_nothing, [] { vltClose_proxy(nullptr); });
    compare("direct", TVC_SLOT(tvcWrite), &write_nothing, [] { tvcWrite_proxy(nullptr, nullptr); });
    // Opened with FILE_SHARE_DELETE: gone once the process has closed it.
    if (scratch[0] != '\0') ::DeleteFileA(scratch);
    return 0;
}
