// Errors: bind routines throw apiException; forwarders pass results and exceptions on, or a fixed value when unbound.
// The forwarding slots of all four families and their module handles. Slots
// are written only by the bind routines and read by the forwarders, without
// synchronization: initialization completes before other threads forward.
#pragma once

#include "forwarding/signature_codes.h"

#include <windows.h>

#define TVC_FAMILY(name, routine, file) \
    namespace tvc {                      \
    extern HMODULE name##_family_module; \
    }
#define TVC_ENTRY(shape, export_name, symbol, result, args) \
    extern "C" TVC_FUNCTION_TYPE(result, args) * TVC_SLOT(symbol);
#define TVC_SPECIAL(export_name, result, args)
#include "forwarding/families.inc"
#undef TVC_FAMILY
#undef TVC_ENTRY

namespace tvc {
// The module handles in the families' binding order.
#define TVC_FAMILY(name, routine, file) &name##_family_module,
#define TVC_ENTRY(shape, export_name, symbol, result, args)
inline HMODULE *const family_modules[] = {
#include "forwarding/families.inc"
};
#undef TVC_FAMILY
#undef TVC_ENTRY
}  // namespace tvc
#undef TVC_SPECIAL
