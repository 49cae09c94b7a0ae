// What the forwarding layer costs, each figure a ratio of two loops measured
// side by side in one run (best of several rounds, QueryPerformanceCounter):
//   locked and guarded forwarders  against acquire, call, release by hand,
//                                  and against the earlier forwarder, a C++
//                                  function whose local object's destructor
//                                  left the lock (which GCC runs for its own
//                                  exceptions only)
//   direct forwarder               against a bare "jmp *slot" stub
//   guarded forwarder, slot null   against an empty function through a pointer
//   binding all slots              against the same LoadLibraryExA and
//                                  GetProcAddress calls in a bare loop
// The bound functions are empty stand-ins of this program, so the ratios
// show the layer itself; the binding figure uses the test runtime's
// libraries (build the tests first). The call trace is put in front of the
// stand-ins as initialization would: with TVCVRTRT_TRACE unset, or with a
// TVCVRTRT_TRACE_FILTER that leaves out vltClose_proxy, kaIsDouble_proxy
// and tvcRunMain_proxy, the figures are those of the untraced layer.
#include "loading/runtime_paths.h"
#include "call_trace/call_trace.h"
#include "forwarding/family_sizes.h"
#include "forwarding/forwarding_slots.h"
#include "tvcvrtrt7_17.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

extern "C" {
// The physical limit of one extra transfer.
void *bare_stub_slot;
void bare_stub();
// Where the bare binding loop stores its addresses.
FARPROC bound_by_hand[tvc::all_family_slots];
}
__asm__(".text\n\t.globl bare_stub\n\t.def bare_stub;\t.scl 2;\t.type 32;\t.endef\nbare_stub:\n\tjmp *bare_stub_slot(%rip)\n");

namespace {

CRITICAL_SECTION lock;
long long lock_entries = 0;

__attribute__((noinline)) void acquire() {
    ::EnterCriticalSection(&lock);
    ++lock_entries;
}
__attribute__((noinline)) void release() { ::LeaveCriticalSection(&lock); }
__attribute__((noinline)) std::int32_t close_work(const void *) { return 1; }
__attribute__((noinline)) bool predicate_work(const void *) { return true; }
__attribute__((noinline)) std::int32_t main_work(const void *, std::int32_t, const void *) { return 2; }

// The earlier locked forwarder, compiled as the library compiled it: the
// lock held by a local object with a virtual destructor, the function on a
// 64-byte line of its own.
class destructor_lock {
public:
    destructor_lock() { TVC_SLOT(tvcAcquireMutex)(); }
    virtual ~destructor_lock() { TVC_SLOT(tvcReleaseMutex)(); }
};
[[gnu::noinline, gnu::aligned(64)]] std::int32_t earlier_locked_forwarder(const void *argument) {
    if (TVC_SLOT(vltClose) == nullptr || __atomic_load_n(&TVC_SLOT(tvcReleaseMutex), __ATOMIC_ACQUIRE) == nullptr) {
        return 0;
    }
    destructor_lock lock;
    return TVC_SLOT(vltClose)(argument);
}

double seconds(LARGE_INTEGER start, LARGE_INTEGER stop) {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(stop.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

template <typename Loop> double timed(Loop loop) {
    LARGE_INTEGER start, stop;
    ::QueryPerformanceCounter(&start);
    loop();
    ::QueryPerformanceCounter(&stop);
    return seconds(start, stop);
}

// Runs the two loops alternately and prints measured / reference, each the
// best of its rounds.
template <typename Measured, typename Reference>
void compare(const char *what, int rounds, Measured measured, Reference reference) {
    double best_measured = 1e30, best_reference = 1e30;
    for (int round = 0; round < rounds; ++round) {
        best_measured = std::min(best_measured, timed(measured));
        best_reference = std::min(best_reference, timed(reference));
    }
    std::printf("%-60s %6.3fx  (%.1f vs %.1f us)\n", what, best_measured / best_reference, best_measured * 1e6,
                best_reference * 1e6);
}

constexpr int calls = 2000000;
constexpr int rounds = 9;

template <typename Function> void install(Function &slot, Function value) { slot = value; }

void compare_binding() {
    const std::string dir = [] {
        char path[MAX_PATH];
        ::GetModuleFileNameA(nullptr, path, MAX_PATH);
        std::string text = path;
        return text.substr(0, text.rfind('\\') + 1) + "test_runtime\\";
    }();
    tvc::runtime_paths_t paths{};
    std::snprintf(paths.runtime_lib_dir, tvc::runtime_path_capacity, "%s", dir.c_str());
    tvc::publish_runtime_paths(paths);
    try {
        init_proxy_libraries();  // brings the libraries into the process
    } catch (const std::exception &error) {
        std::printf("binding: skipped (%s)\n", error.what());
        return;
    }
    struct library { std::string path; std::vector<const char *> symbols; };
    std::vector<library> libraries;
#define TVC_FAMILY(name, routine, file) libraries.push_back({dir + file, {}});
#define TVC_ENTRY(shape, export_name, symbol, result, args) libraries.back().symbols.push_back(#symbol);
#define TVC_SPECIAL(export_name, result, args)
#include "forwarding/families.inc"
#undef TVC_FAMILY
#undef TVC_ENTRY
#undef TVC_SPECIAL
    constexpr int binds = 200;
    const std::string what =
        "binding all " + std::to_string(tvc::all_family_slots) + " slots / bare LoadLibraryExA+GetProcAddress";
    compare(what.c_str(), rounds,
            [] { for (int i = 0; i < binds; ++i) init_proxy_libraries(); },
            [&] {
                for (int i = 0; i < binds; ++i) {
                    std::size_t next = 0;
                    for (const library &entry : libraries) {
                        HMODULE module = ::LoadLibraryExA(entry.path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
                        for (const char *symbol : entry.symbols) bound_by_hand[next++] = ::GetProcAddress(module, symbol);
                    }
                }
            });
}

}  // namespace

int main() {
    ::InitializeCriticalSection(&lock);
    compare_binding();

    install(TVC_SLOT(tvcAcquireMutex), &acquire);
    install(TVC_SLOT(tvcReleaseMutex), &release);
    install(TVC_SLOT(vltClose), &close_work);
    install(TVC_SLOT(kaIsDouble), &predicate_work);
    install(TVC_SLOT(tvcRunMain), &main_work);
    bare_stub_slot = reinterpret_cast<void *>(&main_work);
    tvc::install_call_trace();
    const int traced = (TVC_SLOT(vltClose) != &close_work) + (TVC_SLOT(kaIsDouble) != &predicate_work) +
                       (TVC_SLOT(tvcRunMain) != &main_work);
    std::printf("measured forwarders traced: %d of 3\n", traced);

    void (*volatile by_hand_acquire)() = &acquire;
    void (*volatile by_hand_release)() = &release;
    std::int32_t (*volatile by_hand_close)(const void *) = &close_work;
    bool (*volatile by_hand_predicate)(const void *) = &predicate_work;
    // The same work by hand: acquire, call through a pointer, release.
    const auto by_hand = [&](auto work) {
        return [&, work] {
            for (int i = 0; i < calls; ++i) {
                by_hand_acquire();
                (*work)(nullptr);
                by_hand_release();
            }
        };
    };
    compare("locked forwarder / acquire, call, release by hand", rounds,
            [] { for (int i = 0; i < calls; ++i) vltClose_proxy(nullptr); }, by_hand(&by_hand_close));
    compare("earlier locked forwarder (destructor) / acquire, call, release by hand", rounds,
            [] { for (int i = 0; i < calls; ++i) earlier_locked_forwarder(nullptr); }, by_hand(&by_hand_close));
    compare("locked forwarder / earlier locked forwarder (destructor)", rounds,
            [] { for (int i = 0; i < calls; ++i) vltClose_proxy(nullptr); },
            [] { for (int i = 0; i < calls; ++i) earlier_locked_forwarder(nullptr); });
    compare("guarded forwarder / acquire, call, release by hand", rounds,
            [] { for (int i = 0; i < calls; ++i) kaIsDouble_proxy(nullptr); }, by_hand(&by_hand_predicate));
    // A client holding the lock by hand reaches the runtime's mutex only
    // through the two exported lock functions; the forwarders enter it
    // through the slots those exports jump through.
    by_hand_acquire = &tvcAcquireMutex_proxy;
    by_hand_release = &tvcReleaseMutex_proxy;
    compare("locked forwarder / by hand through the exported lock functions", rounds,
            [] { for (int i = 0; i < calls; ++i) vltClose_proxy(nullptr); }, by_hand(&by_hand_close));
    compare("guarded forwarder / by hand through the exported lock functions", rounds,
            [] { for (int i = 0; i < calls; ++i) kaIsDouble_proxy(nullptr); }, by_hand(&by_hand_predicate));

    using main_function = std::int32_t (*)(const void *, std::int32_t, const void *);
    const main_function bare = reinterpret_cast<main_function>(reinterpret_cast<void (*)()>(&bare_stub));
    main_function volatile plain = &main_work;
    compare("direct forwarder / bare jmp stub", rounds,
            [] { for (int i = 0; i < calls; ++i) tvcRunMain_proxy(nullptr, i, nullptr); },
            [&] { for (int i = 0; i < calls; ++i) bare(nullptr, i, nullptr); });
    compare("(for scale) bare jmp stub / plain pointer call", rounds,
            [&] { for (int i = 0; i < calls; ++i) bare(nullptr, i, nullptr); },
            [&] { for (int i = 0; i < calls; ++i) plain(nullptr, i, nullptr); });

    install(TVC_SLOT(kaIsDouble), static_cast<decltype(TVC_SLOT(kaIsDouble))>(nullptr));
    const long long entries_before = lock_entries;
    compare("guarded forwarder, slot null / empty function by pointer", rounds,
            [] { for (int i = 0; i < calls; ++i) kaIsDouble_proxy(nullptr); },
            [&] { for (int i = 0; i < calls; ++i) by_hand_predicate(nullptr); });
    std::printf("lock entries while the slot was null: %lld\n", lock_entries - entries_before);
    return 0;
}
