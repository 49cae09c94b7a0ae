#include "support/child_process.h"

#include <gtest/gtest.h>

#include <ios>
#include <stdexcept>
#include <thread>

#include "common/unique_resource.h"

namespace tvc_test {

namespace {

child_run run_with_block(const std::string &program, const std::vector<std::string> &arguments,
                         void *environment, DWORD creation_flags, const char *working_dir, DWORD timeout_ms) {
    std::string command_line = "\"" + executable_directory() + program + "\"";
    for (const std::string &argument : arguments) command_line += " \"" + argument + "\"";

    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    tvc::unique_handle read_end, write_end;
    if (!::CreatePipe(read_end.put(), write_end.put(), &inheritable, 0) ||
        !::SetHandleInformation(read_end.get(), HANDLE_FLAG_INHERIT, 0))
        throw std::runtime_error("CreatePipe failed");

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = write_end.get();
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessA(nullptr, command_line.data(), nullptr, nullptr, TRUE, creation_flags, environment,
                          working_dir, &startup, &process))
        throw std::runtime_error("CreateProcess failed (" + std::to_string(::GetLastError()) +
                                 ") for " + command_line);
    tvc::unique_handle process_handle(process.hProcess), thread_handle(process.hThread);
    // Only the child holds the write end now, so reading ends when it exits.
    write_end.reset();

    // The pipe is read on a thread of its own, so that the wait below can
    // end a child that never exits (its end of the pipe closes with it).
    child_run run{};
    std::thread reader([&] {
        char chunk[4096];
        DWORD got = 0;
        while (::ReadFile(read_end.get(), chunk, sizeof chunk, &got, nullptr) && got > 0)
            run.output.append(chunk, got);
    });
    const bool exited = ::WaitForSingleObject(process_handle.get(), timeout_ms) == WAIT_OBJECT_0;
    if (!exited) {
        ::TerminateProcess(process_handle.get(), WAIT_TIMEOUT);
        ::WaitForSingleObject(process_handle.get(), INFINITE);
    }
    reader.join();
    ::GetExitCodeProcess(process_handle.get(), &run.exit_code);
    if (!exited) run.output += "[no exit within the time allowed]";
    return run;
}

template <typename Character>
std::string checked_output(const std::string &program, const std::vector<std::string> &arguments,
                           const Character *environment, const char *working_dir) {
    const child_run run = run_child(program, arguments, environment, working_dir);
    EXPECT_EQ(run.exit_code, 0u) << program << " ended with 0x" << std::hex << run.exit_code
                                 << " after printing:\n" << run.output;
    return run.output;
}

}  // namespace

child_run run_child(const std::string &program, const std::vector<std::string> &arguments,
                    const char *environment, const char *working_dir, DWORD timeout_ms) {
    return run_with_block(program, arguments, const_cast<char *>(environment), 0, working_dir, timeout_ms);
}

child_run run_child(const std::string &program, const std::vector<std::string> &arguments,
                    const wchar_t *environment, const char *working_dir, DWORD timeout_ms) {
    return run_with_block(program, arguments, const_cast<wchar_t *>(environment), CREATE_UNICODE_ENVIRONMENT,
                          working_dir, timeout_ms);
}

std::string output_of(const std::string &program, const std::vector<std::string> &arguments,
                      const char *environment, const char *working_dir) {
    return checked_output(program, arguments, environment, working_dir);
}

std::string output_of(const std::string &program, const std::vector<std::string> &arguments,
                      const wchar_t *environment, const char *working_dir) {
    return checked_output(program, arguments, environment, working_dir);
}

}  // namespace tvc_test
