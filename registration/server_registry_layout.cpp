#include "registration/server_registry_layout.h"

namespace tvc {

using content = layout_content;
using condition = layout_condition;

const layout_row server_layout[16] = {
    {"CLSID\\{clsid}", nullptr, content::friendly_name, condition::always},
    {"AppID\\{clsid}", nullptr, content::friendly_name, condition::always},
    // The application ID is the class ID itself.
    {"CLSID\\{clsid}", "AppID", content::clsid_text, condition::always},
    // Empty: the system's default surrogate host.
    {"AppID\\{clsid}", "DllSurrogate", content::empty_text, condition::always},
    {"CLSID\\{clsid}\\InprocServer32", nullptr, content::module_path, condition::in_process_server},
    {"CLSID\\{clsid}\\InprocServer32", "ThreadingModel", content::threading_model,
     condition::in_process_server},
    {"CLSID\\{clsid}\\LocalServer32", nullptr, content::module_path, condition::local_server},
    {"CLSID\\{clsid}\\ProgID", nullptr, content::prog_id, condition::always},
    {"CLSID\\{clsid}\\VersionIndependentProgID", nullptr, content::version_independent_prog_id,
     condition::always},
    {"CLSID\\{clsid}\\TypeLib", nullptr, content::libid_text, condition::always},
    // A named value in the TypeLib key, "major.minor", not a Version subkey.
    {"CLSID\\{clsid}\\TypeLib", "Version", content::type_library_version, condition::always},
    {"<version_independent_prog_id>", nullptr, content::friendly_name, condition::always},
    {"<version_independent_prog_id>\\CLSID", nullptr, content::clsid_text, condition::always},
    {"<version_independent_prog_id>\\CurVer", nullptr, content::prog_id, condition::always},
    {"<prog_id>", nullptr, content::friendly_name, condition::always},
    {"<prog_id>\\CLSID", nullptr, content::clsid_text, condition::always},
};

// Category keys are the categories manager's and stay.
const char *const unregistration_trees[4] = {
    "CLSID\\{clsid}",
    "AppID\\{clsid}",
    "<version_independent_prog_id>",
    "<prog_id>",
};

}  // namespace tvc
