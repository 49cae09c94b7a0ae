// Errors: HRESULT at registration's boundary; the registry routines beneath (registry.h) answer bool or Win32 codes.
//
// Registration and unregistration of one COM server class under
// HKEY_CLASSES_ROOT, walking the registry layout of class_layout.h. Also the
// base of component registration. Nothing throws; results are HRESULTs:
//   S_OK            every step succeeded
//   E_INVALIDARG    a null module name, CLSID or LIBID, or a ProgID that is
//                   not one key name of a class's own (null, empty, with a
//                   backslash, ending in a lone lead byte, starting with a
//                   dot, "*", or a structural key of the root such as
//                   "CLSID" or "AppID"); for registration also one whose
//                   longest key path exceeds max_written_key_path; nothing
//                   is written or deleted
//   E_FAIL          registration: the module is not loaded in the process;
//                   unregistration: a tree could not be deleted
//   E_UNEXPECTED    the module's file name could not be obtained
//   E_ACCESSDENIED  a key or value could not be written; what the call had
//                   written is undone (keys it created are removed, values it
//                   replaced get their old contents back)
//   E_OUTOFMEMORY   no memory for the module path
//   HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION)
//                   the module's path cannot be given in the process code
//                   page, not even in its short form; nothing is written
//   HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS)
//                   registration: a ProgID names a key that exists without a
//                   CLSID subkey (a file type, a protocol, a shell key: not a
//                   ProgID key) and holds more than the class's registration
//                   writes there; nothing is written
//   HRESULT_FROM_WIN32(ERROR_OBJECT_ALREADY_EXISTS)
//                   registration: the version-dependent ProgID's key names
//                   another class that is still registered; nothing is
//                   written. (Its version-independent ProgID is taken over.)
//   HRESULT_FROM_WIN32(ERROR_TIMEOUT), HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE)
//                   the registration lock could not be had (registration_lock)
// Unregistration touches a ProgID key only when its CLSID subkey names the
// class, and then removes only what registration writes there: the default
// value and the CurVer subkey, then the CLSID subkey; the key itself goes
// only when nothing else is left in it. A tree or key that cannot be removed
// is E_FAIL.
// Registration, unregistration and their undo run one at a time across the
// threads and processes of the session, whatever the class (registration_lock).
#pragma once

#include <windows.h>

#include <string>

#include "common/unique_resource.h"
#include "registration/class_layout.h"
#include "registration/registry.h"

namespace tvc {

HRESULT register_server(const char *module_name, const CLSID *clsid, const GUID *libid,
                        unsigned short major_version, unsigned short minor_version,
                        const char *friendly_name, const char *version_independent_prog_id,
                        const char *prog_id, const char *threading_model) noexcept;

// The same, for callers whose registration has further steps: what it
// writes is recorded in changes, which the caller keeps or lets undo. The
// caller holds the registration_lock until changes is kept or undone.
HRESULT register_server(const char *module_name, const CLSID *clsid, const GUID *libid,
                        unsigned short major_version, unsigned short minor_version,
                        const char *friendly_name, const char *version_independent_prog_id,
                        const char *prog_id, const char *threading_model,
                        registry_changes &changes) noexcept;

HRESULT unregister_server(const CLSID *clsid, const char *version_independent_prog_id,
                          const char *prog_id) noexcept;

// The rows of server_layout for one class's texts, those of a local server
// or of an in-process one: what registration writes once it has checked its
// arguments and taken the module's path. E_INVALIDARG, with nothing written,
// for a key path the registry cannot hold.
HRESULT write_server_entries(const registration_texts &texts, bool local_server, registry_changes &changes) noexcept;

// The argument checks of the two routines, for callers that must refuse bad
// arguments before doing work of their own.
bool registration_arguments_valid(const char *module_name, const CLSID *clsid, const GUID *libid,
                                  const char *version_independent_prog_id,
                                  const char *prog_id) noexcept;
bool unregistration_arguments_valid(const CLSID *clsid, const char *version_independent_prog_id,
                                    const char *prog_id) noexcept;

// S_OK when registration may write both ProgID keys of the class: each is
// missing, a ProgID key (it has a CLSID subkey), or holds nothing but what
// the class's registration writes there, as it writes it (what a process
// ended part-way leaves). HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS) for a key
// of another kind; HRESULT_FROM_WIN32(ERROR_OBJECT_ALREADY_EXISTS) for a
// version-dependent ProgID whose CLSID subkey names another class that is
// still registered. Asked under the registration lock, before anything is
// written.
HRESULT prog_id_keys_free(const CLSID &clsid, const char *friendly_name,
                          const char *version_independent_prog_id, const char *prog_id) noexcept;

// ---- the module's full path, however long: a path is never cut to fit a
// buffer, because a cut path registered as a server names another file.

// S_OK with the path in the process code page (module_path_in_code_page);
// E_UNEXPECTED when the system gives no name, or none fits in 32768
// characters; E_OUTOFMEMORY when no buffer can be had;
// HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION) when the path cannot be
// narrowed without loss. The first attempt uses initial_capacity
// characters, doubled while the name fills the buffer.
HRESULT module_file_path(HMODULE module, std::string &path, DWORD initial_capacity = 512) noexcept;

// ---- one registration at a time

// Every call that writes or removes registration keys, for any class, holds
// the session's one registration mutex: ProgID keys and category keys are
// shared between classes, so a lock per class would let one class's
// unregistration delete what another's registration had just written.
// Registration is rare; running calls for different classes side by side
// gains nothing. The lock admits re-entry by its holder's thread.
//
// The name is open to any program of the session, so the wait is bounded:
// registration_lock_wait_ms (30 s), then HRESULT_FROM_WIN32(ERROR_TIMEOUT).
// An object of another kind under the name gives
// HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE). Either way nothing is written.
// Both globals are seams for tests, set before any call and left alone after.
extern const wchar_t *registration_lock_name;  // L"Local\\tvcvrtrt-registration"
extern DWORD registration_lock_wait_ms;         // 30000

class registration_lock {
public:
    registration_lock() noexcept;
    ~registration_lock();
    registration_lock(const registration_lock &) = delete;
    registration_lock &operator=(const registration_lock &) = delete;

    // S_OK while held; else why the mutex could not be had.
    HRESULT result() const noexcept { return result_; }

private:
    unique_handle mutex_;
    HRESULT result_ = E_FAIL;
};

// Runs work under the registration lock once the arguments are found valid:
// E_INVALIDARG when they are not, the lock's failure when it cannot be had,
// and otherwise what work returns.
template <typename Work>
HRESULT under_registration_lock(bool arguments_valid, Work work) noexcept {
    if (!arguments_valid) return E_INVALIDARG;
    const registration_lock lock;
    if (FAILED(lock.result())) return lock.result();
    return work();
}

// The same for a registration: work records what it writes in the changes
// it is given, which stay when it succeeds and are undone, before the lock
// is released, when it fails.
template <typename Work>
HRESULT registration_transaction(bool arguments_valid, Work work) noexcept {
    return under_registration_lock(arguments_valid, [&work] {
        registry_changes changes;
        const HRESULT result = work(changes);
        if (SUCCEEDED(result)) changes.keep();
        return result;
    });
}

// ---- REFCLSID and REFGUID are references in C++ but pointers in C, so a C
// caller can pass null through them. The empty asm hides the reference's
// origin from the optimizer, which could otherwise assume the address is
// never null and drop the test.

inline const GUID *address_as_passed(const GUID &guid) noexcept {
    const GUID *address = &guid;
    __asm__("" : "+r"(address));
    return address;
}

}  // namespace tvc
