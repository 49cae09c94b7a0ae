// The call trace. Each bound slot of the binding tables gets a tracing entry
// of its own exact type and a traced target: the entry formats the
// arguments, times the call of the target, and appends one line
//   <thread id> <start> <export>(<argument>, ...) = <result> <duration>us
// with the start in microseconds since the run's header line
//   # pid=<process id> start=<UTC time> exe=<executable path>
// which opens the trace in each process. Forwarders stay as they are; a
// locked forwarder reaches the entry through its slot while it holds the
// API lock, so the trace of its call runs inside the lock, and a direct
// forwarder's tail jump lands on the entry.
#include "forwarding/call_trace.h"

#include "bootstrap/last_error.h"
#include "forwarding/forwarding_slots.h"

#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <type_traits>
#include <vector>

namespace {

// Never closed: the slots lead to the tracing entries until the process
// ends, and a closed handle's value may later name another file.
HANDLE trace_file = nullptr;
// One line at a time: an append by one write is whole on Windows, but under
// Wine threads appending at once through the handle lose and cut each
// other's lines.
std::mutex line_writes;

// Times on the performance counter, as nanoseconds since the header; whole
// nanoseconds, rounded down, so that a call that starts after another also
// shows so, and one that nests inside another ends inside it.
long long header_ticks = 0;
long long ticks_per_second = 1;

long long ticks_now() noexcept {
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return now.QuadPart;
}

long long nanoseconds_since_header(long long ticks) noexcept {
    const long long elapsed = ticks - header_ticks;
    return elapsed / ticks_per_second * 1000000000 + elapsed % ticks_per_second * 1000000000 / ticks_per_second;
}

// Up to capacity bytes of the NUL-terminated text at address, without the
// NUL, read through the system, which fails cleanly where touching the
// address would fault; a page at a time, since a read fails as a whole.
// The length read, or -1 when some byte before the NUL or the end of the
// capacity cannot be read.
long long read_text(const char *address, char *bytes, std::size_t capacity) noexcept {
    constexpr std::uintptr_t page = 4096;
    std::size_t length = 0;
    while (length < capacity) {
        const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(address) + length;
        const std::size_t chunk = std::min<std::size_t>(capacity - length, page - at % page);
        SIZE_T read = 0;
        if (!::ReadProcessMemory(::GetCurrentProcess(), address + length, bytes + length, chunk, &read) ||
            read != chunk) {
            return -1;
        }
        const void *end = std::memchr(bytes + length, '\0', chunk);
        if (end != nullptr) return static_cast<const char *>(end) - bytes;
        length += chunk;
    }
    return static_cast<long long>(length);
}

void write_whole(const char *text, std::size_t length) noexcept {
    DWORD written = 0;
    const std::lock_guard<std::mutex> one_line_at_a_time(line_writes);
    ::WriteFile(trace_file, text, static_cast<DWORD>(length), &written, nullptr);
}

// One line, formatted in place and written with one append to a file opened
// for appending only, one thread at a time, so that lines never interleave.
// Written straight to the system without a buffer of our own: a crash loses
// nothing written.
// Out of line, so that the tracing entries stay small: each is little more
// than its calls of these.
class trace_line {
public:
    [[gnu::noinline]] explicit trace_line(const char *export_name) noexcept { append("%s(", export_name); }
    trace_line(const trace_line &) = delete;
    trace_line &operator=(const trace_line &) = delete;
    // A call left by an exception is traced too, with the time it took.
    [[gnu::noinline]] ~trace_line() {
        if (!written_) close("exception");
    }

    template <typename Argument> [[gnu::noinline]] void argument(Argument value) noexcept {
        if (argument_count_++ > 0) append(", ");
        text(value);
    }
    void start() noexcept { start_ = ticks_now(); }

    template <typename Result> void finish(Result result) noexcept {
        const long long stop = ticks_now();
        append(") = ");
        text(result);
        write(stop);
    }
    void finish() noexcept { close("void"); }

private:
    [[gnu::noinline]] void close(const char *result) noexcept {
        const long long stop = ticks_now();
        append(") = %s", result);
        write(stop);
    }

    // The thread and the start go in front of the text formatted so far, in
    // the room kept for them, so that the line is still one write.
    [[gnu::noinline]] void write(long long stop) noexcept {
        // A line cut short keeps room for its time, so it still parses.
        constexpr std::size_t time_room = 40;
        if (length_ > sizeof text_ - time_room) length_ = sizeof text_ - time_room;
        const long long start = nanoseconds_since_header(start_);
        const long long duration = nanoseconds_since_header(stop) - start;
        append(" %lld.%03lldus\n", duration / 1000, duration % 1000);
        char head[head_room + 1];
        const int head_length = std::snprintf(head, sizeof head, "%lu %lld.%03lld ", ::GetCurrentThreadId(),
                                              start / 1000, start % 1000);
        const std::size_t used = head_length > 0 ? static_cast<std::size_t>(head_length) : 0;
        std::memcpy(text_ + head_room - used, head, used);
        write_whole(text_ + head_room - used, length_ - head_room + used);
        written_ = true;
    }

    __attribute__((format(gnu_printf, 2, 3))) void append(const char *format, ...) noexcept {
        va_list values;
        va_start(values, format);
        const int added = std::vsnprintf(text_ + length_, sizeof text_ - length_, format, values);
        va_end(values);
        if (added > 0) length_ += static_cast<std::size_t>(added);
        if (length_ >= sizeof text_) length_ = sizeof text_ - 1;
    }

    // Every value at its width; pointers and lists as addresses, never followed.
    void text(const void *value) noexcept {
        append("0x%llx", static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(value)));
    }
    void text(char *list) noexcept { text(static_cast<const void *>(list)); }
    // Text quoted, with quotes, backslashes and control characters escaped,
    // cut after its first 64 bytes with "..." after the closing quote; a
    // pointer that cannot be read as its address.
    [[gnu::noinline]] void text(const char *value) noexcept {
        constexpr std::size_t shown = 64;
        char bytes[shown + 1];
        const long long length = read_text(value, bytes, sizeof bytes);
        if (length < 0) return text(static_cast<const void *>(value));
        static const char hex[] = "0123456789abcdef";
        char quoted[shown * 4 + 8];
        std::size_t used = 0;
        quoted[used++] = '"';
        for (long long index = 0; index < std::min<long long>(length, shown); ++index) {
            const unsigned char ch = static_cast<unsigned char>(bytes[index]);
            const char escape = ch == '"' ? '"' : ch == '\\' ? '\\' : ch == '\n' ? 'n' : ch == '\r' ? 'r' : ch == '\t' ? 't' : 0;
            if (escape != 0) {
                quoted[used++] = '\\';
                quoted[used++] = escape;
            } else if (ch < 0x20 || ch == 0x7F) {
                quoted[used++] = '\\';
                quoted[used++] = 'x';
                quoted[used++] = hex[ch >> 4];
                quoted[used++] = hex[ch & 15];
            } else {
                quoted[used++] = static_cast<char>(ch);
            }
        }
        quoted[used++] = '"';
        append("%.*s%s", static_cast<int>(used), quoted, length > static_cast<long long>(shown) ? "..." : "");
    }
    void text(std::size_t value) noexcept { append("%llu", static_cast<unsigned long long>(value)); }
    void text(std::int32_t value) noexcept { append("%d", value); }
    void text(std::uint16_t value) noexcept { append("%u", static_cast<unsigned>(value)); }
    void text(std::uint8_t value) noexcept { append("%u", static_cast<unsigned>(value)); }
    void text(bool value) noexcept { append("%s", value ? "true" : "false"); }
    // Enough digits to give back the exact value.
    void text(double value) noexcept { append("%.17g", value); }
    void text(float value) noexcept { append("%.9g", static_cast<double>(value)); }
    void text(const tvcOutputHandler &record) noexcept {
        append("{0x%llx, 0x%llx}", static_cast<unsigned long long>(record.words[0]),
               static_cast<unsigned long long>(record.words[1]));
    }

    // Room for "<thread id> <start> ": ten digits each side of the point.
    static constexpr std::size_t head_room = 40;
    char text_[1024];
    std::size_t length_ = head_room;
    int argument_count_ = 0;
    long long start_ = 0;
    bool written_ = false;
};

template <typename T> struct not_deduced { using type = T; };

// The arguments reach the target exactly as they came, a list included:
// only its address is read, never an entry of it.
template <typename Result, typename... Arguments>
Result traced_call(const char *export_name, Result (*target)(Arguments...),
                   typename not_deduced<Arguments>::type... arguments) {
    trace_line line(export_name);
    (line.argument(arguments), ...);
    line.start();
    if constexpr (std::is_void_v<Result>) {
        target(arguments...);
        line.finish();
    } else {
        const Result result = target(arguments...);
        line.finish(result);
        return result;
    }
}

#define TVC_TRACE_ARGS(...) __VA_OPT__(, TVC_ARGS(__VA_ARGS__))

// Per slot: the traced target and the tracing entry.
#define TVC_FAMILY(name, routine, file)
#define TVC_SPECIAL(export_name, result, args)
#define TVC_ENTRY(number, shape, export_name, symbol, result, args) \
    TVC_TRACING_ENTRY_##shape(export_name, symbol, result, args)
#define TVC_TRACING_ENTRY_locked(export_name, symbol, result, args)                 \
    TVC_FUNCTION_TYPE(result, args) *traced_##symbol = nullptr;                     \
    TVC_RESULT_TYPE(result) tracing_##symbol(TVC_PARAMS args) {                     \
        return traced_call(#export_name, traced_##symbol TVC_TRACE_ARGS args);       \
    }
#define TVC_TRACING_ENTRY_guarded TVC_TRACING_ENTRY_locked
#define TVC_TRACING_ENTRY_guarded_true TVC_TRACING_ENTRY_locked
#define TVC_TRACING_ENTRY_direct TVC_TRACING_ENTRY_locked
// Bound to be tested, never called.
#define TVC_TRACING_ENTRY_tested(export_name, symbol, result, args)
#include "forwarding/array_family.inc"
#include "forwarding/data_file_family.inc"
#include "forwarding/runtime_family.inc"
#include "forwarding/base_family.inc"
#undef TVC_ENTRY

constexpr bool same_text(const char *left, const char *right) {
    while (*left != '\0' && *left == *right) ++left, ++right;
    return *left == *right;
}

// Every locked call goes through these two; tracing them would surround each
// traced line with two more.
constexpr bool is_lock_symbol(const char *symbol) {
    return same_text(symbol, "tvcAcquireMutex") || same_text(symbol, "tvcReleaseMutex");
}

// TVCVRTRT_TRACE_FILTER: a comma-separated list of export-name patterns with
// * (any run of characters) and ? (any one character); a leading ! excludes.
// Traced are the exports that some pattern without ! takes (every export
// when there is none) and no pattern with ! takes.
struct name_pattern {
    std::string text;
    bool excludes;
};
std::vector<name_pattern> trace_filter;

bool matches(const char *pattern, const char *name) {
    // The last *, to come back to with one more character taken by it.
    const char *star = nullptr;
    const char *star_name = nullptr;
    while (*name != '\0') {
        if (*pattern == '*') {
            star = pattern++;
            star_name = name;
        } else if (*pattern == '?' || *pattern == *name) {
            ++pattern, ++name;
        } else if (star != nullptr) {
            pattern = star + 1;
            name = ++star_name;
        } else {
            return false;
        }
    }
    while (*pattern == '*') ++pattern;
    return *pattern == '\0';
}

bool is_traced(const char *export_name) {
    bool taken = true;
    for (const name_pattern &pattern : trace_filter) {
        if (!pattern.excludes) taken = false;
    }
    for (const name_pattern &pattern : trace_filter) {
        if (matches(pattern.text.c_str(), export_name)) {
            if (pattern.excludes) return false;
            taken = true;
        }
    }
    return taken;
}

// False, after one line on standard output, for an item that is empty or
// holds anything but name characters, * and ? after its optional !.
bool read_trace_filter(const std::string &list) {
    std::size_t begin = 0;
    while (!list.empty() && begin <= list.size()) {
        const std::size_t end = std::min(list.find(',', begin), list.size());
        const std::string item = list.substr(begin, end - begin);
        const bool excludes = !item.empty() && item[0] == '!';
        const std::string text = item.substr(excludes ? 1 : 0);
        if (text.empty() || text.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_*?") !=
                                std::string::npos) {
            std::printf("Calls are not traced: bad pattern \"%s\" in TVCVRTRT_TRACE_FILTER (export names with * and ?, "
                        "separated by commas, each may start with !)\n",
                        item.c_str());
            std::fflush(stdout);
            return false;
        }
        trace_filter.push_back({text, excludes});
        begin = end + 1;
    }
    return true;
}

// The bound address moves to the traced target; a slot that holds its entry
// already keeps its target, so a second installation never wraps twice.
template <typename Function> void put_in_front(Function &slot, Function &target, Function entry) noexcept {
    if (slot == nullptr || slot == entry) return;
    target = slot;
    slot = entry;
}

void put_tracing_entries_in_front() noexcept {
#define TVC_ENTRY(number, shape, export_name, symbol, result, args) TVC_PUT_IN_FRONT_##shape(export_name, symbol)
#define TVC_PUT_IN_FRONT_locked(export_name, symbol)                     \
    if (!is_lock_symbol(#symbol) && is_traced(#export_name)) \
        put_in_front(TVC_SLOT(symbol), traced_##symbol, &tracing_##symbol);
#define TVC_PUT_IN_FRONT_guarded TVC_PUT_IN_FRONT_locked
#define TVC_PUT_IN_FRONT_guarded_true TVC_PUT_IN_FRONT_locked
#define TVC_PUT_IN_FRONT_direct TVC_PUT_IN_FRONT_locked
#define TVC_PUT_IN_FRONT_tested(export_name, symbol)
#include "forwarding/array_family.inc"
#include "forwarding/data_file_family.inc"
#include "forwarding/runtime_family.inc"
#include "forwarding/base_family.inc"
#undef TVC_ENTRY
}

#undef TVC_FAMILY
#undef TVC_SPECIAL

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

std::string narrow(const std::wstring &text) {
    const int size = ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return std::string();
    std::string narrowed(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, narrowed.data(), size, nullptr, nullptr);
    narrowed.resize(static_cast<std::size_t>(size) - 1);
    return narrowed;
}

std::wstring executable_path() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD size = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (size < path.size()) return path.substr(0, size);
        path.resize(path.size() * 2);
    }
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
    const std::string header = "# pid=" + std::to_string(::GetCurrentProcessId()) + " start=" + started +
                               " exe=" + narrow(executable_path()) + "\n";
    write_whole(header.data(), header.size());
}

// Appends to an existing trace, so that several runs, or several processes
// of one application, keep all their lines; another process may write and
// read the file meanwhile.
HANDLE open_trace_file(const std::wstring &name) {
    const HANDLE file = ::CreateFileW(unlimited_path(name).c_str(), FILE_APPEND_DATA,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) return file;
    tvc::record_last_error();
    const std::string text = tvc::last_error_text();
    std::printf("Calls are not traced: cannot open %s named by TVCVRTRT_TRACE Error: %s%s", narrow(name).c_str(),
                text.c_str(), text.empty() || text.back() != '\n' ? "\n" : "");
    std::fflush(stdout);
    return nullptr;
}

}  // namespace

namespace tvc {

void install_call_trace() {
    static bool variable_read = false;
    if (!variable_read) {
        variable_read = true;
        // An empty value names no file, as if the variable were unset.
        const std::wstring name = environment_value(L"TVCVRTRT_TRACE");
        if (name.empty() || !read_trace_filter(narrow(environment_value(L"TVCVRTRT_TRACE_FILTER")))) return;
        LARGE_INTEGER frequency;
        ::QueryPerformanceFrequency(&frequency);
        ticks_per_second = frequency.QuadPart;
        trace_file = open_trace_file(name);
        if (trace_file != nullptr) write_header();
    }
    if (trace_file != nullptr) put_tracing_entries_in_front();
}

}  // namespace tvc
