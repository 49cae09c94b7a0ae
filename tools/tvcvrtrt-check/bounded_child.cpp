#include "tools/tvcvrtrt-check/bounded_child.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <psapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/unique_resource.h"
#include "tools/tvcvrtrt-check/text.h"

namespace tvc_check {

namespace {

// How often the parent looks at the child: its memory, its time, its answer.
constexpr DWORD watch_interval_ms = 10;
// The answer is held in the parent's memory: a child that writes without end
// is ended like one that allocates without end. A real answer is a few
// kilobytes.
constexpr std::size_t answer_limit = std::size_t{64} << 20;
constexpr DWORD pipe_buffer_size = 1 << 20;
constexpr DWORD status_ended_by_parent = 0xE0000001;

// The child's commit charge. The job's limit bounds it on Windows; Wine
// accepts the limit without enforcing it, and its figure for another process
// is the memory the child really holds (anonymous resident and swapped
// pages), so the parent ends the child itself when the figure passes the limit.
std::size_t memory_in_use(HANDLE process) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    return GetProcessMemoryInfo(process, &counters, sizeof counters) ? counters.PagefileUsage : 0;
}

// Whether the job reported a process that went past its memory limit.
bool job_memory_limit_reached(HANDLE port) {
    bool reached = false;
    DWORD message = 0;
    ULONG_PTR key = 0;
    OVERLAPPED *overlapped = nullptr;
    while (port != nullptr && GetQueuedCompletionStatus(port, &message, &key, &overlapped, 0)) {
        reached |= message == JOB_OBJECT_MSG_PROCESS_MEMORY_LIMIT || message == JOB_OBJECT_MSG_JOB_MEMORY_LIMIT;
    }
    return reached;
}

// What the pipe holds now, without waiting for more; false once it holds
// more than answer_limit.
bool take_available(HANDLE pipe, std::string &answer) {
    DWORD available = 0;
    while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        const std::size_t start = answer.size();
        if (start + available > answer_limit) return false;
        answer.resize(start + available);
        DWORD read = 0;
        if (!ReadFile(pipe, &answer[start], available, &read, nullptr)) read = 0;
        answer.resize(start + read);
        if (read == 0) break;
    }
    return true;
}

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
    child_run run;
    const tvc::unique_handle job(CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_PROCESS_MEMORY |
                                              JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
    limits.ProcessMemoryLimit = memory_limit;
    if (!job || !SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        return run;
    }
    // Only a report of the limit; the watch below does not depend on it.
    const tvc::unique_handle port(CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1));
    JOBOBJECT_ASSOCIATE_COMPLETION_PORT association{job.get(), port.get()};
    if (port) {
        SetInformationJobObject(job.get(), JobObjectAssociateCompletionPortInformation, &association,
                                sizeof association);
    }

    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE read_end = nullptr, write_end = nullptr;
    if (!CreatePipe(&read_end, &write_end, &inheritable, pipe_buffer_size)) return run;
    const tvc::unique_handle reader(read_end);
    tvc::unique_handle writer(write_end);
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = write_end;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION child{};
    // Suspended until it is in the job: none of its code runs unbounded.
    if (!CreateProcessW(nullptr, &command_line[0], nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr, nullptr,
                        &startup, &child)) {
        return run;
    }
    const tvc::unique_handle process(child.hProcess), thread(child.hThread);
    writer.reset();  // only the child holds the write end now
    if (!AssignProcessToJobObject(job.get(), process.get())) {
        TerminateProcess(process.get(), status_ended_by_parent);
        return run;
    }
    run.started = true;
    ResumeThread(thread.get());

    const ULONGLONG deadline = GetTickCount64() + time_limit_ms;
    bool ended = false;
    while (!ended) {
        ended = WaitForSingleObject(process.get(), watch_interval_ms) != WAIT_TIMEOUT;
        if (!take_available(read_end, run.answer) || job_memory_limit_reached(port.get()) ||
            memory_in_use(process.get()) > memory_limit) {
            run.over_memory_limit = true;
            break;
        }
        if (!ended && GetTickCount64() >= deadline) {
            run.timed_out = true;
            break;
        }
    }
    // Whatever is left of the job (the child, or what it started) ends here.
    TerminateJobObject(job.get(), status_ended_by_parent);
    WaitForSingleObject(process.get(), time_limit_ms);
    if (ended && !run.over_memory_limit && !take_available(read_end, run.answer)) run.over_memory_limit = true;
    DWORD status = 0;
    GetExitCodeProcess(process.get(), &status);
    run.status = status;
    return run;
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

std::string fields_line(std::initializer_list<std::string> fields) {
    std::string line;
    for (const std::string &text : fields) line += (line.empty() ? "" : "\t") + escaped(text);
    return line + "\n";
}

void write_fields(std::initializer_list<std::string> fields) { std::fputs(fields_line(fields).c_str(), stdout); }

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
