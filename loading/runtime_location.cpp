#include "loading/runtime_location.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tvcvrtrt/api_exception.h"
#include "common/code_page_text.h"
#include "common/unlimited_path.h"

namespace tvc {

namespace {
runtime_paths_t published_paths{};
}  // namespace
const runtime_paths_t &runtime_paths = published_paths;

void publish_runtime_paths(const runtime_paths_t &paths) noexcept { published_paths = paths; }

// ---- candidates

bool append_bounded(runtime_path &buffer, const char *text) {
    const std::size_t used = strnlen(buffer, runtime_path_capacity);
    const std::size_t added = std::strlen(text);
    if (used + added >= runtime_path_capacity) return false;
    std::memcpy(buffer + used, text, added + 1);
    return true;
}

bool end_with_backslash(runtime_path &buffer) {
    // The last character, not the last byte: that can be the second half of a
    // double-byte character.
    if (ends_with_character(buffer, '\\')) return true;
    return append_bounded(buffer, "\\");
}

bool offer_candidate(runtime_path &target, const char *candidate) {
    target[0] = '\0';
    // Resolved and tested through the wide functions: the narrow ones stop at
    // MAX_PATH, so a directory of 250 characters, or the root two levels
    // above one ("<dir>\..\..\" is longer than the root it names), would
    // count as missing although the buffers hold it. The result is narrowed
    // without loss, or in its short form.
    std::wstring wide;
    if (!widen(candidate, std::strlen(candidate), wide)) return false;
    const std::wstring full = full_path(wide.empty() ? std::wstring(L".") : wide);
    std::string narrow;
    if (full.empty() || narrow_path(full.c_str(), narrow) != ERROR_SUCCESS || narrow.size() >= runtime_path_capacity) {
        return false;
    }
    std::memcpy(target, narrow.c_str(), narrow.size() + 1);
    // A resolved path that fills the buffer has no room left for the
    // backslash: refused, like any path too long to hold.
    if (!end_with_backslash(target)) {
        target[0] = '\0';
        return false;
    }
    const DWORD attributes = ::GetFileAttributesW(file_system_path(full).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool compose_candidate(runtime_path &composed, const char *base,
                       std::initializer_list<const char *> components, trailing_backslash trailing) {
    composed[0] = '\0';
    bool fits = append_bounded(composed, base);
    for (const char *component : components) {
        fits = fits && end_with_backslash(composed) && append_bounded(composed, component);
    }
    if (fits && trailing == trailing_backslash::yes) fits = end_with_backslash(composed);
    if (!fits) composed[0] = '\0';
    return fits;
}

bool offer_composed(runtime_path &target, const char *base,
                    std::initializer_list<const char *> components, trailing_backslash trailing) {
    runtime_path composed;
    if (!compose_candidate(composed, base, components, trailing)) {
        target[0] = '\0';
        return false;
    }
    return offer_candidate(target, composed);
}

// ---- the report

namespace {

// Index of the conversion in a report line: where its value starts.
constexpr std::size_t value_column(const char *format) {
    std::size_t i = 0;
    while (format[i] != '%') ++i;
    return i;
}

constexpr const char module_line[] = "Module path:                       %s\n";
constexpr const char root_line[] = "VRTROOT path:                      %s\n";
constexpr const char lib_line[] = "Runtime lib path:                  %s\n";
constexpr const char toolbox_line[] = "Installed toolbox path:            %s\n";
constexpr const char prefix_line[] = "Toolbox prefix:                    %s\n";
constexpr const char deploy_line[] = "Installed deployment toolbox path: %s\n";

// Callers parse the report by column: every label fills exactly 35 characters.
static_assert(value_column(module_line) == 35 && value_column(root_line) == 35 &&
              value_column(lib_line) == 35 && value_column(toolbox_line) == 35 &&
              value_column(prefix_line) == 35 && value_column(deploy_line) == 35,
              "report labels are 35 characters wide");

}  // namespace

void print_runtime_paths() {
    std::printf(module_line, runtime_paths.module_dir);
    std::printf(root_line, runtime_paths.vrt_root);
    std::printf(lib_line, runtime_paths.runtime_lib_dir);
    std::printf(toolbox_line, runtime_paths.toolbox_dir);
    std::printf(prefix_line, runtime_paths.toolbox_prefix);
    std::printf(deploy_line, runtime_paths.deploy_toolbox_dir);
    std::fflush(stdout);
}

// ---- the location

namespace {

void clear(runtime_path &path) { path[0] = '\0'; }

void copy(runtime_path &target, const runtime_path &source) {
    clear(target);
    append_bounded(target, source);
}

}  // namespace

bool locate_module_dir(runtime_paths_t &paths, HMODULE module) {
    runtime_path directory{};
    // Taken through the wide function and narrowed without loss (or in its
    // short form): a name with "?" in place of characters names no directory.
    // A host that loaded the library by a "\\?\" name gets that name back,
    // in which the root's ".." would not be collapsed: it is turned into the
    // ordinary form first. The directory is taken by our own code, up to the
    // last backslash: the C runtime's path splitting gives an empty directory
    // for one longer than 256 characters. A name too long for the buffer is
    // refused, not cut.
    std::wstring wide_name;
    std::string file_name;
    if (module_file_name(module, wide_name) == ERROR_SUCCESS &&
        narrow_path(ordinary_path(wide_name).c_str(), file_name) == ERROR_SUCCESS &&
        file_name.size() < runtime_path_capacity) {
        if (const char *last_backslash = find_last_character(file_name.c_str(), '\\')) {
            std::memcpy(directory, file_name.c_str(),
                        static_cast<std::size_t>(last_backslash - file_name.c_str()) + 1);
        }
    }
    // An empty candidate would be the working directory, which is not ours.
    return directory[0] != '\0' && offer_candidate(paths.module_dir, directory);
}

bool locate_vrt_root(runtime_paths_t &paths, const char *vrtroot) {
    if (vrtroot != nullptr) {
        if (offer_candidate(paths.vrt_root, vrtroot)) return true;
        clear(paths.vrt_root);
    }
    return offer_composed(paths.vrt_root, paths.module_dir, root_from_module_dir);
}

void locate_runtime_lib_dir(runtime_paths_t &paths) {
    if (!offer_composed(paths.runtime_lib_dir, paths.vrt_root, runtime_lib_subdirs)) {
        copy(paths.runtime_lib_dir, paths.module_dir);
    }
}

void locate_toolbox_dirs(runtime_paths_t &paths, const char *toolbox_tovan_dir) {
    const bool given = toolbox_tovan_dir != nullptr && offer_candidate(paths.toolbox_dir, toolbox_tovan_dir);
    if (!given) {
        clear(paths.toolbox_dir);
        clear(paths.toolbox_prefix);
        if (!offer_composed(paths.toolbox_dir, paths.vrt_root, toolbox_subdirs) &&
            !offer_composed(paths.toolbox_dir, paths.vrt_root, short_toolbox_subdirs)) {
            clear(paths.toolbox_dir);
        }
    }
    // With no toolbox directory this resolves "\.." to the current drive's
    // root, which the installed layout relies on.
    if (!offer_composed(paths.toolbox_prefix, paths.toolbox_dir, toolbox_prefix_from_toolbox_dir, trailing_backslash::no)) {
        clear(paths.toolbox_prefix);
    }
    if (!offer_composed(paths.deploy_toolbox_dir, paths.toolbox_prefix, deploy_toolbox_subdirs, trailing_backslash::no)) {
        clear(paths.deploy_toolbox_dir);
    }
}

namespace {

// A directory variable of the process environment, read in wide characters:
// the narrow environment would hold "?" in place of a character outside the
// code page, and the variable would be passed over without a word.
std::optional<std::string> directory_variable(const char *name, bool &held) {
    held = true;
    const std::wstring wide_name = widened(name);
    std::wstring value(256, L'\0');
    for (;;) {
        ::SetLastError(ERROR_SUCCESS);
        const DWORD length = ::GetEnvironmentVariableW(wide_name.c_str(), &value[0], static_cast<DWORD>(value.size()));
        if (length == 0 && ::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
        if (length < value.size()) {
            value.resize(length);
            break;
        }
        value.resize(length);
    }
    std::string narrow;
    if (narrow_path(value.c_str(), narrow) == ERROR_SUCCESS) return narrow;
    held = false;
    return narrowed(value);
}

}  // namespace

location_inputs location_inputs_of_process(HMODULE module) {
    location_inputs inputs;
    inputs.module = module;
    inputs.vrtroot = directory_variable(vrtroot_variable, inputs.vrtroot_held);
    inputs.toolbox_tovan_dir = directory_variable(toolbox_tovan_dir_variable, inputs.toolbox_tovan_dir_held);
    inputs.verbose = std::getenv(verbose_variable);
    return inputs;
}

std::string unheld_variable_note(const char *name) {
    return std::string(name) +
           " not used: its value holds characters outside the process code page, and names no directory "
           "with a short name that the code page holds\n";
}

runtime_location find_runtime(const location_inputs &inputs) {
    runtime_location found;
    found.verbose = inputs.verbose != nullptr;
    if (!inputs.vrtroot_held) found.notes += unheld_variable_note(vrtroot_variable);
    if (!inputs.toolbox_tovan_dir_held) found.notes += unheld_variable_note(toolbox_tovan_dir_variable);
    const char *vrtroot = inputs.vrtroot ? inputs.vrtroot->c_str() : nullptr;
    const char *toolbox_tovan_dir = inputs.toolbox_tovan_dir ? inputs.toolbox_tovan_dir->c_str() : nullptr;
    runtime_paths_t &paths = found.paths;
    if (!locate_module_dir(paths, inputs.module)) {
        found.error = "Fatal error: cannot get path to runtime module";
    } else if (!locate_vrt_root(paths, vrtroot)) {
        found.error = "Fatal error: cannot get path to VRT root";
    } else {
        locate_runtime_lib_dir(paths);
        locate_toolbox_dirs(paths, toolbox_tovan_dir);
    }
    return found;
}

void locate_runtime(HMODULE module) {
    const runtime_location found = find_runtime(location_inputs_of_process(module));
    publish_runtime_paths(found.paths);
    if (found.verbose) verbose = true;
    if (verbose && !found.notes.empty()) {
        std::fputs(found.notes.c_str(), stdout);
        std::fflush(stdout);
    }
    if (found.error != nullptr) throw apiException(found.error);
    if (verbose) print_runtime_paths();
}

}  // namespace tvc
