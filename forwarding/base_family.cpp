// The base family: tvcbase.dll, which owns the API lock; bound last, so no
// locked forwarder of any family calls anything before it is bound.
#include "tvcvrtrt/base_family.h"

#include "common/tls_slot.h"
#include "tvcvrtrt/api_exception.h"
#include "forwarding/api_lock.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <iterator>
#include <string_view>

#define TVC_TABLE "forwarding/base_family.inc"
#include "forwarding/family_definitions.inc"

// The pair named in forwarding/api_lock_pair.h is two direct entries of the
// table, the acquire bound first.
namespace {
struct base_entry {
    std::string_view shape, symbol;
};
#define TVC_FAMILY(name, routine, file)
#define TVC_SPECIAL(export_name, result, args)
#define TVC_ENTRY(shape, export_name, symbol, result, args) {#shape, #symbol},
constexpr base_entry base_entries[] = {
#include "forwarding/base_family.inc"
};
#undef TVC_FAMILY
#undef TVC_SPECIAL
#undef TVC_ENTRY
constexpr std::size_t direct_entry_position(std::string_view symbol) {
    for (std::size_t index = 0; index < std::size(base_entries); ++index) {
        if (base_entries[index].symbol == symbol && base_entries[index].shape == "direct") return index;
    }
    return std::size(base_entries);
}
static_assert(direct_entry_position(TVC_API_LOCK_ENTER_NAME) < direct_entry_position(TVC_API_LOCK_LEAVE_NAME) &&
                  direct_entry_position(TVC_API_LOCK_LEAVE_NAME) < std::size(base_entries),
              "the API lock pair must be direct entries of the base table, the acquire first");
}  // namespace

// The lock pair, a direct pair by hand. Another thread may be binding the
// base family while these run: the acquire slot is filled before the
// release slot (the table's order, checked below). Forwarding each call by its own slot alone lets an acquire
// reach the runtime while the release slot is still null, so its release is
// lost and the runtime's lock stays held for good; or lets an acquire made
// before the binding reach nothing while its release, made after, leaves a
// lock the thread does not hold. So an acquire reaches the runtime only when
// both slots are filled, as the locked forwarders' frames do, and a thread
// remembers how many of its acquires reached nothing: its releases use up
// those first, as nesting is counted (the runtime's lock is recursive, so
// which entry a release matches does not matter, only how many are left).
// Once the base family is bound, no thread adds to the count, and a release
// is the plain transfer again after one test of a process-wide total.
//
// The count must not be lost between an acquire and its release: the slot
// that holds it is taken when the library is attached, so that a process
// without one left learns it before any call, and the first acquire that
// reaches nothing pins the library, so that a FreeLibrary and LoadLibrary
// between the two find the same count.
namespace {

tvc::lazy_tls_slot unreached_slot;
// Acquires of all threads that reached nothing and have no release yet.
std::atomic<long> unreached_total{0};
std::atomic<bool> pinned{false};

// The count lives in the slot's value itself: nothing to allocate or free
// per thread. TlsGetValue and TlsSetValue keep the caller's last error only
// when they succeed, so it is saved around them.
std::uintptr_t unreached_count(DWORD slot) noexcept {
    return reinterpret_cast<std::uintptr_t>(::TlsGetValue(slot));
}

void note_unreached_acquire() noexcept {
    const DWORD last_error = ::GetLastError();
    if (!pinned.exchange(true)) {
        HMODULE self = nullptr;
        ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                             reinterpret_cast<const wchar_t *>(&note_unreached_acquire), &self);
    }
    // Taken at attach; taken here where the forwarding layer is linked into
    // a program of its own, which has no attach.
    const DWORD slot = unreached_slot.index();
    if (slot != TLS_OUT_OF_INDEXES &&
        ::TlsSetValue(slot, reinterpret_cast<void *>(unreached_count(slot) + 1))) {
        unreached_total.fetch_add(1, std::memory_order_relaxed);
    }
    ::SetLastError(last_error);
}

// Whether the calling thread has an acquire that reached nothing, and if so
// uses one up.
bool take_unreached_acquire() noexcept {
    const DWORD last_error = ::GetLastError();
    const DWORD slot = unreached_slot.taken();
    bool taken = false;
    if (slot != TLS_OUT_OF_INDEXES) {
        const std::uintptr_t count = unreached_count(slot);
        taken = count != 0 && ::TlsSetValue(slot, reinterpret_cast<void *>(count - 1));
        if (taken) unreached_total.fetch_sub(1, std::memory_order_relaxed);
    }
    ::SetLastError(last_error);
    return taken;
}

}  // namespace

extern "C" void tvcAcquireMutex_proxy() {
    if (tvc::lock_slots_bound()) return TVC_SLOT(TVC_API_LOCK_ENTER)();
    note_unreached_acquire();
}

// A thread's own acquires are seen by the total in its own order; the
// other threads' counts do not concern it.
extern "C" void tvcReleaseMutex_proxy() {
    if (unreached_total.load(std::memory_order_relaxed) != 0 && take_unreached_acquire()) return;
    if (tvc::lock_slots_bound()) return TVC_SLOT(TVC_API_LOCK_LEAVE)();
}

void tvc::take_unreached_acquire_slot() {
    if (unreached_slot.index() == TLS_OUT_OF_INDEXES) {
        throw tvc::apiException("Fatal error: no thread-local storage slot left for the API lock's count");
    }
}

void tvc::release_unreached_acquire_slot() noexcept {
    unreached_slot.release();
}
