// One stand-in runtime library built by the platform's own compiler,
// expanded from the binding table named by TVC_STAND_IN_TABLE like the
// MinGW-w64 ones: every symbol of the table, exported under its name,
// returns zero (true for booleans), or leaves as the control library says:
// by that compiler's C++ exception, by the C runtime's longjmp, or by a
// structured exception.
#include "forwarding/api_lock_pair.h"
#include "forwarding/signature_codes.h"
#include "tests/forwarding/platform_runtime/control.h"
#include "tests/forwarding/platform_runtime/system.h"

namespace {

constexpr bool named(const char *symbol, const char *name) {
    while (*symbol != '\0' && *symbol == *name) ++symbol, ++name;
    return *symbol == *name;
}

// False when the call is to return zero instead of its usual answer.
bool leave_as_told(const char *symbol) {
    jmp_buf *target = nullptr;
    switch (control_enter(symbol, &target)) {
    case way_out::returned: return true;
    case way_out::refused: return false;
    case way_out::thrown: throw thrown_value;
    case way_out::jumped: longjmp(*target, 1);
    case way_out::raised: RaiseException(raised_code, 1 /* not continuable */, 0, nullptr); return true;
    }
    return true;
}

template <typename Result> Result answer() { return Result(); }
template <> [[maybe_unused]] bool answer<bool>() { return true; }

// The lock functions are the control library's lock and never leave.
template <typename Result> Result stand_in(const char *symbol) {
    if (named(symbol, TVC_API_LOCK_ENTER_NAME)) {
        control_lock_acquire();
    } else if (named(symbol, TVC_API_LOCK_LEAVE_NAME)) {
        control_lock_release();
    } else if (!leave_as_told(symbol)) {
        return Result();
    }
    return answer<Result>();
}

}  // namespace

#define TVC_FAMILY(name, routine, file)
#define TVC_SPECIAL(export_name, result, args)
#define TVC_ENTRY(shape, export_name, symbol, result, args)                              \
    TVC_EXPORTED_UNLESS_OMITTED(symbol) TVC_RESULT_TYPE(result) symbol(TVC_ARG_TYPES args) { \
        return stand_in<TVC_RESULT_TYPE(result)>(#symbol);                                       \
    }
extern "C" {
#include TVC_STAND_IN_TABLE
}
