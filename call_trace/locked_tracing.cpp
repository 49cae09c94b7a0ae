// The locked forwarders' trace. A locked forwarder reaches the tracing entry,
// of the slot's own exact type, through its slot while it holds the API
// lock, so the trace of its call runs inside the lock.
#include "call_trace/trace_filter.h"
#include "call_trace/trace_line.h"
#include "call_trace/tracing_entries.h"
#include "common/unwind_cleanup.h"
#include "forwarding/forwarding_slots.h"

#include <type_traits>

namespace tvc::trace {

namespace {

template <typename T> struct not_deduced { using type = T; };

// The arguments reach the target exactly as they came, a list included:
// only its address is read, never an entry of it. The line keeps the
// program's state (program_state.h): the program's before the call and as
// the target left it after. The target's call runs in a frame that writes
// the line when an unwind of either compiler takes the call away.
template <typename Result, typename... Arguments>
Result traced_call(const char *export_name, Result (*target)(Arguments...),
                   typename not_deduced<Arguments>::type... arguments) {
    trace_line line(export_name);
    (line.argument(arguments), ...);
    line.start();
    const auto left_by_unwind = [&line](DWORD code) noexcept { line.left_by_unwind(code); };
    if constexpr (std::is_void_v<Result>) {
        call_with_unwind_cleanup([&] { target(arguments...); }, left_by_unwind);
        line.finish();
    } else {
        Result result{};
        call_with_unwind_cleanup([&] { result = target(arguments...); }, left_by_unwind);
        line.finish(result);
        return result;
    }
}

#define TVC_TRACE_ARGS(...) __VA_OPT__(, TVC_ARGS(__VA_ARGS__))

// Per slot: the traced target and the tracing entry.
#define TVC_FAMILY(name, routine, file)
#define TVC_SPECIAL(export_name, result, args)
#define TVC_ENTRY(shape, export_name, symbol, result, args) \
    TVC_TRACING_ENTRY_##shape(export_name, symbol, result, args)
#define TVC_TRACING_ENTRY_locked(export_name, symbol, result, args)                 \
    TVC_FUNCTION_TYPE(result, args) *traced_##symbol = nullptr;                     \
    TVC_RESULT_TYPE(result) tracing_##symbol(TVC_PARAMS args) {                     \
        return traced_call(#export_name, traced_##symbol TVC_TRACE_ARGS args);       \
    }
#define TVC_TRACING_ENTRY_guarded TVC_TRACING_ENTRY_locked
#define TVC_TRACING_ENTRY_guarded_true TVC_TRACING_ENTRY_locked
// A direct forwarder's tracing entry is direct_tracing's.
#define TVC_TRACING_ENTRY_direct(export_name, symbol, result, args)
// Bound to be tested, never called.
#define TVC_TRACING_ENTRY_tested(export_name, symbol, result, args)
#include "forwarding/families.inc"
#undef TVC_ENTRY

// The bound address moves to the traced target; a slot that holds its entry
// already keeps its target, so a second installation never wraps twice.
template <typename Function> void put_in_front(Function &slot, Function &target, Function entry) noexcept {
    if (slot == nullptr || slot == entry) return;
    target = slot;
    slot = entry;
}

}  // namespace

void put_locked_tracing_entries_in_front() noexcept {
#define TVC_ENTRY(shape, export_name, symbol, result, args) TVC_PUT_IN_FRONT_##shape(export_name, symbol)
#define TVC_PUT_IN_FRONT_locked(export_name, symbol)                     \
    if (!is_lock_symbol(#symbol) && is_traced(#export_name)) \
        put_in_front(TVC_SLOT(symbol), traced_##symbol, &tracing_##symbol);
#define TVC_PUT_IN_FRONT_guarded TVC_PUT_IN_FRONT_locked
#define TVC_PUT_IN_FRONT_guarded_true TVC_PUT_IN_FRONT_locked
#define TVC_PUT_IN_FRONT_direct(export_name, symbol)
#define TVC_PUT_IN_FRONT_tested(export_name, symbol)
#include "forwarding/families.inc"
#undef TVC_ENTRY
}

#undef TVC_FAMILY
#undef TVC_SPECIAL

}  // namespace tvc::trace
