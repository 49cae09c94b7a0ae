// Calls from C that pass null GUID pointers to the server and component exports.
#pragma once

#include <windows.h>

extern "C" {
HRESULT register_server_without_clsid(const char *module_name, const GUID *libid,
                                      const char *version_independent_prog_id, const char *prog_id);
HRESULT register_server_without_libid(const char *module_name, const CLSID *clsid,
                                      const char *version_independent_prog_id, const char *prog_id);
HRESULT unregister_server_without_clsid(const char *version_independent_prog_id, const char *prog_id);
HRESULT register_com_component_without_clsid(const char *module_name, const GUID *libid,
                                             const char *version_independent_prog_id, const char *prog_id);
HRESULT unregister_xl_component_without_clsid(const char *version_independent_prog_id, const char *prog_id);
}
