// The trace's output file and the header line of each run.
#include "call_trace/trace_output.h"

#include "bootstrap/last_error.h"
#include "call_trace/program_state.h"
#include "call_trace/trace_format.h"
#include "common/code_page_text.h"

#include <windows.h>

#include <atomic>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>

namespace tvc::trace {

namespace {

// Never closed: the slots lead to the tracing entries until the process
// ends, and a closed handle's value may later name another file.
HANDLE trace_file = nullptr;
// Set by the first write that fails: no line is written after it.
std::atomic<bool> writes_failed{false};
// One line at a time: an append by one write is whole on Windows, but under
// Wine threads appending at once through the handle lose and cut each
// other's lines. A slim lock: it never allocates, neither at its first use
// nor when contended. Never waited for without a bound: a thread that the
// process's exit ended inside a write holds it for ever.
SRWLOCK line_writes = SRWLOCK_INIT;
// The thread inside a write, so that an exception raised there never makes
// its handler wait for the lock its own thread holds.
std::atomic<DWORD> writing_thread{0};
// Lines dropped since the last note of them ("# dropped=<count>").
std::atomic<unsigned long long> dropped_lines{0};
// How long a line waits for the lock before it is dropped: far longer than
// any write of a line takes, far shorter than a hang.
constexpr ULONGLONG lock_wait_ms = 200;

// The system's own flag for a process that has begun to exit; read through
// ntdll, which every process has loaded.
using shutdown_query = BOOLEAN(NTAPI *)();
shutdown_query shutdown_in_progress = nullptr;
bool process_exiting() noexcept { return shutdown_in_progress != nullptr && shutdown_in_progress(); }

// The lock within lock_wait_ms; never once the process exits.
bool take_line_lock() noexcept {
    if (::TryAcquireSRWLockExclusive(&line_writes)) return true;
    const ULONGLONG deadline = ::GetTickCount64() + lock_wait_ms;
    for (int tries = 0; !process_exiting(); ++tries) {
        if (::TryAcquireSRWLockExclusive(&line_writes)) return true;
        if (::GetTickCount64() > deadline) return false;
        if (tries < 64) {
            ::SwitchToThread();
        } else {
            ::Sleep(1);
        }
    }
    return false;
}

// One line on standard output, once, when the file takes no more lines.
void report_failed_write(DWORD error) noexcept {
    if (writes_failed.exchange(true)) return;
    ::SetLastError(error);
    tvc::record_last_error();
    const std::string text = tvc::last_error_text();
    std::printf("Calls are no longer traced: writing to the file named by TVCVRTRT_TRACE failed Error: %s%s",
                text.c_str(), text.empty() || text.back() != '\n' ? "\n" : "");
    std::fflush(stdout);
}

// A write straight to the file, by the holder of the lock or at exit.
bool write_to_file(const char *text, std::size_t length) noexcept {
    DWORD written = 0;
    if (::WriteFile(trace_file, text, static_cast<DWORD>(length), &written, nullptr) && written == length) return true;
    report_failed_write(::GetLastError());
    return false;
}

// "# dropped=<count>" for the lines dropped since the last such note.
void write_dropped_note() noexcept {
    const unsigned long long dropped = dropped_lines.exchange(0);
    if (dropped == 0) return;
    char note[40];
    std::memcpy(note, tvc_trace::dropped_note.data(), tvc_trace::dropped_note.size());
    char *const end = std::to_chars(note + tvc_trace::dropped_note.size(), note + sizeof note - 1, dropped).ptr;
    *end = '\n';
    write_to_file(note, static_cast<std::size_t>(end + 1 - note));
}

// Times on the performance counter, as nanoseconds since the header; whole
// nanoseconds, rounded down, so that a call that starts after another also
// shows so, and one that nests inside another ends inside it.
long long header_ticks = 0;
long long ticks_per_second = 1;

// The full path in the form that is not limited to MAX_PATH; device names
// (\\.\pipe\..., NUL) stay as they are.
std::wstring unlimited_path(const std::wstring &name) {
    std::wstring full;
    DWORD size = ::GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
    while (size > full.size()) {
        full.resize(size);
        size = ::GetFullPathNameW(name.c_str(), size, full.data(), nullptr);
    }
    if (size == 0) return name;
    full.resize(size);
    if (full.rfind(L"\\\\?\\", 0) == 0 || full.rfind(L"\\\\.\\", 0) == 0) return full;
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

// The line that starts a run: which process, when by the wall clock, and
// the origin of the call lines' start times.
void write_header() {
    FILETIME now;
    ::GetSystemTimePreciseAsFileTime(&now);
    header_ticks = ticks_now();
    SYSTEMTIME utc;
    ::FileTimeToSystemTime(&now, &utc);
    const unsigned long long microseconds =
        ((static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime) / 10 % 1000000;
    char started[40];
    std::snprintf(started, sizeof started, "%04u-%02u-%02uT%02u:%02u:%02u.%06lluZ", utc.wYear, utc.wMonth, utc.wDay,
                  utc.wHour, utc.wMinute, utc.wSecond, microseconds);
    // A path with "?" in place of characters would name no file; then none.
    std::string executable;
    tvc::module_path_in_code_page(nullptr, executable);
    std::string header(tvc_trace::header_start);
    header += std::to_string(::GetCurrentProcessId());
    header += tvc_trace::start_key;
    header += started;
    header += tvc_trace::executable_key;
    header += executable;
    header += '\n';
    write_whole(header.data(), header.size());
}

}  // namespace

long long ticks_now() noexcept {
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return now.QuadPart;
}

long long nanoseconds_since_header(long long ticks) noexcept {
    const long long elapsed = ticks - header_ticks;
    return elapsed / ticks_per_second * 1000000000 + elapsed % ticks_per_second * 1000000000 / ticks_per_second;
}

DWORD line_writer() noexcept { return writing_thread.load(std::memory_order_relaxed); }

void write_whole(const char *text, std::size_t length) noexcept {
    if (writes_failed.load(std::memory_order_relaxed)) return;
    if (!take_line_lock()) {
        ++dropped_lines;
        return;
    }
    writing_thread.store(::GetCurrentThreadId(), std::memory_order_relaxed);
    if (dropped_lines.load(std::memory_order_relaxed) != 0) write_dropped_note();
    if (!writes_failed.load(std::memory_order_relaxed)) write_to_file(text, length);
    writing_thread.store(0, std::memory_order_relaxed);
    ::ReleaseSRWLockExclusive(&line_writes);
}

// At the process's exit the other threads are gone, one perhaps inside a
// write: the note goes out without the lock.
void write_dropped_at_exit() noexcept {
    if (trace_file == nullptr || writes_failed.load() || dropped_lines.load() == 0) return;
    const program_state kept;
    write_dropped_note();
}

std::wstring environment_value(const wchar_t *name) {
    std::wstring value;
    DWORD size = ::GetEnvironmentVariableW(name, nullptr, 0);
    while (size > value.size()) {
        value.resize(size);
        size = ::GetEnvironmentVariableW(name, value.data(), size);
    }
    value.resize(size);
    return value;
}

// The name with each "%p" replaced by the process id.
std::wstring with_process_id(const std::wstring &name) {
    std::wstring result;
    for (std::size_t index = 0; index < name.size(); ++index) {
        if (name[index] == L'%' && index + 1 < name.size() && name[index + 1] == L'p') {
            result += std::to_wstring(::GetCurrentProcessId());
            ++index;
        } else {
            result += name[index];
        }
    }
    return result;
}

// A file is appended to, so that several runs one after another keep all
// their lines; one process at a time: another process that traces into it
// (holding it open for writing) is refused, since lines of two processes in
// one file could not be told apart. A pipe or another device cannot take
// appends: it is opened for writing.
bool open_trace_file(const std::wstring &variable) {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    ticks_per_second = frequency.QuadPart;
    shutdown_in_progress = reinterpret_cast<shutdown_query>(
        reinterpret_cast<void (*)()>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlDllShutdownInProgress")));
    const std::wstring name = with_process_id(variable);
    const std::wstring path = unlimited_path(name);
    const bool device = path.rfind(L"\\\\.\\", 0) == 0;
    HANDLE file = ::CreateFileW(path.c_str(), device ? GENERIC_WRITE : FILE_APPEND_DATA,
                                FILE_SHARE_READ | FILE_SHARE_DELETE | (device ? FILE_SHARE_WRITE : 0), nullptr,
                                device ? OPEN_EXISTING : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE && device && ::GetFileType(file) == FILE_TYPE_DISK) {
        // A file named through the device namespace: appended to all the same.
        ::CloseHandle(file);
        file = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (file != INVALID_HANDLE_VALUE) {
        trace_file = file;
        write_header();
        return true;
    }
    if (::GetLastError() == ERROR_SHARING_VIOLATION) {
        std::printf("Calls are not traced: another process traces into %s named by TVCVRTRT_TRACE; put %%p in the "
                    "name for a file per process (the process id)\n",
                    tvc::narrowed(name).c_str());
        std::fflush(stdout);
        return false;
    }
    tvc::record_last_error();
    const std::string text = tvc::last_error_text();
    std::printf("Calls are not traced: cannot open %s named by TVCVRTRT_TRACE Error: %s%s", tvc::narrowed(name).c_str(),
                text.c_str(), text.empty() || text.back() != '\n' ? "\n" : "");
    std::fflush(stdout);
    return false;
}

bool trace_file_open() noexcept { return trace_file != nullptr; }

}  // namespace tvc::trace
