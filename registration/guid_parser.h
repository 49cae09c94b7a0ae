// Reads GUID text: the registry form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
// and the looser spellings callers have always been allowed to pass. Free of
// platform headers so that it also builds natively for fuzzing.
#pragma once

#include <cstdint>

namespace tvc {

// The 16 bytes of a GUID in the platform's field order; the file that hands
// them to callers checks the layout against GUID itself.
struct guid_fields {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::uint8_t data4[8];
};
static_assert(sizeof(guid_fields) == 16, "a GUID is 16 bytes");

// 1 when all 32 digits were read, else 0 (also for a null text or out). out
// is cleared first and, after a failure, keeps the groups read so far.
int parse_guid_text(const char *text, guid_fields *out) noexcept;

}  // namespace tvc
