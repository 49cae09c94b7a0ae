// The direct forwarders' trace. Untraced, a direct forwarder is a tail jump
// through its slot, and the runtime, not the tables, decides what its
// function takes. Traced, its slot holds a stub that hands the slot's
// tvc_direct_entry to the tracing entry in assembly (direct_tracing_entry.S),
// an ordinary frame that calls the bound function with the registers as the
// caller left them; the functions here record the start and the end, and
// write the line. Nothing is kept per thread: everything a call needs is in
// its frame, so fibers, threads that end inside a call and exceptions find
// no state of the trace to mend.
#include "call_trace/call_trace.h"
#include "call_trace/direct_tracing_frame.h"
#include "call_trace/program_state.h"
#include "call_trace/trace_filter.h"
#include "call_trace/trace_line.h"
#include "call_trace/trace_output.h"
#include "call_trace/tracing_entries.h"
#include "forwarding/forwarding_slots.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>

using tvc::trace::trace_line;

extern "C" {

struct tvc_direct_entry {
    const char *export_name;
    void *target;  // the bound address
};
static_assert(offsetof(tvc_direct_entry, target) == TVC_DIRECT_ENTRY_TARGET,
              "direct_tracing_entry.S reads the target there");

// The part of the entry's frame that the functions below read.
struct tvc_direct_call {
    const tvc_direct_entry *entry;
    std::uint64_t registers[4];  // rcx, rdx, r8, r9
    long long start;
    // Written already, by the frame handler: a collided unwind calls it again.
    std::uint64_t written;
    std::uint64_t unused;
};
// The frame's layout, as direct_tracing_entry.S lays it out.
struct tvc_direct_frame {
    std::uint64_t home[4];
    std::uint64_t arguments[FRAME_STACK_SLOTS];
    tvc_direct_call call;
    alignas(16) unsigned char xmm[4][16];
};
static_assert(offsetof(tvc_direct_frame, home) == FRAME_HOME &&
                  offsetof(tvc_direct_frame, arguments) == FRAME_ARGUMENTS &&
                  offsetof(tvc_direct_frame, call) == FRAME_CALL &&
                  offsetof(tvc_direct_call, entry) == FRAME_CALL_ENTRY - FRAME_CALL &&
                  offsetof(tvc_direct_call, registers) == FRAME_CALL_REGISTERS - FRAME_CALL &&
                  offsetof(tvc_direct_frame, xmm) == FRAME_XMM && sizeof(tvc_direct_frame) == FRAME_SIZE &&
                  sizeof(std::uint64_t) * 10 <= FRAME_SIZE - FRAME_RESULTS,
              "the frame of direct_tracing_entry.S");

// Per direct entry: its tvc_direct_entry and its stub, which hands it to
// tvc_direct_tracing in r11. A stub has no frame: it only jumps.
#define TVC_FAMILY(name, routine, file)
#define TVC_SPECIAL(export_name, result, args)
#define TVC_ENTRY(shape, export_name, symbol, result, args) TVC_DIRECT_STUB_##shape(export_name, symbol)
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
#include "forwarding/families.inc"
#undef TVC_ENTRY
#undef TVC_FAMILY
#undef TVC_SPECIAL

void tvc_direct_begin(tvc_direct_call *call) noexcept;
void tvc_direct_end(tvc_direct_call *call, std::uint64_t rax) noexcept;
EXCEPTION_DISPOSITION tvc_direct_frame_handler(EXCEPTION_RECORD *record, void *establisher_frame, CONTEXT *context,
                                               void *dispatcher) noexcept;

}  // extern "C"

namespace {

// The line shows the four integer argument registers as they came, then
// "...", and rax in full, or what replaces a result.
void write_direct_line(const tvc_direct_call &call, long long stop, const char *instead_of_result,
                       std::uint64_t rax) noexcept {
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

}  // namespace

void tvc_direct_begin(tvc_direct_call *call) noexcept {
    call->written = 0;
    call->start = tvc::trace::ticks_now();
}

// Integers only: the line keeps nothing of the program's state but on its
// rare paths (program_state.h).
void tvc_direct_end(tvc_direct_call *call, std::uint64_t rax) noexcept {
    const long long stop = tvc::trace::ticks_now();
    write_direct_line(*call, stop, nullptr, rax);
}

// Called while an exception unwinds the entry's frame: the call's line, with
// the time until then. Not on an exhausted stack, which has no room for a
// line, nor from inside a write of this thread's.
EXCEPTION_DISPOSITION tvc_direct_frame_handler(EXCEPTION_RECORD *record, void *establisher_frame, CONTEXT *,
                                               void *) noexcept {
    if ((record->ExceptionFlags & EXCEPTION_UNWINDING) == 0) return ExceptionContinueSearch;
    tvc_direct_call &call = static_cast<tvc_direct_frame *>(establisher_frame)->call;
    if (call.written != 0 || record->ExceptionCode == EXCEPTION_STACK_OVERFLOW ||
        tvc::trace::line_writer() == ::GetCurrentThreadId()) {
        return ExceptionContinueSearch;
    }
    call.written = 1;
    const long long stop = tvc::trace::ticks_now();
    const tvc::trace::program_state kept;
    write_direct_line(call, stop, "exception", 0);
    return ExceptionContinueSearch;
}

namespace {

// A direct slot leads to its stub instead, and the bound address goes into
// the stub's entry.
template <typename Function>
void put_stub_in_front(Function &slot, tvc_direct_entry &entry, void (*stub)()) noexcept {
    const Function stub_in_slot = reinterpret_cast<Function>(stub);
    if (slot == nullptr || slot == stub_in_slot) return;
    entry.target = reinterpret_cast<void *>(slot);
    slot = stub_in_slot;
}

}  // namespace

namespace tvc::trace {

void put_direct_tracing_entries_in_front() noexcept {
#define TVC_FAMILY(name, routine, file)
#define TVC_SPECIAL(export_name, result, args)
#define TVC_ENTRY(shape, export_name, symbol, result, args) TVC_PUT_IN_FRONT_##shape(export_name, symbol)
#define TVC_PUT_IN_FRONT_locked(export_name, symbol)
#define TVC_PUT_IN_FRONT_guarded TVC_PUT_IN_FRONT_locked
#define TVC_PUT_IN_FRONT_guarded_true TVC_PUT_IN_FRONT_locked
#define TVC_PUT_IN_FRONT_direct(export_name, symbol)      \
    if (!is_lock_symbol(#symbol) && is_traced(#export_name)) \
        put_stub_in_front(TVC_SLOT(symbol), tvc_direct_entry_##symbol, &tvc_tracing_##symbol);
#define TVC_PUT_IN_FRONT_tested(export_name, symbol)
#include "forwarding/families.inc"
#undef TVC_ENTRY
#undef TVC_FAMILY
#undef TVC_SPECIAL
}

}  // namespace tvc::trace
