// A fresh process that frees the library while another of its threads is
// inside a direct call through it, as a program that unloads a plug-in too
// early would:
//   unload_host <dll> [<trace file>]
// loads the DLL by its full path (the test runtime's libraries beside it),
// initializes it, with TVCVRTRT_TRACE set to the trace file when one is
// given, and calls tvcRunMain_proxy on a thread. The runtime's function
// blocks there until the main thread has called FreeLibrary; then the call
// goes on. Reports "freed=<unloaded|still loaded>" and "result=<n>", and
// exits 0 once the thread has returned. Every wait is bounded: a wait that
// runs out exits 4.
#include "common/unique_resource.h"
#include "tests/forwarding/test_runtime/journal.h"
#include "tvcvrtrt/base_family.h"
#include "tvcvrtrt/runtime.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <type_traits>

namespace {

using initialize_entry = bool (*)();
using run_main_entry = std::int32_t (*)(const void *, std::int32_t, const void *);
static_assert(std::is_same_v<initialize_entry, decltype(&tvcvrtInitialize_proxy)>);
static_assert(std::is_same_v<run_main_entry, decltype(&tvcRunMain_proxy)>);

constexpr DWORD bound_ms = 20000;
constexpr std::int32_t run_result = 9;

tvc::unique_handle inside;   // set by the runtime's function once it runs
tvc::unique_handle release;  // set by the main thread after FreeLibrary

[[noreturn]] void fail(const char *what) {
    std::printf("%s\n", what);
    std::fflush(stdout);
    std::_Exit(4);
}

// The runtime's tvcRunMain, after it has journaled its call.
void block_until_released() {
    ::SetEvent(inside.get());
    if (::WaitForSingleObject(release.get(), bound_ms) != WAIT_OBJECT_0) fail("never released");
}

run_main_entry run_main = nullptr;
std::int32_t returned = -1;

DWORD WINAPI call_run_main(LPVOID) {
    returned = run_main(nullptr, 0, nullptr);
    return 0;
}

template <typename Entry> Entry entry(HMODULE dll, const char *name) {
    return reinterpret_cast<Entry>(reinterpret_cast<void (*)()>(::GetProcAddress(dll, name)));
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
    if (argc != 2 && argc != 3) return 2;
    _setmode(_fileno(stdout), _O_BINARY);
    if (argc == 3) ::SetEnvironmentVariableW(L"TVCVRTRT_TRACE", argv[2]);
    inside.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    release.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!inside || !release) fail("no events");

    const HMODULE dll = ::LoadLibraryW(argv[1]);
    if (dll == nullptr) fail("not loaded");
    const auto initialize = entry<initialize_entry>(dll, "tvcvrtInitialize_proxy");
    run_main = entry<run_main_entry>(dll, "tvcRunMain_proxy");
    if (initialize == nullptr || run_main == nullptr || !initialize()) fail("not initialized");
    journal_set_result("tvcRunMain", &run_result, sizeof run_result);
    journal_set_callback("tvcRunMain", block_until_released);

    const tvc::unique_handle thread(::CreateThread(nullptr, 0, call_run_main, nullptr, 0, nullptr));
    if (!thread) fail("no thread");
    if (::WaitForSingleObject(inside.get(), bound_ms) != WAIT_OBJECT_0) fail("never inside");
    ::FreeLibrary(dll);
    std::printf("freed=%s\n", ::GetModuleHandleW(argv[1]) == nullptr ? "unloaded" : "still loaded");
    std::fflush(stdout);
    ::SetEvent(release.get());
    if (::WaitForSingleObject(thread.get(), bound_ms) != WAIT_OBJECT_0) fail("never returned");
    std::printf("result=%d\n", returned);
    return 0;
}
