// One forwarded call that the runtime leaves by a way other than returning
// (or, to compare, returns from), and what must hold once the caller has
// landed: the API lock is free (this thread holds none of it, another
// thread takes it at once), and after an initialization the initialization
// is open to every thread and the next call runs the whole sequence again.
// Shared by the client built by the platform's own compiler (its C++
// exceptions, longjmp, structured exceptions) and the MinGW-w64 forwarding
// host (GCC's exceptions).
#pragma once

#include "tvcvrtrt/runtime.h"

#ifdef __MINGW32__
#include <windows.h>
#else
#include "tests/forwarding/platform_runtime/system.h"
#endif

namespace tvc_unwind {

// What the includer provides: its way out, and its runtime's side.
struct hooks {
    // Makes the runtime's next call of symbol leave, then makes call: true
    // when the caller landed after the call was left, false when it returned.
    bool (*leave)(const char *symbol, bool (*call)());
    // With refused, the runtime's next call of symbol (or every one, until
    // undone) answers false or zero; without, that is undone.
    void (*refuse)(const char *symbol, bool refused);
    int (*lock_depth)();                  // the stand-in lock's depth on this thread
    int (*calls_of)(const char *symbol);  // the runtime's calls of symbol so far
    void (*print)(const char *text);
};

struct shape {
    const char *name;
    const char *leaving;  // the runtime function that leaves
    bool initialization;  // an initialization entry point, called first
    bool (*call)();
};

// The evaluation wrappers refuse a null instance.
inline int instance;
// The call of each shape; an initialization's result is its answer.
inline const shape shapes[] = {
    {"locked", "tvcCreateSharedCopy", false, [] { return tvcCreateSharedCopy_proxy(nullptr), true; }},
    {"guarded", "kaGetNumberOfElements", false, [] { return kaGetNumberOfElements_proxy(nullptr), true; }},
    {"direct", "tvcRunMain", false, [] { return tvcRunMain_proxy(nullptr, 0, nullptr), true; }},
    {"error-message", "kaVErrMsgIdAndTxt", false, [] { return kaErrMsgTxt_proxy("%d", 1), true; }},
    {"feval", "tvcFeval", false, [] { return tvcFeval_proxy(&instance, "f", 0, nullptr, 0, nullptr); }},
    {"kfn-feval", "tvcKfnVFeval", false, [] { return tvcKfnFeval_proxy(&instance, "f", 0, 0, 1, 2); }},
    {"initialize", "tvcSetEngState", true, [] { return tvcvrtInitialize_proxy(); }},
    {"initialize2", "tvcvrtInitialize", true, [] { return tvcvrtInitialize2_proxy(3); }},
    {"application", "tvcSetEngState", true, [] { return tvcInitializeApplication_proxy(nullptr, 0); }},
};

// Long enough for a call that nothing holds up, under load.
constexpr unsigned long bound_ms = 5000;

struct elsewhere {
    bool (*call)();
    bool result;
};
inline unsigned long __stdcall run_elsewhere(void *argument) {
    elsewhere *call = static_cast<elsewhere *>(argument);
    call->result = call->call();
    return 0;
}
// Whether call, made on another thread, answers within the bound, and
// with expected. The record outlives a thread that never answers.
inline bool answers_elsewhere(bool (*call)(), bool expected) {
    static elsewhere calls[2];
    static int used = 0;
    elsewhere *record = &calls[used++ % 2];
    *record = {call, !expected};
    void *thread = CreateThread(nullptr, 0, run_elsewhere, record, 0, nullptr);
    if (thread == nullptr) return false;
    const bool answered = WaitForSingleObject(thread, bound_ms) == 0;
    CloseHandle(thread);
    return answered && record->result == expected;
}

class checks {
public:
    explicit checks(const hooks &with) : hooks_(with) {}
    void expect(bool held, const char *what) {
        hooks_.print(what);
        hooks_.print(held ? ": ok\n" : ": FAILED\n");
        all_held_ = all_held_ && held;
    }
    void expect_count(int count, int expected, const char *what) {
        expect(count == expected, what);
        if (count == expected) return;
        char digits[12] = {};
        int at = 11;
        unsigned value = static_cast<unsigned>(count < 0 ? 0 : count);
        do digits[--at] = static_cast<char>('0' + value % 10);
        while ((value /= 10) != 0);
        hooks_.print("  (was ");
        hooks_.print(digits + at);
        hooks_.print(")\n");
    }
    bool all_held() const { return all_held_; }

private:
    const hooks &hooks_;
    bool all_held_ = true;
};

// Runs the named shape, the runtime leaving by the includer's way or
// returning; one line per check, then "unwind case: ok". A failed check may
// leave a thread waiting for ever, so the process then ends at once with
// code 1, before any library's exit could wait for it as well.
inline void run(const char *shape_name, bool leaving, const hooks &with) {
    const shape *found = nullptr;
    for (const shape &each : shapes) {
        const char *left = each.name, *right = shape_name;
        while (*left != '\0' && *left == *right) ++left, ++right;
        if (*left == *right) found = &each;
    }
    checks check(with);
    check.expect(found != nullptr, "known shape");
    if (found != nullptr) {
        if (!found->initialization) check.expect(tvcvrtInitialize_proxy(), "initialized before the call");
        if (leaving) {
            check.expect(with.leave(found->leaving, found->call), "the call was left, the caller landed");
        } else {
            const bool answer = found->call();
            check.expect(answer || !found->initialization, "the call returned");
        }
        check.expect_count(with.lock_depth(), 0, "this thread holds no API lock");
        check.expect(answers_elsewhere([] { return tvcAcquireMutex_proxy(), tvcReleaseMutex_proxy(), true; }, true),
                     "another thread takes the API lock");
        if (found->initialization) {
            // Another thread's call runs the sequence once more, unless the
            // first call completed it; the runtime refuses that run, so that
            // the sequence is still to be run by this thread's next call.
            with.refuse("tvcvrtInitialize", true);
            check.expect(answers_elsewhere(found->call, !leaving),
                         leaving ? "another thread's call runs the sequence (refused: false)"
                                 : "another thread's call answers true");
            with.refuse("tvcvrtInitialize", false);
            const int before = with.calls_of("tvcSetEngState");
            check.expect(found->call(), "the next call on this thread answers true");
            check.expect_count(with.calls_of("tvcSetEngState") - before, leaving ? 1 : 0,
                               leaving ? "it ran the whole sequence again" : "it ran nothing again");
        }
    }
    with.print(check.all_held() ? "unwind case: ok\n" : "unwind case: FAILED\n");
    if (!check.all_held()) TerminateProcess(GetCurrentProcess(), 1);
}

}  // namespace tvc_unwind
