#include "registration/registry.h"

#include <cstring>

#include "common/unique_resource.h"

namespace tvc {

namespace {

// Both setters store text the same way: REG_SZ, the string and its NUL. True
// when the value was stored; value_name null means the default value.
bool write_string_value(HKEY key, const char *value_name, const char *value) noexcept {
    const std::size_t bytes = std::strlen(value) + 1;
    if (bytes > MAXDWORD) return false;
    return ::RegSetValueExA(key, value_name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value),
                            static_cast<DWORD>(bytes)) == ERROR_SUCCESS;
}

}  // namespace

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

bool set_key_and_value(const char *key_path, const char *child, const char *value) noexcept {
    registry_key_path path;
    if (!compose_key_path(path, key_path, child)) return false;

    unique_hkey key;
    if (::RegCreateKeyExA(HKEY_CLASSES_ROOT, path.text, 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_ALL_ACCESS, nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
        return false;
    }
    return value == nullptr || write_string_value(key.get(), nullptr, value);
}

bool set_named_value(const char *key_path, const char *value_name, const char *value) noexcept {
    registry_key_path path;
    if (!compose_key_path(path, key_path, nullptr)) return false;

    // Opened, never created: the key belongs to an earlier set_key_and_value.
    unique_hkey key;
    if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, path.text, 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS) {
        return false;
    }
    return value == nullptr || write_string_value(key.get(), value_name, value);
}

LONG delete_key_tree(HKEY parent, const char *sub_key) noexcept {
    // An empty path opens parent itself, and the walk below would then empty
    // it: for HKEY_CLASSES_ROOT, the whole class registry. Under a root key a
    // leading backslash is dropped, so "\\" names the root too.
    if (sub_key == nullptr || sub_key[0] == '\0' || sub_key[0] == '\\') {
        return ERROR_INVALID_PARAMETER;
    }
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
