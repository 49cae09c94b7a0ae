// Runs race_init again and again, each run a fresh process bounded in time,
// and counts how the runs end:
//   race_runner <runs> <timeout ms> [race_init arguments...]
// ok (exit 0), failed (a wrong result), crashed (an exception code as exit
// code), hung (still running at the timeout; its output is shown and, with
// TVC_RACE_KEEP_HUNG set, the process is left running for a debugger, e.g.
// "winedbg <pid>" then "bt all"). Exit code 0 when every run was ok. VRTROOT
// defaults to the build's reference runtime.
#include "common/unique_resource.h"
#include "tests/support/executable_directory.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

using tvc_test::executable_directory;

enum class outcome { ok, failed, crashed, hung };

struct run_result {
    outcome how;
    DWORD exit_code;
    DWORD process_id;
    std::string output;  // standard output and standard error
};

run_result run_once(const std::string &command_line, DWORD timeout_ms, bool keep_hung) {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    tvc::unique_handle read_end, write_end;
    if (!::CreatePipe(read_end.put(), write_end.put(), &inheritable, 0) ||
        !::SetHandleInformation(read_end.get(), HANDLE_FLAG_INHERIT, 0)) {
        std::fprintf(stderr, "race_runner: CreatePipe failed (%lu)\n", ::GetLastError());
        std::exit(2);
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = write_end.get();
    startup.hStdError = write_end.get();
    PROCESS_INFORMATION process{};
    std::string line = command_line;
    if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        std::fprintf(stderr, "race_runner: CreateProcess failed (%lu) for %s\n", ::GetLastError(), line.c_str());
        std::exit(2);
    }
    tvc::unique_handle process_handle(process.hProcess), thread_handle(process.hThread);
    write_end.reset();
    run_result result{outcome::ok, 0, process.dwProcessId, {}};
    // Read on a thread of its own, so that a child that fills the pipe never
    // stalls for want of a reader.
    std::thread reader([&] {
        char chunk[4096];
        DWORD got = 0;
        while (::ReadFile(read_end.get(), chunk, sizeof chunk, &got, nullptr) && got > 0) result.output.append(chunk, got);
    });
    if (::WaitForSingleObject(process_handle.get(), timeout_ms) != WAIT_OBJECT_0) {
        result.how = outcome::hung;
        if (keep_hung) {
            std::printf("hung: process %lu left running\n%s\n", result.process_id, result.output.c_str());
            std::fflush(stdout);
            reader.detach();
            return result;
        }
        ::TerminateProcess(process_handle.get(), WAIT_TIMEOUT);
        ::WaitForSingleObject(process_handle.get(), INFINITE);
    }
    reader.join();
    ::GetExitCodeProcess(process_handle.get(), &result.exit_code);
    if (result.how != outcome::hung) {
        result.how = result.exit_code == 0 ? outcome::ok : result.exit_code >= 0xC0000000u ? outcome::crashed
                                                                                              : outcome::failed;
    }
    return result;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: race_runner <runs> <timeout ms> [race_init arguments...]\n");
        return 2;
    }
    const int runs = std::atoi(argv[1]);
    const DWORD timeout_ms = static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10));
    const bool keep_hung = std::getenv("TVC_RACE_KEEP_HUNG") != nullptr;
    if (std::getenv("VRTROOT") == nullptr)
        ::SetEnvironmentVariableA("VRTROOT", (executable_directory() + "..\\demo-runtime").c_str());
    std::string command_line = "\"" + executable_directory() + "race_init.exe\"";
    for (int index = 3; index < argc; ++index) command_line += std::string(" ") + argv[index];

    int counts[4] = {};
    const char *const names[] = {"ok", "failed", "crashed", "hung"};
    for (int run = 1; run <= runs; ++run) {
        const run_result result = run_once(command_line, timeout_ms, keep_hung);
        ++counts[static_cast<int>(result.how)];
        if (result.how != outcome::ok) {
            std::printf("run %d: %s (exit code 0x%lx, process %lu)\n%s\n", run, names[static_cast<int>(result.how)],
                        result.exit_code, result.process_id, result.output.c_str());
            std::fflush(stdout);
        }
        // A long series shows its tally as it goes.
        if (run % 100 == 0 && run != runs) {
            std::printf("after %d runs: ok %d, failed %d, crashed %d, hung %d\n", run, counts[0], counts[1], counts[2],
                        counts[3]);
            std::fflush(stdout);
        }
    }
    std::printf("%d runs: ok %d, failed %d, crashed %d, hung %d\n", runs, counts[0], counts[1], counts[2], counts[3]);
    return counts[0] == runs ? 0 : 1;
}
