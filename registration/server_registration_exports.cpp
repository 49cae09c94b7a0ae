// The exported server registration entry points: plain C names that hand
// their arguments to the internal routines.
#include "tvcvrtrt/registration.h"

#include "registration/reference_address.h"
#include "registration/server_registration.h"

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
