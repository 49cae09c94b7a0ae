#include "bootstrap/sentinel_name.h"

#include <cstring>
#include <string>

#include "tvcvrtrt/diagnostics.h"

namespace {
constexpr char sentinel_library[] = "vrt.dll";
static_assert(sizeof(sentinel_library) <= sizeof(platform_string_layout::inline_text),
              "the name fits the inline buffer, so the caller's heap is never involved");
}  // namespace

std::string tvcvrtrtGetSentinelLibName() { return sentinel_library; }

extern "C" platform_string_layout *tvcvrtrt_sentinel_name_platform_layout(platform_string_layout *slot) {
    std::memset(slot, 0, sizeof *slot);
    std::memcpy(slot->inline_text, sentinel_library, sizeof sentinel_library);
    slot->size = sizeof sentinel_library - 1;
    slot->capacity = sizeof slot->inline_text - 1;
    return slot;
}
