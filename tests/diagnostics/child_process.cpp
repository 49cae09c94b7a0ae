#include "child_process.h"

#include <stdexcept>

#include "registration/unique_resource.h"

namespace diagnostics_test {
namespace {

void close_handle(HANDLE handle) { ::CloseHandle(handle); }
using unique_handle = tvc::unique_resource<HANDLE, close_handle>;

}  // namespace

std::string executable_directory() {
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH - 1);
    std::string directory(path);
    return directory.substr(0, directory.find_last_of('\\') + 1);
}

host_run run_host(const std::vector<std::string> &commands) {
    std::string command_line = "\"" + executable_directory() + "diagnostics_host.exe\"";
    for (const std::string &command : commands) command_line += " \"" + command + "\"";

    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    unique_handle read_end, write_end;
    if (!::CreatePipe(read_end.put(), write_end.put(), &inheritable, 0))
        throw std::runtime_error("CreatePipe failed");
    ::SetHandleInformation(read_end.get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = write_end.get();
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessA(nullptr, command_line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                          &startup, &process))
        throw std::runtime_error("CreateProcess failed for " + command_line);
    unique_handle process_handle(process.hProcess), thread_handle(process.hThread);
    // Only the child holds the write end now, so the pipe ends when it exits.
    write_end.reset();

    host_run run{};
    char chunk[4096];
    DWORD got = 0;
    while (::ReadFile(read_end.get(), chunk, sizeof chunk, &got, nullptr) && got > 0)
        run.output.append(chunk, got);
    ::WaitForSingleObject(process_handle.get(), INFINITE);
    ::GetExitCodeProcess(process_handle.get(), &run.exit_code);
    return run;
}

}  // namespace diagnostics_test
