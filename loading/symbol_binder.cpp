// The binder's failure, out of line: the template inlined at every slot only calls it.
#include "loading/symbol_binder.h"

#include <windows.h>

#include <string>

#include "tvcvrtrt/api_exception.h"
#include "loading/last_error.h"

namespace tvc {

namespace detail {

void throw_missing_symbol(HMODULE module, const char *name) {
    record_last_error();
    char module_file[1024] = {};
    // One byte short of the buffer, so the name stays terminated even where
    // the system does not terminate a truncated one.
    ::GetModuleFileNameA(module, module_file, sizeof module_file - 1);
    throw apiException(std::string("Fatal error finding symbol ") + name + " in " + module_file +
                       " Error: " + last_error_text());
}

}  // namespace detail

}  // namespace tvc
