#include "tools/tvcvrtrt-check/library_check.h"

#include <windows.h>

#include <cstddef>
#include <string>

#include "tools/tvcvrtrt-check/bounded_child.h"
#include "tools/tvcvrtrt-check/library_dependencies.h"
#include "tools/tvcvrtrt-check/loader_answer.h"
#include "tools/tvcvrtrt-check/loader_child.h"
#include "tools/tvcvrtrt-check/text.h"

namespace tvc_check {

namespace {

// Loading a library and looking up its symbols takes well under a second.
constexpr DWORD loader_time_limit_ms = 30000;

}  // namespace

library_check check_library(const family_table &table, const char *runtime_lib_dir) {
    library_check library;
    library.family = table.family;
    library.file = table.file;
    library.path = std::string(runtime_lib_dir) + table.file;
    // The load runs in a child: the system's loader may crash or hang on a
    // damaged library, and so may the library's initializer.
    const child_run run = run_bounded_child(own_command_line(check_library_option, table.file), loader_time_limit_ms);
    if (!run.started) {
        library.load_reason = "could not be loaded: no process to load it in could be started";
    } else if (run.over_memory_limit) {
        library.load_reason = std::string("could not be loaded: loading it went past the memory limit of ") +
                              child_memory_limit_text;
    } else if (run.timed_out) {
        library.load_reason = "could not be loaded: the system's loader did not answer within " +
                              std::to_string(loader_time_limit_ms / 1000) + " s";
    } else if (run.status != child_answered) {
        library.load_reason = "could not be loaded: the system's loader crashed, exception " + status_text(run.status);
    } else if (!read_loader_answer(run.answer, library)) {
        library.load_reason = "could not be loaded: the answer of the process that loaded it is damaged";
    }
    if (library.loaded) library.symbol_count = table.symbol_count;
    if (!library.loaded && file_exists(library.path)) {
        std::string problem;
        std::size_t not_looked_up = 0;
        library.missing_dependencies = missing_dependencies(library.path, problem, not_looked_up);
        std::string list;
        for (const std::string &name : library.missing_dependencies) list += (list.empty() ? "" : ", ") + name;
        if (not_looked_up > 0) {
            list += (list.empty() ? "" : ", ") + std::string("and ") + std::to_string(not_looked_up) +
                    " more imported libraries not looked for (the search stops after " +
                    std::to_string(max_names_looked_up) + " names or " +
                    std::to_string(lookup_time_limit_ms / 1000) + " s)";
        }
        if (!list.empty()) {
            library.cause = std::string(table.file) + " is present, but a library it needs is missing: " + list;
        } else if (!problem.empty()) {
            library.cause = std::string(table.file) + " is present, but " + problem;
        }
    }
    return library;
}

}  // namespace tvc_check
