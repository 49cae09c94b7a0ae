// The control library (see control.h), built by the platform's compiler
// without a C runtime: state in plain statics, guarded by a slim lock that
// needs no initialization, since no library constructor runs here.
#define TVC_CONTROL_BUILDING
#include "tests/forwarding/platform_runtime/control.h"
#include "tests/forwarding/platform_runtime/system.h"

namespace {

srw_lock state_lock = {};
const char *leaving_symbol = nullptr;
way_out leaving_way = way_out::returned;
jmp_buf *jump_target = nullptr;

// Calls per symbol; the stand-ins hand over their literals, which stay.
struct call_count {
    const char *symbol;
    int calls;
};
call_count counts[512];  // more than the tables have
int counted = 0;

call_count *count_of(const char *symbol) {
    for (int index = 0; index < counted; ++index) {
        if (lstrcmpA(counts[index].symbol, symbol) == 0) return &counts[index];
    }
    if (counted == sizeof counts / sizeof counts[0]) return nullptr;
    counts[counted] = {symbol, 0};
    return &counts[counted++];
}

class state_hold {
public:
    state_hold() { AcquireSRWLockExclusive(&state_lock); }
    ~state_hold() { ReleaseSRWLockExclusive(&state_lock); }
    state_hold(const state_hold &) = delete;
    state_hold &operator=(const state_hold &) = delete;
};

srw_lock api_lock = {};
unsigned long api_lock_owner = 0;  // read by every thread, written by the owner
int api_lock_depth = 0;            // touched only by the owner

unsigned long owner() { return __atomic_load_n(&api_lock_owner, __ATOMIC_ACQUIRE); }

}  // namespace

void control_leave(const char *symbol, way_out way, jmp_buf *target) {
    state_hold hold;
    leaving_symbol = symbol;
    leaving_way = way;
    jump_target = target;
}

way_out control_enter(const char *symbol, jmp_buf **target) {
    state_hold hold;
    if (call_count *count = count_of(symbol)) ++count->calls;
    if (leaving_symbol == nullptr || lstrcmpA(leaving_symbol, symbol) != 0) return way_out::returned;
    leaving_symbol = nullptr;
    *target = jump_target;
    return leaving_way;
}

int control_calls(const char *symbol) {
    state_hold hold;
    const call_count *count = count_of(symbol);
    return count != nullptr ? count->calls : 0;
}

void control_lock_acquire() {
    if (owner() == GetCurrentThreadId()) {
        ++api_lock_depth;
        return;
    }
    AcquireSRWLockExclusive(&api_lock);
    __atomic_store_n(&api_lock_owner, GetCurrentThreadId(), __ATOMIC_RELEASE);
    api_lock_depth = 1;
}

// A release by a thread that does not hold the lock is ignored: releasing
// a slim lock that the thread does not hold would break it for every thread.
void control_lock_release() {
    if (owner() != GetCurrentThreadId()) return;
    if (--api_lock_depth > 0) return;
    __atomic_store_n(&api_lock_owner, 0ul, __ATOMIC_RELEASE);
    ReleaseSRWLockExclusive(&api_lock);
}

int control_lock_depth() { return owner() == GetCurrentThreadId() ? api_lock_depth : 0; }
