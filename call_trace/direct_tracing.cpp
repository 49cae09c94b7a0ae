// The direct forwarders' trace.
#include "call_trace/call_trace.h"
#include "call_trace/trace_filter.h"
#include "call_trace/trace_line.h"
#include "call_trace/trace_output.h"
#include "call_trace/tracing_entries.h"
#include "common/unique_resource.h"
#include "forwarding/forwarding_slots.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>

using tvc::trace::line_writer;
using tvc::trace::ticks_now;
using tvc::trace::trace_line;

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
    const bool with_lines = code != EXCEPTION_STACK_OVERFLOW && line_writer() != ::GetCurrentThreadId();
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

}  // namespace

namespace tvc::trace {

void put_direct_tracing_entries_in_front() noexcept {
#define TVC_FAMILY(name, routine, file)
#define TVC_SPECIAL(export_name, result, args)
#define TVC_ENTRY(number, shape, export_name, symbol, result, args) TVC_PUT_IN_FRONT_##shape(export_name, symbol)
#define TVC_PUT_IN_FRONT_locked(export_name, symbol)
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
#undef TVC_FAMILY
#undef TVC_SPECIAL
}

}  // namespace tvc::trace

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
}  // namespace tvc
