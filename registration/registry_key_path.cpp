#include "registration/registry_key_path.h"

#include <cstring>

namespace tvc {

bool compose_key_path(registry_key_path &out, const char *base, const char *child) noexcept {
    out.text[0] = '\0';
    if (base == nullptr) return false;
    const std::size_t base_length = std::strlen(base);
    const std::size_t child_length = child != nullptr ? std::strlen(child) : 0;
    // Compared piecewise so that absurd lengths cannot wrap the sum.
    const std::size_t limit = registry_key_path::capacity - 1;
    if (base_length > limit) return false;
    if (child != nullptr && child_length + 1 > limit - base_length) return false;

    std::memcpy(out.text, base, base_length);
    std::size_t length = base_length;
    if (child != nullptr) {
        out.text[length++] = '\\';
        std::memcpy(out.text + length, child, child_length);
        length += child_length;
    }
    out.text[length] = '\0';
    return true;
}

}  // namespace tvc
