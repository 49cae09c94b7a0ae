#include <cstring>

#include "registration/registry_helpers.h"
#include "registration/registry_key_path.h"
#include "common/unique_resource.h"

namespace tvc {

LONG delete_key_tree(HKEY parent, const char *sub_key) noexcept {
    // An empty path opens parent itself, and the walk below would then empty
    // it: for HKEY_CLASSES_ROOT, the whole class registry.
    if (sub_key == nullptr || sub_key[0] == '\0') return ERROR_INVALID_PARAMETER;
    if (std::strlen(sub_key) >= registry_key_path::capacity) return ERROR_FILENAME_EXCED_RANGE;

    {
        unique_hkey key;
        const LONG opened = ::RegOpenKeyExA(parent, sub_key, 0, KEY_ALL_ACCESS, key.put());
        if (opened != ERROR_SUCCESS) return opened;

        // Always index 0: each deleted child's place is taken by the next.
        for (;;) {
            char child[256];
            DWORD child_length = sizeof child;
            FILETIME last_write;
            if (::RegEnumKeyExA(key.get(), 0, child, &child_length, nullptr, nullptr, nullptr,
                                &last_write) != ERROR_SUCCESS) {
                break;
            }
            const LONG deleted = delete_key_tree(key.get(), child);
            if (deleted != ERROR_SUCCESS) return deleted;
        }
    }
    // The key is closed before it is deleted.
    return ::RegDeleteKeyA(parent, sub_key);
}

}  // namespace tvc
