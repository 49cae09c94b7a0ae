// libka.dll of the reference runtime: real double matrices, column-major.
#include "reference_runtime/reference_runtime.h"

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <new>

namespace reference {

namespace {

struct double_matrix {
    std::size_t rows;
    std::size_t columns;
    double *values;  // rows * columns, column-major; null when empty
};

const double_matrix *as_matrix(const void *array) { return static_cast<const double_matrix *>(array); }

}  // namespace

void *kaCreateDoubleMatrix_730(std::size_t rows, std::size_t columns, std::int32_t complexity) {
    if (complexity != 0) return nullptr;  // only real matrices here
    if (columns != 0 && rows > std::numeric_limits<std::size_t>::max() / sizeof(double) / columns) {
        return nullptr;
    }
    auto *matrix = new (std::nothrow) double_matrix{rows, columns, nullptr};
    if (matrix == nullptr) return nullptr;
    if (rows * columns != 0) {
        matrix->values = static_cast<double *>(std::calloc(rows * columns, sizeof(double)));
        if (matrix->values == nullptr) {
            delete matrix;
            return nullptr;
        }
    }
    return matrix;
}

void *kaCreateDoubleScalar(double value) {
    void *scalar = kaCreateDoubleMatrix_730(1, 1, 0);
    if (scalar != nullptr) *static_cast<double_matrix *>(scalar)->values = value;
    return scalar;
}

void *kaGetPr(const void *array) { return array != nullptr ? as_matrix(array)->values : nullptr; }

std::size_t kaGetM(const void *array) { return array != nullptr ? as_matrix(array)->rows : 0; }

std::size_t kaGetN(const void *array) { return array != nullptr ? as_matrix(array)->columns : 0; }

std::size_t kaGetNumberOfElements(const void *array) { return kaGetM(array) * kaGetN(array); }

bool kaIsDouble(const void *array) { return array != nullptr; }

double kaGetScalar(const void *array) {
    return kaGetNumberOfElements(array) != 0 ? as_matrix(array)->values[0] : 0.0;
}

void kaDestroyArray(const void *array) {
    if (array == nullptr) return;
    const double_matrix *matrix = as_matrix(array);
    std::free(matrix->values);
    delete matrix;
}

}  // namespace reference
