// The registry routines through which all registration writing and removal
// goes. Paths are relative to HKEY_CLASSES_ROOT (the 64-bit view in a 64-bit
// process); values are REG_SZ with their terminating NUL. Nothing throws.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

namespace tvc {

// The longest key name the registry stores (one name, not a path).
constexpr std::size_t max_key_name_length = 255;

// The longest key path, in characters, that registration writes. The narrow
// registry functions under Wine take 260 characters of path and fail beyond;
// the platform documents 255 characters for a key name with its path. The
// smaller holds, so that a registration is refused before it starts rather
// than failing part-way.
constexpr std::size_t max_written_key_path = 255;

// Key paths are composed in a fixed 1024-byte buffer; a path that does not
// fit is refused rather than cut, since a cut path would name a different key.
struct registry_key_path {
    static constexpr std::size_t capacity = 1024;  // 1023 characters and the NUL
    char text[capacity];
};

// base, then a backslash and child when child is not null. False, with an
// empty result, when base is null or the whole path exceeds 1023 characters.
bool compose_key_path(registry_key_path &out, const char *base, const char *child) noexcept;

// What a run of setter calls changed, so that a run that fails part-way can
// be undone: keys the run created are removed with everything below them,
// and values it replaced in keys that were already there get their old
// contents back. Undone when destroyed, unless kept.
class registry_changes {
public:
    registry_changes() = default;
    registry_changes(const registry_changes &) = delete;
    registry_changes &operator=(const registry_changes &) = delete;
    ~registry_changes() {
        if (!kept_) undo();
    }

    // The run succeeded: its changes stay.
    void keep() noexcept { kept_ = true; }

    struct change {
        std::string key_path;
        bool created_key = false;  // else: a value replaced in an existing key
        // Values are kept as the wide functions give them, so that text
        // outside the process code page comes back unchanged.
        bool default_value = false;
        std::wstring value_name;
        bool had_value = false;  // else the value did not exist before
        DWORD type = REG_NONE;
        std::vector<BYTE> data;
    };
    // For the setters: room for one more change is made before the registry
    // is touched (false: no memory, and nothing may be changed), so that
    // recording the change afterwards cannot fail.
    bool make_room() noexcept;
    void record(change &&made) noexcept;

private:
    void undo() noexcept;

    std::vector<change> changes_;
    bool kept_ = false;
};

// Creates or opens key_path, or key_path\child when child is not null, and
// sets its default value when value is not null (a null value leaves an
// existing default untouched). False when the path is too long, the key
// cannot be created or opened, or the value cannot be written. With changes,
// a key it creates or a value it replaces is recorded there first.
bool set_key_and_value(const char *key_path, const char *child, const char *value,
                       registry_changes *changes = nullptr) noexcept;

// Writes value under value_name in an existing key; never creates the key.
// False when the path is too long, the key cannot be opened, or the value
// cannot be written. A null value only tests that the key can be opened.
// With changes, the value it replaces is recorded there first.
bool set_named_value(const char *key_path, const char *value_name, const char *value,
                     registry_changes *changes = nullptr) noexcept;

// A seam for tests: when set, every change that the routines here make to
// the registry (a key created or opened to be written, a value written or
// deleted, a key deleted), the undo's among them, asks it first. A false
// answer makes that change fail as a refused call would, with
// ERROR_ACCESS_DENIED, and leaves the registry as it was: a test can refuse
// one step, or every step from some point on, as a process ended there would.
enum class registry_edit { create_key, write_value, delete_value, delete_key };
extern bool (*registry_edit_allowed)(registry_edit edit) noexcept;

// Removes sub_key of parent and everything below it, children first, through
// the wide functions, so that a subkey whose name the process code page
// cannot hold is removed too. Returns the first Win32 error met:
// ERROR_FILE_NOT_FOUND only when sub_key itself is missing; a subkey that
// stays listed after it could not be found is ERROR_CANTOPEN, never
// "already gone". A null or empty sub_key, or one starting with a backslash,
// could name parent itself and is refused with ERROR_INVALID_PARAMETER; a
// sub_key over 1023 characters with ERROR_FILENAME_EXCED_RANGE.
LONG delete_key_tree(HKEY parent, const char *sub_key) noexcept;

// Removes sub_key of parent when it has no subkeys (the system refuses a key
// that has some); a Win32 error code. The same refusals as delete_key_tree.
LONG delete_key(HKEY parent, const char *sub_key) noexcept;

// Removes one value (null: the default value); a Win32 error code,
// ERROR_FILE_NOT_FOUND when there is none.
LONG delete_value(HKEY key, const char *value_name) noexcept;

}  // namespace tvc
