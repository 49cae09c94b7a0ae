// Errors: tracing never fails a call; a bad filter or file or a failed write turns it off, said once on standard output.
// The call trace: with TVCVRTRT_TRACE naming a file, every forwarded call is
// written to it as one line. It sits behind the forwarding slots, so that
// without the variable nothing of it is on any call path.
#pragma once

namespace tvc {

// The variables that turn the trace on and choose its exports, read in wide
// characters: the file's name may hold any character.
inline constexpr wchar_t trace_file_variable[] = L"TVCVRTRT_TRACE";
inline constexpr wchar_t trace_filter_variable[] = L"TVCVRTRT_TRACE_FILTER";

// Puts a tracing entry in front of every bound slot that the filter
// (TVCVRTRT_TRACE_FILTER) selects, once the bind routines have filled them
// all; a slot that already holds its tracing entry is left as it is, so that
// a repeated call never wraps twice. The variables are read, and the file
// opened for appending with a header line that starts the run, on the first
// call only; a bad filter or a file that cannot be opened is reported once
// on standard output and leaves tracing off. The lock slots stay untraced: every locked call enters and leaves
// through them, and the trace shows the calls, not the locking.
void install_call_trace();

// At the process's exit (its DLL_PROCESS_DETACH): the note of lines dropped
// since the last one written.
void finish_call_trace_at_exit() noexcept;

}  // namespace tvc
