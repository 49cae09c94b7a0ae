// The one description of what server registration writes and what
// unregistration removes under HKEY_CLASSES_ROOT. The component information
// query reads part of this back, so the rows are a contract with that reader.
//
// Key patterns name the class as {clsid} and the caller's ProgIDs as
// <prog_id> and <version_independent_prog_id>.
#pragma once

#include <cstddef>

namespace tvc {

// Where a row's value comes from.
enum class layout_content {
    friendly_name,
    clsid_text,
    empty_text,
    module_path,
    threading_model,
    prog_id,
    version_independent_prog_id,
    libid_text,
    type_library_version,
};

enum class layout_condition {
    always,
    in_process_server,  // the module name does not contain ".exe"
    local_server,       // the module name contains ".exe"
};

struct layout_row {
    const char *key_pattern;
    const char *value_name;  // null: the key's default value, written by set_key_and_value
    layout_content content;
    layout_condition condition;
};

// In the order registration writes them; a default-value row creates its key,
// and the named-value rows that follow write into that key.
extern const layout_row server_layout[16];

// The trees unregistration removes, in this order.
extern const char *const unregistration_trees[4];

}  // namespace tvc
