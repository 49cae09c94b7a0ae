#include "support/child_process.h"

#include <gtest/gtest.h>

#include <ios>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>

#include <wchar.h>

#include "common/code_page_text.h"
#include "tools/child_output.h"

namespace tvc_test {

namespace {

child_run run_with_block(const std::string &program, const std::vector<std::string> &arguments,
                         const void *environment, bool wide_environment, const char *working_dir,
                         DWORD timeout_ms) {
    std::string command_line = "\"" + executable_directory() + program + "\"";
    for (const std::string &argument : arguments) command_line += " \"" + argument + "\"";
    tvc::child_request request;
    request.command_line = tvc::widened(command_line);
    request.time_limit_ms = timeout_ms;
    request.environment = environment;
    request.wide_environment = wide_environment;
    const std::wstring directory = working_dir != nullptr ? tvc::widened(working_dir) : std::wstring();
    if (working_dir != nullptr) request.working_dir = directory.c_str();
    // Wine's process creation fails now and then with an internal error
    // when its server is busy (seen under load, about one start in a few
    // thousand); another try starts the child.
    tvc::child_outcome outcome;
    for (int tries = 0; tries < 3; ++tries) {
        outcome = tvc::run_child_process(request);
        if (outcome.started || outcome.start_error != ERROR_INTERNAL_ERROR) break;
    }
    if (!outcome.started) {
        throw std::runtime_error("CreateProcess failed (" + std::to_string(outcome.start_error) + ") for " +
                                 command_line);
    }
    // A hang fails the test that waited, not the suite.
    if (outcome.timed_out) return {WAIT_TIMEOUT, outcome.output + "[no exit within the time allowed]"};
    return {outcome.status, outcome.output};
}

template <typename Character>
std::string checked_output(const std::string &program, const std::vector<std::string> &arguments,
                           const Character *environment, const char *working_dir) {
    const child_run run = run_child(program, arguments, environment, working_dir);
    EXPECT_EQ(run.exit_code, 0u) << program << " ended with 0x" << std::hex << run.exit_code
                                 << " after printing:\n" << run.output;
    return run.output;
}

struct case_insensitive_less {
    bool operator()(const std::wstring &a, const std::wstring &b) const { return _wcsicmp(a.c_str(), b.c_str()) < 0; }
};

}  // namespace

std::wstring environment_with(const environment_changes &changes) {
    std::map<std::wstring, std::wstring, case_insensitive_less> variables;
    wchar_t *inherited = ::GetEnvironmentStringsW();
    for (const wchar_t *entry = inherited; *entry != L'\0'; entry += wcslen(entry) + 1) {
        const std::wstring text(entry);
        const std::size_t equals = text.find(L'=', 1);
        if (equals != std::wstring::npos) variables[text.substr(0, equals)] = text.substr(equals + 1);
    }
    ::FreeEnvironmentStringsW(inherited);
    for (const auto &[name, value] : changes) {
        variables.erase(name);
        if (value.has_value()) variables[name] = *value;
    }
    std::wstring block;
    for (const auto &[name, value] : variables) block += name + L"=" + value + L'\0';
    return block + L'\0';
}

child_run run_child(const std::string &program, const std::vector<std::string> &arguments,
                    const char *environment, const char *working_dir, DWORD timeout_ms) {
    return run_with_block(program, arguments, environment, false, working_dir, timeout_ms);
}

child_run run_child(const std::string &program, const std::vector<std::string> &arguments,
                    const wchar_t *environment, const char *working_dir, DWORD timeout_ms) {
    return run_with_block(program, arguments, environment, true, working_dir, timeout_ms);
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
