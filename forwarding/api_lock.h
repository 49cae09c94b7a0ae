// The API lock: the runtime's own recursive mutex in the base library,
// entered and left through the base family's two direct forwarders.
#pragma once

#include "forwarding/api_lock_pair.h"
#include "forwarding/forwarding_slots.h"
#include "tvcvrtrt/base_family.h"

namespace tvc {

// The locked and guarded forwarders (forwarder_frames.S) enter and leave the
// lock through the slots that tvcAcquireMutex_proxy and
// tvcReleaseMutex_proxy jump through, which is the same call without the
// stubs' extra transfer; so do these. Callers make sure they are bound.
inline void enter_api_lock() { TVC_SLOT(TVC_API_LOCK_ENTER)(); }
inline void leave_api_lock() { TVC_SLOT(TVC_API_LOCK_LEAVE)(); }

// Until the base family is bound the lock cannot be entered; forwarders then
// behave as if their own slot were null. The release slot alone tells: the
// bind routine fills the acquire slot before it (the table's order) and no
// slot is ever cleared, so a filled release slot means both are filled,
// whereas a filled acquire slot alone may precede a failed release lookup.
// Read with acquire order, so that the acquire slot is read after it and
// never found null once it is filled.
inline bool lock_slots_bound() noexcept {
    return __atomic_load_n(&TVC_SLOT(TVC_API_LOCK_LEAVE), __ATOMIC_ACQUIRE) != nullptr;
}

// tvcAcquireMutex_proxy and tvcReleaseMutex_proxy (base_family.cpp) keep
// the lock balanced for a thread that calls them while the base family is
// being bound: an acquire made before both lock slots are filled reaches
// nothing, and the release that matches it must reach nothing either. Such
// acquires are counted per thread in a slot of the system's thread-local
// storage, taken at process attach (a failure throws apiException, so the
// attach is refused before any call could lose a count), and freed when the
// library is unloaded.
void take_unreached_acquire_slot();
void release_unreached_acquire_slot() noexcept;

}  // namespace tvc
