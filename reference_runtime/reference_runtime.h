// The reference runtime: the five libraries of an installed runtime
// ("libka.dll", "libvlt.dll", "tvcvrt.dll", "tvcbase.dll", "libbx.dll"), small
// enough to ship with the demo and the diagnostic command's tests. Every
// symbol of the binding tables is exported; a symbol without a working
// definition below answers with its fixed value (0, null, false, 0.0, a zero
// record, or nothing) and says so once (see the end of this comment).
//
// What works, and how to call it (through the forwarders of
// tvcvrtrt7_17.dll, after tvcvrtInitialize_proxy):
//
// Arrays (libka.dll) are real double matrices, column-major, m rows by n
// columns. kaCreateDoubleMatrix_730(m, n, 0) makes one filled with zeros
// (a complexity other than 0 is refused with null); kaCreateDoubleScalar(x)
// a 1-by-1 one; kaGetPr gives the m*n values; kaGetM, kaGetN,
// kaGetNumberOfElements, kaIsDouble and kaGetScalar (the first value, 0.0
// when empty) read it; kaDestroyArray frees it (null is ignored).
//
// Evaluation (tvcvrt.dll):
//   tvcFeval(instance, name, nlhs, plhs, nrhs, prhs)
//     instance  any non-null pointer (the component instance; not read)
//     name      the function's name, NUL-terminated
//     nlhs      number of results wanted: 0 or 1
//     plhs      array of nlhs array pointers that receives the results; the
//               caller owns them and frees them with kaDestroyArray
//     nrhs      number of arguments: exactly 1
//     prhs      array of nrhs array pointers (double matrices)
//   Returns true when the function ran. Functions:
//     "sum"        1-by-1: the sum of all values
//     "prod"       1-by-1: the product of all values (1 when empty)
//     "transpose"  n-by-m: the matrix transposed
//   An unknown name, a wrong count or a null array gives false and no result.
// tvcvrtInitialize and tvcvrtInitialize2 print one line naming the path
// macros registered with tvcAddCanonicalPathMacro so far, each once (a macro
// registered again takes its new path in its old place), and succeed.
//
// Base (tvcbase.dll): tvcAcquireMutex/tvcReleaseMutex are a recursive API
// mutex (the same thread may enter it again); tvcSetEngState keeps the code
// and succeeds; tvcInitializeApplication succeeds; tvcIsVRTInitialized is
// true once tvcvrtInitialize or tvcvrtInitialize2 of tvcvrt.dll succeeded.
//
// Utilities (libbx.dll): bxPrintf(format, ...) prints like printf, each line
// prefixed with "[libbx] " (a line printed in several calls once), and
// returns the characters written. tvcvrt.dll links libbx.dll, so after
// initialization the front library's print routine goes through it.
//
// Any other symbol prints once per process "reference runtime: <name> is not
// implemented; it answers <value>" and answers its fixed value.
#pragma once

#include <cstddef>
#include <cstdint>

// Hand-written functions, declared with exactly the types their binding
// table line expands to: the generator finds them by name and calls them
// instead of answering the fixed value.
namespace reference {

// libka.dll
void *kaCreateDoubleMatrix_730(std::size_t rows, std::size_t columns, std::int32_t complexity);
void *kaCreateDoubleScalar(double value);
void *kaGetPr(const void *array);
std::size_t kaGetM(const void *array);
std::size_t kaGetN(const void *array);
std::size_t kaGetNumberOfElements(const void *array);
bool kaIsDouble(const void *array);
double kaGetScalar(const void *array);
void kaDestroyArray(const void *array);

// tvcvrt.dll
bool tvcFeval(const void *instance, const char *name, std::int32_t nlhs, const void *plhs,
              std::int32_t nrhs, const void *prhs);
void tvcAddCanonicalPathMacro(const char *name, const char *path);
bool tvcvrtInitialize();
bool tvcvrtInitialize2(std::int32_t options);

// tvcbase.dll
void tvcAcquireMutex();
void tvcReleaseMutex();
bool tvcSetEngState(std::int32_t state);
bool tvcInitializeApplication(const void *options, std::size_t option_count);
bool tvcIsVRTInitialized();

}  // namespace reference
