#include "tools/tvcvrtrt-check/bounded_child.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "tools/child_output.h"
#include "tools/tvcvrtrt-check/text.h"

namespace tvc_check {

namespace {

// The child ends with the exception's code instead of the system's crash
// handling.
LONG WINAPI end_with_exception_code(EXCEPTION_POINTERS *exception) {
    TerminateProcess(GetCurrentProcess(), exception->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

std::string escaped(const std::string &text) {
    std::string result;
    for (const char character : text) {
        switch (character) {
        case '\\': result += "\\\\"; break;
        case '\t': result += "\\t"; break;
        case '\n': result += "\\n"; break;
        case '\r': result += "\\r"; break;
        default: result += character;
        }
    }
    return result;
}

}  // namespace

child_run run_bounded_child(std::wstring command_line, unsigned long time_limit_ms, std::size_t memory_limit) {
    tvc::child_request request;
    request.command_line = std::move(command_line);
    request.time_limit_ms = time_limit_ms;
    request.memory_limit = memory_limit;
    tvc::child_outcome outcome = tvc::run_child_process(std::move(request));
    return {outcome.started, outcome.timed_out, outcome.over_memory_limit, outcome.status, std::move(outcome.output)};
}

std::wstring own_command_line(const char *option, const std::string &argument) {
    return L"\"" + program_path() + L"\" " + widened(option) + L" \"" + widened(argument) + L"\"";
}

void become_bounded_child() {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(end_with_exception_code);
    SetHandleInformation(GetStdHandle(STD_OUTPUT_HANDLE), HANDLE_FLAG_INHERIT, 0);
    _setmode(_fileno(stdout), _O_BINARY);
}

std::string status_text(unsigned long status) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", status);
    return text;
}

std::string fields_line(const std::vector<std::string> &fields) {
    std::string line;
    for (const std::string &text : fields) line += (line.empty() ? "" : "\t") + escaped(text);
    return line + "\n";
}

void write_fields(const std::vector<std::string> &fields) { std::fputs(fields_line(fields).c_str(), stdout); }

std::vector<std::string> fields_of(const std::string &line) {
    std::vector<std::string> fields(1);
    for (std::size_t index = 0; index < line.size(); ++index) {
        const char character = line[index];
        if (character == '\t') {
            fields.emplace_back();
        } else if (character == '\\' && index + 1 < line.size()) {
            const char next = line[++index];
            fields.back() += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next;
        } else {
            fields.back() += character;
        }
    }
    return fields;
}

bool lines_of(const std::string &answer, std::vector<std::vector<std::string>> &lines) {
    std::size_t start = 0;
    while (start < answer.size()) {
        const std::size_t end = answer.find('\n', start);
        if (end == std::string::npos) return false;
        lines.push_back(fields_of(answer.substr(start, end - start)));
        start = end + 1;
    }
    return true;
}

}  // namespace tvc_check
