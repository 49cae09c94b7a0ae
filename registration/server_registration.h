// Registration and unregistration of one COM server class under
// HKEY_CLASSES_ROOT, walking the registry layout. Also the base of component
// registration. Nothing throws; results are HRESULTs:
//   S_OK            every step succeeded
//   E_INVALIDARG    a null module name, CLSID or LIBID, or a null or empty
//                   ProgID (which would name HKEY_CLASSES_ROOT itself);
//                   nothing is written or deleted
//   E_FAIL          registration: the module is not loaded in the process;
//                   unregistration: a tree could not be deleted
//   E_UNEXPECTED    the module's file name could not be obtained
//   E_ACCESSDENIED  a key or value could not be written
//   E_OUTOFMEMORY   no memory for the module path
#pragma once

#include <windows.h>

namespace tvc {

HRESULT register_server(const char *module_name, const CLSID *clsid, const GUID *libid,
                        unsigned short major_version, unsigned short minor_version,
                        const char *friendly_name, const char *version_independent_prog_id,
                        const char *prog_id, const char *threading_model) noexcept;

HRESULT unregister_server(const CLSID *clsid, const char *version_independent_prog_id,
                          const char *prog_id) noexcept;

// The argument checks of the two routines, for callers that must refuse bad
// arguments before doing work of their own.
bool registration_arguments_valid(const char *module_name, const CLSID *clsid, const GUID *libid,
                                  const char *version_independent_prog_id,
                                  const char *prog_id) noexcept;
bool unregistration_arguments_valid(const CLSID *clsid, const char *version_independent_prog_id,
                                    const char *prog_id) noexcept;

}  // namespace tvc
