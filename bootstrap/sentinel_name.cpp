#include "bootstrap/sentinel_name.h"

#include <cstring>
#include <string>

#include "bootstrap/sibling_libraries.h"
#include "tvcvrtrt/diagnostics.h"

using tvc::sentinel_library_file;

static_assert(sizeof(sentinel_library_file) <= sizeof(platform_string_layout::inline_text),
              "the name fits the inline buffer, so the caller's heap is never involved");

std::string tvcvrtrtGetSentinelLibName() { return sentinel_library_file; }

extern "C" platform_string_layout *tvcvrtrt_sentinel_name_platform_layout(platform_string_layout *slot) {
    std::memset(slot, 0, sizeof *slot);
    std::memcpy(slot->inline_text, sentinel_library_file, sizeof sentinel_library_file);
    slot->size = sizeof sentinel_library_file - 1;
    slot->capacity = sizeof slot->inline_text - 1;
    return slot;
}
