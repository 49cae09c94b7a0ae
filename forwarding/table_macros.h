// The preprocessor's part of the binding tables' language: walking a code
// list, the marks that leave entries out, and the slots' names. Plain
// macros without a C++ construct of their own, so that the assembly
// expanded from the tables (forwarder_frames.S) shares them with C++.
#pragma once

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

// The process-wide slot of a bound symbol; C names, so that the direct
// forwarders' assembly can reach them.
#define TVC_SLOT(symbol) TVC_CAT(tvc_slot_, symbol)

// A token's text after its expansion.
#define TVC_STRING(x) TVC_STRING_(x)
#define TVC_STRING_(x) #x
