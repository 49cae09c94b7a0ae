// The API lock: the runtime's own recursive mutex in the base library,
// entered and left through the base family's two direct forwarders.
#pragma once

#include "forwarding/forwarding_slots.h"
#include "tvcvrtrt/base_family.h"

#include <cstddef>
#include <type_traits>

namespace tvc {

// Holds the API lock for its lifetime, so that every way out of a forwarder,
// an exception included, leaves it. A local object only. It enters and
// leaves through the slots that tvcAcquireMutex_proxy and
// tvcReleaseMutex_proxy jump through, which is the same call without the
// stubs' extra transfer; callers make sure they are bound.
class apiLock {
public:
    apiLock() { TVC_SLOT(tvcAcquireMutex)(); }
    virtual ~apiLock() { TVC_SLOT(tvcReleaseMutex)(); }
    apiLock(const apiLock &) = delete;
    apiLock &operator=(const apiLock &) = delete;
    static void *operator new(std::size_t) = delete;
};
static_assert(sizeof(apiLock) == sizeof(void *), "apiLock holds nothing but its virtual table");

// Until the base family is bound the lock cannot be entered; forwarders then
// behave as if their own slot were null. The release slot alone tells: the
// bind routine fills the acquire slot before it (the table's order) and no
// slot is ever cleared, so a filled release slot means both are filled,
// whereas a filled acquire slot alone may precede a failed release lookup.
// Read with acquire order, so that the acquire slot is read after it and
// never found null once it is filled.
inline bool lock_slots_bound() noexcept {
    return __atomic_load_n(&TVC_SLOT(tvcReleaseMutex), __ATOMIC_ACQUIRE) != nullptr;
}

// tvcAcquireMutex_proxy and tvcReleaseMutex_proxy (base_family.cpp) keep
// the lock balanced for a thread that calls them while the base family is
// being bound: an acquire made before both lock slots are filled reaches
// nothing, and the release that matches it must reach nothing either. Such
// acquires are counted per thread in a slot of the system's thread-local
// storage; this frees the slot when the library is unloaded.
void release_unreached_acquire_slot() noexcept;

// The locked and guarded shapes: with the slot or the lock unbound, the fixed
// value of the result's kind (0, null, false, 0.0, a zero record, nothing;
// true where null_gives_true) without calling anything; otherwise the call
// under the lock, its result and exceptions passed on unchanged.
template <auto &slot, bool null_gives_true, typename... Arguments>
inline auto call_under_lock(Arguments... arguments) -> decltype(slot(arguments...)) {
    using result = decltype(slot(arguments...));
    if (slot == nullptr || !lock_slots_bound()) {
        if constexpr (null_gives_true) {
            return true;
        } else {
            return result();
        }
    }
    apiLock lock;
    return slot(arguments...);
}

}  // namespace tvc
