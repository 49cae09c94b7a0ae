// tvcvrt.dll of the reference runtime: initialization, the path macros and
// the evaluation of a few named functions. Arrays are made and read through
// libka.dll's exports, as a client of the array library would.
#include "forwarding/signature_codes.h"
#include "reference_runtime/reference_runtime.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

extern "C" {
#define TVC_FAMILY(name, routine, file)
#define TVC_SPECIAL(export_name, result, args)
#define TVC_ENTRY(shape, export_name, symbol, result, args) \
    __declspec(dllimport) TVC_RESULT_TYPE(result) symbol(TVC_PARAMS args);
#include "forwarding/array_family.inc"
#undef TVC_FAMILY
#undef TVC_SPECIAL
#undef TVC_ENTRY
}

// Declared by hand: libbx.dll is no family of the front library.
extern "C" __declspec(dllimport) int bxPrintf(const char *format, ...);

namespace reference {

namespace {

std::vector<std::pair<std::string, std::string>> path_macros;
// Read from any thread through tvcIsVRTInitialized.
std::atomic<bool> initialized{false};

double sum_of(const double *values, std::size_t count) {
    double total = 0.0;
    for (std::size_t index = 0; index < count; ++index) total += values[index];
    return total;
}

double product_of(const double *values, std::size_t count) {
    double total = 1.0;
    for (std::size_t index = 0; index < count; ++index) total *= values[index];
    return total;
}

void *transposed(const void *matrix) {
    const std::size_t rows = ::kaGetM(matrix), columns = ::kaGetN(matrix);
    void *result = ::kaCreateDoubleMatrix_730(columns, rows, 0);
    if (result == nullptr) return nullptr;
    const double *from = static_cast<const double *>(::kaGetPr(matrix));
    double *to = static_cast<double *>(::kaGetPr(result));
    for (std::size_t column = 0; column < columns; ++column) {
        for (std::size_t row = 0; row < rows; ++row) to[row * columns + column] = from[column * rows + row];
    }
    return result;
}

// The result of one named function of one matrix; null for an unknown name.
void *evaluate(const char *name, const void *argument) {
    const double *values = static_cast<const double *>(::kaGetPr(argument));
    const std::size_t count = ::kaGetNumberOfElements(argument);
    if (std::strcmp(name, "sum") == 0) return ::kaCreateDoubleScalar(sum_of(values, count));
    if (std::strcmp(name, "prod") == 0) return ::kaCreateDoubleScalar(product_of(values, count));
    if (std::strcmp(name, "transpose") == 0) return transposed(argument);
    return nullptr;
}

}  // namespace

bool tvcFeval(const void *instance, const char *name, std::int32_t nlhs, const void *plhs,
              std::int32_t nrhs, const void *prhs) {
    if (instance == nullptr || name == nullptr || nrhs != 1 || prhs == nullptr) return false;
    if (nlhs < 0 || nlhs > 1 || (nlhs == 1 && plhs == nullptr)) return false;
    const void *argument = static_cast<const void *const *>(prhs)[0];
    if (argument == nullptr) return false;
    void *result = evaluate(name, argument);
    if (result == nullptr) return false;
    if (nlhs == 1) {
        static_cast<void **>(const_cast<void *>(plhs))[0] = result;
    } else {
        ::kaDestroyArray(result);
    }
    return true;
}

// A macro registered again takes its new path in its old place. This
// library stays loaded when the front library is unloaded, and each new
// load of the front library registers the six macros again: they must
// replace those of the load before, not pile up behind them.
void tvcAddCanonicalPathMacro(const char *name, const char *path) {
    if (name == nullptr || path == nullptr) return;
    for (auto &macro : path_macros) {
        if (macro.first == name) {
            macro.second = path;
            return;
        }
    }
    path_macros.emplace_back(name, path);
}

bool tvcvrtInitialize() {
    std::string names;
    for (const auto &macro : path_macros) names += " " + macro.first;
    ::bxPrintf("Reference runtime initialized; path macros:%s\n", names.empty() ? " none" : names.c_str());
    initialized = true;
    return true;
}

bool tvcvrtInitialize2(std::int32_t) { return tvcvrtInitialize(); }

}  // namespace reference

// For tvcIsVRTInitialized of tvcbase.dll, which asks this library by name.
extern "C" __declspec(dllexport) bool reference_runtime_initialized() { return reference::initialized; }
