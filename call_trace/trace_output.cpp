// The trace's output file and the header line of each run.
#include "call_trace/trace_output.h"

#include "loading/last_error.h"
#include "call_trace/device_write.h"
#include "call_trace/program_state.h"
#include "call_trace/trace_format.h"
#include "common/code_page_text.h"
#include "common/unlimited_path.h"

#include <windows.h>

#include <cpuid.h>
#include <x86intrin.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>

extern "C" {

// view_copy.S: 1, or 0 when a store into the view faulted.
int tvc_copy_into_view(char *to, const char *from, std::size_t length);
extern const char tvc_copy_into_view_faulted[];

// The frame handler of tvc_copy_into_view: a store that faults (a page that
// the file no longer reaches, or one the system could not read in) resumes
// where the copy returns 0. The copy has no frame of its own to unwind.
EXCEPTION_DISPOSITION tvc_view_copy_fault(EXCEPTION_RECORD *record, void *, CONTEXT *context, void *) {
    if ((record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0 ||
        (record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION && record->ExceptionCode != EXCEPTION_IN_PAGE_ERROR)) {
        return ExceptionContinueSearch;
    }
    context->Rip = reinterpret_cast<DWORD64>(tvc_copy_into_view_faulted);
    return ExceptionContinueExecution;
}
}

namespace tvc::trace {

time_stamp_counter_facts time_stamp_counter_of_processor() noexcept {
    time_stamp_counter_facts facts;
    unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(1u, &eax, &ebx, &ecx, &edx) != 0) facts.under_hypervisor = (ecx & (1u << 31)) != 0;
    if (__get_cpuid(0x80000000u, &eax, &ebx, &ecx, &edx) != 0 && eax >= 0x80000007u) {
        __get_cpuid(0x80000007u, &eax, &ebx, &ecx, &edx);
        facts.invariant = (edx & (1u << 8)) != 0;
    }
    if (facts.under_hypervisor) {
        // The hypervisor's leaves: its name, then its features.
        __cpuid(0x40000000u, eax, ebx, ecx, edx);
        const unsigned int highest = eax;
        char vendor[12];
        std::memcpy(vendor, &ebx, 4);
        std::memcpy(vendor + 4, &ecx, 4);
        std::memcpy(vendor + 8, &edx, 4);
        if (std::memcmp(vendor, "KVMKVMKVM\0\0\0", 12) == 0 && highest >= 0x40000001u) {
            __cpuid(0x40000001u, eax, ebx, ecx, edx);
            facts.hypervisor_keeps_it_steady = (eax & (1u << 24)) != 0;  // KVM_FEATURE_CLOCKSOURCE_STABLE_BIT
        } else if (std::memcmp(vendor, "Microsoft Hv", 12) == 0 && highest >= 0x40000003u) {
            __cpuid(0x40000003u, eax, ebx, ecx, edx);
            facts.hypervisor_keeps_it_steady = (eax & (1u << 15)) != 0;  // AccessTscInvariantControls
        }
    }
    return facts;
}

bool time_stamp_counter_trusted(const time_stamp_counter_facts &facts) noexcept {
    return facts.invariant && (!facts.under_hypervisor || facts.hypervisor_keeps_it_steady);
}

namespace {

// Never closed: the slots lead to the tracing entries until the process
// ends, and a closed handle's value may later name another file.
HANDLE trace_file = nullptr;
// Whether trace_file is a pipe or another device, opened for writing only,
// rather than a file on a disk; and whether it is a pipe, opened for
// overlapped writes, which another program's reader can hold.
bool trace_device = false;
bool trace_pipe = false;
// The event of the writes to a pipe by the holder of line_writes. A write
// at exit, where a thread that the exit ended inside a write may have left
// its write pending on it, makes one of its own.
HANDLE line_write_event = nullptr;
// The file's name as the messages show it.
std::string trace_name;
// Set by the first write that fails: no line is written after it.
std::atomic<bool> writes_failed{false};
// Set when another program cut the file under its views: its length is
// then that program's, and stays so at exit.
std::atomic<bool> file_cut{false};
// Lines dropped since the last note of them ("# dropped=<count>").
std::atomic<unsigned long long> dropped_lines{0};
// How long a line waits for a lock before it is dropped: far longer than
// any write of a line or mapping of a stretch takes, far shorter than a hang.
constexpr ULONGLONG lock_wait_ms = 200;
// How long a pipe's reader may leave a line untaken before
// the trace stops: a reader that keeps up takes each line at once, one that
// pauses holds the program for as long, up to this.
constexpr DWORD pipe_wait_ms = 1000;

// A file on a disk takes its lines in mapped stretches: a line reserves its
// space with one atomic add and is copied in, so threads never wait for each
// other on a line's path, and every line copied is in the system's file cache
// at once, where a crash or TerminateProcess of the program cannot lose it.
// Only mapping the next stretch takes a lock. Each view reaches a little
// beyond its stretch, so that a line starting in it ends in it too.
constexpr unsigned long long stretch_size = 4ull << 20;
constexpr unsigned long long stretch_overhang = 64ull << 10;  // the mapping granularity, beyond any call line
struct stretch_view {
    unsigned long long index;  // file offsets [index * stretch_size, +stretch_size) start their lines here
    char *base;                // the view of [index * stretch_size, +stretch_size + stretch_overhang)
    stretch_view *previous;
};
// The newest stretch mapped; the older stay mapped until the process's exit,
// since a thread may still copy a line into one of them: never unmapped
// under a writer, never a lock on the line's path.
std::atomic<stretch_view *> newest_view{nullptr};
// The file offset of the next line's space.
std::atomic<unsigned long long> next_offset{0};
// Whether lines go to mapped stretches (a file on a disk, until the cut at
// exit) or through the system's write (pipes, devices, after the cut).
std::atomic<bool> mapped{false};

// A slim lock (it never allocates, neither at its first use nor when
// contended) that is never waited for without a bound: a thread ended
// inside it (by TerminateThread, or by the process's exit) holds it for
// ever. Once a wait for it has timed out, no line waits for it again while
// it stays held: each only tries it, and is dropped.
struct bounded_lock {
    SRWLOCK lock = SRWLOCK_INIT;
    std::atomic<bool> waited_in_vain{false};
};
bounded_lock stretch_mapping;
// One line at a time on the write path: an append by one write is whole on
// Windows, but under Wine threads appending at once through the handle lose
// and cut each other's lines.
bounded_lock line_writes;
// The thread inside a write, so that an exception raised there never makes
// its handler wait for the lock its own thread holds.
std::atomic<DWORD> writing_thread{0};

// The system's own flag for a process that has begun to exit; read through
// ntdll, which every process has loaded.
using shutdown_query = BOOLEAN(NTAPI *)();
shutdown_query shutdown_in_progress = nullptr;
bool process_exiting() noexcept { return shutdown_in_progress != nullptr && shutdown_in_progress(); }

// The lock within lock_wait_ms; never once the process exits.
bool take_lock(bounded_lock &bounded) noexcept {
    if (::TryAcquireSRWLockExclusive(&bounded.lock)) {
        if (bounded.waited_in_vain.load(std::memory_order_relaxed)) bounded.waited_in_vain.store(false);
        return true;
    }
    if (bounded.waited_in_vain.load(std::memory_order_relaxed)) return false;
    const ULONGLONG deadline = ::GetTickCount64() + lock_wait_ms;
    for (int tries = 0; !process_exiting(); ++tries) {
        if (::TryAcquireSRWLockExclusive(&bounded.lock)) return true;
        if (::GetTickCount64() > deadline) {
            bounded.waited_in_vain.store(true);
            return false;
        }
        if (tries < 64) {
            ::SwitchToThread();
        } else {
            ::Sleep(1);
        }
    }
    return false;
}

void release_lock(bounded_lock &bounded) noexcept { ::ReleaseSRWLockExclusive(&bounded.lock); }

// One line on standard output, once, when the file takes no more lines.
void report_stop(const std::string &line) noexcept {
    if (writes_failed.exchange(true)) return;
    std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
}

void report_failed_write(DWORD error) noexcept {
    if (writes_failed.load()) return;
    ::SetLastError(error);
    tvc::record_last_error();
    std::string text = tvc::last_error_text();
    if (text.empty() || text.back() != '\n') text += '\n';
    report_stop("Calls are no longer traced: writing to the file named by TVCVRTRT_TRACE failed Error: " + text);
}

// A write straight to the file, by the holder of the lock (locked) or at
// exit. A pipe's reader has pipe_wait_ms to take it. A write
// to a disk file that puts only part of the line there (the disk is full) is
// taken back, so that the file ends with a whole line.
bool write_to_file(const char *text, std::size_t length, bool locked) noexcept {
    if (trace_pipe) {
        DWORD error = 0;
        switch (write_to_device(trace_file, locked ? line_write_event : nullptr, text, length, pipe_wait_ms,
                                error)) {
        case device_write::whole:
            return true;
        case device_write::timed_out:
            report_stop("Calls are no longer traced: the reader of " + trace_name +
                        " named by TVCVRTRT_TRACE took no line for a second\n");
            return false;
        case device_write::failed:
            report_failed_write(error);
            return false;
        }
    }
    DWORD written = 0;
    const bool done = ::WriteFile(trace_file, text, static_cast<DWORD>(length), &written, nullptr) != FALSE;
    if (done && written == length) return true;
    const DWORD error = done ? (trace_device ? ERROR_WRITE_FAULT : ERROR_DISK_FULL) : ::GetLastError();
    LARGE_INTEGER here{};
    if (!trace_device && ::SetFilePointerEx(trace_file, here, &here, FILE_CURRENT)) {
        here.QuadPart -= written;
        if (::SetFilePointerEx(trace_file, here, nullptr, FILE_BEGIN)) ::SetEndOfFile(trace_file);
    }
    report_failed_write(error);
    return false;
}

bool put_line(const char *text, std::size_t length) noexcept;

// "# dropped=<count>" for the lines dropped since the last such note; a
// note that is dropped in turn gives its count to the next.
void write_dropped_note() noexcept {
    const unsigned long long dropped = dropped_lines.exchange(0);
    if (dropped == 0) return;
    char note[40];
    std::memcpy(note, tvc_trace::dropped_note.data(), tvc_trace::dropped_note.size());
    char *const end = std::to_chars(note + tvc_trace::dropped_note.size(), note + sizeof note - 1, dropped).ptr;
    *end = '\n';
    if (!put_line(note, static_cast<std::size_t>(end + 1 - note))) dropped_lines += dropped;
}

// The file's bytes up to here are the lines of the runs before and this
// run's, or zeros that this run wrote ahead of its lines; mapped views never
// reach beyond it. Changed only under the mapping lock.
unsigned long long zeroed_end = 0;

// Zeros written over [zeroed_end, end) before a view reaches there, by the
// system's write: it fails cleanly when the disk has no room, where a page of
// a mapped file that the disk has no room for would fault in the program;
// and the pages it leaves in the file cache take the lines' first writes
// without a page fault each (measured in docs/performance.md). False, with
// the error in the thread's last error, when the disk is full.
bool write_zeros_ahead(unsigned long long end) noexcept {
    constexpr unsigned long long chunk = 128 << 10;
    static char zeros[chunk];  // never written: zero pages, not in the library's file
    while (zeroed_end < end) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(zeroed_end);
        at.OffsetHigh = static_cast<DWORD>(zeroed_end >> 32);
        const DWORD size = static_cast<DWORD>(std::min(chunk - zeroed_end % chunk, end - zeroed_end));
        DWORD written = 0;
        if (!::WriteFile(trace_file, zeros, size, &written, &at)) return false;
        if (written != size) {
            ::SetLastError(ERROR_DISK_FULL);
            return false;
        }
        zeroed_end += size;
    }
    return true;
}

// A view of the stretch, the file grown to hold it; null, with the error
// in the thread's last error, when the disk or the address space is full.
stretch_view *map_stretch(unsigned long long index) noexcept {
    const unsigned long long begin = index * stretch_size;
    const unsigned long long end = begin + stretch_size + stretch_overhang;
    if (!write_zeros_ahead(end)) return nullptr;
    const HANDLE mapping = ::CreateFileMappingW(trace_file, nullptr, PAGE_READWRITE, static_cast<DWORD>(end >> 32),
                                                static_cast<DWORD>(end), nullptr);
    if (mapping == nullptr) return nullptr;
    void *const base = ::MapViewOfFile(mapping, FILE_MAP_WRITE, static_cast<DWORD>(begin >> 32),
                                       static_cast<DWORD>(begin), static_cast<SIZE_T>(end - begin));
    const DWORD error = ::GetLastError();
    ::CloseHandle(mapping);  // the view keeps the mapping
    if (base == nullptr) {
        ::SetLastError(error);
        return nullptr;
    }
    auto *const view = static_cast<stretch_view *>(::HeapAlloc(::GetProcessHeap(), 0, sizeof(stretch_view)));
    if (view == nullptr) {
        ::UnmapViewOfFile(base);
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    *view = {index, static_cast<char *>(base), newest_view.load(std::memory_order_relaxed)};
    return view;
}

// The view of the stretch a line starts in: an older one as it is, a newer
// one mapped, with the stretches before it, under the lock. Null when
// tracing has stopped, or when the line is dropped (then dropped is set).
[[gnu::noinline]] stretch_view *view_of(unsigned long long index, bool &dropped) noexcept {
    for (stretch_view *view = newest_view.load(std::memory_order_acquire); view != nullptr; view = view->previous) {
        if (view->index == index) return view;
        if (view->index < index) break;
    }
    if (writes_failed.load(std::memory_order_relaxed)) return nullptr;
    if (!take_lock(stretch_mapping)) {
        dropped = true;
        return nullptr;
    }
    stretch_view *view = newest_view.load(std::memory_order_acquire);
    while (!writes_failed.load(std::memory_order_relaxed) && (view == nullptr || view->index < index)) {
        stretch_view *const next = map_stretch(view == nullptr ? index : view->index + 1);
        if (next == nullptr) {
            report_failed_write(::GetLastError());
            break;
        }
        newest_view.store(next, std::memory_order_release);
        view = next;
    }
    release_lock(stretch_mapping);
    if (writes_failed.load(std::memory_order_relaxed)) return nullptr;
    while (view != nullptr && view->index != index) view = view->previous;
    return view;
}

// Another program cut the file under a view (only Wine lets it): the line
// is lost, and the trace stops.
[[gnu::noinline, gnu::cold]] void report_file_cut() noexcept {
    const program_state kept;
    file_cut.store(true);
    report_stop("Calls are no longer traced: " + trace_name +
                " named by TVCVRTRT_TRACE was cut short by another program while traced\n");
}

inline void copy_line(stretch_view *view, unsigned long long at, const char *text, std::size_t length) noexcept {
    if (!tvc_copy_into_view(view->base + (at - view->index * stretch_size), text, length)) report_file_cut();
}

// A line into its space in the mapped file: no lock, no call of the system
// but when a new stretch is due. False when the line is dropped.
bool put_mapped(const char *text, std::size_t length) noexcept {
    const unsigned long long at = next_offset.fetch_add(length, std::memory_order_relaxed);
    bool dropped = false;
    if (stretch_view *const view = view_of(at / stretch_size, dropped)) copy_line(view, at, text, length);
    return !dropped;
}

// A line through the system's write, one thread at a time. False when the
// line is dropped.
bool put_written(const char *text, std::size_t length) noexcept {
    if (!take_lock(line_writes)) return false;
    writing_thread.store(::GetCurrentThreadId(), std::memory_order_relaxed);
    if (!writes_failed.load(std::memory_order_relaxed)) write_to_file(text, length, true);
    writing_thread.store(0, std::memory_order_relaxed);
    release_lock(line_writes);
    return true;
}

// Call lines and notes are far shorter than the overhang; the header, which
// may be longer, is written before the first stretch is mapped. False when
// the line is dropped: the caller counts it.
bool put_line(const char *text, std::size_t length) noexcept {
    if (!mapped.load(std::memory_order_relaxed)) return put_written(text, length);
    return length <= stretch_overhang && put_mapped(text, length);
}

// Times as nanoseconds since the header; whole nanoseconds, rounded down,
// so that a call that starts after another also shows so, and one that nests
// inside another ends inside it. Read from the time-stamp counter, a few
// nanoseconds, where it is trusted (time_stamp_counter_trusted); else from
// the performance counter, a call into the system.
bool time_stamp_counter = false;
long long header_ticks = 0;
long long ticks_per_second = 1;
// Nanoseconds per tick, as a binary fraction with 32 bits after the point.
unsigned long long nanoseconds_per_tick = 1ull << 32;

long long performance_counter() noexcept {
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return now.QuadPart;
}

// The two counters at one moment: the performance counter between two reads
// of the time-stamp counter, of the tries the closest pair.
void read_both(long long &stamp, long long &counter) noexcept {
    long long closest = -1;
    for (int tries = 0; tries < 8; ++tries) {
        const long long before = static_cast<long long>(__rdtsc());
        const long long performance = performance_counter();
        const long long after = static_cast<long long>(__rdtsc());
        if (closest < 0 || after - before < closest) {
            closest = after - before;
            stamp = before + (after - before) / 2;
            counter = performance;
        }
    }
}

// The clock of the run: the time-stamp counter's rate measured against the
// performance counter over 5 ms, once when the run starts. Both ends are read
// to within a tenth of a microsecond, so the rate is off by at most a few
// parts in 10^5: a second shows a few microseconds too long or too short.
void choose_clock() noexcept {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    ticks_per_second = frequency.QuadPart;
    time_stamp_counter = time_stamp_counter_trusted(time_stamp_counter_of_processor());
    if (time_stamp_counter) {
        long long stamp_begin = 0, counter_begin = 0, stamp_end = 0, counter_end = 0;
        read_both(stamp_begin, counter_begin);
        ::Sleep(5);
        read_both(stamp_end, counter_end);
        if (counter_end > counter_begin && stamp_end > stamp_begin) {
            ticks_per_second = static_cast<long long>(static_cast<__int128>(stamp_end - stamp_begin) *
                                                      frequency.QuadPart / (counter_end - counter_begin));
        } else {
            time_stamp_counter = false;
        }
    }
    nanoseconds_per_tick =
        static_cast<unsigned long long>((static_cast<unsigned __int128>(1000000000) << 32) / ticks_per_second);
}

// The line that starts a run: which process, when by the wall clock, and
// the origin of the call lines' start times.
std::string header_line() {
    FILETIME now;
    ::GetSystemTimePreciseAsFileTime(&now);
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
    header += tvc_trace::clock_key;
    header += time_stamp_counter ? tvc_trace::time_stamp_clock : tvc_trace::performance_clock;
    header += tvc_trace::clock_rate_separator;
    header += std::to_string(ticks_per_second);
    header += tvc_trace::executable_key;
    header += executable;
    header += '\n';
    return header;
}

}  // namespace

long long ticks_now() noexcept {
    return time_stamp_counter ? static_cast<long long>(__rdtsc()) : performance_counter();
}

long long nanoseconds_since_header(long long ticks) noexcept {
    const __int128 elapsed = ticks - header_ticks;
    return static_cast<long long>(elapsed * static_cast<__int128>(nanoseconds_per_tick) >> 32);
}

DWORD line_writer() noexcept { return writing_thread.load(std::memory_order_relaxed); }

// A call line on its usual path changes nothing of the program's state: an
// atomic add and a copy. Anything else may call the system or the C runtime.
void write_whole(const char *text, std::size_t length) noexcept {
    // Once tracing has stopped, a call goes on without waiting for the
    // mapping lock or counting a line that no one will write.
    if (writes_failed.load(std::memory_order_relaxed)) return;
    if (mapped.load(std::memory_order_relaxed) && dropped_lines.load(std::memory_order_relaxed) == 0 &&
        length <= stretch_overhang) {
        const unsigned long long at = next_offset.fetch_add(length, std::memory_order_relaxed);
        stretch_view *view = newest_view.load(std::memory_order_acquire);
        if (view != nullptr && view->index == at / stretch_size) return copy_line(view, at, text, length);
        const program_state kept;
        bool dropped = false;
        view = view_of(at / stretch_size, dropped);
        if (view != nullptr) copy_line(view, at, text, length);
        if (dropped) ++dropped_lines;
        return;
    }
    const program_state kept;
    if (dropped_lines.load(std::memory_order_relaxed) != 0) write_dropped_note();
    if (!put_line(text, length)) ++dropped_lines;
}

// At the process's exit the other threads are gone, one perhaps inside a
// write or inside the mapping of a stretch, whose lock it then holds for
// ever: a note put into the views could be dropped in turn, uncounted. So
// the views go first and the file is cut to the lines written; the note and
// any call traced after that (from another library's exit) are appended by
// the system's write, at the file's end. A cut refused because an ended
// thread left a view mapped leaves zero bytes before them, which the readers
// pass over. A file that another program cut keeps the length it gave it.
void write_dropped_at_exit() noexcept {
    if (trace_file == nullptr) return;
    const program_state kept;
    if (mapped.exchange(false) && !file_cut.load()) {
        LARGE_INTEGER length;
        if (stretch_view *view = newest_view.exchange(nullptr)) {
            length.QuadPart = static_cast<LONGLONG>(
                std::min(next_offset.load(), (view->index + 1) * stretch_size + stretch_overhang));
            while (view != nullptr) {
                stretch_view *const previous = view->previous;
                ::UnmapViewOfFile(view->base);
                ::HeapFree(::GetProcessHeap(), 0, view);
                view = previous;
            }
            if (::SetFilePointerEx(trace_file, length, nullptr, FILE_BEGIN)) ::SetEndOfFile(trace_file);
        }
        length.QuadPart = 0;
        ::SetFilePointerEx(trace_file, length, nullptr, FILE_END);
    }
    if (writes_failed.load() || dropped_lines.load() == 0) return;
    const unsigned long long dropped = dropped_lines.exchange(0);
    char note[40];
    std::memcpy(note, tvc_trace::dropped_note.data(), tvc_trace::dropped_note.size());
    char *const end = std::to_chars(note + tvc_trace::dropped_note.size(), note + sizeof note - 1, dropped).ptr;
    *end = '\n';
    write_to_file(note, static_cast<std::size_t>(end + 1 - note), false);
}

void inside_stretch_mapping(void (*inside)()) noexcept {
    if (!take_lock(stretch_mapping)) return;
    inside();
    release_lock(stretch_mapping);
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

namespace {

// Where a run's lines begin in a file: after the last byte that is not zero,
// so that a run after one that crashed writes over the zero tail it left;
// last is that byte (a line end, unless a line was cut), or 0 in an empty file.
unsigned long long end_of_lines(HANDLE file, char &last) noexcept {
    last = '\0';
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file, &size)) return 0;
    unsigned long long end = static_cast<unsigned long long>(size.QuadPart);
    char block[4096];
    while (end > 0) {
        const unsigned long long begin = end > sizeof block ? end - sizeof block : 0;
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(begin);
        at.OffsetHigh = static_cast<DWORD>(begin >> 32);
        DWORD read = 0;
        if (!::ReadFile(file, block, static_cast<DWORD>(end - begin), &read, &at) || read != end - begin) break;
        while (read > 0 && block[read - 1] == '\0') --read;
        if (read > 0) {
            last = block[read - 1];
            return begin + read;
        }
        end = begin;
    }
    return end;
}

// The header at the end of the lines, on a line of its own, then the first
// stretch mapped; a file that cannot be mapped takes its lines through the
// system's write instead.
void start_run_in_file() noexcept {
    char last = '\0';
    LARGE_INTEGER start;
    start.QuadPart = static_cast<LONGLONG>(end_of_lines(trace_file, last));
    ::SetFilePointerEx(trace_file, start, nullptr, FILE_BEGIN);
    // A line that a crash or a full disk cut, or text of another program,
    // would take the header into it, and the run's lines into another run.
    const std::string header = (last != '\0' && last != '\n' ? "\n" : "") + header_line();
    if (!write_to_file(header.data(), header.size(), false)) return;
    const unsigned long long offset = static_cast<unsigned long long>(start.QuadPart) + header.size();
    next_offset.store(offset);
    zeroed_end = offset;
    stretch_view *const first = map_stretch(offset / stretch_size);
    if (first == nullptr) {
        // The zeros written ahead go; the lines follow the header.
        LARGE_INTEGER lines;
        lines.QuadPart = static_cast<LONGLONG>(offset);
        ::SetFilePointerEx(trace_file, lines, nullptr, FILE_BEGIN);
        ::SetEndOfFile(trace_file);
        return;
    }
    newest_view.store(first);
    mapped.store(true);
}

// The file's handle: a file on a disk for reading and writing (a view of it
// for writing needs both), anything else for writing only, a pipe for
// overlapped writes. A pipe or a FIFO that this process could read too would
// never report its reader gone, and would take lines until its buffer
// filled, then hold the writer. What the name is shows only once it is open:
// so it is opened for overlapped writing first, and a file on a disk or a
// character device (NUL, a console) opened anew: under wine an overlapped
// write costs several calls of its server, a synchronous one none. Null,
// with the error in the thread's last error, when it cannot be opened.
HANDLE open_for_lines(const std::wstring &path, bool &device, bool &pipe) noexcept {
    // "\\.\" names a device or a pipe, which exists or is nothing.
    const DWORD disposition = path.rfind(L"\\\\.\\", 0) == 0 ? OPEN_EXISTING : OPEN_ALWAYS;
    constexpr DWORD any_sharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, any_sharing, nullptr, disposition,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    const DWORD type = ::GetFileType(file);
    device = type != FILE_TYPE_DISK;
    pipe = device && type != FILE_TYPE_CHAR;
    if (pipe) return file;
    ::CloseHandle(file);
    // A file on a disk: one process at a time, so no other may hold it for
    // writing, nor this one let another write.
    file = device ? ::CreateFileW(path.c_str(), GENERIC_WRITE, any_sharing, nullptr, disposition,
                                  FILE_ATTRIBUTE_NORMAL, nullptr)
                  : ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return file == INVALID_HANDLE_VALUE ? nullptr : file;
}

}  // namespace

// A file is added to, so that several runs one after another keep all
// their lines; one process at a time: a file that another program holds
// open without letting others write to it (another process that traces
// into it, which holds it so) is refused, since lines of two processes in
// one file could not be told apart. A pipe or another device takes each
// line by the system's write, within a bound.
bool open_trace_file(const std::wstring &variable) {
    shutdown_in_progress = reinterpret_cast<shutdown_query>(
        reinterpret_cast<void (*)()>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlDllShutdownInProgress")));
    const std::wstring name = with_process_id(variable);
    bool device = false, pipe = false;
    if (HANDLE file = open_for_lines(unlimited_path(name), device, pipe)) {
        trace_file = file;
        trace_device = device;
        trace_pipe = pipe;
        if (pipe) line_write_event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        trace_name = tvc::narrowed(name);
        choose_clock();
        header_ticks = ticks_now();
        if (device) {
            const std::string header = header_line();
            write_whole(header.data(), header.size());
        } else {
            start_run_in_file();
        }
        return true;
    }
    if (::GetLastError() == ERROR_SHARING_VIOLATION) {
        std::printf("Calls are not traced: %s named by TVCVRTRT_TRACE is open in another program, which lets no "
                    "other write to it (another process that traces into it, or one that reads it); put %%p in the "
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
