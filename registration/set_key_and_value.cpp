#include "registration/registry_helpers.h"
#include "registration/registry_key_path.h"
#include "registration/registry_string_value.h"
#include "common/unique_resource.h"

namespace tvc {

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

}  // namespace tvc
