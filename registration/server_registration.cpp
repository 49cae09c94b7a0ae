#include "registration/server_registration.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <new>
#include <string>

#include "common/code_page_text.h"
#include "common/unique_resource.h"
#include "registration/guid_registry_form.h"
#include "tvcvrtrt/registration.h"

namespace tvc {

// ---- the module path

HRESULT module_file_path(HMODULE module, std::string &path, DWORD initial_capacity) noexcept {
    switch (module_path_in_code_page(module, path, initial_capacity)) {
    case ERROR_SUCCESS: return S_OK;
    case ERROR_OUTOFMEMORY: return E_OUTOFMEMORY;
    case ERROR_NO_UNICODE_TRANSLATION: return HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION);
    default: return E_UNEXPECTED;
    }
}

// ---- one registration at a time

const wchar_t *registration_lock_name = L"Local\\tvcvrtrt-registration";
DWORD registration_lock_wait_ms = 30000;

registration_lock::registration_lock() noexcept {
    mutex_.reset(::CreateMutexW(nullptr, FALSE, registration_lock_name));
    if (!mutex_) {
        // ERROR_INVALID_HANDLE: an object of another kind holds the name.
        result_ = HRESULT_FROM_WIN32(::GetLastError());
        return;
    }
    // An abandoned mutex is ours all the same: its holder died, and what it
    // left is what any caller would find after a crash.
    const DWORD waited = ::WaitForSingleObject(mutex_.get(), registration_lock_wait_ms);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
        result_ = S_OK;
        return;
    }
    result_ = waited == WAIT_TIMEOUT  ? HRESULT_FROM_WIN32(ERROR_TIMEOUT)
              : waited == WAIT_FAILED ? HRESULT_FROM_WIN32(::GetLastError())
                                      : E_FAIL;
    mutex_.reset();
}

registration_lock::~registration_lock() {
    if (SUCCEEDED(result_)) ::ReleaseMutex(mutex_.get());
}

// ---- registration and unregistration

namespace {

// The keys directly under the root that hold whole families of entries of
// the system and of every other application. As a ProgID, unregistration
// would delete all of one, and registration write into it.
const char *const structural_keys[] = {
    "CLSID",  "AppID",     "Interface", "TypeLib", "Component Categories",
    "Record", "Licenses",  "MIME",      "Directory", "Drive",
    "Folder", "AllFilesystemObjects",   "SystemFileAssociations", "Unknown", "Wow6432Node",
};

// A ProgID becomes one key name directly under the root. An empty one would
// address the root itself, and one with a backslash would be a path: to the
// root again ("\\"), or into another class's keys ("CLSID\\{...}"). A name
// with a leading dot is a file extension's key, "*" the key of every file,
// and the structural keys belong to everyone. The name is walked character
// by character in the process code page, as the registry reads it; one that
// ends in a lead byte without its trail byte is no text at all. A name
// longer than the registry stores would fail only part-way through; the
// registry counts characters, not bytes.
bool usable_key_name(const char *name) noexcept {
    if (name == nullptr || name[0] == '\0' || name[0] == '.' || std::strcmp(name, "*") == 0) {
        return false;
    }
    if (find_first_character(name, '\\') != nullptr || ends_in_lone_lead_byte(name) ||
        character_count(name) > max_key_name_length) {
        return false;
    }
    for (const char *structural : structural_keys) {
        if (same_name_ignoring_case(name, structural)) return false;
    }
    return true;
}

// The texts that name a class in the layout: its CLSID and its ProgIDs.
registration_texts class_texts(const guid_text &clsid_text, const char *version_independent_prog_id,
                               const char *prog_id) noexcept {
    registration_texts texts;
    texts.clsid = clsid_text.c_str();
    texts.prog_id = prog_id;
    texts.version_independent_prog_id = version_independent_prog_id;
    return texts;
}

// Whether every key path that registration writes for these names fits what
// the narrow registry functions take. Measured on the layout itself, every
// row whatever its condition.
bool written_key_paths_fit(const CLSID &clsid, const char *version_independent_prog_id,
                           const char *prog_id) noexcept {
    const guid_text clsid_text = make_guid_text(clsid);
    const registration_texts texts = class_texts(clsid_text, version_independent_prog_id, prog_id);
    for (const layout_row &row : server_layout) {
        registry_key_path key;
        if (!expand_key_pattern(key, row.key_pattern, texts) ||
            character_count(key.text) > max_written_key_path) {
            return false;
        }
    }
    return true;
}

constexpr const char *class_subkey = prog_id_class_subkey();
static_assert(*class_subkey != '\0', "registration names the class in its ProgID keys");

// The class that a ProgID key's CLSID subkey names, in the registry form;
// false when the subkey or its value is missing, or holds no CLSID text.
bool named_class(HKEY prog_id_key, guid_text &named) noexcept {
    unique_hkey clsid_key;
    if (::RegOpenKeyExA(prog_id_key, class_subkey, 0, KEY_QUERY_VALUE, clsid_key.put()) != ERROR_SUCCESS) {
        return false;
    }
    char stored[64] = {};
    DWORD bytes = sizeof stored - 1;
    DWORD type = REG_NONE;
    GUID guid;
    if (::RegQueryValueExA(clsid_key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE *>(stored), &bytes) !=
            ERROR_SUCCESS ||
        type != REG_SZ || tvcGUIDFromString_proxy(stored, &guid) != 1) {
        return false;
    }
    // The parser also reads looser spellings, which COM does not take as a class.
    named = make_guid_text(guid);
    return same_name_ignoring_case(stored, named.c_str());
}

// Whether the ProgID key's CLSID subkey names the class. Opened step by step,
// so that no path is longer than the ones registration wrote.
bool prog_id_names_class(HKEY classes, const char *prog_id, const char *clsid_text) noexcept {
    unique_hkey prog_id_key;
    guid_text named;
    return ::RegOpenKeyExA(classes, prog_id, 0, KEY_QUERY_VALUE, prog_id_key.put()) == ERROR_SUCCESS &&
           named_class(prog_id_key.get(), named) && same_name_ignoring_case(named.c_str(), clsid_text);
}

// Whether the class has its own key, as a class registered now does.
bool class_registered(const guid_text &clsid_text) noexcept {
    registry_key_path path;
    unique_hkey key;
    return class_entry_key(path, class_entry(layout_content::friendly_name), clsid_text.c_str()) &&
           ::RegOpenKeyExA(HKEY_CLASSES_ROOT, path.text, 0, KEY_QUERY_VALUE, key.put()) == ERROR_SUCCESS;
}

// Whether the row writes into the ProgID key called name: its value, or a
// subkey of it.
bool writes_into(const layout_row &row, const char *name, const registration_texts &texts) noexcept {
    const char *prog_id = row_prog_id(row, texts);
    return prog_id != nullptr && same_name_ignoring_case(prog_id, name);
}

// What a ProgID key can hold of registration's is default values: of the key
// and of its subkeys.
constexpr bool prog_id_rows_write_default_values_only() noexcept {
    for (const layout_row &row : server_layout) {
        if (row.key_pattern[0] == '<' && row.value_name != nullptr) return false;
    }
    return true;
}
static_assert(prog_id_rows_write_default_values_only(), "holds_only_own_entries reads default values only");

enum class entry_state { absent, as_written, other };

// Whether the key's value_name holds text as registration writes it: REG_SZ,
// the text and its NUL. Any value is another's where registration writes none
// (a null text).
entry_state value_state(HKEY key, const char *value_name, const char *text) noexcept {
    const std::size_t length = text != nullptr ? std::strlen(text) : 0;
    std::string stored;
    try {
        stored.resize(length + 2);
    } catch (const std::bad_alloc &) {
        return entry_state::other;
    }
    DWORD bytes = static_cast<DWORD>(stored.size());
    DWORD type = REG_NONE;
    const LONG read =
        ::RegQueryValueExA(key, value_name, nullptr, &type, reinterpret_cast<BYTE *>(stored.data()), &bytes);
    if (read == ERROR_FILE_NOT_FOUND) return entry_state::absent;
    if (read != ERROR_SUCCESS || text == nullptr || type != REG_SZ || bytes != length + 1 ||
        std::memcmp(stored.data(), text, length + 1) != 0) {
        return entry_state::other;
    }
    return entry_state::as_written;
}

bool count_entries(HKEY key, DWORD &subkeys, DWORD &values) noexcept {
    return ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                              nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

// Whether a key under a ProgID's name, without a CLSID subkey, holds nothing
// but what this class's registration writes there, each entry as it writes
// it: an empty key, or one that a registration or unregistration of an
// earlier version left when its process was ended part-way. Such a key is
// the class's own; anything else in it makes it another's.
bool holds_only_own_entries(HKEY key, const char *name, const registration_texts &texts) noexcept {
    DWORD subkeys = 0, values = 0;
    if (!count_entries(key, subkeys, values)) return false;
    const char *own_value = nullptr;
    for (const layout_row &row : server_layout) {
        const char *text = layout_content_text(row.content, texts);
        if (writes_into(row, name, texts) && prog_id_subkey(row) == nullptr && text != nullptr) own_value = text;
    }
    const entry_state value = value_state(key, nullptr, own_value);
    if (value == entry_state::other) return false;
    DWORD own_subkeys = 0;
    for (std::size_t row = 0; row < std::size(server_layout); ++row) {
        const char *subkey = prog_id_subkey(server_layout[row]);
        if (subkey == nullptr || !writes_into(server_layout[row], name, texts)) continue;
        bool seen = false;  // both ProgIDs may be one name
        for (std::size_t earlier = 0; earlier < row; ++earlier) {
            const char *earlier_subkey = prog_id_subkey(server_layout[earlier]);
            seen |= earlier_subkey != nullptr && writes_into(server_layout[earlier], name, texts) &&
                    same_name_ignoring_case(earlier_subkey, subkey);
        }
        unique_hkey sub;
        const LONG opened = seen ? ERROR_FILE_NOT_FOUND
                                 : ::RegOpenKeyExA(key, subkey, 0, KEY_QUERY_VALUE, sub.put());
        if (opened == ERROR_FILE_NOT_FOUND) continue;
        DWORD sub_subkeys = 0, sub_values = 0;
        if (opened != ERROR_SUCCESS || !count_entries(sub.get(), sub_subkeys, sub_values) || sub_subkeys != 0) {
            return false;
        }
        const char *text = layout_content_text(server_layout[row].content, texts);
        const entry_state state = value_state(sub.get(), nullptr, text);
        if (state == entry_state::other || sub_values != (state == entry_state::as_written ? 1u : 0u)) return false;
        ++own_subkeys;
    }
    return subkeys == own_subkeys && values == (value == entry_state::as_written ? 1u : 0u);
}

// Whether registration may write the ProgID key name for the class:
//   - it does not exist yet;
//   - it is a ProgID key (it has a CLSID subkey), perhaps of another class
//     that the registration takes over, as COM's convention has a newer
//     version take the version-independent ProgID; but a version-dependent
//     ProgID of another class that is still registered stays that class's:
//     HRESULT_FROM_WIN32(ERROR_OBJECT_ALREADY_EXISTS);
//   - it holds only what the class's registration writes there
//     (holds_only_own_entries).
// Any other key belongs to something else, a file type, a protocol or a shell
// key, whatever its name: HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS).
HRESULT prog_id_key_free_for_class(const char *name, bool version_dependent,
                                   const registration_texts &texts) noexcept {
    unique_hkey key, clsid_key;
    const LONG opened = ::RegOpenKeyExA(HKEY_CLASSES_ROOT, name, 0, KEY_QUERY_VALUE, key.put());
    if (opened == ERROR_FILE_NOT_FOUND) return S_OK;
    if (opened != ERROR_SUCCESS) return HRESULT_FROM_WIN32(opened);
    const LONG has_clsid = ::RegOpenKeyExA(key.get(), class_subkey, 0, KEY_QUERY_VALUE, clsid_key.put());
    if (has_clsid == ERROR_SUCCESS) {
        guid_text named;
        const bool another_live_class = version_dependent && named_class(key.get(), named) &&
                                        !same_name_ignoring_case(named.c_str(), texts.clsid) &&
                                        class_registered(named);
        return another_live_class ? HRESULT_FROM_WIN32(ERROR_OBJECT_ALREADY_EXISTS) : S_OK;
    }
    if (has_clsid != ERROR_FILE_NOT_FOUND) return HRESULT_FROM_WIN32(has_clsid);
    return holds_only_own_entries(key.get(), name, texts) ? S_OK : HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
}

// Removes from a ProgID key of the class what registration writes there:
// the default value and the CLSID and CurVer subkeys, the CLSID subkey last,
// so that a process ended part-way leaves a key that still names the class.
// Whatever else another program keeps in the key (a shell verb, a named
// value) stays, and so does the key while anything is left in it. Returns a
// Win32 error code.
LONG remove_prog_id_entries(HKEY classes, const char *prog_id) noexcept {
    unique_hkey key;
    const LONG opened = ::RegOpenKeyExA(classes, prog_id, 0, KEY_ALL_ACCESS, key.put());
    if (opened != ERROR_SUCCESS) return opened;
    const auto gone = [](LONG result) { return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND; };
    for (const layout_row &row : server_layout) {
        const char *written = prog_id_subkey(row);
        if (written == nullptr || std::strcmp(written, class_subkey) == 0) continue;
        const LONG deleted = delete_key_tree(key.get(), written);
        if (!gone(deleted)) return deleted;
    }
    const LONG value_deleted = delete_value(key.get(), nullptr);
    if (!gone(value_deleted)) return value_deleted;
    const LONG class_deleted = delete_key_tree(key.get(), class_subkey);
    if (!gone(class_deleted)) return class_deleted;
    DWORD subkeys = 0, values = 0;
    if (!count_entries(key.get(), subkeys, values)) return ERROR_CANTREAD;
    key.reset();
    if (subkeys != 0 || values != 0) return ERROR_SUCCESS;
    return delete_key(classes, prog_id);
}

// The class registry of one hive, Software\Classes of the user's or the
// machine's; empty when the hive has none.
LONG open_classes_hive(HKEY hive, unique_hkey &classes) noexcept {
    const LONG opened = ::RegOpenKeyExW(hive, L"Software\\Classes", 0, KEY_QUERY_VALUE, classes.put());
    return opened == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : opened;
}

bool row_applies(layout_condition condition, bool local_server) noexcept {
    switch (condition) {
    case layout_condition::always: return true;
    case layout_condition::in_process_server: return !local_server;
    case layout_condition::local_server: return local_server;
    }
    return false;
}

bool write_row(const layout_row &row, const char *key, const registration_texts &texts,
               registry_changes &changes) noexcept {
    const char *value = layout_content_text(row.content, texts);
    return row.value_name == nullptr ? set_key_and_value(key, nullptr, value, &changes)
                                     : set_named_value(key, row.value_name, value, &changes);
}

}  // namespace

HRESULT prog_id_keys_free(const CLSID &clsid, const char *friendly_name,
                          const char *version_independent_prog_id, const char *prog_id) noexcept {
    const guid_text clsid_text = make_guid_text(clsid);
    registration_texts texts = class_texts(clsid_text, version_independent_prog_id, prog_id);
    texts.friendly_name = friendly_name;
    for (const bool version_dependent : {false, true}) {
        const char *name = version_dependent ? prog_id : version_independent_prog_id;
        const HRESULT free = prog_id_key_free_for_class(name, version_dependent, texts);
        if (FAILED(free)) return free;
    }
    return S_OK;
}

bool unregistration_arguments_valid(const CLSID *clsid, const char *version_independent_prog_id,
                                    const char *prog_id) noexcept {
    return clsid != nullptr && usable_key_name(version_independent_prog_id) &&
           usable_key_name(prog_id);
}

bool registration_arguments_valid(const char *module_name, const CLSID *clsid, const GUID *libid,
                                  const char *version_independent_prog_id,
                                  const char *prog_id) noexcept {
    return module_name != nullptr && libid != nullptr &&
           unregistration_arguments_valid(clsid, version_independent_prog_id, prog_id) &&
           written_key_paths_fit(*clsid, version_independent_prog_id, prog_id);
}

HRESULT register_server(const char *module_name, const CLSID *clsid, const GUID *libid,
                        unsigned short major_version, unsigned short minor_version,
                        const char *friendly_name, const char *version_independent_prog_id,
                        const char *prog_id, const char *threading_model,
                        registry_changes &changes) noexcept {
    if (!registration_arguments_valid(module_name, clsid, libid, version_independent_prog_id,
                                      prog_id)) {
        return E_INVALIDARG;
    }

    const HMODULE module = ::GetModuleHandleA(module_name);
    if (module == nullptr) return E_FAIL;
    std::string module_path;
    const HRESULT path_result = module_file_path(module, module_path);
    if (FAILED(path_result)) return path_result;

    // Under the registration lock, so that no other call can make a key
    // between this test and the writes.
    const HRESULT free = prog_id_keys_free(*clsid, friendly_name, version_independent_prog_id, prog_id);
    if (FAILED(free)) return free;

    const guid_text clsid_text = make_guid_text(*clsid);
    const guid_text libid_text = make_guid_text(*libid);
    char version[16];
    std::snprintf(version, sizeof version, "%u.%u", static_cast<unsigned>(major_version),
                  static_cast<unsigned>(minor_version));

    registration_texts texts = class_texts(clsid_text, version_independent_prog_id, prog_id);
    texts.libid = libid_text.c_str();
    texts.module_path = module_path.c_str();
    texts.friendly_name = friendly_name;
    texts.threading_model = threading_model;
    texts.type_library_version = version;

    // Decided on the name as the caller gave it, case-sensitively: ".EXE"
    // registers an in-process server.
    const bool local_server = std::strstr(module_name, ".exe") != nullptr;
    return write_server_entries(texts, local_server, changes);
}

HRESULT write_server_entries(const registration_texts &texts, bool local_server, registry_changes &changes) noexcept {
    // Every key path is made before the first write, so that one the registry
    // could not hold is refused with nothing written.
    registry_key_path keys[std::size(server_layout)];
    for (std::size_t row = 0; row < std::size(server_layout); ++row) {
        if (row_applies(server_layout[row].condition, local_server) &&
            !expand_key_pattern(keys[row], server_layout[row].key_pattern, texts)) {
            return E_INVALIDARG;
        }
    }
    for (std::size_t row = 0; row < std::size(server_layout); ++row) {
        if (row_applies(server_layout[row].condition, local_server) &&
            !write_row(server_layout[row], keys[row].text, texts, changes)) {
            return E_ACCESSDENIED;
        }
    }
    return S_OK;
}

HRESULT register_server(const char *module_name, const CLSID *clsid, const GUID *libid,
                        unsigned short major_version, unsigned short minor_version,
                        const char *friendly_name, const char *version_independent_prog_id,
                        const char *prog_id, const char *threading_model) noexcept {
    const bool valid =
        registration_arguments_valid(module_name, clsid, libid, version_independent_prog_id, prog_id);
    return registration_transaction(valid, [&](registry_changes &changes) {
        return register_server(module_name, clsid, libid, major_version, minor_version, friendly_name,
                               version_independent_prog_id, prog_id, threading_model, changes);
    });
}

HRESULT unregister_server(const CLSID *clsid, const char *version_independent_prog_id,
                          const char *prog_id) noexcept {
    const bool valid = unregistration_arguments_valid(clsid, version_independent_prog_id, prog_id);
    return under_registration_lock(valid, [&] {
        const guid_text clsid_text = make_guid_text(*clsid);
        const registration_texts texts = class_texts(clsid_text, version_independent_prog_id, prog_id);
        // On Windows, HKEY_CLASSES_ROOT is a merged view: a key lives in the
        // user's hive or the machine's, and the view shows the user's copy
        // over the machine's. A copy removed through the view alone would let
        // the other one show again. So each tree is removed from the user's
        // hive, from the machine's, and then through the view, for whatever
        // else the view maps there; the same rules decide in each.
        unique_hkey user_classes, machine_classes;
        if (open_classes_hive(HKEY_CURRENT_USER, user_classes) != ERROR_SUCCESS ||
            open_classes_hive(HKEY_LOCAL_MACHINE, machine_classes) != ERROR_SUCCESS) {
            return E_FAIL;
        }
        for (const HKEY classes : {user_classes.get(), machine_classes.get(), HKEY_CLASSES_ROOT}) {
            if (classes == nullptr) continue;
            for (const unregistration_tree &tree : unregistration_trees) {
                registry_key_path key;
                if (!expand_key_pattern(key, tree.key_pattern, texts)) return E_FAIL;
                LONG deleted = ERROR_SUCCESS;
                if (!tree.prog_id_key) {
                    deleted = delete_key_tree(classes, key.text);
                } else if (prog_id_names_class(classes, key.text, clsid_text.c_str())) {
                    deleted = remove_prog_id_entries(classes, key.text);
                }  // else another class's ProgID, or a key that names none: left alone
                // A tree that is not there counts as removed.
                if (deleted != ERROR_SUCCESS && deleted != ERROR_FILE_NOT_FOUND) return E_FAIL;
            }
        }
        return S_OK;
    });
}

}  // namespace tvc

// ---- the exports: plain C names that hand their arguments to the routines

HRESULT tvcRegisterServer_proxy(const char *module_name, REFCLSID clsid, REFGUID libid,
                                unsigned short major_version, unsigned short minor_version,
                                const char *friendly_name, const char *version_independent_prog_id,
                                const char *prog_id, const char *threading_model) {
    return tvc::register_server(module_name, tvc::address_as_passed(clsid),
                                tvc::address_as_passed(libid), major_version, minor_version,
                                friendly_name, version_independent_prog_id, prog_id,
                                threading_model);
}

HRESULT tvcUnregisterServer_proxy(REFCLSID clsid, const char *version_independent_prog_id,
                                  const char *prog_id) {
    return tvc::unregister_server(tvc::address_as_passed(clsid), version_independent_prog_id,
                                  prog_id);
}
