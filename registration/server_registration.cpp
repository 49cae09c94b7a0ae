#include "registration/server_registration.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "registration/guid_registry_form.h"
#include "registration/layout_placeholders.h"
#include "registration/module_file_path.h"
#include "registration/registry_helpers.h"
#include "registration/server_registry_layout.h"

namespace tvc {

namespace {

// A ProgID becomes a key name directly under the root; an empty one would
// address the root itself.
bool usable_key_name(const char *name) noexcept { return name != nullptr && name[0] != '\0'; }

bool row_applies(layout_condition condition, bool local_server) noexcept {
    switch (condition) {
    case layout_condition::always: return true;
    case layout_condition::in_process_server: return !local_server;
    case layout_condition::local_server: return local_server;
    }
    return false;
}

bool write_row(const layout_row &row, const registration_texts &texts) noexcept {
    registry_key_path key;
    if (!expand_key_pattern(key, row.key_pattern, texts)) return false;
    const char *value = layout_content_text(row.content, texts);
    return row.value_name == nullptr ? set_key_and_value(key.text, nullptr, value)
                                     : set_named_value(key.text, row.value_name, value);
}

}  // namespace

bool unregistration_arguments_valid(const CLSID *clsid, const char *version_independent_prog_id,
                                    const char *prog_id) noexcept {
    return clsid != nullptr && usable_key_name(version_independent_prog_id) &&
           usable_key_name(prog_id);
}

bool registration_arguments_valid(const char *module_name, const CLSID *clsid, const GUID *libid,
                                  const char *version_independent_prog_id,
                                  const char *prog_id) noexcept {
    return module_name != nullptr && libid != nullptr &&
           unregistration_arguments_valid(clsid, version_independent_prog_id, prog_id);
}

HRESULT register_server(const char *module_name, const CLSID *clsid, const GUID *libid,
                        unsigned short major_version, unsigned short minor_version,
                        const char *friendly_name, const char *version_independent_prog_id,
                        const char *prog_id, const char *threading_model) noexcept {
    if (!registration_arguments_valid(module_name, clsid, libid, version_independent_prog_id,
                                      prog_id)) {
        return E_INVALIDARG;
    }

    const HMODULE module = ::GetModuleHandleA(module_name);
    if (module == nullptr) return E_FAIL;
    std::string module_path;
    const HRESULT path_result = module_file_path(module, module_path);
    if (FAILED(path_result)) return path_result;

    const guid_text clsid_text = make_guid_text(*clsid);
    const guid_text libid_text = make_guid_text(*libid);
    char version[16];
    std::snprintf(version, sizeof version, "%u.%u", static_cast<unsigned>(major_version),
                  static_cast<unsigned>(minor_version));

    registration_texts texts;
    texts.clsid = clsid_text.c_str();
    texts.libid = libid_text.c_str();
    texts.module_path = module_path.c_str();
    texts.friendly_name = friendly_name;
    texts.threading_model = threading_model;
    texts.prog_id = prog_id;
    texts.version_independent_prog_id = version_independent_prog_id;
    texts.type_library_version = version;

    // Decided on the name as the caller gave it, case-sensitively: ".EXE"
    // registers an in-process server.
    const bool local_server = std::strstr(module_name, ".exe") != nullptr;
    for (const layout_row &row : server_layout) {
        if (row_applies(row.condition, local_server) && !write_row(row, texts)) {
            return E_ACCESSDENIED;
        }
    }
    return S_OK;
}

HRESULT unregister_server(const CLSID *clsid, const char *version_independent_prog_id,
                          const char *prog_id) noexcept {
    if (!unregistration_arguments_valid(clsid, version_independent_prog_id, prog_id)) {
        return E_INVALIDARG;
    }

    const guid_text clsid_text = make_guid_text(*clsid);
    registration_texts texts;
    texts.clsid = clsid_text.c_str();
    texts.prog_id = prog_id;
    texts.version_independent_prog_id = version_independent_prog_id;

    for (const char *tree : unregistration_trees) {
        registry_key_path key;
        if (!expand_key_pattern(key, tree, texts)) return E_FAIL;
        const LONG deleted = delete_key_tree(HKEY_CLASSES_ROOT, key.text);
        // A tree that is not there counts as removed.
        if (deleted != ERROR_SUCCESS && deleted != ERROR_FILE_NOT_FOUND) return E_FAIL;
    }
    return S_OK;
}

}  // namespace tvc
