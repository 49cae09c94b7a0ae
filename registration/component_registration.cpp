// Registration of a component's class: a COM server with threading model
// "Both" that is a member of its kind's category; and the four exports.
#include "tvcvrtrt/registration.h"

#include "registration/component_category.h"
#include "registration/server_registration.h"

namespace tvc {

namespace {

struct component_kind {
    const componentCategory &category;
    const wchar_t *description;  // given to the category when it is first registered
};

const component_kind com_component_kind{com_components_category, L"Tovan COM Fabrix Components"};
const component_kind xl_component_kind{xl_components_category, L"Tovan Excel Fabrix Components"};

// Registers the category when its key is missing, then the server, then the
// class's membership. Returns the first failing HRESULT (E_INVALIDARG,
// HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS) and
// HRESULT_FROM_WIN32(ERROR_OBJECT_ALREADY_EXISTS), before anything is done,
// for the arguments and ProgID keys register_server refuses); the server
// entries written before a failure are undone.
HRESULT register_component(const component_kind &kind, const char *module_name, const CLSID *clsid,
                           const GUID *libid, unsigned short major_version,
                           unsigned short minor_version, const char *friendly_name,
                           const char *version_independent_prog_id, const char *prog_id) noexcept {
    const bool valid =
        registration_arguments_valid(module_name, clsid, libid, version_independent_prog_id, prog_id);
    return registration_transaction(valid, [&](registry_changes &changes) {
        const HRESULT free = prog_id_keys_free(*clsid, friendly_name, version_independent_prog_id, prog_id);
        if (FAILED(free)) return free;
        // An existing category keeps its description and locale.
        if (!kind.category.is_registered()) {
            const HRESULT registered = kind.category.register_category(kind.description);
            if (FAILED(registered)) return registered;
        }
        // The category stays registered whatever follows: other components
        // share it. Only the server entries are undone on failure.
        const HRESULT server = register_server(module_name, clsid, libid, major_version, minor_version,
                                               friendly_name, version_independent_prog_id, prog_id, "Both", changes);
        return FAILED(server) ? server : kind.category.register_class(*clsid, true);
    });
}

// Removes the membership (whatever that gives) and then the server entries;
// returns the server unregistration's result. The category itself stays.
HRESULT unregister_component(const component_kind &kind, const CLSID *clsid,
                             const char *version_independent_prog_id, const char *prog_id) noexcept {
    const bool valid = unregistration_arguments_valid(clsid, version_independent_prog_id, prog_id);
    return under_registration_lock(valid, [&] {
        // Membership removal fails for a class the manager does not know; the
        // server entries are removed all the same.
        kind.category.register_class(*clsid, false);
        return unregister_server(clsid, version_independent_prog_id, prog_id);
    });
}

}  // namespace

}  // namespace tvc

HRESULT tvcRegisterTovanCOMComponent_proxy(const char *module_name, REFCLSID clsid, REFGUID libid,
                                           unsigned short major_version, unsigned short minor_version,
                                           const char *friendly_name,
                                           const char *version_independent_prog_id,
                                           const char *prog_id) {
    return tvc::register_component(tvc::com_component_kind, module_name,
                                   tvc::address_as_passed(clsid), tvc::address_as_passed(libid),
                                   major_version, minor_version, friendly_name,
                                   version_independent_prog_id, prog_id);
}

HRESULT tvcRegisterTovanXLComponent_proxy(const char *module_name, REFCLSID clsid, REFGUID libid,
                                          unsigned short major_version, unsigned short minor_version,
                                          const char *friendly_name,
                                          const char *version_independent_prog_id,
                                          const char *prog_id) {
    return tvc::register_component(tvc::xl_component_kind, module_name,
                                   tvc::address_as_passed(clsid), tvc::address_as_passed(libid),
                                   major_version, minor_version, friendly_name,
                                   version_independent_prog_id, prog_id);
}

HRESULT tvcUnRegisterTovanCOMComponent_proxy(REFCLSID clsid, const char *version_independent_prog_id,
                                             const char *prog_id) {
    return tvc::unregister_component(tvc::com_component_kind, tvc::address_as_passed(clsid),
                                     version_independent_prog_id, prog_id);
}

HRESULT tvcUnRegisterTovanXLComponent_proxy(REFCLSID clsid, const char *version_independent_prog_id,
                                            const char *prog_id) {
    return tvc::unregister_component(tvc::xl_component_kind, tvc::address_as_passed(clsid),
                                     version_independent_prog_id, prog_id);
}
