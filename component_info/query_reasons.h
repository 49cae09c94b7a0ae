// Why a component query left a class or a type library out, or failed: one
// line each on standard output when TVCVRTRT_VERBOSE is set. The exports
// answer with the few results their callers test for (E_FAIL for any
// registry or file trouble), and a class whose type library cannot be
// described is only missing from the answer; the line keeps the cause.
#pragma once

#include <windows.h>

namespace tvc {

// "Component query: <what>: 0x<cause>", what formatted as printf does.
void report_query_failure(HRESULT cause, const char *what, ...) noexcept __attribute__((format(printf, 2, 3)));

// A registry function's answer as the HRESULT that carries it.
inline HRESULT registry_cause(LONG status) noexcept { return HRESULT_FROM_WIN32(static_cast<unsigned long>(status)); }

}  // namespace tvc
