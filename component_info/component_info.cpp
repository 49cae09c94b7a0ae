// The component information query: registered classes of the two component
// categories, their type libraries and the registered versions of those.
// Everything is read with the narrow registry functions straight into the
// records' fields; nothing is written.
#include "component_info/component_info.h"

#include <wrl/client.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/unique_resource.h"
#include "registration/component_category.h"
#include "component_info/component_records.h"
#include "registration/guid_registry_form.h"

namespace tvc {

namespace {

// Reads one value into a fixed field and terminates it there: a value
// stored without its NUL ends inside the field, and one that leaves no room
// for a NUL fails as a value longer than its buffer does.
LONG read_text_value(HKEY key, const char *value_name, char *field, DWORD width) noexcept {
    DWORD bytes = width;
    LONG status =
        ::RegQueryValueExA(key, value_name, nullptr, nullptr, reinterpret_cast<BYTE *>(field), &bytes);
    if (status == ERROR_SUCCESS) {
        if (bytes < width) {
            field[bytes] = '\0';
            return ERROR_SUCCESS;
        }
        if (field[width - 1] == '\0') return ERROR_SUCCESS;  // filled exactly, NUL included
        status = ERROR_MORE_DATA;
    }
    field[0] = '\0';
    return status;
}

template <DWORD Width>
LONG read_default_value(HKEY parent, const char *sub_key, char (&field)[Width]) noexcept {
    unique_hkey key;
    const LONG status = ::RegOpenKeyExA(parent, sub_key, 0, KEY_READ, key.put());
    if (status != ERROR_SUCCESS) return status;
    return read_text_value(key.get(), nullptr, field, Width);
}

// The TypeLib subkey of a class or an interface: the LIBID and its "Version",
// in decimal as class registration writes it, or in hexadecimal as the
// system's type library registration writes it for an interface.
LONG read_type_library_reference(HKEY owner, int version_base, char (&libid)[40], unsigned short &major,
                                 unsigned short &minor) noexcept {
    unique_hkey key;
    LONG status = ::RegOpenKeyExA(owner, "TypeLib", 0, KEY_READ, key.put());
    if (status != ERROR_SUCCESS) return status;
    status = read_text_value(key.get(), nullptr, libid, sizeof libid);
    if (status != ERROR_SUCCESS) return status;
    char version[128];
    status = read_text_value(key.get(), "Version", version, sizeof version);
    if (status != ERROR_SUCCESS) return status;
    const type_library_version parsed = parse_version(version, version_base);
    major = parsed.major;
    minor = parsed.minor;
    return ERROR_SUCCESS;
}

LONG read_class_fields(const char *key_path, classInfo &record) noexcept {
    unique_hkey class_key;
    LONG status = ::RegOpenKeyExA(HKEY_CLASSES_ROOT, key_path, 0, KEY_READ, class_key.put());
    if (status != ERROR_SUCCESS) return status;
    status = read_text_value(class_key.get(), nullptr, record.description, sizeof record.description);
    if (status == ERROR_SUCCESS) status = read_default_value(class_key.get(), "InprocServer32", record.server_path);
    if (status == ERROR_SUCCESS) status = read_default_value(class_key.get(), "ProgID", record.prog_id);
    if (status == ERROR_SUCCESS) {
        status = read_default_value(class_key.get(), "VersionIndependentProgID",
                                    record.version_independent_prog_id);
    }
    if (status != ERROR_SUCCESS) return status;
    return read_type_library_reference(class_key.get(), 10, record.libid, record.type_lib_major,
                                       record.type_lib_minor);
}

LONG read_interface_fields(const char *key_path, interfaceInfo &record) noexcept {
    unique_hkey interface_key;
    LONG status = ::RegOpenKeyExA(HKEY_CLASSES_ROOT, key_path, 0, KEY_READ, interface_key.put());
    if (status != ERROR_SUCCESS) return status;
    status = read_text_value(interface_key.get(), nullptr, record.name, sizeof record.name);
    if (status != ERROR_SUCCESS) return status;
    return read_type_library_reference(interface_key.get(), 16, record.libid, record.type_lib_major,
                                       record.type_lib_minor);
}

// Reads "<root>\{guid}" through read_fields into a new record in *slot and
// sets its GUID text; on failure the slot is left empty. What the cache
// holds from earlier in the query is copied instead of read again.
template <typename Record, typename ReadFields>
LONG read_registration(const char *root, const GUID &guid, Record **slot, char (Record::*guid_field)[40],
                       ReadFields read_fields, registration_cache *cache) noexcept {
    if (slot == nullptr) return -1;
    const auto *known = cache != nullptr ? cache->find<Record>(guid) : nullptr;
    if (known != nullptr && known->status != ERROR_SUCCESS) {
        *slot = nullptr;
        return known->status;
    }
    const HRESULT created = create_record(slot);
    if (FAILED(created)) return created;
    if (known != nullptr) {
        **slot = known->fields;
        return ERROR_SUCCESS;
    }
    const guid_text text = make_guid_text(guid);
    char key_path[64];
    std::snprintf(key_path, sizeof key_path, "%s\\%s", root, text.c_str());
    const LONG status = read_fields(key_path, **slot);
    if (status == ERROR_SUCCESS) copy_into_field((*slot)->*guid_field, text.c_str());
    if (cache != nullptr) cache->remember(guid, status, **slot);
    if (status != ERROR_SUCCESS) release_records(slot);
    return status;
}

// The first piece of text as strtok with "." would cut it, and the rest.
struct dotted_pieces {
    const char *first = nullptr;  // null: no piece
    std::size_t first_length = 0;
    const char *rest = nullptr;  // null: nothing after the first piece
};

dotted_pieces split_at_first_dot(const char *text) noexcept {
    dotted_pieces pieces;
    while (*text == '.') ++text;
    if (*text == '\0') return pieces;
    pieces.first = text;
    pieces.first_length = std::strcspn(text, ".");
    const char *after = text + pieces.first_length;
    if (*after == '.' && after[1] != '\0') pieces.rest = after + 1;
    return pieces;
}

// atoi's reading of a number (in the given base); a value beyond the range
// saturates instead of being undefined.
unsigned short number_as_16_bits(const char *text, int base) noexcept {
    return static_cast<unsigned short>(std::strtol(text, nullptr, base));
}

bool first_piece_is(const char *text, const char *name) noexcept {
    const dotted_pieces pieces = split_at_first_dot(text);
    return pieces.first != nullptr && std::strlen(name) == pieces.first_length &&
           std::memcmp(pieces.first, name, pieces.first_length) == 0;
}

// The caller's version selector after its limits are applied.
struct version_selector {
    enum { exact, highest, every } mode;
    unsigned short major;
    unsigned short minor;
};

version_selector make_selector(int major, int minor) noexcept {
    auto clamp = [](int value) {
        return static_cast<unsigned short>(value < 0 ? 0 : value > 65535 ? 65535 : value);
    };
    if (major < 0) return {version_selector::every, 0, clamp(minor)};
    if (major == 0) return {version_selector::highest, 0, clamp(minor)};
    return {version_selector::exact, clamp(major), clamp(minor)};
}

HRESULT append_version(versionNode **&tail, const type_library_version &version) noexcept {
    const HRESULT created = create_record(tail);
    if (FAILED(created)) return created;
    (*tail)->major = version.major;
    (*tail)->minor = version.minor;
    tail = &(*tail)->next;
    return S_OK;
}

// The registered versions of one type library that the selector asks for.
HRESULT select_versions(HKEY libid_key, const version_selector &selector, versionNode **list) noexcept {
    versionNode **tail = list;
    type_library_version best;
    for (DWORD index = 0;; ++index) {
        char name[128];
        DWORD length = sizeof name;
        if (::RegEnumKeyExA(libid_key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            return S_OK;
        }
        // The platform names version keys in hexadecimal ("1.a" is 1.10).
        const type_library_version current = parse_version(name, 16);
        if (current.major == 0) continue;  // also every name that is not a version
        switch (selector.mode) {
        case version_selector::exact:
            if (current.major == selector.major && current.minor == selector.minor) {
                return append_version(tail, current);
            }
            break;
        case version_selector::highest:
            // Major and minor are compared separately: after 1.5, a 2.0 is
            // not taken. Callers have come to expect this choice.
            if (current.major >= best.major && current.minor >= best.minor) {
                if (*list == nullptr) {
                    const HRESULT appended = append_version(tail, current);
                    if (FAILED(appended)) return appended;
                }
                (*list)->major = current.major;
                (*list)->minor = current.minor;
                best = current;
            }
            break;
        case version_selector::every: {
            const HRESULT appended = append_version(tail, current);
            if (FAILED(appended)) return appended;
            break;
        }
        }
    }
}

// One componentInfo for one version: its description and its 64-bit path,
// and with load the type library's own content.
HRESULT describe_version(HKEY libid_key, const char *libid, const versionNode &version, int load,
                         componentInfo **slot, registration_cache &cache) noexcept {
    const HRESULT created = create_record(slot);
    if (FAILED(created)) return created;
    componentInfo &record = **slot;
    record.major_version = version.major;
    record.minor_version = version.minor;
    copy_into_field(record.libid, libid);

    char version_key[32];
    std::snprintf(version_key, sizeof version_key, "%x.%x", version.major, version.minor);
    if (read_default_value(libid_key, version_key, record.name) != ERROR_SUCCESS) return E_FAIL;
    std::strcat(version_key, "\\0\\win64");
    if (read_default_value(libid_key, version_key, record.type_lib_path) != ERROR_SUCCESS) return E_FAIL;
    if (load != 0 && FAILED(load_type_library_info(record.type_lib_path, &record, &cache))) return E_FAIL;
    return S_OK;
}

// Adds the type library of one enumerated class to the answer unless the
// name filter drops the class or its type library is there already.
void add_type_library_of_class(const CLSID &clsid, const char *component_name, int major_version,
                               int minor_version, int load, componentInfo **answer,
                               registration_cache &cache) noexcept {
    record_list<classInfo> registration;
    if (read_class_registration(clsid, registration.slot(), &cache) != ERROR_SUCCESS) return;
    const classInfo &found = *registration.get();
    if (component_name != nullptr && !first_piece_is(found.version_independent_prog_id, component_name)) {
        return;
    }
    componentInfo **slot = find_component_by_libid(answer, found.libid);
    // A failed description leaves the slot empty: the next class of the same
    // type library tries again.
    if (*slot == nullptr) query_libid(found.libid, major_version, minor_version, load, slot, &cache);
}

}  // namespace

type_library_version parse_version(const char *text, int base) noexcept {
    type_library_version version;
    const dotted_pieces pieces = split_at_first_dot(text);
    if (pieces.first != nullptr) version.major = number_as_16_bits(pieces.first, base);
    if (pieces.rest != nullptr) version.minor = number_as_16_bits(pieces.rest, base);
    return version;
}

LONG read_class_registration(const CLSID &clsid, classInfo **slot, registration_cache *cache) noexcept {
    return read_registration("CLSID", clsid, slot, &classInfo::clsid, read_class_fields, cache);
}

LONG read_interface_registration(const IID &iid, interfaceInfo **slot, registration_cache *cache) noexcept {
    return read_registration("Interface", iid, slot, &interfaceInfo::iid, read_interface_fields, cache);
}

HRESULT enumerate_component_classes(unsigned int category_mask, IEnumCLSID **enumerator) noexcept {
    if (enumerator == nullptr) return E_INVALIDARG;
    CATID categories[2];
    ULONG count = 0;
    if (category_mask & TVC_XL_COMPONENTS_CATEGORY) categories[count++] = xl_components_category.id();
    if (category_mask & TVC_COM_COMPONENTS_CATEGORY) categories[count++] = com_components_category.id();
    Microsoft::WRL::ComPtr<ICatInformation> manager;
    const HRESULT created = ::CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr,
                                               CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&manager));
    if (FAILED(created)) return created;
    *enumerator = nullptr;
    return manager->EnumClassesOfCategories(count, categories, 0, nullptr, enumerator);
}

HRESULT query_libid(const char *libid, int major_version, int minor_version, int load,
                    componentInfo **result, registration_cache *cache) noexcept {
    if (result == nullptr) return E_INVALIDARG;
    *result = nullptr;
    if (libid == nullptr) return E_INVALIDARG;
    // A LIBID is one key name of 38 characters: anything longer, or a text
    // that would lead elsewhere in the registry, is not one.
    const std::size_t length = strnlen(libid, 39);
    if (length == 0 || length > 38 || std::strchr(libid, '\\') != nullptr) return E_INVALIDARG;

    char key_path[128];
    std::snprintf(key_path, sizeof key_path, "TypeLib\\%s", libid);
    unique_hkey libid_key;
    if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, key_path, 0, KEY_READ, libid_key.put()) != ERROR_SUCCESS) {
        return E_FAIL;
    }
    record_list<versionNode> versions;
    HRESULT status = select_versions(libid_key.get(), make_selector(major_version, minor_version),
                                     versions.slot());
    if (FAILED(status)) return status;

    registration_cache own_cache;
    record_list<componentInfo> described;
    componentInfo **slot = described.slot();
    for (const versionNode *version = versions.get(); version != nullptr; version = version->next) {
        status = describe_version(libid_key.get(), libid, *version, load, slot, cache ? *cache : own_cache);
        if (FAILED(status)) return status;
        slot = &(*slot)->next;
    }
    *result = described.release();
    return S_OK;
}

}  // namespace tvc

HRESULT tvcGetComponentInfo_proxy(const char *component_name, int major_version, int minor_version,
                                  int load, unsigned int category_mask, componentInfo **result) {
    if (result == nullptr) return E_INVALIDARG;
    *result = nullptr;

    // COM is initialized only for a thread that has none, and undone before
    // the call returns; declared first, so it outlives the enumerator.
    tvc::unique_com_initialization com;
    Microsoft::WRL::ComPtr<IEnumCLSID> classes;
    HRESULT status = tvc::enumerate_component_classes(category_mask, classes.ReleaseAndGetAddressOf());
    if (FAILED(status)) {
        if (status == CO_E_NOTINITIALIZED) {
            const HRESULT initialized = ::CoInitialize(nullptr);
            if (FAILED(initialized)) return initialized;
            com.reset(true);
        }
        status = tvc::enumerate_component_classes(category_mask, classes.ReleaseAndGetAddressOf());
        if (FAILED(status)) return status;
    }

    tvc::record_list<componentInfo> answer;
    tvc::registration_cache cache;
    while (classes) {
        CLSID clsid;
        ULONG fetched = 0;
        classes->Next(1, &clsid, &fetched);
        if (fetched != 1) break;
        tvc::add_type_library_of_class(clsid, component_name, major_version, minor_version, load,
                                       answer.slot(), cache);
    }
    *result = answer.release();
    return status;
}

HRESULT tvcGetLIBIDInfo_proxy(const char *libid, int major_version, int minor_version, int load,
                              componentInfo **result) {
    return tvc::query_libid(libid, major_version, minor_version, load, result);
}

void tvcFreeComponentInfo_proxy(componentInfo **info) { tvc::release_records(info); }
