// Registrations the component information tests read back, and a text form
// of a record tree that shows every field a test looks at.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "support/registry_test_support.h"
#include "support/child_process.h"
#include "tvcvrtrt/component_info.h"
#include "tvcvrtrt/registration.h"

namespace tvc_test {

// The compiled fixture type library, next to the test executables.
inline std::string fixture_library_path() { return tvc_test::executable_directory() + "tvc_walk_fixture.tlb"; }

// Identifiers of fixture_library.idl.
constexpr GUID fixture_libid = {0xDDBDC4D4, 0x69C3, 0x4D61, {0xA8, 0x60, 0x44, 0x47, 0xE2, 0xD2, 0x63, 0x7F}};
constexpr GUID widget_iid = {0x1358E667, 0x6A71, 0x4C7E, {0x9B, 0x8F, 0x65, 0x95, 0xE9, 0x7E, 0xCC, 0x74}};
constexpr GUID settings_iid = {0x9648AC61, 0x7F40, 0x428F, {0xB8, 0x10, 0x66, 0x9E, 0x96, 0xDC, 0xE6, 0x97}};
constexpr GUID other_iid = {0x3E8F960E, 0x2879, 0x4A99, {0x9D, 0xEC, 0xCF, 0x2E, 0x8B, 0x42, 0x3A, 0xCC}};
constexpr GUID events_iid = {0x051A6D71, 0xA483, 0x4EA3, {0x95, 0xEB, 0x10, 0x0F, 0x04, 0x24, 0x25, 0x3B}};
constexpr GUID widget_clsid = {0x751AB421, 0x9AA4, 0x4C21, {0xBD, 0x1E, 0x85, 0xE5, 0x36, 0xE6, 0x5B, 0x1C}};
constexpr GUID two_faced_clsid = {0x8D6FC3F5, 0xC1EC, 0x4341, {0x82, 0xB7, 0x67, 0xA6, 0xBE, 0x59, 0x6B, 0xC6}};

// A type library key with the given versions; a version ending in '-' has
// no win64 path. The key is removed when the object goes.
struct registered_library {
    GUID libid = tvc_test::random_guid();
    std::string libid_text = text_of(libid);
    std::string key = "TypeLib\\" + libid_text;
    cleanup trees{key};

    registered_library(const std::vector<std::string> &versions, const std::string &path) {
        for (std::string version : versions) {
            const bool with_path = version.back() != '-';
            if (!with_path) version.pop_back();
            create_key(key + "\\" + version, ("Library " + version).c_str());
            if (with_path) create_key(key + "\\" + version + "\\0\\win64", path.c_str());
        }
    }
};

// Its key is removed first: under a fixed identifier, a crashed run may have left it.
inline void register_interface(cleanup &trees, const GUID &iid, const char *name, const std::string &libid,
                               const char *version) {
    const std::string key = "Interface\\" + text_of(iid);
    trees.add(key);
    ::RegDeleteTreeA(HKEY_CLASSES_ROOT, key.c_str());
    create_key(key, name);
    create_key(key + "\\TypeLib", libid.c_str());
    write_value(key + "\\TypeLib", "Version", version);
}

// A class of the categories given (the COM components category unless
// told). The server is a DLL every process has loaded; nobody creates it.
struct registered_class {
    GUID clsid;
    std::string version_independent_prog_id;
    std::string prog_id = version_independent_prog_id + ".1";
    unsigned categories;
    cleanup trees{"CLSID\\" + text_of(clsid), "AppID\\" + text_of(clsid), version_independent_prog_id,
                  prog_id};

    registered_class(const GUID &id, const std::string &name, const GUID &libid, unsigned short major = 3,
                     unsigned short minor = 1, unsigned in_categories = TVC_COM_COMPONENTS_CATEGORY)
        : clsid(id), version_independent_prog_id(name), categories(in_categories) {
        const char *v = version_independent_prog_id.c_str();
        if (categories & TVC_COM_COMPONENTS_CATEGORY)
            tvcRegisterTovanCOMComponent_proxy("oleaut32.dll", clsid, libid, major, minor, v, v, prog_id.c_str());
        if (categories & TVC_XL_COMPONENTS_CATEGORY)
            tvcRegisterTovanXLComponent_proxy("oleaut32.dll", clsid, libid, major, minor, v, v, prog_id.c_str());
    }
    ~registered_class() {
        const char *v = version_independent_prog_id.c_str();
        if (categories & TVC_COM_COMPONENTS_CATEGORY) tvcUnRegisterTovanCOMComponent_proxy(clsid, v, prog_id.c_str());
        if (categories & TVC_XL_COMPONENTS_CATEGORY) tvcUnRegisterTovanXLComponent_proxy(clsid, v, prog_id.c_str());
    }
};

// The fixture library registered as a component's installer would leave it:
// versions 3.1 and 1.0 (both the compiled file) and a 0.9 key that is never
// a version; its two registered classes; four of its five interfaces.
struct registered_fixture {
    std::string component = "TvcWalk" + tvc_test::unique_name("x").substr(2);
    std::string libid_text = text_of(fixture_libid);
    cleanup trees{"TypeLib\\" + libid_text};  // cleared first, like the classes' fixed keys
    registered_class widget{widget_clsid, component + ".Widget", fixture_libid};
    registered_class two_faced{two_faced_clsid, component + ".TwoFaced", fixture_libid};

    registered_fixture() {
        const std::string key = "TypeLib\\" + libid_text;
        for (const char *version : {"3.1", "1.0", "0.9"}) {
            create_key(key + "\\" + version, (std::string("Walk fixture ") + version).c_str());
            create_key(key + "\\" + version + "\\0\\win64", fixture_library_path().c_str());
        }
        register_interface(trees, widget_iid, "IFixtureWidget", libid_text, "3.1");
        register_interface(trees, settings_iid, "IFixtureSettings", libid_text, "3.1");
        register_interface(trees, other_iid, "IFixtureOther", libid_text, "3.1");
        register_interface(trees, events_iid, "DFixtureWidgetEvents", libid_text, "3.1");
    }
};

inline std::string format(const char *pattern, ...) __attribute__((format(printf, 1, 2)));
inline std::string format(const char *pattern, ...) {
    char text[2048];
    va_list arguments;
    va_start(arguments, pattern);
    std::vsnprintf(text, sizeof text, pattern, arguments);
    va_end(arguments);
    return text;
}

inline void describe_method(std::string &out, const char *kind, const methodInfo *method) {
    out += format("    %s %s id=%d params=%d returns=%u/%d iid=%s\n", kind, method->name, method->member_id,
                  method->param_count, method->return_type, method->return_indirection, method->iid);
    for (const paramInfo *p = method->params; p; p = p->next) {
        out += format("      param %s type=%u/%d flags=0x%x\n", p->name, p->type, p->indirection, p->flags);
    }
}

// One line per record, indented by depth; accessors under their property.
inline std::string describe(const componentInfo *tree) {
    std::string out;
    for (const componentInfo *c = tree; c; c = c->next) {
        out += format("component %s %u.%u '%s'\n", c->libid, c->major_version, c->minor_version, c->name);
        for (const classInfo *k = c->classes; k; k = k->next) {
            out += format("  class %s '%s' %s lib=%s %u.%u\n", k->clsid, k->description,
                          k->version_independent_prog_id, k->libid, k->type_lib_major, k->type_lib_minor);
            for (const methodInfo *m = k->methods; m; m = m->next) describe_method(out, "method", m);
            for (const methodInfo *m = k->events; m; m = m->next) describe_method(out, "event", m);
            for (const propertyInfo *p = k->properties; p; p = p->next) {
                out += format("    property %s id=%d iid=%s\n", p->name, p->member_id, p->iid);
                for (const methodInfo *m = p->getter; m; m = m->next) describe_method(out, "  get", m);
                for (const methodInfo *m = p->setter; m; m = m->next) describe_method(out, "  set", m);
            }
        }
        for (const interfaceInfo *i = c->interfaces; i; i = i->next) {
            out += format("  interface %s '%s' lib=%s %u.%u\n", i->iid, i->name, i->libid, i->type_lib_major,
                          i->type_lib_minor);
        }
    }
    return out;
}

// Owns a tree a query returned.
struct answer {
    componentInfo *tree = nullptr;
    answer() = default;
    answer(const answer &) = delete;
    answer &operator=(const answer &) = delete;
    ~answer() { tvcFreeComponentInfo_proxy(&tree); }
};

}  // namespace tvc_test
