/* C callers can pass null through REFCLSID and REFGUID, which are pointers in C. */
#include "tvcvrtrt/registration.h"

HRESULT register_server_without_clsid(const char *module_name, const GUID *libid,
                                      const char *version_independent_prog_id, const char *prog_id) {
    return tvcRegisterServer_proxy(module_name, NULL, libid, 1, 0, "name",
                                   version_independent_prog_id, prog_id, "Both");
}

HRESULT register_server_without_libid(const char *module_name, const CLSID *clsid,
                                      const char *version_independent_prog_id, const char *prog_id) {
    return tvcRegisterServer_proxy(module_name, clsid, NULL, 1, 0, "name",
                                   version_independent_prog_id, prog_id, "Both");
}

HRESULT unregister_server_without_clsid(const char *version_independent_prog_id, const char *prog_id) {
    return tvcUnregisterServer_proxy(NULL, version_independent_prog_id, prog_id);
}

HRESULT register_com_component_without_clsid(const char *module_name, const GUID *libid,
                                             const char *version_independent_prog_id, const char *prog_id) {
    return tvcRegisterTovanCOMComponent_proxy(module_name, NULL, libid, 1, 0, "name",
                                              version_independent_prog_id, prog_id);
}

HRESULT unregister_xl_component_without_clsid(const char *version_independent_prog_id, const char *prog_id) {
    return tvcUnRegisterTovanXLComponent_proxy(NULL, version_independent_prog_id, prog_id);
}
