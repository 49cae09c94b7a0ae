// The registry layout of one COM class under HKEY_CLASSES_ROOT: every key and
// value that server registration writes, and the trees that unregistration
// removes, in one table. The component information query and the diagnostic
// command read a class back through the same rows (class_entry),
// so that the writer and its readers cannot disagree on a key or value name.
// Key patterns name the class as {clsid} and the caller's ProgIDs as
// <prog_id> and <version_independent_prog_id>.
#pragma once

#include <initializer_list>

#include "registration/registry.h"

namespace tvc {

// Where a row's value comes from.
enum class layout_content {
    nothing,  // the row makes its key and writes no value
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
// and the named-value rows that follow write into that key. The class's own
// key comes first.
inline constexpr layout_row server_layout[18] = {
    {"CLSID\\{clsid}", nullptr, layout_content::friendly_name, layout_condition::always},
    {"AppID\\{clsid}", nullptr, layout_content::friendly_name, layout_condition::always},
    // The application ID is the class ID itself.
    {"CLSID\\{clsid}", "AppID", layout_content::clsid_text, layout_condition::always},
    // Empty: the system's default surrogate host.
    {"AppID\\{clsid}", "DllSurrogate", layout_content::empty_text, layout_condition::always},
    {"CLSID\\{clsid}\\InprocServer32", nullptr, layout_content::module_path, layout_condition::in_process_server},
    {"CLSID\\{clsid}\\InprocServer32", "ThreadingModel", layout_content::threading_model,
     layout_condition::in_process_server},
    {"CLSID\\{clsid}\\LocalServer32", nullptr, layout_content::module_path, layout_condition::local_server},
    {"CLSID\\{clsid}\\ProgID", nullptr, layout_content::prog_id, layout_condition::always},
    {"CLSID\\{clsid}\\VersionIndependentProgID", nullptr, layout_content::version_independent_prog_id,
     layout_condition::always},
    {"CLSID\\{clsid}\\TypeLib", nullptr, layout_content::libid_text, layout_condition::always},
    // A named value in the TypeLib key, "major.minor", not a Version subkey.
    {"CLSID\\{clsid}\\TypeLib", "Version", layout_content::type_library_version, layout_condition::always},
    // A ProgID key is made empty and named by its CLSID subkey before
    // anything else is written into it, and unregistration takes the CLSID
    // subkey out last: whatever a process ended part-way leaves is a key that
    // is empty or names the class, which its registration knows for its own.
    {"<version_independent_prog_id>", nullptr, layout_content::nothing, layout_condition::always},
    {"<version_independent_prog_id>\\CLSID", nullptr, layout_content::clsid_text, layout_condition::always},
    {"<version_independent_prog_id>", nullptr, layout_content::friendly_name, layout_condition::always},
    {"<version_independent_prog_id>\\CurVer", nullptr, layout_content::prog_id, layout_condition::always},
    {"<prog_id>", nullptr, layout_content::nothing, layout_condition::always},
    {"<prog_id>\\CLSID", nullptr, layout_content::clsid_text, layout_condition::always},
    {"<prog_id>", nullptr, layout_content::friendly_name, layout_condition::always},
};

// The trees unregistration removes, in this order. Category keys are the
// categories manager's and stay. A ProgID key may have been taken over by
// another class since, or never have been ours.
struct unregistration_tree {
    const char *key_pattern;
    // A ProgID key: touched only when its CLSID subkey names the class, and
    // then only registration's entries in it (remove_prog_id_entries).
    bool prog_id_key;
};
inline constexpr unregistration_tree unregistration_trees[4] = {
    {"CLSID\\{clsid}", false},
    {"AppID\\{clsid}", false},
    {"<version_independent_prog_id>", true},
    {"<prog_id>", true},
};

// ---- reading a class back

// The entry of the class's own key ("CLSID\{clsid}" and its subkeys) where
// registration writes content under condition; null when it writes none
// there. Readers take a class back through these entries.
const layout_row *class_entry(layout_content content,
                              layout_condition condition = layout_condition::always) noexcept;

// ---- the entries of a ProgID key

// The subkey a row writes in a ProgID key ("<prog_id>\\CLSID" gives "CLSID");
// null for a row of another key, or of the ProgID key's own value.
constexpr const char *prog_id_subkey(const layout_row &row) noexcept {
    for (const char *token : {"<prog_id>\\", "<version_independent_prog_id>\\"}) {
        const char *at = row.key_pattern;
        for (; *token != '\0' && *at == *token; ++token) ++at;
        if (*token == '\0') return at;
    }
    return nullptr;
}

// The subkey of a ProgID key that names its class: what tells a ProgID key
// from a key of another kind with the same name.
constexpr const char *prog_id_class_subkey() noexcept {
    for (const layout_row &row : server_layout) {
        const char *subkey = prog_id_subkey(row);
        if (row.content == layout_content::clsid_text && subkey != nullptr) return subkey;
    }
    return nullptr;
}

// ---- filling the placeholders of the layout for one class

// The texts of one registration or unregistration call. Unregistration knows
// only the CLSID and the ProgIDs; the rest stay null.
struct registration_texts {
    const char *clsid = nullptr;
    const char *libid = nullptr;
    const char *module_path = nullptr;
    const char *friendly_name = nullptr;
    const char *threading_model = nullptr;
    const char *prog_id = nullptr;
    const char *version_independent_prog_id = nullptr;
    const char *type_library_version = nullptr;
};

// The pattern with its placeholders replaced, in one pass over the pattern
// (a ProgID that happens to contain "{clsid}" is taken literally). False when
// the result exceeds 1023 characters or names a text that is null.
bool expand_key_pattern(registry_key_path &out, const char *pattern,
                        const registration_texts &texts) noexcept;

// The key of a class entry for the class whose CLSID text is clsid (as
// expand_key_pattern makes it); false for a null entry.
bool class_entry_key(registry_key_path &out, const layout_row *entry, const char *clsid) noexcept;

// Where a class entry lies below the class's own key: "" for the key itself,
// "TypeLib" for "CLSID\{clsid}\TypeLib". A reader opens the class's key once
// and its entries from there, as opening each from the root costs a walk
// through the merged classes view every time.
const char *class_entry_subkey(const layout_row &entry) noexcept;

// The ProgID whose key a row writes into (its value, or a subkey of it): the
// caller's text for <prog_id> or <version_independent_prog_id>; null for a
// row of another key.
const char *row_prog_id(const layout_row &row, const registration_texts &texts) noexcept;

// The text a row writes; null means "write no value".
const char *layout_content_text(layout_content content, const registration_texts &texts) noexcept;

}  // namespace tvc
