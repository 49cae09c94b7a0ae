// Errors: HRESULT; a registry function's failure as HRESULT_FROM_WIN32 of its code.
//
// The component information query: the registry side (which classes, which
// type libraries, which versions) and the type library walk that describes a
// loaded type library's classes, members and interfaces. Nothing throws.
// Every routine here that can fail answers an HRESULT, as the exports do,
// and keeps its cause; the exports turn a registry read or a file that fails
// inside a version's description into E_FAIL, after the cause has been told
// under TVCVRTRT_VERBOSE (component_info/query_reasons.h).
#pragma once

#include <windows.h>
#include <comcat.h>
#include <oaidl.h>

#include <cstring>
#include <map>
#include <new>
#include <vector>

#include "tvcvrtrt/component_info.h"

namespace tvc {

// The registrations one query has read, and the reads that failed, so that
// the query reads no registry value twice: a class is read when it is
// enumerated and again as a coclass of its type library, an interface once
// per type library version.
class registration_cache {
public:
    template <typename Record>
    struct entry {
        HRESULT status;
        Record fields;  // the registry fields only, without lists
    };

    template <typename Record>
    const entry<Record> *find(const GUID &guid) const noexcept {
        const auto &known = entries(static_cast<Record *>(nullptr));
        const auto found = known.find(guid);
        return found == known.end() ? nullptr : &found->second;
    }

    // Keeps the outcome of one read; a record that failed is not copied.
    template <typename Record>
    void remember(const GUID &guid, HRESULT status, const Record &record) noexcept {
        try {
            entries(static_cast<Record *>(nullptr))
                .emplace(guid, entry<Record>{status, status == S_OK ? record : Record{}});
        } catch (const std::bad_alloc &) {
            // Not remembered, the registration is only read again.
        }
    }

private:
    struct guid_order {
        bool operator()(const GUID &left, const GUID &right) const noexcept {
            return std::memcmp(&left, &right, sizeof(GUID)) < 0;
        }
    };
    template <typename Record>
    using entry_map = std::map<GUID, entry<Record>, guid_order>;

    entry_map<classInfo> &entries(classInfo *) noexcept { return classes_; }
    entry_map<interfaceInfo> &entries(interfaceInfo *) noexcept { return interfaces_; }
    const entry_map<classInfo> &entries(classInfo *) const noexcept { return classes_; }
    const entry_map<interfaceInfo> &entries(interfaceInfo *) const noexcept { return interfaces_; }

    entry_map<classInfo> classes_;
    entry_map<interfaceInfo> interfaces_;
};

// --- registry side -----------------------------------------------------------

// The classes of the categories the mask selects (bit 0 Excel add-in
// components, bit 1 COM components), through the categories manager: those
// of the Excel category first, then those of the COM category not yet seen.
HRESULT enumerate_component_classes(unsigned int category_mask, std::vector<CLSID> &classes) noexcept;

// Read a class's registration (class_entry of registration/class_layout.h)
// or Interface\{iid} into a new record in *slot: S_OK; else E_INVALIDARG for
// a null slot, E_OUTOFMEMORY when no record can be made, or the registry's
// Win32 error code as an HRESULT (HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND):
// not registered), and then the slot is empty. A value that does not fit
// its field (with its NUL) fails with ERROR_MORE_DATA.
// With a cache, a registration read earlier in the same query is copied.
HRESULT read_class_registration(const CLSID &clsid, classInfo **slot,
                                registration_cache *cache = nullptr) noexcept;
HRESULT read_interface_registration(const IID &iid, interfaceInfo **slot,
                                    registration_cache *cache = nullptr) noexcept;

// One componentInfo per selected registered version of TypeLib\{libid}, in
// registry order, into *result; with load, each described from its file.
// Subkeys whose names are not versions (two hexadecimal numbers of one to
// four digits joined by a dot, as "1.0" or "ffff.a") are passed over.
// E_INVALIDARG, E_OUTOFMEMORY, or E_FAIL for a key, a value or a file that
// fails (its cause told under TVCVRTRT_VERBOSE).
HRESULT query_libid(const char *libid, int major_version, int minor_version, int load,
                    componentInfo **result, registration_cache *cache = nullptr) noexcept;

// A version "major.minor" split in the manner of strtok with "." (leading
// dots skipped; the minor is the whole rest), each part read in the base
// (10 for the "Version" of a class, which registration writes; 16 for an
// interface's "Version", which the system's type library registration
// writes), saturated to 0..65535.
struct type_library_version {
    unsigned short major = 0;
    unsigned short minor = 0;
};
type_library_version parse_version(const char *text, int base = 10) noexcept;

// The component filter of the query: whether the first piece of text
// (leading dots skipped, up to the next dot) is name, in its letter case.
bool first_piece_is(const char *text, const char *name) noexcept;

// --- type library walk ---------------------------------------------------------

// Loads the file (registering nothing) and fills the record's versions,
// classes and interfaces. Fails only on the arguments, the path (text in the
// process code page), loading, the library's attributes, or an interface
// whose inheritance is a cycle or deeper than 64 (E_FAIL); the record is
// then unchanged.
HRESULT load_type_library_info(const char *path, componentInfo *component,
                               registration_cache *cache = nullptr) noexcept;

// Plain methods (without the IUnknown and IDispatch members) and properties
// (without "QEFlags") of one interface, each list built afresh in its slot.
HRESULT walk_methods(ITypeInfo *info, methodInfo **slot) noexcept;
HRESULT walk_properties(ITypeInfo *info, propertyInfo **slot) noexcept;

// VARTYPE after following VT_PTR levels that have a target, and their count;
// a chain deeper than 64 levels (a cycle) counts as VT_PTR without a target.
struct reduced_type {
    VARTYPE type;
    int indirection;
};
reduced_type reduce_type(const TYPEDESC &description) noexcept;

}  // namespace tvc
