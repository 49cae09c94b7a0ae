#include "tools/child_output.h"

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/unique_resource.h"

namespace tvc {

namespace {

// How often the parent looks at the child: its memory, its time, its output.
constexpr DWORD watch_interval_ms = 10;
// A bounded child's output is held in the parent's memory: a child that
// writes without end is ended like one that allocates without end. A real
// answer is a few kilobytes.
constexpr std::size_t bounded_output_limit = std::size_t{64} << 20;
constexpr DWORD pipe_buffer_size = 1 << 20;
constexpr DWORD status_ended_by_parent = 0xE0000001;

// The processes to bound: the child and every process started from it, in
// the job or not (Wine does not put a job's processes' children into the
// job). Found by their parents, and started no earlier than the child, so
// that a process id used again by an unrelated process is not taken.
std::vector<DWORD> child_and_descendants(DWORD child_id, ULONGLONG child_started) {
    std::vector<DWORD> found{child_id};
    const unique_handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot || snapshot.get() == INVALID_HANDLE_VALUE) return found;
    std::vector<PROCESSENTRY32W> all;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        all.push_back(entry);
    }
    for (std::size_t next = 0; next < found.size(); ++next) {
        for (const PROCESSENTRY32W &process : all) {
            if (process.th32ParentProcessID != found[next] || process.th32ProcessID == child_id ||
                std::find(found.begin(), found.end(), process.th32ProcessID) != found.end()) {
                continue;
            }
            const unique_handle handle(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process.th32ProcessID));
            FILETIME created{}, exited{}, kernel{}, user{};
            if (handle && GetProcessTimes(handle.get(), &created, &exited, &kernel, &user) &&
                (static_cast<ULONGLONG>(created.dwHighDateTime) << 32 | created.dwLowDateTime) >= child_started) {
                found.push_back(process.th32ProcessID);
            }
        }
    }
    return found;
}

// The memory that those processes hold: each one's commit charge, or what
// it has resident where that is more (views of sections backed by the page
// file are not its private memory, but memory all the same). The job's
// limit bounds the commit charge on Windows; Wine accepts the limit without
// enforcing it, and its commit figure for another process is the anonymous
// memory the child really holds, so the parent ends them itself when the
// sum passes the limit.
std::size_t memory_in_use(const std::vector<DWORD> &processes) {
    std::size_t total = 0;
    for (const DWORD id : processes) {
        const unique_handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ, FALSE, id));
        PROCESS_MEMORY_COUNTERS counters{};
        counters.cb = sizeof counters;
        if (process && GetProcessMemoryInfo(process.get(), &counters, sizeof counters)) {
            total += counters.PagefileUsage > counters.WorkingSetSize ? counters.PagefileUsage : counters.WorkingSetSize;
        }
    }
    return total;
}

// Ends the processes that the child started and that outlive the job.
void end_descendants(const std::vector<DWORD> &processes) {
    for (std::size_t index = 1; index < processes.size(); ++index) {
        if (const unique_handle process{OpenProcess(PROCESS_TERMINATE, FALSE, processes[index])}) {
            TerminateProcess(process.get(), status_ended_by_parent);
        }
    }
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

// What the pipe holds now, without waiting for more; false once the output
// would pass limit.
bool take_available(HANDLE pipe, std::string &output, std::size_t limit) {
    DWORD available = 0;
    while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        const std::size_t start = output.size();
        if (available > limit - start) return false;
        output.resize(start + available);
        DWORD read = 0;
        if (!ReadFile(pipe, &output[start], available, &read, nullptr)) read = 0;
        output.resize(start + read);
        if (read == 0) break;
    }
    return true;
}

// A job that holds its processes to memory_limit and ends them when it is
// closed, with a completion port that reports the limit (only a report: the
// watch does not depend on it). False when the job cannot be made.
bool make_bounding_job(std::size_t memory_limit, unique_handle &job, unique_handle &port) {
    job.reset(CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_PROCESS_MEMORY |
                                              JOB_OBJECT_LIMIT_JOB_MEMORY |
                                              JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
    limits.ProcessMemoryLimit = memory_limit;
    limits.JobMemoryLimit = memory_limit;
    if (!job || !SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        return false;
    }
    port.reset(CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1));
    JOBOBJECT_ASSOCIATE_COMPLETION_PORT association{job.get(), port.get()};
    if (port) {
        SetInformationJobObject(job.get(), JobObjectAssociateCompletionPortInformation, &association,
                                sizeof association);
    }
    return true;
}

}  // namespace

child_outcome run_child_process(child_request request) {
    child_outcome run;
    const bool bounded = request.memory_limit != 0;
    const std::size_t output_limit = bounded ? bounded_output_limit : SIZE_MAX;
    unique_handle job, port;
    if (bounded && !make_bounding_job(request.memory_limit, job, port)) {
        run.start_error = GetLastError();
        return run;
    }

    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    unique_handle reader, writer;
    if (!CreatePipe(reader.put(), writer.put(), &inheritable, pipe_buffer_size) ||
        !SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0)) {
        run.start_error = GetLastError();
        return run;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writer.get();
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    // A bounded child stays suspended until it is in the job: none of its
    // code runs unbounded.
    const DWORD flags = (bounded ? CREATE_SUSPENDED : 0) | (request.wide_environment ? CREATE_UNICODE_ENVIRONMENT : 0);
    PROCESS_INFORMATION child{};
    if (!CreateProcessW(nullptr, &request.command_line[0], nullptr, nullptr, TRUE, flags,
                        const_cast<void *>(request.environment), request.working_dir, &startup, &child)) {
        run.start_error = GetLastError();
        return run;
    }
    const unique_handle process(child.hProcess), thread(child.hThread);
    writer.reset();  // only the child holds the write end now
    if (bounded && !AssignProcessToJobObject(job.get(), process.get())) {
        run.start_error = GetLastError();
        TerminateProcess(process.get(), status_ended_by_parent);
        return run;
    }
    run.started = true;
    if (bounded) ResumeThread(thread.get());

    const ULONGLONG deadline = GetTickCount64() + request.time_limit_ms;
    FILETIME created{}, exited{}, kernel{}, user{};
    GetProcessTimes(process.get(), &created, &exited, &kernel, &user);
    const ULONGLONG started = static_cast<ULONGLONG>(created.dwHighDateTime) << 32 | created.dwLowDateTime;
    std::vector<DWORD> bounded_processes{child.dwProcessId};
    bool ended = false;
    while (!ended) {
        ended = WaitForSingleObject(process.get(), watch_interval_ms) != WAIT_TIMEOUT;
        if (bounded) bounded_processes = child_and_descendants(child.dwProcessId, started);
        if (!take_available(reader.get(), run.output, output_limit) ||
            (bounded && (job_memory_limit_reached(port.get()) ||
                         memory_in_use(bounded_processes) > request.memory_limit))) {
            run.over_memory_limit = true;
            break;
        }
        if (!ended && GetTickCount64() >= deadline) {
            run.timed_out = true;
            break;
        }
    }
    // Whatever is left of the child (in a job, with what it started) ends here.
    if (bounded) {
        TerminateJobObject(job.get(), status_ended_by_parent);
        end_descendants(bounded_processes);
    } else if (!ended) {
        TerminateProcess(process.get(), status_ended_by_parent);
    }
    WaitForSingleObject(process.get(), request.time_limit_ms);
    if (ended && !run.over_memory_limit && !take_available(reader.get(), run.output, output_limit)) {
        run.over_memory_limit = true;
    }
    DWORD status = 0;
    GetExitCodeProcess(process.get(), &status);
    run.status = status;
    return run;
}

}  // namespace tvc
