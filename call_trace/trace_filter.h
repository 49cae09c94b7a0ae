// TVCVRTRT_TRACE_FILTER: which exports are traced.
#pragma once

#include "forwarding/api_lock_pair.h"

#include <string>

namespace tvc::trace {

// Reads the comma-separated list of export-name patterns; false, after one
// line on standard output, for a bad item.
bool read_trace_filter(const std::wstring &list);

// Whether the filter read last selects the slot of the export, by its own
// name or by the name of an export that reaches the slot (tvcFeval_proxy
// reaches tvcFevalInternal_proxy's).
bool is_traced(const char *export_name);

// One line on standard output for each pattern that no export matches.
void report_patterns_without_exports();

constexpr bool same_text(const char *left, const char *right) {
    while (*left != '\0' && *left == *right) ++left, ++right;
    return *left == *right;
}

// Every locked call goes through these two; tracing them would surround each
// traced line with two more.
constexpr bool is_lock_symbol(const char *symbol) {
    return same_text(symbol, TVC_API_LOCK_ENTER_NAME) || same_text(symbol, TVC_API_LOCK_LEAVE_NAME);
}

}  // namespace tvc::trace
