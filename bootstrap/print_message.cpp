// Printing through the runtime's utilities library when it is in the process.
#include <cstdio>
#include <exception>
#include <new>
#include <string>

#include "bootstrap/library_loader.h"
#include "bootstrap/literal_format.h"
#include "bootstrap/sibling_libraries.h"
#include "bootstrap/symbol_binder.h"
#include "tvcvrtrt/diagnostics.h"

namespace {

using utilities_print_function = int (*)(const char *format);

// Looked up afresh on every call, so a utilities library loaded since the last
// call is used. Null when the library is not in the process or has no printer.
utilities_print_function find_utilities_printer() {
    utilities_print_function print = nullptr;
    try {
        if (tvcvrtrtIsLibLoaded(tvc::utilities_library_file)) {
            DWORD error_code = 0;
            // By bare name: the loader hands back the library already loaded.
            if (HMODULE utilities = tvc::load_library_file(tvc::utilities_library_file, error_code)) {
                tvc::bind_symbol(utilities, print, "bxPrintf");
            }
        }
    } catch (const std::exception &) {
        // No printer of the utilities library: the message goes through printf.
    }
    return print;
}

}  // namespace

int tvcvrtrtPrintMessage(const char *message) {
    if (!message) return -1;
    std::string format;
    try {
        format = tvc::literal_format(message);
    } catch (const std::bad_alloc &) {
        return -1;
    }
    if (utilities_print_function print = find_utilities_printer()) return print(format.c_str());
    return std::printf(format.c_str());
}
