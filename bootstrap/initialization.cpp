// The initialization entry points: from attached (runtime paths known) to
// initialized (every slot bound, the runtime told its directories and
// initialized).
#include "bootstrap/initialization.h"

#include "tvcvrtrt/api_exception.h"
#include "loading/library_loader.h"
#include "loading/runtime_paths.h"
#include "call_trace/call_trace.h"
#include "common/unwind_cleanup.h"
#include "tvcvrtrt/runtime.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <mutex>

namespace {

// Set once, by the first complete success; nothing clears it.
std::atomic<bool> initialized{false};
// Serializes first initializations: one thread runs the sequence, the
// others wait and then take its outcome. Not the API lock, which is not
// reachable before the base family is bound.
std::mutex initialization_mutex;
// How many runs of the sequence have ended (written under the mutex, read
// before taking it too), and how the latest ended (under the mutex). A
// thread that finds the number changed once it holds the mutex waited for a
// run and takes that run's result instead of running the sequence again: a
// failing run would otherwise be repeated, its message printed again, once
// per waiting thread. A call that starts after a run has ended runs the
// next one.
std::atomic<unsigned long> runs_ended{0};
bool latest_run_succeeded = false;
// Threads inside an entry point that have not yet taken the mutex, counted
// once they have read runs_ended: tests wait for it to know that threads
// are waiting for a run.
std::atomic<int> threads_waiting{0};
// The thread running the sequence (0: none), and whether the attempt under
// way has bound all four families. The runtime may call an entry point back
// from inside its own initialization or a path-macro registration, on that
// same thread: the call must neither wait for itself nor start the sequence
// again. It answers at once whether the forwarders are usable, which they
// are from the moment the four families are bound.
std::atomic<DWORD> sequence_thread{0};
std::atomic<bool> families_bound{false};

// Counts the calling thread among those waiting for the mutex until it holds it.
class waiting_for_run {
public:
    waiting_for_run() noexcept { ++threads_waiting; }
    ~waiting_for_run() { --threads_waiting; }
    waiting_for_run(const waiting_for_run &) = delete;
    waiting_for_run &operator=(const waiting_for_run &) = delete;
};

}  // namespace

void init_proxy_libraries() {
    // In the families' binding order: the base family last, so that no
    // locked forwarder enters the API lock before everything is bound.
#define TVC_FAMILY(name, routine, file) routine();
#define TVC_ENTRY(shape, export_name, symbol, result, args)
#define TVC_SPECIAL(export_name, result, args)
#include "forwarding/families.inc"
#undef TVC_FAMILY
#undef TVC_ENTRY
#undef TVC_SPECIAL
    // Only a complete binding is traced; a rebind puts the tracing entries
    // back in front of the addresses it has just written.
    tvc::install_call_trace();
}

namespace tvc {

// Needs all four families: the forwarder holds the API lock.
void register_path_macros() {
    const runtime_paths_t &paths = runtime_paths;
    tvcAddCanonicalPathMacro_proxy("$MODULEDIR", paths.module_dir);
    tvcAddCanonicalPathMacro_proxy("$RUNTIMELIBDIR", paths.runtime_lib_dir);
    tvcAddCanonicalPathMacro_proxy("$VRTROOT", paths.vrt_root);
    tvcAddCanonicalPathMacro_proxy("$TOOLBOXTOVANDIR", paths.toolbox_dir);
    tvcAddCanonicalPathMacro_proxy("$TOOLBOXPREFIX", paths.toolbox_prefix);
    tvcAddCanonicalPathMacro_proxy("$TOOLBOXDEPLOYDIR", paths.deploy_toolbox_dir);
}

int threads_waiting_for_initialization() noexcept { return threads_waiting.load(); }

}  // namespace tvc

namespace {

// Ends the run of the sequence that the calling thread holds the mutex
// for: records how it ended, for the threads that waited, and lets them in.
// Called when the sequence returns, and from the handler of the frame that
// runs it when the runtime leaves it by an exception or longjmp of either
// compiler (unwind_cleanup.h): the threads that waited then get false, and
// the next call runs the sequence again.
void end_run(bool succeeded) noexcept {
    latest_run_succeeded = succeeded;
    ++runs_ended;
    sequence_thread.store(0);
    initialization_mutex.unlock();
}

// The sequence itself, on the thread that holds the mutex.
bool run_sequence(int32_t engine_state) {
    families_bound.store(false);
    sequence_thread.store(::GetCurrentThreadId());
    try {
        tvc::add_runtime_lib_dir_to_dll_directories();
        init_proxy_libraries();
        families_bound.store(true);
        tvc::register_path_macros();
    } catch (const tvc::apiException &error) {
        std::printf("An Error has occurred while trying to initialize the VRT.  \nThe error is: %s\n",
                    error.what());
        std::fflush(stdout);
        return false;
    } catch (...) {
        std::printf("A fatal error has occurred while initializing libraries\n");
        std::fflush(stdout);
        return false;
    }
    // The runtime reports its own failures; exceptions from here on reach
    // the caller.
    if (!tvcvrtInitializeInternal_proxy()) return false;
    if (!tvcSetEngState_proxy(engine_state)) return false;
    initialized.store(true, std::memory_order_release);
    return true;
}

}  // namespace

extern "C" bool tvcvrtInitialize2_proxy(int32_t engine_state) {
    if (initialized.load(std::memory_order_acquire)) return true;
    if (sequence_thread.load() == ::GetCurrentThreadId()) return families_bound.load();
    const unsigned long runs_before = runs_ended.load();
    {
        const waiting_for_run waiting;
        initialization_mutex.lock();
    }
    if (initialized.load(std::memory_order_relaxed) || runs_ended != runs_before) {
        const bool succeeded = initialized.load(std::memory_order_relaxed) || latest_run_succeeded;
        initialization_mutex.unlock();
        return succeeded;
    }
    bool succeeded = false;
    tvc::call_with_unwind_cleanup([&] { succeeded = run_sequence(engine_state); },
                                  [](DWORD) noexcept { end_run(false); });
    end_run(succeeded);
    return succeeded;
}

extern "C" bool tvcvrtInitialize_proxy(void) {
    return initialized.load(std::memory_order_acquire) || tvcvrtInitialize2_proxy(3);
}

extern "C" bool tvcInitializeApplication_proxy(const void *options, size_t option_count) {
    if (!initialized.load(std::memory_order_acquire) && !tvcvrtInitialize2_proxy(3)) return false;
    return tvcInitializeApplicationInternal_proxy(options, option_count);
}
