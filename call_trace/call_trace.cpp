// The call trace. Each bound slot that TVCVRTRT_TRACE_FILTER selects gets a
// tracing entry and a traced target: the entry formats the arguments, times
// the call of the target, and appends one line (trace_line.h) to the file
// (trace_output.h). Forwarders stay as they are; locked forwarders reach
// their entries through their slots inside the API lock (locked_tracing.cpp),
// direct forwarders through stubs in assembly (direct_tracing.cpp).
#include "call_trace/call_trace.h"

#include "call_trace/trace_filter.h"
#include "call_trace/trace_output.h"
#include "call_trace/tracing_entries.h"

#include <windows.h>

#include <string>

namespace tvc {

namespace {

// Reads the variables, opens the file, writes the header and pins the
// library; tracing stays off when anything fails, memory included.
void start_call_trace() noexcept {
    try {
        // An empty value names no file, as if the variable were unset.
        const std::wstring name = trace::environment_value(trace_file_variable);
        if (name.empty() || !trace::read_trace_filter(trace::environment_value(trace_filter_variable))) return;
        trace::report_patterns_without_exports();
        if (!trace::open_trace_file(name)) return;
    } catch (...) {
        return;
    }
    // A direct call's tracing entry is a frame of this library on the
    // caller's stack until the call returns: the library stays loaded
    // until the process ends, so that a thread inside such a call when
    // the program frees the library returns into code still there.
    HMODULE pinned = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                         reinterpret_cast<const wchar_t *>(&start_call_trace), &pinned);
}

}  // namespace

// init_proxy_libraries is exported and may run on several threads at once:
// the trace starts once, and the others wait until its clock is chosen and
// its header written before any tracing entry goes in front.
void install_call_trace() {
    static INIT_ONCE started = INIT_ONCE_STATIC_INIT;
    ::InitOnceExecuteOnce(
        &started,
        [](INIT_ONCE *, void *, void **) -> BOOL {
            start_call_trace();
            return TRUE;
        },
        nullptr, nullptr);
    if (!trace::trace_file_open()) return;
    trace::put_locked_tracing_entries_in_front();
    trace::put_direct_tracing_entries_in_front();
}

void finish_call_trace_at_exit() noexcept { trace::write_dropped_at_exit(); }

}  // namespace tvc
