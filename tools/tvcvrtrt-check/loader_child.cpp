#include "tools/tvcvrtrt-check/loader_child.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "loading/last_error.h"
#include "loading/library_loader.h"
#include "loading/runtime_location.h"
#include "loading/symbol_binder.h"
#include "tools/tvcvrtrt-check/bounded_child.h"
#include "tools/tvcvrtrt-check/family_symbols.h"
#include "tools/tvcvrtrt-check/front_library.h"
#include "tools/tvcvrtrt-check/loader_answer.h"
#include "tvcvrtrt/api_exception.h"

namespace tvc_check {

namespace {

// The system's texts end in a line break; a report line does not.
std::string without_line_break(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

void check_symbols(HMODULE module, const family_table &table, library_check &library) {
    library.symbol_count = table.symbol_count;
    for (std::size_t index = 0; index < table.symbol_count; ++index) {
        void (*slot)() = nullptr;
        try {
            tvc::bind_symbol(module, slot, table.symbols[index]);
        } catch (const tvc::apiException &failure) {
            library.missing.push_back(
                {table.symbols[index], without_line_break(tvc::last_error_text()), without_line_break(failure.what())});
        }
    }
}

}  // namespace

int serve_library_check(const char *file) {
    become_bounded_child();
    const family_table *table = family_of_file(file);
    if (table == nullptr) return child_refused;
    const tvc::runtime_location location = tvc::find_runtime(inputs_as_at_attach());
    if (location.error != nullptr) return child_refused;
    // This process stands in for one that attached the library: the
    // library's loader takes the runtime library directory from its paths.
    tvc::publish_runtime_paths(location.paths);
    library_check library;
    try {
        // The library's own loader: the full path in the runtime library
        // directory, never a bare name.
        library.loaded = true;
        check_symbols(tvc::load_runtime_library(table->file), *table, library);
    } catch (const tvc::apiException &failure) {
        library.loaded = false;
        library.load_message = without_line_break(failure.what());
        library.load_reason = without_line_break(tvc::last_error_text());
    }
    std::fputs(loader_answer(library).c_str(), stdout);
    std::fflush(stdout);
    // What the libraries do when they are unloaded is not part of the check:
    // the command never unloaded them.
    TerminateProcess(GetCurrentProcess(), child_answered);
    return child_answered;
}

}  // namespace tvc_check
