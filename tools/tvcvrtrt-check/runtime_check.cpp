#include "tools/tvcvrtrt-check/runtime_check.h"

#include "loading/runtime_location.h"
#include "tools/tvcvrtrt-check/environment_effects.h"
#include "tools/tvcvrtrt-check/family_symbols.h"
#include "tools/tvcvrtrt-check/front_library.h"
#include "tools/tvcvrtrt-check/library_check.h"
#include "tools/tvcvrtrt-check/location_notes.h"

namespace tvc_check {

bool runtime_check::everything_binds() const {
    if (!location_error.empty()) return false;
    for (const library_check &library : libraries) {
        if (!library.loaded || !library.missing.empty()) return false;
    }
    return true;
}

runtime_check check_runtime() {
    runtime_check check;
    check.library = find_front_library();
    const tvc::location_inputs inputs = inputs_as_at_attach();
    const tvc::runtime_location location = tvc::find_runtime(inputs);
    describe_environment(check, inputs, location);
    add_location_notes(check, location.paths);
    if (!check.location_error.empty()) return check;
    for (const family_table &table : families()) {
        check.libraries.push_back(check_library(table, location.paths.runtime_lib_dir));
    }
    return check;
}

}  // namespace tvc_check
