#include "tools/tvcvrtrt-check/environment_effects.h"

#include <windows.h>

#include <cstring>
#include <optional>
#include <string>

#include "loading/path_prefix.h"
#include "call_trace/call_trace.h"
#include "call_trace/trace_output.h"
#include "common/code_page_text.h"
#include "tools/tvcvrtrt-check/text.h"

namespace tvc_check {

namespace {

bool names_directory(const char *value) {
    tvc::runtime_path probe{};
    return tvc::offer_candidate(probe, value);
}

// What a variable naming a directory does: the library takes the directory
// only when it exists, and only in a form the code page holds and the
// runtime paths have room for. fallback: what the library does instead.
std::string directory_effect(const char *value, bool held, const char *used, const char *fallback,
                             const char *unset) {
    if (value == nullptr) return unset;
    if (!held) {
        return "set but not used: its value holds characters outside the process code page (" +
               std::to_string(GetACP()) + "), and the folder has no short (8.3) name that the code page holds; " +
               fallback;
    }
    if (names_directory(value)) return used;
    if (std::strlen(value) >= tvc::runtime_path_capacity - 1) {
        return "set but not used: longer than the " + std::to_string(tvc::runtime_path_capacity - 2) +
               " characters a runtime path holds; " + fallback;
    }
    return std::string("set but not used: not an existing directory; ") + fallback;
}

const char *text_of(const std::optional<std::string> &value) { return value ? value->c_str() : nullptr; }

environment_variable variable(const char *name, const char *value, const std::string &effect) {
    return {name, value != nullptr, value != nullptr ? value : "", effect};
}

// A trace variable as the library reads it, in wide characters; unset apart
// from empty, which the library takes alike but a user may not expect.
std::optional<std::string> trace_variable(const wchar_t *name) {
    ::SetLastError(ERROR_SUCCESS);
    if (::GetEnvironmentVariableW(name, nullptr, 0) == 0 && ::GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
        return std::nullopt;
    }
    return narrowed(tvc::trace::environment_value(name));
}

}  // namespace

void describe_environment(runtime_check &check, const tvc::location_inputs &inputs,
                          const tvc::runtime_location &location) {
    const std::optional<std::string> trace = trace_variable(tvc::trace_file_variable);
    const std::optional<std::string> filter = trace_variable(tvc::trace_filter_variable);
    check.environment = {
        variable(tvc::vrtroot_variable, text_of(inputs.vrtroot),
                 directory_effect(text_of(inputs.vrtroot), inputs.vrtroot_held, "used: the runtime root",
                                  "the root is two levels above the library's directory",
                                  "not set: the root is two levels above the library's directory")),
        variable(tvc::toolbox_tovan_dir_variable, text_of(inputs.toolbox_tovan_dir),
                 directory_effect(text_of(inputs.toolbox_tovan_dir), inputs.toolbox_tovan_dir_held,
                                  "used: the installed toolbox directory",
                                  "the toolbox directory is looked for under the root",
                                  "not set: the toolbox directory is looked for under the root")),
        variable(tvc::verbose_variable, inputs.verbose,
                 inputs.verbose != nullptr ? "set: the library prints these paths and every load"
                                           : "not set: the library prints nothing at load"),
        variable(narrowed(tvc::trace_file_variable).c_str(), text_of(trace),
                 !trace          ? "not set: calls are not traced"
                 : trace->empty() ? "set but empty: calls are not traced"
                                  : "set: from initialization on, every forwarded call is appended to this file"),
        variable(narrowed(tvc::trace_filter_variable).c_str(), text_of(filter),
                 !filter ? "not set: a trace takes every export"
                         : "set: a trace takes only the exports these patterns select"),
    };
    if (location.error != nullptr) check.location_error = location.error;
    const tvc::runtime_paths_t &paths = location.paths;
    environment_variable path_variable;
    path_variable.name = "PATH";
    path_variable.set = check.location_error.empty();
    if (path_variable.set) {
        // Decided as the library decides it: PATH in wide characters.
        std::wstring old_path, new_path, directory;
        const bool set = tvc::read_path_variable(old_path);
        tvc::widen(paths.runtime_lib_dir, std::strlen(paths.runtime_lib_dir), directory);
        switch (tvc::prefixed_path(set ? old_path.c_str() : nullptr, directory.c_str(), new_path)) {
        case tvc::path_prefix::put_in_front:
            path_variable.value = std::string(paths.runtime_lib_dir) + (old_path.empty() ? "" : ";");
            path_variable.effect = "the library puts the runtime library directory in front:";
            break;
        case tvc::path_prefix::already_in_front:
            path_variable.value = narrowed(old_path.substr(0, old_path.find(L';')));
            path_variable.effect = "left as it is: the runtime library directory is already in front:";
            break;
        case tvc::path_prefix::does_not_fit:
            path_variable.effect = "left as it is: the runtime library directory does not fit in front of it";
            break;
        case tvc::path_prefix::name_holds_separator:
            path_variable.effect = "left as it is: the runtime library directory's name holds \";\", which PATH "
                                   "cannot hold in one element";
            break;
        }
    } else {
        path_variable.effect = "left as it is: the library does not load";
    }
    check.environment.push_back(path_variable);
    check.paths = {{"module_dir", paths.module_dir},         {"vrt_root", paths.vrt_root},
                   {"runtime_lib_dir", paths.runtime_lib_dir}, {"toolbox_dir", paths.toolbox_dir},
                   {"toolbox_prefix", paths.toolbox_prefix},   {"deploy_toolbox_dir", paths.deploy_toolbox_dir}};
}

}  // namespace tvc_check
