#include "registration/registry_helpers.h"
#include "registration/registry_key_path.h"
#include "registration/registry_string_value.h"
#include "common/unique_resource.h"

namespace tvc {

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

}  // namespace tvc
