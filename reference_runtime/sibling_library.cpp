// One library of the reference runtime, expanded from the binding table named
// by REFERENCE_TABLE: every symbol of the table is exported under its own
// name. A symbol with a hand-written definition in namespace reference
// (reference_runtime.h) calls it; any other answers its fixed value and says
// so, once per process, on standard output.
// Built with TVC_OMIT_<symbol> defined as "~,1", the library lacks that
// symbol, as a broken or outdated installation would.
#include "forwarding/signature_codes.h"
#include "reference_runtime/reference_runtime.h"

#include <atomic>
#include <cstdio>
#include <type_traits>

namespace reference {

// What a symbol without a hand-written definition resolves to: a
// declaration with the table's types in a namespace of its own, only ever
// named in unevaluated context. A hand-written function of the same name in
// namespace reference hides it whatever its parameters, so a definition
// written with the wrong types fails to compile instead of being passed over.
struct no_definition {};
namespace fixed_value {
#define TVC_FAMILY(name, routine, file)
#define TVC_SPECIAL(export_name, result, args)
#define TVC_ENTRY(shape, export_name, symbol, result, args) no_definition symbol(TVC_PARAMS args);
#include REFERENCE_TABLE
#undef TVC_ENTRY
}  // namespace fixed_value
using namespace fixed_value;

// The fixed value of a result type, as the not-implemented line names it.
template <typename Result> constexpr const char *fixed_value_text() {
    if constexpr (std::is_void_v<Result>) return "nothing";
    else if constexpr (std::is_same_v<Result, bool>) return "false";
    else if constexpr (std::is_pointer_v<Result>) return "null";
    else if constexpr (std::is_floating_point_v<Result>) return "0.0";
    else if constexpr (std::is_integral_v<Result>) return "0";
    else return "a zero record";
}

// Wraps a call of the symbol's name into the exported function's body. Call
// is a type of its own for every symbol, so each symbol has its own flag.
template <typename Result, typename Call> auto answer(const char *name, Call call) {
    return [name, call](auto... arguments) -> Result {
        using found = decltype(call(arguments...));
        if constexpr (std::is_same_v<found, no_definition>) {
            static std::atomic<bool> told{false};
            if (!told.exchange(true)) {
                std::printf("reference runtime: %s is not implemented; it answers %s\n", name,
                            fixed_value_text<Result>());
                std::fflush(stdout);
            }
            return Result();
        } else {
            static_assert(std::is_same_v<found, Result>, "a hand-written function returns its table's result type");
            return call(arguments...);
        }
    };
}

}  // namespace reference

// The generic lambda defers the lookup's overload resolution to the moment
// answer knows whether it found a definition.
#define TVC_ENTRY(shape, export_name, symbol, result, args)                              \
    TVC_EXPORTED_UNLESS_OMITTED(symbol) TVC_RESULT_TYPE(result) symbol(TVC_PARAMS args) { \
        return reference::answer<TVC_RESULT_TYPE(result)>(                                       \
            #symbol, [](auto... forwarded) -> decltype(auto) { return reference::symbol(forwarded...); })( \
            TVC_ARGS args);                                                                      \
    }
extern "C" {
#include REFERENCE_TABLE
}
