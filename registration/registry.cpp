#include "registration/registry.h"

#include <cstring>
#include <iterator>
#include <new>
#include <utility>

#include "common/code_page_text.h"
#include "common/unique_resource.h"

namespace tvc {

bool (*registry_edit_allowed)(registry_edit edit) noexcept = nullptr;

namespace {

bool edit_allowed(registry_edit edit) noexcept {
    return registry_edit_allowed == nullptr || registry_edit_allowed(edit);
}

// Both setters store text the same way: REG_SZ, the string and its NUL. True
// when the value was stored; value_name null means the default value.
bool write_string_value(HKEY key, const char *value_name, const char *value) noexcept {
    if (!edit_allowed(registry_edit::write_value)) return false;
    const std::size_t bytes = std::strlen(value) + 1;
    if (bytes > MAXDWORD) return false;
    return ::RegSetValueExA(key, value_name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value),
                            static_cast<DWORD>(bytes)) == ERROR_SUCCESS;
}

// The value as it is before a setter replaces it, or its absence. False when
// it cannot be read (or no memory): the setter then changes nothing.
bool read_previous_value(HKEY key, const char *value_name,
                         registry_changes::change &change) noexcept {
    try {
        change.default_value = value_name == nullptr;
        if (value_name != nullptr && !widen(value_name, std::strlen(value_name), change.value_name)) {
            return false;
        }
        const wchar_t *name = change.default_value ? nullptr : change.value_name.c_str();
        for (;;) {
            DWORD bytes = static_cast<DWORD>(change.data.size());
            const LONG read = ::RegQueryValueExW(key, name, nullptr, &change.type,
                                                 change.data.empty() ? nullptr : change.data.data(),
                                                 &bytes);
            if (read == ERROR_FILE_NOT_FOUND) {
                change.had_value = false;
                return true;
            }
            if (read == ERROR_SUCCESS && bytes <= change.data.size()) {
                change.had_value = true;
                change.data.resize(bytes);
                return true;
            }
            // First call (no buffer), or the value grew in between.
            if (read != ERROR_SUCCESS && read != ERROR_MORE_DATA) return false;
            change.data.resize(bytes);
        }
    } catch (const std::bad_alloc &) {
        return false;
    }
}

// The full key path, and room to record a change to it when changes are
// recorded; false when the path is too long or there is no memory.
bool prepare_change(registry_key_path &path, const char *key_path, const char *child,
                    registry_changes *changes, registry_changes::change &change) noexcept {
    if (!compose_key_path(path, key_path, child)) return false;
    if (changes == nullptr) return true;
    try {
        change.key_path = path.text;
    } catch (const std::bad_alloc &) {
        return false;
    }
    return changes->make_room();
}

}  // namespace

bool registry_changes::make_room() noexcept {
    try {
        changes_.reserve(changes_.size() + 1);
        return true;
    } catch (const std::bad_alloc &) {
        return false;
    }
}

void registry_changes::record(change &&made) noexcept { changes_.push_back(std::move(made)); }

void registry_changes::undo() noexcept {
    // Latest first: a key created inside a created key goes before its parent,
    // and a value replaced twice ends with its first contents.
    for (auto change = changes_.rbegin(); change != changes_.rend(); ++change) {
        if (change->created_key) {
            delete_key_tree(HKEY_CLASSES_ROOT, change->key_path.c_str());
            continue;
        }
        unique_hkey key;
        if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, change->key_path.c_str(), 0, KEY_SET_VALUE,
                            key.put()) != ERROR_SUCCESS) {
            continue;
        }
        const wchar_t *name = change->default_value ? nullptr : change->value_name.c_str();
        if (change->had_value) {
            if (edit_allowed(registry_edit::write_value)) {
                ::RegSetValueExW(key.get(), name, 0, change->type, change->data.data(),
                                 static_cast<DWORD>(change->data.size()));
            }
        } else if (edit_allowed(registry_edit::delete_value)) {
            ::RegDeleteValueW(key.get(), name);
        }
    }
    changes_.clear();
}

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

bool set_key_and_value(const char *key_path, const char *child, const char *value,
                       registry_changes *changes) noexcept {
    registry_key_path path;
    registry_changes::change change;
    if (!prepare_change(path, key_path, child, changes, change)) return false;

    unique_hkey key;
    DWORD disposition = 0;
    if (!edit_allowed(registry_edit::create_key) ||
        ::RegCreateKeyExA(HKEY_CLASSES_ROOT, path.text, 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_ALL_ACCESS, nullptr, key.put(), &disposition) != ERROR_SUCCESS) {
        return false;
    }
    if (changes != nullptr) {
        // Removing a key this call created takes its value with it.
        change.created_key = disposition == REG_CREATED_NEW_KEY;
        const bool replaces_value = !change.created_key && value != nullptr;
        if (replaces_value && !read_previous_value(key.get(), nullptr, change)) return false;
        if (change.created_key || value != nullptr) changes->record(std::move(change));
    }
    return value == nullptr || write_string_value(key.get(), nullptr, value);
}

bool set_named_value(const char *key_path, const char *value_name, const char *value,
                     registry_changes *changes) noexcept {
    registry_key_path path;
    registry_changes::change change;
    if (!prepare_change(path, key_path, nullptr, changes, change)) return false;

    // Opened, never created: the key belongs to an earlier set_key_and_value.
    // The old value is read only when it is to be recorded.
    const REGSAM access = changes != nullptr ? KEY_SET_VALUE | KEY_QUERY_VALUE : KEY_SET_VALUE;
    unique_hkey key;
    if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, path.text, 0, access, key.put()) != ERROR_SUCCESS) {
        return false;
    }
    if (value == nullptr) return true;
    if (changes != nullptr) {
        if (!read_previous_value(key.get(), value_name, change)) return false;
        changes->record(std::move(change));
    }
    return write_string_value(key.get(), value_name, value);
}

namespace {

// An empty path opens parent itself, and a tree walk would then empty it: for
// HKEY_CLASSES_ROOT, the whole class registry. Under a root key a leading
// backslash is dropped, so "\\" names the root too.
LONG check_sub_key(const char *sub_key) noexcept {
    if (sub_key == nullptr || sub_key[0] == '\0' || sub_key[0] == '\\') return ERROR_INVALID_PARAMETER;
    if (std::strlen(sub_key) >= registry_key_path::capacity) return ERROR_FILENAME_EXCED_RANGE;
    return ERROR_SUCCESS;
}

// Widened as the narrow registry functions widen a name, so that the key
// they made is the key removed.
LONG widen_sub_key(const char *sub_key, std::wstring &wide) noexcept {
    const LONG checked = check_sub_key(sub_key);
    if (checked != ERROR_SUCCESS) return checked;
    try {
        return widen(sub_key, std::strlen(sub_key), wide) ? ERROR_SUCCESS : ERROR_NO_UNICODE_TRANSLATION;
    } catch (const std::bad_alloc &) {
        return ERROR_OUTOFMEMORY;
    }
}

LONG delete_childless_key(HKEY parent, const wchar_t *sub_key) noexcept {
    return edit_allowed(registry_edit::delete_key) ? ::RegDeleteKeyW(parent, sub_key) : ERROR_ACCESS_DENIED;
}

LONG delete_tree(HKEY parent, const wchar_t *sub_key) noexcept {
    {
        unique_hkey key;
        const LONG opened = ::RegOpenKeyExW(parent, sub_key, 0, KEY_ALL_ACCESS, key.put());
        if (opened != ERROR_SUCCESS) return opened;

        // Always index 0: each deleted child's place is taken by the next. A
        // child that is gone when it is opened was removed by someone else
        // meanwhile; one listed again after that is one that cannot be
        // removed, and must not pass for a key that is already gone.
        std::wstring missing;
        for (;;) {
            wchar_t child[max_key_name_length + 1];
            DWORD child_length = static_cast<DWORD>(std::size(child));
            const LONG listed =
                ::RegEnumKeyExW(key.get(), 0, child, &child_length, nullptr, nullptr, nullptr, nullptr);
            if (listed == ERROR_NO_MORE_ITEMS) break;
            if (listed != ERROR_SUCCESS) return listed;
            const LONG deleted = delete_tree(key.get(), child);
            if (deleted == ERROR_SUCCESS) continue;
            if (deleted != ERROR_FILE_NOT_FOUND) return deleted;
            if (missing == child) return ERROR_CANTOPEN;
            try {
                missing.assign(child, child_length);
            } catch (const std::bad_alloc &) {
                return ERROR_OUTOFMEMORY;
            }
        }
    }
    // The key is closed before it is deleted.
    return delete_childless_key(parent, sub_key);
}

}  // namespace

LONG delete_key_tree(HKEY parent, const char *sub_key) noexcept {
    std::wstring wide;
    const LONG widened = widen_sub_key(sub_key, wide);
    return widened != ERROR_SUCCESS ? widened : delete_tree(parent, wide.c_str());
}

LONG delete_key(HKEY parent, const char *sub_key) noexcept {
    std::wstring wide;
    const LONG widened = widen_sub_key(sub_key, wide);
    return widened != ERROR_SUCCESS ? widened : delete_childless_key(parent, wide.c_str());
}

LONG delete_value(HKEY key, const char *value_name) noexcept {
    return edit_allowed(registry_edit::delete_value) ? ::RegDeleteValueA(key, value_name) : ERROR_ACCESS_DENIED;
}

}  // namespace tvc
