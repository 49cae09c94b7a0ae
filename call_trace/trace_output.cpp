// The trace's output file and the header line of each run.
#include "call_trace/trace_output.h"

#include "bootstrap/last_error.h"
#include "common/code_page_text.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>

namespace tvc::trace {

namespace {

// Never closed: the slots lead to the tracing entries until the process
// ends, and a closed handle's value may later name another file.
HANDLE trace_file = nullptr;
// One line at a time: an append by one write is whole on Windows, but under
// Wine threads appending at once through the handle lose and cut each
// other's lines. A slim lock, since the exception handler of direct tracing
// takes it too: it never allocates, neither at its first use nor when
// contended.
SRWLOCK line_writes = SRWLOCK_INIT;
// The thread inside a write, so that an exception raised there never makes
// its handler wait for the lock its own thread holds.
std::atomic<DWORD> writing_thread{0};

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
    const std::string header = "# pid=" + std::to_string(::GetCurrentProcessId()) + " start=" + started +
                               " exe=" + executable + "\n";
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
    DWORD written = 0;
    ::AcquireSRWLockExclusive(&line_writes);
    writing_thread.store(::GetCurrentThreadId(), std::memory_order_relaxed);
    ::WriteFile(trace_file, text, static_cast<DWORD>(length), &written, nullptr);
    writing_thread.store(0, std::memory_order_relaxed);
    ::ReleaseSRWLockExclusive(&line_writes);
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

// Appends to an existing trace, so that several runs, or several processes
// of one application, keep all their lines; another process may write and
// read the file meanwhile.
bool open_trace_file(const std::wstring &name) {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    ticks_per_second = frequency.QuadPart;
    const HANDLE file = ::CreateFileW(unlimited_path(name).c_str(), FILE_APPEND_DATA,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        trace_file = file;
        write_header();
        return true;
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
