// One run of the initialization race, in a process of its own, against the
// reference runtime (VRTROOT names it): initializer threads go through the
// four entry points at once, while caller threads call a guarded, a locked
// and a direct forwarder in a loop, each result checked, and with "pair"
// more threads take and leave the API lock through the direct pair.
//   race_init [initializers=48] [pair]
// Exit code 0 when every result was right, 1 otherwise. A watchdog says so
// on standard error when the run has not ended after 20 s.
#include "tvcvrtrt7_17.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <thread>
#include <vector>

#include "tests/support/start_gate.h"

namespace {

constexpr int callers = 8;
constexpr int pairs = 4;
// Calls each looping thread still makes once every initializer has returned.
constexpr int calls_after_initialization = 2000;

std::atomic<bool> initializers_done{false};
std::atomic<int> wrong{0};

// Straight to the handle: a stalled process may hold the C runtime's locks.
void say_raw(const char *text) {
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
}

void report_wrong(const char *what) {
    ++wrong;
    say_raw(what);
}

// Each forwarder answers its fixed value (zero) until its family and the lock
// are bound, then the runtime's exact answer; slots are never cleared, so a
// zero after an exact answer is wrong too.
class checked_result {
public:
    explicit checked_result(const char *name) : name_(name) {}
    void check(bool zero, bool exact) {
        if (zero && !seen_bound_) return;
        if (zero || !exact) {
            char line[160];
            std::snprintf(line, sizeof line, "wrong result from %s%s\n", name_, zero ? " after a bound one" : "");
            report_wrong(line);
        }
        seen_bound_ = true;
    }

private:
    const char *name_;
    bool seen_bound_ = false;
};

void call_forwarders(int index) {
    checked_result guarded("kaCreateDoubleScalar_proxy"), locked("tvcSetEngState_proxy"),
        direct("tvcInitializeApplicationInternal_proxy");
    const double value = 1.5 + index;
    for (int left = calls_after_initialization; left > 0; left -= initializers_done.load() ? 1 : 0) {
        void *array = kaCreateDoubleScalar_proxy(value);
        guarded.check(array == nullptr, array != nullptr && kaGetScalar_proxy(array) == value);
        kaDestroyArray_proxy(array);
        locked.check(!tvcSetEngState_proxy(3), true);
        direct.check(!tvcInitializeApplicationInternal_proxy(nullptr, 0), true);
    }
}

void take_and_leave_the_lock() {
    for (int left = calls_after_initialization; left > 0; left -= initializers_done.load() ? 1 : 0) {
        tvcAcquireMutex_proxy();
        tvcReleaseMutex_proxy();
    }
}

// A quarter of the threads through each entry point.
void initialize(int index) {
    bool succeeded = true;
    switch (index % 4) {
    case 0: succeeded = tvcvrtInitialize_proxy(); break;
    case 1: succeeded = tvcvrtInitialize2_proxy(3); break;
    case 2: succeeded = tvcInitializeApplication_proxy(nullptr, 0); break;
    case 3:
        try {
            init_proxy_libraries();
        } catch (const std::exception &) {
            succeeded = false;
        }
        break;
    }
    if (!succeeded) report_wrong("an initialization entry point failed\n");
}

}  // namespace

int main(int argc, char **argv) {
    const int initializers = argc > 1 ? std::atoi(argv[1]) : 48;
    const bool with_pairs = argc > 2 && std::strcmp(argv[2], "pair") == 0;
    const HANDLE finished = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread watchdog([finished] {
        if (::WaitForSingleObject(finished, 20000) == WAIT_TIMEOUT) say_raw("race_init: no end after 20 s\n");
    });

    const int loopers = callers + (with_pairs ? pairs : 0);
    tvc_test::start_gate gate(initializers + loopers);
    std::vector<std::thread> looping, initializing;
    for (int index = 0; index < loopers; ++index) {
        looping.emplace_back([&gate, index] {
            gate.arrive_and_wait();
            if (index < callers) call_forwarders(index);
            else take_and_leave_the_lock();
        });
    }
    for (int index = 0; index < initializers; ++index) {
        initializing.emplace_back([&gate, index] {
            gate.arrive_and_wait();
            initialize(index);
        });
    }
    for (std::thread &thread : initializing) thread.join();
    initializers_done = true;
    for (std::thread &thread : looping) thread.join();
    ::SetEvent(finished);
    watchdog.join();
    ::CloseHandle(finished);
    std::printf("race_init: %d initializers, %d callers, %d pair threads, %d wrong\n", initializers, callers,
                with_pairs ? pairs : 0, wrong.load());
    return wrong.load() == 0 ? 0 : 1;
}
