// Committed private memory over repeated loads and unloads of one library,
// as add-in hosts and test runners load and unload tvcvrtrt7_17.dll:
//   load_unload_bench [cycles=300]
// measures, each in a child process of its own (bounded in time and memory),
// the library without and with initialization and two controls built like
// it, a plain C library and a C++ library with the same static C++ runtime,
// and prints KiB lost per cycle. A figure, not a test.
//   load_unload_bench child <library> <cycles> [initialize]
// is one measurement: the library loaded by full path and freed <cycles>
// times after a few warm-up cycles, with initialization each time if asked.
#include "common/code_page_text.h"
#include "tests/support/executable_directory.h"
#include "tools/tvcvrtrt-check/bounded_child.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using tvc_test::executable_directory;

// Committed memory that belongs to this process alone, from the address
// space itself: the sum of the committed private regions.
unsigned long long committed_private_bytes() {
    unsigned long long total = 0;
    MEMORY_BASIC_INFORMATION region{};
    for (const char *address = nullptr;
         ::VirtualQuery(address, &region, sizeof region) == sizeof region;
         address = static_cast<const char *>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
    }
    return total;
}

bool cycle(const std::string &library, bool initialize) {
    const HMODULE module = ::LoadLibraryExA(library.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module == nullptr) return false;
    if (initialize) {
        const FARPROC address = ::GetProcAddress(module, "tvcvrtInitialize_proxy");
        const auto initialize_runtime = reinterpret_cast<bool (*)()>(reinterpret_cast<void (*)()>(address));
        if (initialize_runtime == nullptr || !initialize_runtime()) return false;
    }
    return ::FreeLibrary(module) != FALSE;
}

int measure(const std::string &library, int cycles, bool initialize) {
    // One-time costs (the runtime's libraries stay loaded, heaps grow to
    // their working size) are not what is measured.
    constexpr int warm_up = 10;
    for (int index = 0; index < warm_up; ++index) {
        if (!cycle(library, initialize)) return 3;
    }
    const unsigned long long before = committed_private_bytes();
    for (int index = 0; index < cycles; ++index) {
        if (!cycle(library, initialize)) return 3;
    }
    const unsigned long long after = committed_private_bytes();
    std::printf("measured %llu %llu\n", before / 1024, after / 1024);
    return 0;
}

struct subject {
    const char *name;
    std::string library;
    bool initialize;
};

// One measurement in a child in a job that ends it past 1 GiB or 10 minutes.
bool measure_in_child(const subject &what, int cycles, double &kib_per_cycle, std::string &figures) {
    const std::string command_line = "\"" + executable_directory() + "load_unload_bench.exe\" child \"" +
                                     what.library + "\" " + std::to_string(cycles) +
                                     (what.initialize ? " initialize" : "");
    const tvc_check::child_run run = tvc_check::run_bounded_child(tvc::widened(command_line), 600000);
    unsigned long long before = 0, after = 0;
    const std::size_t line = run.answer.find("measured ");
    if (!run.started || run.timed_out || run.over_memory_limit || run.status != 0 || line == std::string::npos ||
        std::sscanf(run.answer.c_str() + line, "measured %llu %llu", &before, &after) != 2) {
        std::printf("%-44s failed (exit code 0x%lx)%s\n", what.name, run.status,
                    run.timed_out ? ", no end in time" : run.over_memory_limit ? ", past the memory limit" : "");
        return false;
    }
    kib_per_cycle = (static_cast<double>(after) - static_cast<double>(before)) / cycles;
    figures = std::to_string(before) + " -> " + std::to_string(after) + " KiB";
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc >= 4 && std::strcmp(argv[1], "child") == 0)
        return measure(argv[2], std::atoi(argv[3]), argc >= 5 && std::strcmp(argv[4], "initialize") == 0);
    const int cycles = argc >= 2 ? std::atoi(argv[1]) : 300;
    // The runtime root for the initialized runs: the build's reference runtime.
    if (std::getenv("VRTROOT") == nullptr)
        ::SetEnvironmentVariableA("VRTROOT", (executable_directory() + "..\\demo-runtime").c_str());
    const std::string dir = executable_directory();
    const subject subjects[] = {
        {"tvcvrtrt7_17.dll", dir + "tvcvrtrt7_17.dll", false},
        {"tvcvrtrt7_17.dll, initialized each time", dir + "tvcvrtrt7_17.dll", true},
        {"control: plain C library", dir + "bench_c_control.dll", false},
        {"control: C++ library, same static runtime", dir + "bench_cxx_control.dll", false},
    };
    std::printf("%d load and unload cycles each; committed private memory\n", cycles);
    int failures = 0;
    for (const subject &what : subjects) {
        double kib_per_cycle = 0;
        std::string figures;
        if (!measure_in_child(what, cycles, kib_per_cycle, figures)) {
            ++failures;
            continue;
        }
        std::printf("%-44s %8.2f KiB a cycle (%s)\n", what.name, kib_per_cycle, figures.c_str());
    }
    return failures == 0 ? 0 : 1;
}
