#include "bootstrap/locate_runtime.h"

#include "bootstrap/api_exception.h"
#include "bootstrap/path_candidate.h"
#include "bootstrap/runtime_path_report.h"
#include "bootstrap/runtime_paths.h"

#include <cstdlib>

namespace tvc {

namespace {

void clear(runtime_path &path) { path[0] = '\0'; }

void copy(runtime_path &target, const runtime_path &source) {
    clear(target);
    append_bounded(target, source);
}

}  // namespace

void locate_module_dir(HMODULE module) {
    runtime_path file_name{};
    runtime_path drive_and_dir{};
    if (GetModuleFileNameA(module, file_name, runtime_path_capacity) != 0) {
        // A name cut off at the buffer's end is not terminated on every
        // system version.
        file_name[runtime_path_capacity - 1] = '\0';
        char drive[_MAX_DRIVE];
        runtime_path dir;
        _splitpath(file_name, drive, dir, nullptr, nullptr);
        if (!append_bounded(drive_and_dir, drive) || !append_bounded(drive_and_dir, dir)) {
            clear(drive_and_dir);
        }
    }
    if (!offer_candidate(runtime_paths.module_dir, drive_and_dir)) {
        throw apiException("Fatal error: cannot get path to runtime module");
    }
}

void locate_vrt_root(const char *vrtroot) {
    if (vrtroot != nullptr) {
        if (offer_candidate(runtime_paths.vrt_root, vrtroot)) return;
        clear(runtime_paths.vrt_root);
    }
    if (!offer_composed(runtime_paths.vrt_root, runtime_paths.module_dir, {"..", ".."})) {
        throw apiException("Fatal error: cannot get path to VRT root");
    }
}

void locate_runtime_lib_dir() {
    if (!offer_composed(runtime_paths.runtime_lib_dir, runtime_paths.vrt_root, {"bin", "win64"})) {
        copy(runtime_paths.runtime_lib_dir, runtime_paths.module_dir);
    }
}

void locate_toolbox_dirs(const char *toolbox_tovan_dir) {
    runtime_paths_t &paths = runtime_paths;
    const bool given = toolbox_tovan_dir != nullptr && offer_candidate(paths.toolbox_dir, toolbox_tovan_dir);
    if (!given) {
        clear(paths.toolbox_dir);
        clear(paths.toolbox_prefix);
        if (!offer_composed(paths.toolbox_dir, paths.vrt_root, {"toolbox", "compiler", "vrt", "tovan"}) &&
            !offer_composed(paths.toolbox_dir, paths.vrt_root, {"toolbox", "tovan"})) {
            clear(paths.toolbox_dir);
        }
    }
    // With no toolbox directory this resolves "\.." to the current drive's
    // root, which the installed layout relies on.
    if (!offer_composed(paths.toolbox_prefix, paths.toolbox_dir, {".."}, trailing_backslash::no)) {
        clear(paths.toolbox_prefix);
    }
    if (!offer_composed(paths.deploy_toolbox_dir, paths.toolbox_prefix, {"compiler"}, trailing_backslash::no)) {
        clear(paths.deploy_toolbox_dir);
    }
}

void locate_runtime(HMODULE module) {
    runtime_paths = runtime_paths_t{};
    if (std::getenv("TVCVRTRT_VERBOSE") != nullptr) verbose = true;
    locate_module_dir(module);
    locate_vrt_root(std::getenv("VRTROOT"));
    locate_runtime_lib_dir();
    locate_toolbox_dirs(std::getenv("TOOLBOXTOVANDIR"));
    if (verbose) print_runtime_paths();
}

}  // namespace tvc
