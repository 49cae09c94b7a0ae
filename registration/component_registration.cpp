#include "registration/component_registration.h"

#include "registration/server_registration.h"

namespace tvc {

const component_kind com_component_kind{com_components_category, L"Tovan COM Fabrix Components"};
const component_kind xl_component_kind{xl_components_category,
                                          L"Tovan Excel Fabrix Components"};

HRESULT register_component(const component_kind &kind, const char *module_name, const CLSID *clsid,
                           const GUID *libid, unsigned short major_version,
                           unsigned short minor_version, const char *friendly_name,
                           const char *version_independent_prog_id, const char *prog_id) noexcept {
    if (!registration_arguments_valid(module_name, clsid, libid, version_independent_prog_id,
                                      prog_id)) {
        return E_INVALIDARG;
    }
    // An existing category keeps its description and locale.
    if (!kind.category.is_registered()) {
        const HRESULT registered = kind.category.register_category(kind.description);
        if (FAILED(registered)) return registered;
    }
    const HRESULT server = register_server(module_name, clsid, libid, major_version, minor_version,
                                           friendly_name, version_independent_prog_id, prog_id,
                                           "Both");
    if (FAILED(server)) return server;
    return kind.category.register_class(*clsid, true);
}

HRESULT unregister_component(const component_kind &kind, const CLSID *clsid,
                             const char *version_independent_prog_id, const char *prog_id) noexcept {
    if (!unregistration_arguments_valid(clsid, version_independent_prog_id, prog_id)) {
        return E_INVALIDARG;
    }
    // Membership removal fails for a class the manager does not know; the
    // server entries are removed all the same.
    kind.category.register_class(*clsid, false);
    return unregister_server(clsid, version_independent_prog_id, prog_id);
}

}  // namespace tvc
