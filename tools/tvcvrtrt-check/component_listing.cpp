#include "tools/tvcvrtrt-check/component_listing.h"

#include <comcat.h>
#include <wrl/client.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <string>
#include <utility>

#include "common/unique_resource.h"
#include "component_info/component_query.h"
#include "registration/class_layout.h"
#include "registration/component_category.h"
#include "tools/tvcvrtrt-check/library_dependencies.h"
#include "tools/tvcvrtrt-check/record_schema.h"
#include "tools/tvcvrtrt-check/text.h"
#include "tools/tvcvrtrt-check/type_library_reader.h"
#include "tvcvrtrt/component_info.h"

namespace tvc_check {

namespace {

struct category {
    const char *name;
    const tvc::componentCategory &id;
};
const category categories[] = {
    {"COM components", tvc::com_components_category},
    {"Excel add-in components", tvc::xl_components_category},
};

// ---- the classes of a category, from the registry

// A text value of HKEY_CLASSES_ROOT\subkey (null value_name: the default
// value); empty when missing or not text.
std::string registry_text(const std::string &subkey, const char *value_name = nullptr) {
    DWORD size = 0;
    constexpr DWORD text_only = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
    if (RegGetValueA(HKEY_CLASSES_ROOT, subkey.c_str(), value_name, text_only, nullptr, nullptr, &size) !=
            ERROR_SUCCESS ||
        size == 0) {
        return {};
    }
    std::string text(size, '\0');
    const LSTATUS read =
        RegGetValueA(HKEY_CLASSES_ROOT, subkey.c_str(), value_name, text_only, nullptr, &text[0], &size);
    if (read != ERROR_SUCCESS) return {};
    text.resize(strnlen(text.c_str(), text.size()));
    return text;
}

bool registry_key_exists(const std::string &subkey) {
    if (subkey.empty()) return false;  // it would open the root itself
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// The key of the entry of a class's registration that holds content, where
// registration writes it.
std::string class_entry_key(tvc::layout_content content, const std::string &clsid,
                            tvc::layout_condition condition = tvc::layout_condition::always) {
    tvc::registry_key_path path;
    const bool made = tvc::class_entry_key(path, tvc::class_entry(content, condition), clsid.c_str());
    return made ? path.text : std::string();
}

std::string class_entry_text(tvc::layout_content content, const std::string &clsid,
                             tvc::layout_condition condition = tvc::layout_condition::always) {
    const std::string key = class_entry_key(content, clsid, condition);
    return key.empty() ? std::string() : registry_text(key, tvc::class_entry(content, condition)->value_name);
}

std::string guid_text(const GUID &guid) {
    wchar_t wide[40] = {};
    StringFromGUID2(guid, wide, 40);
    return narrowed(wide);
}

// The categories a class implements, each with its description in the
// user's language, else in English (0x409, where registration puts it).
std::vector<category_record> categories_of(ICatInformation *manager, const CLSID &clsid) {
    std::vector<category_record> categories;
    Microsoft::WRL::ComPtr<IEnumCATID> found;
    if (FAILED(manager->EnumImplCategoriesOfClass(clsid, found.GetAddressOf()))) return categories;
    CATID id;
    ULONG fetched = 0;
    while (categories.size() < 256 && found->Next(1, &id, &fetched) == S_OK && fetched == 1) {
        category_record category{guid_text(id), {}};
        for (const LCID locale : {GetUserDefaultLCID(), static_cast<LCID>(0x409)}) {
            tvc::unique_cotaskmem_string description;
            if (SUCCEEDED(manager->GetCategoryDesc(id, locale, description.put())) && description) {
                category.description = narrowed(description.get());
                break;
            }
        }
        categories.push_back(std::move(category));
    }
    return categories;
}

class_record read_class(ICatInformation *manager, const CLSID &clsid) {
    using content = tvc::layout_content;
    class_record cls;
    cls.clsid = guid_text(clsid);
    cls.categories = categories_of(manager, clsid);
    cls.description = class_entry_text(content::friendly_name, cls.clsid);
    cls.server_path = class_entry_text(content::module_path, cls.clsid, tvc::layout_condition::in_process_server);
    cls.prog_id = class_entry_text(content::prog_id, cls.clsid);
    cls.version_independent_prog_id = class_entry_text(content::version_independent_prog_id, cls.clsid);
    cls.libid = class_entry_text(content::libid_text, cls.clsid);
    return cls;
}

// The library's own filter, so that the command lists what the library's
// query with that name selects.
bool belongs_to(const class_record &cls, const char *component_name) {
    return component_name == nullptr || tvc::first_piece_is(cls.version_independent_prog_id.c_str(), component_name);
}

HRESULT classes_of(const category &which, const char *component_name, std::vector<class_record> &classes) {
    Microsoft::WRL::ComPtr<ICatInformation> manager;
    HRESULT result = tvc::create_categories_manager(manager);
    Microsoft::WRL::ComPtr<IEnumCLSID> found;
    CATID id = which.id.id();
    if (SUCCEEDED(result)) result = manager->EnumClassesOfCategories(1, &id, 0, nullptr, found.GetAddressOf());
    if (FAILED(result)) return result;
    CLSID clsid;
    ULONG fetched = 0;
    while (found->Next(1, &clsid, &fetched) == S_OK && fetched == 1) {
        class_record cls = read_class(manager.Get(), clsid);
        if (belongs_to(cls, component_name)) classes.push_back(std::move(cls));
    }
    return S_OK;
}

// ---- the type libraries of those classes, from the library's query

struct component_tree_deleter {
    void operator()(componentInfo *tree) const { tvcFreeComponentInfo_proxy(&tree); }
};
using component_tree = std::unique_ptr<componentInfo, component_tree_deleter>;

bool is_guid_text(const std::string &text) {
    GUID ignored;
    return text.size() == 38 && SUCCEEDED(IIDFromString(widened(text).c_str(), &ignored));
}

// Every registered version of the type library, or why there is none.
std::string describe(const std::string &libid, std::vector<type_library_record> &versions) {
    if (libid.empty()) return "no type library (no TypeLib key)";
    if (!is_guid_text(libid)) return "its TypeLib value \"" + libid + "\" is not a LIBID";
    if (!registry_key_exists("TypeLib\\" + libid)) return "type library " + libid + " not registered";
    componentInfo *head = nullptr;
    const HRESULT result = tvcGetLIBIDInfo_proxy(libid.c_str(), -1, 0, 0, &head);
    const component_tree tree(head);
    if (FAILED(result)) {
        return "type library " + libid + " is registered, but cannot be described (" + hresult_text(result) + ")";
    }
    if (head == nullptr) return "type library " + libid + " has no registered version";
    for (const componentInfo *version = head; version != nullptr; version = version->next) {
        versions.push_back(from_records(*version));
    }
    return {};
}

// A class registered with LocalServer32 and no InprocServer32.
bool local_server(const class_record &cls) {
    using tvc::layout_condition;
    return !registry_key_exists(class_entry_key(tvc::layout_content::module_path, cls.clsid,
                                                layout_condition::in_process_server)) &&
           registry_key_exists(class_entry_key(tvc::layout_content::module_path, cls.clsid,
                                               layout_condition::local_server));
}

bool same_clsid(const std::string &one, const std::string &other) {
    return tvc::same_name_ignoring_case(one, other);
}

// After --load: the classes the query selected, each as the file describes
// it, or undescribed with the reason. A class of the file that the query did
// not select is never added.
void keep_selected_classes(type_library_record &library, const std::vector<class_record> &selected,
                           std::vector<undescribed_class> &undescribed) {
    std::vector<class_record> described;
    for (const class_record &cls : selected) {
        bool found = false;
        for (class_record &read : library.classes) {
            if (!same_clsid(read.clsid, cls.clsid)) continue;
            read.categories = cls.categories;  // the category registry's, which the file does not hold
            described.push_back(std::move(read));
            found = true;
            break;
        }
        if (!found) {
            undescribed.push_back({cls, "type library " + library.libid + " " + std::to_string(library.major) + "." +
                                            std::to_string(library.minor) +
                                            " describes no class of this CLSID that is registered as an "
                                            "in-process server"});
        }
    }
    library.classes = std::move(described);
}

category_listing list_category(const category &which, const char *component_name, bool load) {
    category_listing listing;
    listing.name = which.name;
    std::vector<class_record> classes;
    listing.result = classes_of(which, component_name, classes);
    std::vector<std::string> libids_seen;
    for (const class_record &cls : classes) {
        bool seen = false;
        for (const std::string &libid : libids_seen) seen = seen || tvc::same_name_ignoring_case(libid, cls.libid);
        if (seen) continue;
        libids_seen.push_back(cls.libid);
        std::vector<type_library_record> versions;
        const std::string reason = describe(cls.libid, versions);
        for (const class_record &member : classes) {
            if (!tvc::same_name_ignoring_case(member.libid, cls.libid)) continue;
            if (!reason.empty()) {
                listing.undescribed.push_back({member, reason});
            } else if (local_server(member)) {
                // The library's query passes such a class over, as documented.
                listing.undescribed.push_back({member, "a local server: the query describes in-process servers only"});
            } else {
                for (type_library_record &version : versions) version.classes.push_back(member);
            }
        }
        for (type_library_record &version : versions) {
            if (load) {
                const std::vector<class_record> selected = version.classes;
                read_in_child(version);
                if (version.loaded) keep_selected_classes(version, selected, listing.undescribed);
            }
            listing.type_libraries.push_back(std::move(version));
        }
    }
    return listing;
}

// ---- output

// Where the system would find a class's server: a path as it stands, a bare
// name as the loader looks for it.
bool server_found(const class_record &cls) {
    const std::string &path = cls.server_path;
    if (path.find_first_of("\\/:") != std::string::npos) return file_exists(path);
    if (path.empty()) return false;
    return !find_library(path, narrowed(program_directory())).empty();
}

// The members of one interface of a class, in the records' order.
struct interface_members {
    std::string iid, name;  // name: empty when the interface is not registered
    bool events = false;    // a source interface: the class calls it
    std::vector<const method_record *> methods;
    std::vector<const property_record *> properties;
};

// The class's members grouped by the interface that each record names, the
// interfaces in the order of their first member, incoming ones first.
std::vector<interface_members> by_interface(const class_record &cls, const type_library_record &library) {
    std::vector<interface_members> groups;
    const auto group = [&](const std::string &iid, bool events) -> interface_members & {
        for (interface_members &existing : groups) {
            if (existing.events == events && tvc::same_name_ignoring_case(existing.iid, iid)) return existing;
        }
        interface_members added{iid, {}, events, {}, {}};
        for (const interface_record &registered : library.interfaces) {
            if (tvc::same_name_ignoring_case(registered.iid, iid)) added.name = registered.name;
        }
        groups.push_back(std::move(added));
        return groups.back();
    };
    for (const method_record &method : cls.methods) group(method.iid, false).methods.push_back(&method);
    for (const property_record &property : cls.properties) group(property.iid, false).properties.push_back(&property);
    for (const method_record &event : cls.events) group(event.iid, true).methods.push_back(&event);
    return groups;
}

std::string signature(const method_record &method) {
    std::string params;
    for (const parameter_record &param : method.params) {
        params += (params.empty() ? "[" : ", [") + parameter_flags(param.flags) + "] " +
                  type_name(param.type, param.indirection) + " " + param.name;
    }
    return type_name(method.return_type, method.return_indirection) + " " + method.name + "(" + params + ")";
}

void print_class_line(const class_record &cls, std::FILE *out) {
    std::fprintf(out, "class \"%s\" %s%s%s", shown(cls.description).c_str(), shown(cls.clsid).c_str(),
                 cls.prog_id.empty() ? "" : " ", shown(cls.prog_id).c_str());
}

void print_class(const class_record &cls, const type_library_record &library, std::FILE *out) {
    std::fprintf(out, "      ");
    print_class_line(cls, out);
    std::fprintf(out, "\n");
    if (!server_found(cls)) {
        std::fprintf(out, "        server file not found: \"%s\"\n", shown(cls.server_path).c_str());
    }
    for (const category_record &category : cls.categories) {
        std::fprintf(out, "        category %s \"%s\"\n", shown(category.catid).c_str(),
                     shown(category.description).c_str());
    }
    if (!library.loaded) return;
    for (const interface_members &members : by_interface(cls, library)) {
        std::fprintf(out, "        %s %s%s%s\n", members.events ? "event interface" : "interface",
                     shown(members.name).c_str(), members.name.empty() ? "" : " ", shown(members.iid).c_str());
        for (const method_record *method : members.methods) {
            std::fprintf(out, "          %s  id %d\n", shown(signature(*method)).c_str(), method->member_id);
        }
        for (const property_record *property : members.properties) {
            std::fprintf(out, "          property %s %s %s%s  id %d\n",
                         shown(type_name(property->type, property->indirection)).c_str(),
                         shown(property->name).c_str(), property->readable ? "get" : "",
                         property->writable ? (property->readable ? " put" : "put") : "", property->member_id);
        }
    }
}

void json_class(const class_record &cls, const type_library_record *library, json_writer &json) {
    json_fields(cls, class_fields(), json);
    json.member("server_found", server_found(cls));
    json.object_array("categories", cls.categories, [&](const category_record &category) {
        json.member("catid", category.catid);
        json.member("description", category.description);
    });
    const std::vector<interface_members> groups =
        library != nullptr && library->loaded ? by_interface(cls, *library) : std::vector<interface_members>();
    json.object_array("interfaces", groups, [&](const interface_members &members) {
        json.member("name", members.name);
        json.member("iid", members.iid);
        json.member("events", members.events);
        json.object_array("methods", members.methods, [&](const method_record *method) {
            json_fields(*method, method_fields(), json);
            json.object_array("params", method->params,
                              [&](const parameter_record &param) { json_fields(param, parameter_fields(), json); });
        });
        json.object_array("properties", members.properties,
                          [&](const property_record *property) { json_fields(*property, property_fields(), json); });
    });
}

}  // namespace

std::string type_name(unsigned vartype, int indirection) {
    // Indexed by VARTYPE: the names a type library's IDL gives them.
    static const char *const names[] = {
        "void", "NULL", "short", "long", "float", "double", "CURRENCY", "DATE", "BSTR", "IDispatch*",
        "SCODE", "VARIANT_BOOL", "VARIANT", "IUnknown*", "DECIMAL", nullptr, "char", "unsigned char",
        "unsigned short", "unsigned long", "__int64", "unsigned __int64", "int", "unsigned int", "void", "HRESULT",
        "void*", "SAFEARRAY", "CARRAY", "user-defined", "LPSTR", "LPWSTR"};
    const unsigned base = vartype & VT_TYPEMASK;
    std::string text;
    if (base < std::size(names) && names[base] != nullptr) {
        text = names[base];
    } else {
        char number[16];
        std::snprintf(number, sizeof number, "VARTYPE 0x%X", base);
        text = number;
    }
    if (vartype & VT_ARRAY) text = "SAFEARRAY(" + text + ")";
    if (vartype & VT_VECTOR) text = "vector(" + text + ")";
    if (vartype & VT_BYREF) text += "*";
    for (int level = 0; level < indirection && level < 8; ++level) text += "*";
    return text;
}

std::string parameter_flags(unsigned flags) {
    static const char *const names[] = {"in", "out", "lcid", "retval", "optional", "default", "custom"};
    std::string text;
    for (unsigned bit = 0; bit < std::size(names); ++bit) {
        if (flags & (1u << bit)) text += (text.empty() ? "" : ", ") + std::string(names[bit]);
    }
    return text;
}

bool component_listing::everything_read() const {
    for (const category_listing &category : categories) {
        for (const type_library_record &library : category.type_libraries) {
            if (!library.read_error.empty()) return false;
        }
    }
    return true;
}

component_listing list_components(const char *component_name, bool load) {
    const tvc::unique_com_initialization com(SUCCEEDED(CoInitialize(nullptr)));
    component_listing listing;
    for (std::size_t index = 0; index < std::size(categories); ++index) {
        listing.categories[index] = list_category(categories[index], component_name, load);
    }
    return listing;
}

void print_text(const component_listing &listing, std::FILE *out) {
    std::fprintf(out, "Registered components\n");
    for (const category_listing &category : listing.categories) {
        std::fprintf(out, "  %s", category.name);
        if (FAILED(category.result)) {
            std::fprintf(out, ": query failed, 0x%08lX\n", static_cast<unsigned long>(category.result));
            continue;
        }
        const bool none = category.type_libraries.empty() && category.undescribed.empty();
        std::fprintf(out, "%s\n", none ? ": none" : "");
        for (const type_library_record &library : category.type_libraries) {
            std::fprintf(out, "    \"%s\" %s %u.%u\n      %s\n", shown(library.name).c_str(),
                         shown(library.libid).c_str(), library.major, library.minor, shown(library.path).c_str());
            if (!file_exists(library.path)) std::fprintf(out, "      type library file not found\n");
            if (!library.read_error.empty()) std::fprintf(out, "      %s\n", shown(library.read_error).c_str());
            for (const class_record &cls : library.classes) print_class(cls, library, out);
        }
        for (const undescribed_class &cls : category.undescribed) {
            std::fprintf(out, "    ");
            print_class_line(cls.registration, out);
            std::fprintf(out, ": %s\n", shown(cls.reason).c_str());
        }
    }
}

void print_json(const component_listing &listing, json_writer &json) {
    json.object_array("components", listing.categories, [&](const category_listing &category) {
        json.member("category", category.name);
        json.member("result", static_cast<unsigned long>(category.result));
        json.object_array("type_libraries", category.type_libraries, [&](const type_library_record &library) {
            json.member("name", library.name);
            json.member("libid", library.libid);
            json.member("version", std::to_string(library.major) + "." + std::to_string(library.minor));
            json.member("path", library.path);
            json.member("file_found", file_exists(library.path));
            json.key("error");
            json.value(library.read_error.empty() ? nullptr : library.read_error.c_str());
            json.object_array("classes", library.classes,
                              [&](const class_record &cls) { json_class(cls, &library, json); });
        });
        json.object_array("undescribed_classes", category.undescribed, [&](const undescribed_class &cls) {
            json_class(cls.registration, nullptr, json);
            json.member("reason", cls.reason);
        });
    });
}

}  // namespace tvc_check
