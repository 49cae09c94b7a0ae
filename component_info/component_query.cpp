// The component information query: registered classes of the two component
// categories, their type libraries and the registered versions of those.
// Everything is read with the narrow registry functions straight into the
// records' fields; nothing is written.
#include "component_info/component_query.h"

#include <wrl/client.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "common/com_initialization.h"
#include "common/unique_resource.h"
#include "registration/component_category.h"
#include "registration/guid_parser.h"
#include "component_info/component_records.h"
#include "registration/class_layout.h"
#include "registration/guid_registry_form.h"
#include "component_info/query_reasons.h"

namespace tvc {

namespace {

// Reads one value into a fixed field and terminates it there: a value
// stored without its NUL ends inside the field, and one that leaves no room
// for a NUL fails as a value longer than its buffer does. Only a string
// value is text: a number or raw bytes fail as a value that cannot be read.
LONG read_text_value(HKEY key, const char *value_name, char *field, DWORD width) noexcept {
    DWORD bytes = width;
    DWORD type = REG_NONE;
    LONG status =
        ::RegQueryValueExA(key, value_name, nullptr, &type, reinterpret_cast<BYTE *>(field), &bytes);
    if (status == ERROR_SUCCESS && type != REG_SZ && type != REG_EXPAND_SZ) status = ERROR_INVALID_DATATYPE;
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

// A class's registration, read where registration writes it: the class's
// own key opened once, and each entry's subkey opened from there, the last
// one kept for the next entry in the same subkey.
class class_reader {
public:
    explicit class_reader(const char *clsid) noexcept {
        registry_key_path path;
        status_ = class_entry_key(path, class_entry(layout_content::friendly_name), clsid)
                      ? ::RegOpenKeyExA(HKEY_CLASSES_ROOT, path.text, 0, KEY_READ, class_key_.put())
                      : ERROR_FILE_NOT_FOUND;
    }

    // The first failure stays, and no later entry is read.
    template <DWORD Width>
    class_reader &read(layout_content content, char (&field)[Width],
                       layout_condition condition = layout_condition::always) noexcept {
        if (status_ != ERROR_SUCCESS) return *this;
        const layout_row *entry = class_entry(content, condition);
        if (entry == nullptr) {
            status_ = ERROR_FILE_NOT_FOUND;
            return *this;
        }
        const char *subkey = class_entry_subkey(*entry);
        HKEY key = class_key_.get();
        if (*subkey != '\0') {
            if (subkey_name_ == nullptr || std::strcmp(subkey_name_, subkey) != 0) {
                subkey_name_ = nullptr;
                status_ = ::RegOpenKeyExA(class_key_.get(), subkey, 0, KEY_READ, subkey_.put());
                if (status_ != ERROR_SUCCESS) return *this;
                subkey_name_ = subkey;
            }
            key = subkey_.get();
        }
        status_ = read_text_value(key, entry->value_name, field, Width);
        return *this;
    }

    LONG status() const noexcept { return status_; }

private:
    unique_hkey class_key_;
    unique_hkey subkey_;
    const char *subkey_name_ = nullptr;
    LONG status_;
};

// "Version" of a class, in decimal as class registration writes it, or of
// an interface, in hexadecimal as the system's type library registration
// writes it.
void set_type_library_version(const char *version, int base, unsigned short &major,
                              unsigned short &minor) noexcept {
    const type_library_version parsed = parse_version(version, base);
    major = parsed.major;
    minor = parsed.minor;
}

LONG read_class_fields(const char *clsid, classInfo &record) noexcept {
    using content = layout_content;
    char version[128];
    const LONG status = class_reader(clsid)
                            .read(content::friendly_name, record.description)
                            .read(content::module_path, record.server_path, layout_condition::in_process_server)
                            .read(content::prog_id, record.prog_id)
                            .read(content::version_independent_prog_id, record.version_independent_prog_id)
                            .read(content::libid_text, record.libid)
                            .read(content::type_library_version, version)
                            .status();
    if (status == ERROR_SUCCESS) set_type_library_version(version, 10, record.type_lib_major, record.type_lib_minor);
    return status;
}

// An interface as the system's type library registration writes it:
// Interface\{iid} with its name, and a TypeLib subkey with the LIBID and a
// "Version" value.
LONG read_interface_fields(const char *iid, interfaceInfo &record) noexcept {
    char key_path[64];
    std::snprintf(key_path, sizeof key_path, "Interface\\%s", iid);
    unique_hkey interface_key, type_library_key;
    LONG status = ::RegOpenKeyExA(HKEY_CLASSES_ROOT, key_path, 0, KEY_READ, interface_key.put());
    if (status == ERROR_SUCCESS) {
        status = read_text_value(interface_key.get(), nullptr, record.name, sizeof record.name);
    }
    if (status == ERROR_SUCCESS) {
        status = ::RegOpenKeyExA(interface_key.get(), "TypeLib", 0, KEY_READ, type_library_key.put());
    }
    if (status == ERROR_SUCCESS) {
        status = read_text_value(type_library_key.get(), nullptr, record.libid, sizeof record.libid);
    }
    char version[128];
    if (status == ERROR_SUCCESS) {
        status = read_text_value(type_library_key.get(), "Version", version, sizeof version);
    }
    if (status == ERROR_SUCCESS) set_type_library_version(version, 16, record.type_lib_major, record.type_lib_minor);
    return status;
}

// Reads the registration of guid through read_fields (given the GUID's
// text) into a new record in *slot and sets its GUID text; on failure the
// slot is left empty. What the cache holds from earlier in the query is
// copied instead of read again.
template <typename Record, typename ReadFields>
HRESULT read_registration(const GUID &guid, Record **slot, char (Record::*guid_field)[40], ReadFields read_fields,
                          registration_cache *cache) noexcept {
    if (slot == nullptr) return E_INVALIDARG;
    const auto *known = cache != nullptr ? cache->find<Record>(guid) : nullptr;
    if (known != nullptr && known->status != S_OK) {
        *slot = nullptr;
        return known->status;
    }
    const HRESULT created = create_record(slot);
    if (FAILED(created)) return created;
    if (known != nullptr) {
        **slot = known->fields;
        return S_OK;
    }
    const guid_text text = make_guid_text(guid);
    const LONG read = read_fields(text.c_str(), **slot);
    const HRESULT status = read == ERROR_SUCCESS ? S_OK : registry_cause(read);
    if (status == S_OK) copy_into_field((*slot)->*guid_field, text.c_str());
    if (cache != nullptr) cache->remember(guid, status, **slot);
    if (status != S_OK) release_records(slot);
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

// Version numbers beyond 16 bits saturate rather than wrap, those of the
// registry as those of the caller's selector.
unsigned short saturated_16_bits(long value) noexcept {
    return static_cast<unsigned short>(value < 0 ? 0 : value > 65535 ? 65535 : value);
}

// atoi's reading of a number (in the given base), saturated.
unsigned short number_as_16_bits(const char *text, int base) noexcept {
    return saturated_16_bits(std::strtol(text, nullptr, base));
}

// A version key name: two hexadecimal numbers of one to four digits joined by
// one dot, as the platform's type library registration writes them.
bool parse_version_key(const char *name, type_library_version &version) noexcept {
    unsigned parts[2] = {0, 0};
    const char *c = name;
    for (unsigned &part : parts) {
        int digits = 0;
        for (; hex_digit_value(*c) >= 0 && digits <= 4; ++c, ++digits) part = part * 16 + hex_digit_value(*c);
        if (digits == 0 || digits > 4) return false;
        if (&part == &parts[0] && *c++ != '.') return false;
    }
    if (*c != '\0') return false;
    version.major = static_cast<unsigned short>(parts[0]);
    version.minor = static_cast<unsigned short>(parts[1]);
    return true;
}

}  // namespace

bool first_piece_is(const char *text, const char *name) noexcept {
    const dotted_pieces pieces = split_at_first_dot(text);
    return pieces.first != nullptr && std::strlen(name) == pieces.first_length &&
           std::memcmp(pieces.first, name, pieces.first_length) == 0;
}

namespace {

// The caller's version selector after its limits are applied.
struct version_selector {
    enum { exact, highest, every } mode;
    unsigned short major;
    unsigned short minor;
};

version_selector make_selector(int major, int minor) noexcept {
    if (major < 0) return {version_selector::every, 0, saturated_16_bits(minor)};
    if (major == 0) return {version_selector::highest, 0, saturated_16_bits(minor)};
    return {version_selector::exact, saturated_16_bits(major), saturated_16_bits(minor)};
}

// A registered version and its key's name as enumerated, which is what its
// subkeys are opened by ("01.0" and "1.0" are different keys).
struct version_key {
    type_library_version version;
    char name[10];
};

// The registered versions of one type library that the selector asks for.
// Names that are not versions, or that are too long to be one, are passed
// over; only the end of the list ends the enumeration.
HRESULT select_versions(HKEY libid_key, const version_selector &selector,
                        std::vector<version_key> &selected) noexcept try {
    const auto pair = [](const type_library_version &v) { return (unsigned{v.major} << 16) | v.minor; };
    for (DWORD index = 0;; ++index) {
        version_key key;
        char name[128];
        DWORD length = sizeof name;
        const LONG status = ::RegEnumKeyExA(libid_key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_MORE_DATA) continue;
        if (status != ERROR_SUCCESS) return S_OK;
        if (!parse_version_key(name, key.version) || key.version.major == 0) continue;
        std::memcpy(key.name, name, length + 1);  // a version's name has at most 9 characters
        switch (selector.mode) {
        case version_selector::exact:
            if (key.version.major == selector.major && key.version.minor == selector.minor) {
                selected.push_back(key);
                return S_OK;
            }
            break;
        case version_selector::highest:
            // The highest (major, minor) pair; of equal ones the last met.
            if (selected.empty()) {
                selected.push_back(key);
            } else if (pair(key.version) >= pair(selected.front().version)) {
                selected.front() = key;
            }
            break;
        case version_selector::every:
            selected.push_back(key);
            break;
        }
    }
} catch (const std::bad_alloc &) {
    return E_OUTOFMEMORY;
}

// One componentInfo for one version: its description and its 64-bit path,
// and with load the type library's own content.
HRESULT describe_version(HKEY libid_key, const char *libid, const version_key &version, int load,
                         componentInfo **slot, registration_cache &cache) noexcept {
    const HRESULT created = create_record(slot);
    if (FAILED(created)) return created;
    componentInfo &record = **slot;
    record.major_version = version.version.major;
    record.minor_version = version.version.minor;
    copy_into_field(record.libid, libid);

    char path_key[32];
    std::snprintf(path_key, sizeof path_key, "%s\\0\\win64", version.name);
    LONG read = read_default_value(libid_key, version.name, record.name);
    if (read != ERROR_SUCCESS) {
        report_query_failure(registry_cause(read), "TypeLib\\%s\\%s: its name cannot be read", libid, version.name);
        return E_FAIL;
    }
    read = read_default_value(libid_key, path_key, record.type_lib_path);
    if (read != ERROR_SUCCESS) {
        report_query_failure(registry_cause(read), "TypeLib\\%s\\%s: its 64-bit path cannot be read", libid,
                             path_key);
        return E_FAIL;
    }
    // load_type_library_info tells its own cause.
    if (load != 0 && FAILED(load_type_library_info(record.type_lib_path, &record, &cache))) return E_FAIL;
    return S_OK;
}

// Adds the type library of one enumerated class to the answer unless the
// name filter drops the class or its type library is there already.
void add_type_library_of_class(const CLSID &clsid, const char *component_name, int major_version,
                               int minor_version, int load, componentInfo **answer,
                               registration_cache &cache) noexcept {
    record_list<classInfo> registration;
    const HRESULT read = read_class_registration(clsid, registration.slot(), &cache);
    if (read != S_OK) {
        report_query_failure(read, "class %s left out: its registration cannot be read", make_guid_text(clsid).c_str());
        return;
    }
    const classInfo &found = *registration.get();
    if (component_name != nullptr && !first_piece_is(found.version_independent_prog_id, component_name)) {
        return;
    }
    componentInfo **slot = find_component_by_libid(answer, found.libid);
    // A failed description leaves the slot empty: the next class of the same
    // type library tries again.
    if (*slot != nullptr) return;
    const HRESULT described = query_libid(found.libid, major_version, minor_version, load, slot, &cache);
    if (FAILED(described)) {
        report_query_failure(described, "class %s left out: its type library %s cannot be described", found.clsid,
                             found.libid);
    }
}

}  // namespace

type_library_version parse_version(const char *text, int base) noexcept {
    type_library_version version;
    const dotted_pieces pieces = split_at_first_dot(text);
    if (pieces.first != nullptr) version.major = number_as_16_bits(pieces.first, base);
    if (pieces.rest != nullptr) version.minor = number_as_16_bits(pieces.rest, base);
    return version;
}

HRESULT read_class_registration(const CLSID &clsid, classInfo **slot, registration_cache *cache) noexcept {
    return read_registration(clsid, slot, &classInfo::clsid, read_class_fields, cache);
}

HRESULT read_interface_registration(const IID &iid, interfaceInfo **slot, registration_cache *cache) noexcept {
    return read_registration(iid, slot, &interfaceInfo::iid, read_interface_fields, cache);
}

HRESULT enumerate_component_classes(unsigned int category_mask, std::vector<CLSID> &classes) noexcept try {
    classes.clear();
    CATID categories[2];
    ULONG count = 0;
    if (category_mask & TVC_XL_COMPONENTS_CATEGORY) categories[count++] = xl_components_category.id();
    if (category_mask & TVC_COM_COMPONENTS_CATEGORY) categories[count++] = com_components_category.id();
    Microsoft::WRL::ComPtr<ICatInformation> manager;
    HRESULT status = create_categories_manager(manager);
    if (FAILED(status)) return status;
    // Asked for several categories at once, a categories manager may answer
    // the classes of all of them rather than of any: each is asked on its
    // own, and a class both list counts once. With no category selected the
    // manager is asked for none, and its answer stands.
    const ULONG questions = count == 0 ? 1 : count;
    for (ULONG question = 0; question < questions; ++question) {
        Microsoft::WRL::ComPtr<IEnumCLSID> enumerator;
        status = manager->EnumClassesOfCategories(count == 0 ? 0 : 1, categories + question, 0, nullptr,
                                                  enumerator.GetAddressOf());
        if (FAILED(status)) return status;
        for (;;) {
            CLSID clsid;
            ULONG fetched = 0;
            enumerator->Next(1, &clsid, &fetched);
            if (fetched != 1) break;
            if (std::none_of(classes.begin(), classes.end(),
                             [&clsid](const CLSID &seen) { return ::IsEqualGUID(seen, clsid) != 0; })) {
                classes.push_back(clsid);
            }
        }
    }
    return status;
} catch (const std::bad_alloc &) {
    return E_OUTOFMEMORY;
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
    const LONG opened = ::RegOpenKeyExA(HKEY_CLASSES_ROOT, key_path, 0, KEY_READ, libid_key.put());
    if (opened != ERROR_SUCCESS) {
        report_query_failure(registry_cause(opened), "%s cannot be opened", key_path);
        return E_FAIL;
    }
    std::vector<version_key> versions;
    HRESULT status = select_versions(libid_key.get(), make_selector(major_version, minor_version), versions);
    if (FAILED(status)) {
        report_query_failure(status, "the versions of %s cannot be listed", key_path);
        return status;
    }

    registration_cache own_cache;
    record_list<componentInfo> described;
    componentInfo **slot = described.slot();
    for (const version_key &version : versions) {
        status = describe_version(libid_key.get(), libid, version, load, slot, cache ? *cache : own_cache);
        if (status == E_OUTOFMEMORY) report_query_failure(status, "%s\\%s cannot be described", key_path, version.name);
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
    // the call returns; declared first, so it outlives what the query obtains.
    // A failed enumeration is tried once more whatever its cause.
    tvc::unique_com_initialization com;
    std::vector<CLSID> classes;
    const HRESULT status = tvc::attempt_with_com(com, tvc::com_retry::after_any_failure, [&] {
        return tvc::enumerate_component_classes(category_mask, classes);
    });
    if (FAILED(status)) {
        tvc::report_query_failure(status, "the classes of the component categories cannot be listed");
        return status;
    }

    tvc::record_list<componentInfo> answer;
    tvc::registration_cache cache;
    for (const CLSID &clsid : classes) {
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
