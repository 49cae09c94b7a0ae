#include "tools/tvcvrtrt-check/location_notes.h"

#include <windows.h>

#include <cstring>
#include <initializer_list>
#include <string>

#include "loading/runtime_location.h"
#include "tools/tvcvrtrt-check/text.h"

namespace tvc_check {

namespace {

// A directory of the runtime's layout under base, as a note names it.
std::string layout_text(const std::string &base, std::initializer_list<const char *> components) {
    std::string text = base;
    for (const char *component : components) text += std::string(component) + "\\";
    return text;
}

}  // namespace

void add_location_notes(runtime_check &check, const tvc::runtime_paths_t &paths) {
    if (check.location_error.empty() && paths.toolbox_dir[0] == '\0' && paths.toolbox_prefix[0] != '\0') {
        check.notes.push_back(std::string("toolbox_prefix is ") + paths.toolbox_prefix +
                              " because no toolbox directory was found: the prefix is the toolbox directory's "
                              "parent, and for an empty one that is the root of the working directory's drive. "
                              "Set " + tvc::toolbox_tovan_dir_variable + ", or install the toolbox in " +
                              layout_text("<vrt_root>", tvc::short_toolbox_subdirs) + ".");
    }
    if (check.location_error.empty() && std::strcmp(paths.runtime_lib_dir, paths.module_dir) == 0) {
        const std::string expected = layout_text(paths.vrt_root, tvc::runtime_lib_subdirs);
        if (std::strcmp(expected.c_str(), paths.runtime_lib_dir) != 0) {
            const std::string why = expected.size() >= tvc::runtime_path_capacity
                                        ? " is longer than the " + std::to_string(tvc::runtime_path_capacity - 1) +
                                              " characters a runtime path holds"
                                        : " does not exist";
            check.notes.push_back("runtime_lib_dir is the library's own directory because " + expected + why +
                                  ": the runtime libraries are taken from beside the library. "
                                  "Set " + tvc::vrtroot_variable + " to the runtime's root, or install the runtime "
                                  "libraries in " + layout_text("<vrt_root>", tvc::runtime_lib_subdirs) + ".");
        }
    }
    // The library reaches such a path through the wide functions; the
    // runtime gets it as a narrow path, which the narrow file functions
    // refuse beyond MAX_PATH.
    for (const auto &[name, value] : check.paths) {
        if (value.size() < MAX_PATH) continue;
        check.notes.push_back(std::string(name) + " is " + std::to_string(value.size()) + " characters long: the "
                              "library uses it, but the runtime is handed its paths in narrow form, which the "
                              "system's narrow file functions take only up to " + std::to_string(MAX_PATH - 1) +
                              " characters, so the runtime may not reach it. Install the runtime in a folder with "
                              "a shorter path.");
    }
    // The location takes the folder from the file's full name, which must
    // fit a runtime path too.
    const std::wstring file = program_path();
    if (!check.location_error.empty() && file.size() >= tvc::runtime_path_capacity) {
        check.notes.push_back("the full name of a file in the library's folder, " + narrowed(file) + ", is " +
                              std::to_string(file.size()) + " characters long, more than the " +
                              std::to_string(tvc::runtime_path_capacity - 1) + " a runtime path holds, so the "
                              "library cannot name its own folder. Install the runtime in a folder with a shorter "
                              "path.");
    }
    bool lossless = true;
    const std::string directory = narrowed(program_directory(), &lossless);
    if (lossless) return;
    const std::string where = "the folder " + directory + " has a name with characters outside the process code "
                              "page (" + std::to_string(GetACP()) + "), shown as \"?\"; the library reads its own "
                              "path in that code page, ";
    if (!check.location_error.empty()) {
        check.notes.push_back(where + "and the volume gives no short (8.3) name for it, so the library cannot find "
                                      "itself. Move the runtime to a folder whose name has only characters of the "
                                      "code page.");
    } else {
        check.notes.push_back(where + "so it goes by the folder's short (8.3) name, as module_dir shows.");
    }
}

}  // namespace tvc_check
