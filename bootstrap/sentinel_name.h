// The runtime's sentinel library name, for both C++ ABIs that call us.
#pragma once

#include <cstddef>
#include <cstdint>

// std::string as the platform's own compiler lays it out (release builds):
// a 16-byte buffer that holds strings of up to 15 characters inline, or a
// pointer to heap text, then the length and the capacity.
struct platform_string_layout {
    union {
        char inline_text[16];
        char *heap_text;
    };
    std::uint64_t size;
    std::uint64_t capacity;
};
static_assert(sizeof(platform_string_layout) == 32, "the platform's std::string is 32 bytes");
static_assert(offsetof(platform_string_layout, size) == 16, "length follows the 16-byte buffer");
static_assert(offsetof(platform_string_layout, capacity) == 24, "capacity follows the length");

// Exported under the platform's decorated name of
// std::string tvcvrtrtGetSentinelLibName(). That compiler returns a class by
// value through a hidden slot pointer (first argument register) and hands
// the same pointer back, which is what this signature does.
extern "C" platform_string_layout *tvcvrtrt_sentinel_name_platform_layout(platform_string_layout *slot);
