// Calls from C that pass null GUID pointers to the component exports.
#pragma once

#include <windows.h>

extern "C" {
HRESULT register_com_component_without_clsid(const char *module_name, const GUID *libid,
                                             const char *version_independent_prog_id,
                                             const char *prog_id);
HRESULT unregister_xl_component_without_clsid(const char *version_independent_prog_id,
                                              const char *prog_id);
}
