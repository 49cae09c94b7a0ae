/* C callers can pass null through REFCLSID and REFGUID, which are pointers in C. */
#include "tvcvrtrt/registration.h"

HRESULT register_com_component_without_clsid(const char *module_name, const GUID *libid,
                                             const char *version_independent_prog_id,
                                             const char *prog_id) {
    return tvcRegisterTovanCOMComponent_proxy(module_name, NULL, libid, 1, 0, "name",
                                              version_independent_prog_id, prog_id);
}

HRESULT unregister_xl_component_without_clsid(const char *version_independent_prog_id,
                                              const char *prog_id) {
    return tvcUnRegisterTovanXLComponent_proxy(NULL, version_independent_prog_id, prog_id);
}
