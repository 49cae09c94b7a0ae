#include "component_info/query_reasons.h"

#include <cstdarg>
#include <cstdio>

#include "common/verbose.h"

namespace tvc {

void report_query_failure(HRESULT cause, const char *what, ...) noexcept {
    if (!verbose) return;
    char text[640];
    va_list arguments;
    va_start(arguments, what);
    std::vsnprintf(text, sizeof text, what, arguments);
    va_end(arguments);
    std::printf("Component query: %s: 0x%08lX\n", text, static_cast<unsigned long>(cause));
    std::fflush(stdout);
}

}  // namespace tvc
