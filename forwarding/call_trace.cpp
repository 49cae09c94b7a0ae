// The call trace. Each bound slot that TVCVRTRT_TRACE_FILTER selects gets a
// tracing entry and a traced target: the entry formats the arguments, times
// the call of the target, and appends one line
//   <thread id> <start> <export>(<argument>, ...) = <result> <duration>us
// with the start in microseconds since the run's header line
//   # pid=<process id> start=<UTC time> exe=<executable path>
// which opens the trace in each process. Forwarders stay as they are; a
// locked forwarder reaches the entry, of the slot's own exact type, through
// its slot while it holds the API lock, so the trace of its call runs inside
// the lock; a direct forwarder's tail jump lands on an entry in assembly
// that hands on registers and stack untouched (see tvc_direct_tracing).
#include "forwarding/call_trace.h"

#include "bootstrap/last_error.h"
#include "common/code_page_text.h"
#include "common/unique_resource.h"
#include "forwarding/forwarding_slots.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

namespace {

// Never closed: the slots lead to the tracing entries until the process
// ends, and a closed handle's value may later name another file.
HANDLE trace_file = nullptr;
// One line at a time: an append by one write is whole on Windows, but under
// Wine threads appending at once through the handle lose and cut each
// other's lines. A slim lock, since the exception handler below takes it
// too: it never allocates, neither at its first use nor when contended.
SRWLOCK line_writes = SRWLOCK_INIT;
// The thread inside a write, so that an exception raised there never makes
// its handler wait for the lock its own thread holds.
std::atomic<DWORD> line_writer{0};

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
    ::AcquireSRWLockExclusive(&line_writes);
    line_writer.store(::GetCurrentThreadId(), std::memory_order_relaxed);
    ::WriteFile(trace_file, text, static_cast<DWORD>(length), &written, nullptr);
    line_writer.store(0, std::memory_order_relaxed);
    ::ReleaseSRWLockExclusive(&line_writes);
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
    void start(long long ticks = ticks_now()) noexcept { start_ = ticks; }
    // Arguments beyond those shown may follow.
    void more_arguments() noexcept { append(", ..."); }

    template <typename Result> void finish(Result result, long long stop = ticks_now()) noexcept {
        append(") = ");
        text(result);
        write(stop);
    }
    void finish() noexcept { close("void"); }
    // What the line shows instead of a result.
    void finish_with(const char *what, long long stop = ticks_now()) noexcept { close(what, stop); }

private:
    [[gnu::noinline]] void close(const char *result, long long stop = ticks_now()) noexcept {
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

}  // namespace

// The direct forwarders' trace. Untraced, a direct forwarder is a tail jump
// through its slot, and the runtime, not the tables, decides what its
// function takes. Its tracing entry (tvc_direct_tracing) therefore keeps
// the four argument registers, both kinds, and the stack as the caller left
// them: it records the integer argument registers and the start, puts the
// return thunk tvc_direct_return in place of the caller's return address,
// keeping that address on a stack of the thread's own, and jumps on to the
// bound function. The thunk records rax and the end, and returns to the
// kept address with rax and xmm0 as the function left them.
// An exception raised on the thread while such calls are pending would
// find the thunk, which has no unwind data, where the unwinder expects the
// caller: a handler that the system calls before any frame's puts the kept
// return addresses back and writes the pending lines with "exception" as
// their result. It runs on whichever thread raises, holding whatever locks
// that thread holds, so it allocates nothing and takes no lock but the one
// for writing lines: the stacks are in a slot of the system's thread-local
// storage, which it only reads, and the lines' formatting of integers and
// texts neither allocates nor locks.
extern "C" {

struct tvc_direct_entry {
    const char *export_name;
    void *target;  // the bound address
};

// Per direct entry: its tvc_direct_entry and its stub, which hands it to
// tvc_direct_tracing in r11.
#define TVC_FAMILY(name, routine, file)
#define TVC_SPECIAL(export_name, result, args)
#define TVC_ENTRY(number, shape, export_name, symbol, result, args) TVC_DIRECT_STUB_##shape(export_name, symbol)
#define TVC_DIRECT_STUB_locked(export_name, symbol)
#define TVC_DIRECT_STUB_guarded TVC_DIRECT_STUB_locked
#define TVC_DIRECT_STUB_guarded_true TVC_DIRECT_STUB_locked
#define TVC_DIRECT_STUB_tested TVC_DIRECT_STUB_locked
#define TVC_DIRECT_STUB_direct(export_name, symbol)                                                        \
    [[gnu::used]] tvc_direct_entry tvc_direct_entry_##symbol = {#export_name, nullptr};                    \
    void tvc_tracing_##symbol();                                                                         \
    __asm__(".text\n\t.p2align 4\n\t.globl tvc_tracing_" #symbol "\n\t.def tvc_tracing_" #symbol          \
            ";\t.scl 2;\t.type 32;\t.endef\ntvc_tracing_" #symbol ":\n\t"                                   \
            "leaq tvc_direct_entry_" #symbol "(%rip), %r11\n\tjmp tvc_direct_tracing\n");
#include "forwarding/array_family.inc"
#include "forwarding/data_file_family.inc"
#include "forwarding/runtime_family.inc"
#include "forwarding/base_family.inc"
#undef TVC_ENTRY
#undef TVC_FAMILY
#undef TVC_SPECIAL

void tvc_direct_return();
void *tvc_direct_enter(const tvc_direct_entry *entry, const std::uint64_t *registers, void **return_slot) noexcept;
void *tvc_direct_leave(std::uint64_t rax, void **stack) noexcept;

}  // extern "C"

// The caller's home area (rsp+8 at entry) receives the four integer argument
// registers, the frame keeps xmm0-xmm3, and both are reloaded before the
// jump.
__asm__(".text\n\t.p2align 4\n\t.globl tvc_direct_tracing\n\t.def tvc_direct_tracing;\t.scl 2;\t.type 32;\t.endef\n"
        "\t.seh_proc tvc_direct_tracing\ntvc_direct_tracing:\n"
        "\tmovq %rcx, 8(%rsp)\n\tmovq %rdx, 16(%rsp)\n\tmovq %r8, 24(%rsp)\n\tmovq %r9, 32(%rsp)\n"
        "\tsubq $104, %rsp\n\t.seh_stackalloc 104\n\t.seh_endprologue\n"
        "\tmovups %xmm0, 32(%rsp)\n\tmovups %xmm1, 48(%rsp)\n\tmovups %xmm2, 64(%rsp)\n\tmovups %xmm3, 80(%rsp)\n"
        "\tmovq %r11, %rcx\n\tleaq 112(%rsp), %rdx\n\tleaq 104(%rsp), %r8\n"
        "\tcall tvc_direct_enter\n"
        "\tmovups 32(%rsp), %xmm0\n\tmovups 48(%rsp), %xmm1\n\tmovups 64(%rsp), %xmm2\n\tmovups 80(%rsp), %xmm3\n"
        "\tmovq 112(%rsp), %rcx\n\tmovq 120(%rsp), %rdx\n\tmovq 128(%rsp), %r8\n\tmovq 136(%rsp), %r9\n"
        "\taddq $104, %rsp\n\tjmp *%rax\n\t.seh_endproc\n"
        // Entered by a return, so with the stack 16-byte aligned.
        "\t.p2align 4\n\t.globl tvc_direct_return\n\t.def tvc_direct_return;\t.scl 2;\t.type 32;\t.endef\n"
        "tvc_direct_return:\n"
        "\tsubq $64, %rsp\n\tmovq %rax, 48(%rsp)\n\tmovups %xmm0, 32(%rsp)\n"
        "\tmovq %rax, %rcx\n\tleaq 64(%rsp), %rdx\n\tcall tvc_direct_leave\n\tmovq %rax, %r11\n"
        "\tmovq 48(%rsp), %rax\n\tmovups 32(%rsp), %xmm0\n\taddq $64, %rsp\n\tjmp *%r11\n");

namespace {

struct pending_direct_call {
    void **return_slot;
    void *return_address;
    const tvc_direct_entry *entry;
    std::uint64_t registers[4];  // rcx, rdx, r8, r9
    long long start;
};

// Deeper nesting of direct calls on one thread than this is not traced.
constexpr int pending_capacity = 64;
struct pending_direct_calls {
    pending_direct_call calls[pending_capacity];
    int depth = 0;
};
// Each thread's stack, made by its first traced direct call and freed at
// its thread detach. Not a C++ thread_local: that storage is allocated on a
// thread's first touch, and the handler touches it on every thread that
// raises while a call is pending anywhere (a traced tvcRunMain_proxy is
// pending for the whole run). Taken with the first direct tracing entry.
std::atomic<DWORD> pending_slot{TLS_OUT_OF_INDEXES};
std::atomic<long> pending_anywhere{0};
std::atomic<long> pending_stacks{0};

// The calling thread's stack, or null; TlsGetValue clears the thread's last
// error, which belongs to the caller and the runtime, so it is kept.
pending_direct_calls *this_thread_pending(DWORD slot) noexcept {
    const DWORD last_error = ::GetLastError();
    auto *const pending = static_cast<pending_direct_calls *>(::TlsGetValue(slot));
    ::SetLastError(last_error);
    return pending;
}

// Null when memory runs out: that call is not traced.
pending_direct_calls *this_thread_pending_made() noexcept {
    const DWORD slot = pending_slot.load(std::memory_order_acquire);
    if (pending_direct_calls *pending = this_thread_pending(slot)) return pending;
    const DWORD last_error = ::GetLastError();
    std::unique_ptr<pending_direct_calls> made(new (std::nothrow) pending_direct_calls);
    const bool kept = made && ::TlsSetValue(slot, made.get());
    ::SetLastError(last_error);
    if (!kept) return nullptr;
    ++pending_stacks;
    return made.release();
}

// A thread that ends inside direct calls (ExitThread from the runtime)
// leaves them pending for good; they count no more.
void free_thread_pending(DWORD slot) noexcept {
    const std::unique_ptr<pending_direct_calls> pending(this_thread_pending(slot));
    if (!pending) return;
    ::TlsSetValue(slot, nullptr);
    pending_anywhere -= pending->depth;
    --pending_stacks;
}

// The line shows the four integer argument registers as they came, then
// "...", and rax in full, or what replaces a result.
// Out of line: its line takes over a kilobyte of stack, which the handler
// must not take when the stack is all but used up.
[[gnu::noinline]] void write_direct_line(const pending_direct_call &call, long long stop,
                                         const char *instead_of_result, std::uint64_t rax) noexcept {
    trace_line line(call.entry->export_name);
    for (const std::uint64_t value : call.registers) line.argument(reinterpret_cast<const void *>(value));
    line.more_arguments();
    line.start(call.start);
    if (instead_of_result != nullptr) {
        line.finish_with(instead_of_result, stop);
    } else {
        line.finish(reinterpret_cast<const void *>(rax), stop);
    }
}

LONG CALLBACK put_return_addresses_back(EXCEPTION_POINTERS *exception) {
    constexpr DWORD debug_output = 0x40010006, wide_debug_output = 0x4001000A, thread_name = 0x406D1388;
    const DWORD code = exception->ExceptionRecord->ExceptionCode;
    if (pending_anywhere == 0 || code == debug_output || code == wide_debug_output || code == thread_name) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    const DWORD slot = pending_slot.load(std::memory_order_acquire);
    pending_direct_calls *const pending = slot == TLS_OUT_OF_INDEXES ? nullptr : this_thread_pending(slot);
    if (pending == nullptr || pending->depth == 0) return EXCEPTION_CONTINUE_SEARCH;
    // On an exhausted stack only what unwinding needs: the lines would
    // take more stack than is left. Nor any line from inside a write.
    const bool with_lines = code != EXCEPTION_STACK_OVERFLOW && line_writer != ::GetCurrentThreadId();
    const DWORD last_error = ::GetLastError();
    const long long stop = with_lines ? ticks_now() : 0;
    while (pending->depth > 0) {
        const pending_direct_call &call = pending->calls[--pending->depth];
        --pending_anywhere;
        // A call left by a jump has no frame any more: its slot belongs to
        // whatever runs there now, and is left alone.
        if (*call.return_slot != reinterpret_cast<void *>(&tvc_direct_return)) continue;
        *call.return_slot = call.return_address;
        if (with_lines) write_direct_line(call, stop, "exception", 0);
    }
    ::SetLastError(last_error);
    return EXCEPTION_CONTINUE_SEARCH;
}

void remove_exception_handler(void *handler) { ::RemoveVectoredExceptionHandler(handler); }
// Removed when the library is unloaded, since the handler is its code.
tvc::unique_resource<void *, remove_exception_handler> exception_handler;

}  // namespace

void *tvc_direct_enter(const tvc_direct_entry *entry, const std::uint64_t *registers, void **return_slot) noexcept {
    pending_direct_calls *const pending = this_thread_pending_made();
    if (pending == nullptr || pending->depth == pending_capacity) return entry->target;
    pending_direct_call &call = pending->calls[pending->depth++];
    call = {return_slot, *return_slot, entry, {registers[0], registers[1], registers[2], registers[3]}, 0};
    *return_slot = reinterpret_cast<void *>(&tvc_direct_return);
    ++pending_anywhere;
    call.start = ticks_now();
    return entry->target;
}

void *tvc_direct_leave(std::uint64_t rax, void **stack) noexcept {
    const long long stop = ticks_now();
    // Made by the entry that put this thunk in place.
    pending_direct_calls &pending = *this_thread_pending(pending_slot.load(std::memory_order_acquire));
    // Calls left without a return (a longjmp over them) lie above the one
    // that returns; they are dropped.
    while (pending.depth > 0 && pending.calls[pending.depth - 1].return_slot != stack - 1) {
        --pending.depth;
        --pending_anywhere;
    }
    if (pending.depth == 0) std::abort();  // nowhere to return to
    const pending_direct_call call = pending.calls[--pending.depth];
    --pending_anywhere;
    const DWORD last_error = ::GetLastError();  // the runtime's, for the caller
    write_direct_line(call, stop, nullptr, rax);
    ::SetLastError(last_error);
    return call.return_address;
}

namespace {

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
// A direct forwarder's tracing entry is written in assembly, below.
#define TVC_TRACING_ENTRY_direct(export_name, symbol, result, args)
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
// holds anything but name characters, * and ? after its optional !. Checked
// before narrowing: a character the code page cannot hold would narrow to
// "?", a wildcard.
bool read_trace_filter(const std::wstring &list) {
    std::size_t begin = 0;
    while (!list.empty() && begin <= list.size()) {
        const std::size_t end = std::min(list.find(L',', begin), list.size());
        const std::wstring item = list.substr(begin, end - begin);
        const bool excludes = !item.empty() && item[0] == L'!';
        const std::wstring text = item.substr(excludes ? 1 : 0);
        if (text.empty() || text.find_first_not_of(L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_*?") !=
                                std::wstring::npos) {
            std::printf("Calls are not traced: bad pattern \"%s\" in TVCVRTRT_TRACE_FILTER (export names with * and ?, "
                        "separated by commas, each may start with !)\n",
                        tvc::narrowed(item).c_str());
            std::fflush(stdout);
            return false;
        }
        trace_filter.push_back({std::string(text.begin(), text.end()), excludes});
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

// The threads' stacks of pending direct calls and the handler that mends
// the stack for exceptions come with the first direct stub; without them
// direct forwarders stay untraced.
bool direct_tracing_ready() noexcept {
    if (pending_slot.load(std::memory_order_acquire) == TLS_OUT_OF_INDEXES) {
        pending_slot.store(::TlsAlloc(), std::memory_order_release);
    }
    if (pending_slot.load(std::memory_order_acquire) == TLS_OUT_OF_INDEXES) return false;
    if (!exception_handler) exception_handler.reset(::AddVectoredExceptionHandler(1, &put_return_addresses_back));
    return static_cast<bool>(exception_handler);
}

// A direct slot leads to its stub instead, and the bound address goes into
// the stub's entry.
template <typename Function>
void put_stub_in_front(Function &slot, tvc_direct_entry &entry, void (*stub)()) noexcept {
    const Function stub_in_slot = reinterpret_cast<Function>(stub);
    if (slot == nullptr || slot == stub_in_slot || !direct_tracing_ready()) return;
    entry.target = reinterpret_cast<void *>(slot);
    slot = stub_in_slot;
}

void put_tracing_entries_in_front() noexcept {
#define TVC_ENTRY(number, shape, export_name, symbol, result, args) TVC_PUT_IN_FRONT_##shape(export_name, symbol)
#define TVC_PUT_IN_FRONT_locked(export_name, symbol)                     \
    if (!is_lock_symbol(#symbol) && is_traced(#export_name)) \
        put_in_front(TVC_SLOT(symbol), traced_##symbol, &tracing_##symbol);
#define TVC_PUT_IN_FRONT_guarded TVC_PUT_IN_FRONT_locked
#define TVC_PUT_IN_FRONT_guarded_true TVC_PUT_IN_FRONT_locked
#define TVC_PUT_IN_FRONT_direct(export_name, symbol)      \
    if (!is_lock_symbol(#symbol) && is_traced(#export_name)) \
        put_stub_in_front(TVC_SLOT(symbol), tvc_direct_entry_##symbol, &tvc_tracing_##symbol);
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
    std::printf("Calls are not traced: cannot open %s named by TVCVRTRT_TRACE Error: %s%s", tvc::narrowed(name).c_str(),
                text.c_str(), text.empty() || text.back() != '\n' ? "\n" : "");
    std::fflush(stdout);
    return nullptr;
}

}  // namespace

namespace tvc {

long direct_call_stacks() noexcept { return pending_stacks; }

void release_thread_direct_calls() noexcept {
    const DWORD slot = pending_slot.load(std::memory_order_acquire);
    if (slot != TLS_OUT_OF_INDEXES) free_thread_pending(slot);
}

void release_direct_call_slot() noexcept {
    // The handler goes first: it reads the slot.
    exception_handler.reset();
    const DWORD slot = pending_slot.exchange(TLS_OUT_OF_INDEXES, std::memory_order_acq_rel);
    if (slot == TLS_OUT_OF_INDEXES) return;
    free_thread_pending(slot);
    ::TlsFree(slot);
}

void install_call_trace() {
    static bool variable_read = false;
    if (!variable_read) {
        variable_read = true;
        // An empty value names no file, as if the variable were unset.
        const std::wstring name = environment_value(L"TVCVRTRT_TRACE");
        if (name.empty() || !read_trace_filter(environment_value(L"TVCVRTRT_TRACE_FILTER"))) return;
        LARGE_INTEGER frequency;
        ::QueryPerformanceFrequency(&frequency);
        ticks_per_second = frequency.QuadPart;
        trace_file = open_trace_file(name);
        if (trace_file != nullptr) write_header();
    }
    if (trace_file != nullptr) put_tracing_entries_in_front();
}

}  // namespace tvc
