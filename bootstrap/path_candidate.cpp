#include "bootstrap/path_candidate.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace tvc {

bool append_bounded(runtime_path &buffer, const char *text) {
    const std::size_t used = strnlen(buffer, runtime_path_capacity);
    const std::size_t added = std::strlen(text);
    if (used + added >= runtime_path_capacity) return false;
    std::memcpy(buffer + used, text, added + 1);
    return true;
}

bool end_with_backslash(runtime_path &buffer) {
    const std::size_t used = strnlen(buffer, runtime_path_capacity);
    if (used != 0 && buffer[used - 1] == '\\') return true;
    return append_bounded(buffer, "\\");
}

bool offer_candidate(runtime_path &target, const char *candidate) {
    if (_fullpath(target, candidate, runtime_path_capacity) == nullptr) {
        target[0] = '\0';
        return false;
    }
    // A resolved path that fills the buffer has no room left for the
    // backslash: refused, like any path too long to hold.
    if (!end_with_backslash(target)) {
        target[0] = '\0';
        return false;
    }
    const DWORD attributes = GetFileAttributesA(target);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool compose_candidate(runtime_path &composed, const char *base,
                       std::initializer_list<const char *> components, trailing_backslash trailing) {
    composed[0] = '\0';
    bool fits = append_bounded(composed, base);
    for (const char *component : components) {
        fits = fits && end_with_backslash(composed) && append_bounded(composed, component);
    }
    if (fits && trailing == trailing_backslash::yes) fits = end_with_backslash(composed);
    if (!fits) composed[0] = '\0';
    return fits;
}

bool offer_composed(runtime_path &target, const char *base,
                    std::initializer_list<const char *> components, trailing_backslash trailing) {
    runtime_path composed;
    if (!compose_candidate(composed, base, components, trailing)) {
        target[0] = '\0';
        return false;
    }
    return offer_candidate(target, composed);
}

}  // namespace tvc
