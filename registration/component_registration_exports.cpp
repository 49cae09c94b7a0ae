// The exported component registration entry points.
#include "tvcvrtrt/registration.h"

#include "registration/component_registration.h"
#include "registration/reference_address.h"

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
