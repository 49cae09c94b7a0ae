/* COM server and component registration, GUID text. Usable from C and C++. */
#ifndef TVCVRTRT_REGISTRATION_H
#define TVCVRTRT_REGISTRATION_H

#include <stddef.h>
#include <windows.h>

#include "tvcvrtrt/api.h"

TVCVRTRT_BEGIN_C

/* Writes the class, AppID, ProgID and type-library entries of one COM server
   under HKEY_CLASSES_ROOT. module_name names a module loaded in the process;
   a name containing ".exe" registers a LocalServer32, any other an
   InprocServer32 with threading_model (may be null). friendly_name may be null.
   Each ProgID is one key name of the class's own: a null or empty one, one
   containing a backslash, ending in a lead byte without its trail byte,
   starting with a dot (a file extension), "*", a structural key of the root
   ("CLSID", "AppID", "Interface", "TypeLib", ...), or one longer than 255
   characters gives E_INVALIDARG and nothing is written (or, for the removal
   and component functions below, nothing is removed or registered).
   Registration also refuses ProgIDs whose longest key path ("<ProgID>\CLSID",
   "<ProgID>\CurVer") would exceed 255 characters. Lengths count characters,
   not bytes. A ProgID that names an existing key without a CLSID subkey (a
   file type, a protocol, a shell key: not a ProgID key) gives
   HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS) and nothing is written, unless
   the key holds nothing but what this class's registration writes there
   (what a registration or removal ended part-way leaves). An existing
   ProgID key (it has one) is taken over, except a version-dependent ProgID
   (prog_id) whose CLSID subkey names another class that is still
   registered: HRESULT_FROM_WIN32(ERROR_OBJECT_ALREADY_EXISTS), nothing
   written. The version-independent ProgID of another class is taken over,
   as a newer version takes it. A module path that the
   process code page cannot hold, not even in its short form, gives
   HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION). A registration that
   fails part-way is undone: keys it created are removed, values it replaced
   get their old contents back.
   All registration and unregistration calls of the session, for any class,
   run one at a time under the named mutex "Local\tvcvrtrt-registration".
   The wait for it is bounded: after 30 seconds the call fails with
   HRESULT_FROM_WIN32(ERROR_TIMEOUT); an object of another kind under that
   name gives HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE). Either way nothing
   is written or removed. */
HRESULT tvcRegisterServer_proxy(const char *module_name, REFCLSID clsid, REFGUID libid,
                                unsigned short major_version, unsigned short minor_version,
                                const char *friendly_name, const char *version_independent_prog_id,
                                const char *prog_id, const char *threading_model);

/* Removes the CLSID and AppID trees. From each ProgID key whose CLSID subkey
   names this class it removes only what registration writes there (the
   default value and the CurVer subkey, then the CLSID subkey), and the key
   itself only when nothing else is left in it; a ProgID key naming another
   class, or none, is left alone. Missing keys count as removed; a key that
   cannot be removed gives E_FAIL. */
HRESULT tvcUnregisterServer_proxy(REFCLSID clsid, const char *version_independent_prog_id,
                                  const char *prog_id);

/* Server registration with threading model "Both", plus membership in the
   COM components or Excel add-in components category. */
HRESULT tvcRegisterTovanCOMComponent_proxy(const char *module_name, REFCLSID clsid, REFGUID libid,
                                           unsigned short major_version, unsigned short minor_version,
                                           const char *friendly_name,
                                           const char *version_independent_prog_id,
                                           const char *prog_id);
HRESULT tvcRegisterTovanXLComponent_proxy(const char *module_name, REFCLSID clsid, REFGUID libid,
                                          unsigned short major_version, unsigned short minor_version,
                                          const char *friendly_name,
                                          const char *version_independent_prog_id,
                                          const char *prog_id);
HRESULT tvcUnRegisterTovanCOMComponent_proxy(REFCLSID clsid, const char *version_independent_prog_id,
                                             const char *prog_id);
HRESULT tvcUnRegisterTovanXLComponent_proxy(REFCLSID clsid, const char *version_independent_prog_id,
                                            const char *prog_id);

/* Reads a GUID from text such as "{01234567-89AB-CDEF-0123-456789ABCDEF}";
   braces are optional and the last 16 digits may be split by hyphens or
   spaces anywhere. Returns 1 when all 32 digits were read, else 0, and then
   out holds the groups read before the text ended and zeros for the rest. */
int tvcGUIDFromString_proxy(const char *text, GUID *out);

/* The registry form of a GUID, 38 characters in upper case with braces. A
   buffer of 39 bytes or more receives the text and its NUL; a smaller one
   receives the first size bytes and no NUL. Returns the bytes stored, not
   counting the NUL. A null buffer stores nothing and returns the length the
   text needs (38); a null GUID or a negative size stores nothing. */
size_t tvcGUIDtochar_proxy(const GUID *guid, char *buffer, int size);
/* The same text; empty text when the system cannot allocate its string. */
void tvcCLSIDtochar_proxy(const CLSID *clsid, char *buffer, int size);

TVCVRTRT_END_C

#endif
