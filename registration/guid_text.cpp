// GUID text: the exported conversions between GUIDs and narrow text, and the
// registry form the registration code puts in key paths. They work without
// the runtime and keep no state, so any thread may call them at any time.
#include "tvcvrtrt/registration.h"

#include "registration/guid_parser.h"
#include "registration/guid_registry_form.h"
#include "common/code_page_text.h"
#include "common/unique_resource.h"

#include <objbase.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <type_traits>

// The parser fills its own struct; its bytes are copied into the caller's GUID.
static_assert(sizeof(tvc::guid_fields) == sizeof(GUID), "GUID size");
static_assert(alignof(tvc::guid_fields) == alignof(GUID), "GUID alignment");
static_assert(offsetof(tvc::guid_fields, data1) == offsetof(GUID, Data1), "Data1 offset");
static_assert(offsetof(tvc::guid_fields, data2) == offsetof(GUID, Data2), "Data2 offset");
static_assert(offsetof(tvc::guid_fields, data3) == offsetof(GUID, Data3), "Data3 offset");
static_assert(offsetof(tvc::guid_fields, data4) == offsetof(GUID, Data4), "Data4 offset");
static_assert(sizeof(GUID::Data1) == 4 && sizeof(GUID::Data2) == 2 && sizeof(GUID::Data3) == 2 &&
                  sizeof(GUID::Data4) == 8,
              "GUID field widths");
static_assert(std::is_trivially_copyable_v<tvc::guid_fields> && std::is_trivially_copyable_v<GUID>,
              "GUIDs are copied as bytes");

namespace {

// 38 characters and the NUL, in a 40-character array as in every GUID field.
constexpr int wide_guid_capacity = 39;

}  // namespace

int tvcGUIDFromString_proxy(const char *text, GUID *out) {
    if (!out) return 0;
    tvc::guid_fields fields;
    const int complete = tvc::parse_guid_text(text, &fields);
    std::memcpy(out, &fields, sizeof *out);
    return complete;
}

size_t tvcGUIDtochar_proxy(const GUID *guid, char *buffer, int size) {
    if (!guid) return 0;
    wchar_t wide[wide_guid_capacity + 1] = {};
    ::StringFromGUID2(*guid, wide, wide_guid_capacity);
    // As with wcstombs, no buffer asks for the length the text needs. A
    // negative size would widen to an unlimited one.
    if (buffer != nullptr && size < 0) return 0;
    return tvc::narrow_into(buffer, static_cast<std::size_t>(size), wide);
}

void tvcCLSIDtochar_proxy(const CLSID *clsid, char *buffer, int size) {
    if (!clsid || !buffer || size < 0) return;
    tvc::unique_cotaskmem_string wide;
    // A failed call leaves no string (the owner frees one if it was left
    // anyway); the caller then receives empty text.
    const HRESULT formatted = ::StringFromCLSID(*clsid, wide.put());
    tvc::narrow_into(buffer, static_cast<std::size_t>(size), SUCCEEDED(formatted) ? wide.get() : nullptr);
}

namespace tvc {

guid_text make_guid_text(const GUID &guid) noexcept {
    guid_text text = {};
    // The field holds the 38 characters and the NUL, so nothing is cut.
    tvcGUIDtochar_proxy(&guid, text.chars, sizeof text.chars);
    return text;
}

}  // namespace tvc
