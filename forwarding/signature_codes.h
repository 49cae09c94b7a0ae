// The language of the binding tables (forwarding/*_family.inc) and what it
// expands to in C++.
//
// A table is a list of X-macro lines:
//   TVC_FAMILY(name, bind routine, "library file")
//   TVC_ENTRY(number, shape, export, bound symbol, result, (arguments))
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

// TVC_EACH(m, sep, codes...) expands m(code, n) for every code, joined by
// sep(); n numbers the codes from the last (1) to the first, which is all a
// parameter name needs. An empty list expands to nothing.
#define TVC_COMMA() ,
#define TVC_NOTHING()
#define TVC_EACH(m, sep, ...) __VA_OPT__(TVC_EACH_N(__VA_ARGS__)(m, sep, __VA_ARGS__))
#define TVC_EACH_N(...) TVC_CAT(TVC_EACH_, TVC_COUNT(__VA_ARGS__))
#define TVC_COUNT(...) TVC_COUNT_(__VA_ARGS__, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0)
#define TVC_COUNT_(a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, n, ...) n
#define TVC_CAT(a, b) TVC_CAT_(a, b)
#define TVC_CAT_(a, b) a##b

// For libraries built from a table that must leave some entries out (the
// stand-ins' variants): TVC_OMITTED(key) is 1 when TVC_OMIT_<key> is defined
// as "~,1", else 0, and TVC_EXPORTED_UNLESS_OMITTED(key) is the linkage of
// the entry's definition: exported, or a static nobody sees.
#define TVC_OMITTED(key) TVC_SECOND_OF(TVC_CAT(TVC_OMIT_, key), 0, )
#define TVC_SECOND_OF(...) TVC_SECOND_OF_(__VA_ARGS__)
#define TVC_SECOND_OF_(first, second, ...) second
#define TVC_EXPORTED_UNLESS_OMITTED(key) TVC_CAT(TVC_LINKAGE_OMITTED_, TVC_OMITTED(key))
#define TVC_LINKAGE_OMITTED_0 __declspec(dllexport)
#define TVC_LINKAGE_OMITTED_1 [[maybe_unused]] static
#define TVC_EACH_1(m, sep, x) m(x, 1)
#define TVC_EACH_2(m, sep, x, ...) m(x, 2) sep() TVC_EACH_1(m, sep, __VA_ARGS__)
#define TVC_EACH_3(m, sep, x, ...) m(x, 3) sep() TVC_EACH_2(m, sep, __VA_ARGS__)
#define TVC_EACH_4(m, sep, x, ...) m(x, 4) sep() TVC_EACH_3(m, sep, __VA_ARGS__)
#define TVC_EACH_5(m, sep, x, ...) m(x, 5) sep() TVC_EACH_4(m, sep, __VA_ARGS__)
#define TVC_EACH_6(m, sep, x, ...) m(x, 6) sep() TVC_EACH_5(m, sep, __VA_ARGS__)
#define TVC_EACH_7(m, sep, x, ...) m(x, 7) sep() TVC_EACH_6(m, sep, __VA_ARGS__)
#define TVC_EACH_8(m, sep, x, ...) m(x, 8) sep() TVC_EACH_7(m, sep, __VA_ARGS__)
#define TVC_EACH_9(m, sep, x, ...) m(x, 9) sep() TVC_EACH_8(m, sep, __VA_ARGS__)
#define TVC_EACH_10(m, sep, x, ...) m(x, 10) sep() TVC_EACH_9(m, sep, __VA_ARGS__)
#define TVC_EACH_11(m, sep, x, ...) m(x, 11) sep() TVC_EACH_10(m, sep, __VA_ARGS__)
#define TVC_EACH_12(m, sep, x, ...) m(x, 12) sep() TVC_EACH_11(m, sep, __VA_ARGS__)
#define TVC_EACH_13(m, sep, x, ...) m(x, 13) sep() TVC_EACH_12(m, sep, __VA_ARGS__)

// From a parenthesized code list: the parameter list, the argument list and
// the function type.
#define TVC_PARAMETER(code, n) TVC_ARG_TYPE(code) argument_##n
#define TVC_ARGUMENT(code, n) argument_##n
#define TVC_PARAMS(...) TVC_EACH(TVC_PARAMETER, TVC_COMMA, __VA_ARGS__)
#define TVC_ARGS(...) TVC_EACH(TVC_ARGUMENT, TVC_COMMA, __VA_ARGS__)
#define TVC_ARG_TYPES(...) TVC_EACH(TVC_ARGUMENT_TYPE, TVC_COMMA, __VA_ARGS__)
#define TVC_ARGUMENT_TYPE(code, n) TVC_ARG_TYPE(code)
#define TVC_FUNCTION_TYPE(result, args) ::tvc::signature<TVC_RESULT_TYPE(result)>::with<TVC_ARG_TYPES args>

// The process-wide slot of a bound symbol; C names, so that the direct
// forwarders' assembly can reach them.
#define TVC_SLOT(symbol) tvc_slot_##symbol
