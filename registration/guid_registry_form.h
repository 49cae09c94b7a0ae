// The registry form of a GUID, as it appears in key paths and values:
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case, 38 characters.
#pragma once

#include <windows.h>

namespace tvc {

// Narrow GUID text (38 characters and the NUL) in the 40-byte field every
// record and path buffer uses.
struct guid_text {
    char chars[40];
    const char *c_str() const noexcept { return chars; }
};
static_assert(sizeof(guid_text) == 40, "GUID text fields are 40 bytes wide");

// Always NUL-terminated; never fails for a valid GUID.
guid_text make_guid_text(const GUID &guid) noexcept;

}  // namespace tvc
