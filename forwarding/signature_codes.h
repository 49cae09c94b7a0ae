// The language of the binding tables (forwarding/*_family.inc) and what it
// expands to in C++.
//
// A table is a list of X-macro lines:
//   TVC_FAMILY(name, bind routine, "library file")
//   TVC_ENTRY(shape, export, bound symbol, result, (arguments))
//   TVC_SPECIAL(export, result, (arguments))   an export that takes no slot
// Shapes: locked (under the API lock), guarded (slot tested first, then as
// locked), guarded_true (guarded, but true when the slot is null), direct
// (a tail jump without the lock), tested (a slot that is bound and tested,
// never called).
// Letters, for arguments and results: p 64-bit pointer, z 64-bit size or
// integer, i 32-bit integer, h 16-bit value, c 8-bit value (bool as a
// result), d double, f float, v va_list handed on; for arguments also s, a
// pointer to NUL-terminated narrow text (a p to the runtime, shown as text
// by the call trace); results also none (no result) and r16 (a 16-byte
// record by value); "..." variable arguments.
#pragma once

#include "forwarding/table_macros.h"
#include "tvcvrtrt/forwarding_types.h"

#include <cstdarg>
#include <cstddef>
#include <cstdint>

namespace tvc {
namespace signature_code {
using none = void;
using p = const void *;
using s = const char *;
using z = std::size_t;
using i = std::int32_t;
using h = std::uint16_t;
using c = std::uint8_t;
using d = double;
using f = float;
using v = char *;  // va_list on x64, without its attribute that templates drop
using r16 = tvcOutputHandler;

// A c result is a boolean, whereas a c argument keeps all eight bits; a p
// argument accepts any pointer, a p result is a plain one.
template <typename Code> struct result_of { using type = Code; };
template <> struct result_of<c> { using type = bool; };
template <> struct result_of<p> { using type = void *; };

static_assert(sizeof(p) == 8 && sizeof(s) == 8 && sizeof(z) == 8 && sizeof(i) == 4 && sizeof(h) == 2 && sizeof(c) == 1);
static_assert(sizeof(d) == 8 && sizeof(f) == 4 && sizeof(v) == 8 && sizeof(r16) == 16);
}  // namespace signature_code

template <typename Result> struct signature {
    template <typename... Arguments> using with = Result(Arguments...);
};

}  // namespace tvc

#define TVC_RESULT_TYPE(code) ::tvc::signature_code::result_of<::tvc::signature_code::code>::type
#define TVC_ARG_TYPE(code) ::tvc::signature_code::code

// From a parenthesized code list: the parameter list, the argument list and
// the function type.
#define TVC_PARAMETER(code, n) TVC_ARG_TYPE(code) argument_##n
#define TVC_ARGUMENT(code, n) argument_##n
#define TVC_PARAMS(...) TVC_EACH(TVC_PARAMETER, TVC_COMMA, __VA_ARGS__)
#define TVC_ARGS(...) TVC_EACH(TVC_ARGUMENT, TVC_COMMA, __VA_ARGS__)
#define TVC_ARG_TYPES(...) TVC_EACH(TVC_ARGUMENT_TYPE, TVC_COMMA, __VA_ARGS__)
#define TVC_ARGUMENT_TYPE(code, n) TVC_ARG_TYPE(code)
#define TVC_FUNCTION_TYPE(result, args) ::tvc::signature<TVC_RESULT_TYPE(result)>::with<TVC_ARG_TYPES args>
