// The library's binding tables as lists of symbol names, one list a family
// library, taken from the same tables the library binds from.
#pragma once

#include <cstddef>

namespace tvc_check {

struct family_table {
    const char *family;
    const char *file;
    const char *const *symbols;
    std::size_t symbol_count;
};

struct family_list {
    const family_table *first;
    std::size_t count;
    const family_table *begin() const { return first; }
    const family_table *end() const { return first + count; }
};

// In the library's binding order.
family_list families();

// The family whose library has this file name; null for any other name.
const family_table *family_of_file(const char *file);

}  // namespace tvc_check
