// REFCLSID and REFGUID are references in C++ but pointers in C, so a C caller
// can pass null through them. The empty asm hides the reference's origin from
// the optimizer, which could otherwise assume the address is never null and
// drop the test.
#pragma once

#include <windows.h>

namespace tvc {

inline const GUID *address_as_passed(const GUID &guid) noexcept {
    const GUID *address = &guid;
    __asm__("" : "+r"(address));
    return address;
}

}  // namespace tvc
