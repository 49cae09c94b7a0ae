// Registry tests write real keys under HKEY_CLASSES_ROOT of the test prefix:
// every name is random, and every test removes what it wrote.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <initializer_list>
#include <string>
#include <vector>

#include "common/unique_resource.h"

namespace tvc_test {

inline GUID random_guid() {
    GUID guid = {};
    ::CoCreateGuid(&guid);
    return guid;
}

inline std::string text_of(const GUID &guid) {
    wchar_t wide[40] = {};
    ::StringFromGUID2(guid, wide, 40);
    return std::string(wide, wide + std::wcslen(wide));
}

// A ProgID-like name that no other test or run can share.
inline std::string unique_name(const char *prefix) {
    std::string guid = text_of(random_guid());
    guid.erase(std::remove_if(guid.begin(), guid.end(),
                              [](char c) { return c == '{' || c == '}' || c == '-'; }),
               guid.end());
    return std::string(prefix) + "." + guid;
}

inline bool key_exists(const std::string &path) {
    tvc::unique_hkey key;
    return ::RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_QUERY_VALUE, key.put()) == ERROR_SUCCESS;
}

// Creates the key when missing; writes the value when text is not null.
inline void write_value(const std::string &path, const char *name, const char *text) {
    tvc::unique_hkey key;
    if (::RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                          nullptr) == ERROR_SUCCESS &&
        text != nullptr) {
        ::RegSetValueExA(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text),
                         static_cast<DWORD>(std::strlen(text) + 1));
    }
}

inline void create_key(const std::string &path, const char *default_value = nullptr) {
    write_value(path, nullptr, default_value);
}

// One value as read back: type, size in bytes (with the NUL) and text.
struct stored_value {
    bool found = false;
    DWORD type = REG_NONE;
    DWORD bytes = 0;
    std::string text;
};

inline stored_value read_value(const std::string &path, const char *name) {
    stored_value value;
    tvc::unique_hkey key;
    std::vector<char> data(65536);
    DWORD bytes = static_cast<DWORD>(data.size());
    if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_QUERY_VALUE, key.put()) == ERROR_SUCCESS &&
        ::RegQueryValueExA(key.get(), name, nullptr, &value.type, reinterpret_cast<BYTE *>(data.data()),
                           &bytes) == ERROR_SUCCESS) {
        value.found = true;
        value.bytes = bytes;
        value.text.assign(data.data(), bytes > 0 && data[bytes - 1] == '\0' ? bytes - 1 : bytes);
    }
    return value;
}

// Every key and value of a tree, one line each, sorted:
//   "<path>"                                     a key
//   "<path> : <name or @> = <type> '<text>'/<bytes>"  a value
inline void collect_tree(const std::string &path, std::vector<std::string> &lines) {
    tvc::unique_hkey key;
    if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
    lines.push_back(path);
    for (DWORD index = 0;; ++index) {
        char name[16384];
        DWORD name_length = sizeof name;
        std::vector<char> data(65536);
        DWORD bytes = static_cast<DWORD>(data.size());
        DWORD type = REG_NONE;
        if (::RegEnumValueA(key.get(), index, name, &name_length, nullptr, &type,
                            reinterpret_cast<BYTE *>(data.data()), &bytes) != ERROR_SUCCESS) {
            break;
        }
        const std::string text(data.data(), bytes > 0 && data[bytes - 1] == '\0' ? bytes - 1 : bytes);
        lines.push_back(path + " : " + (name[0] ? name : "@") + " = " +
                        (type == REG_SZ ? "REG_SZ" : "type " + std::to_string(type)) + " '" + text +
                        "'/" + std::to_string(bytes));
    }
    std::vector<std::string> children;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD name_length = sizeof name;
        if (::RegEnumKeyExA(key.get(), index, name, &name_length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        children.push_back(name);
    }
    for (const std::string &child : children) collect_tree(path + "\\" + child, lines);
}

inline std::vector<std::string> snapshot(std::initializer_list<std::string> roots) {
    std::vector<std::string> lines;
    for (const std::string &root : roots) collect_tree(root, lines);
    std::sort(lines.begin(), lines.end());
    return lines;
}

// The line collect_tree gives for a REG_SZ value.
inline std::string sz(const std::string &path, const char *name, const std::string &text) {
    return path + " : " + (name ? name : "@") + " = REG_SZ '" + text + "'/" +
           std::to_string(text.size() + 1);
}

// Removes the named trees under HKEY_CLASSES_ROOT when the test ends; those
// it is made with also at once, since under a fixed name a run that crashed
// may have left one behind.
class cleanup {
public:
    cleanup() = default;
    cleanup(std::initializer_list<std::string> trees) : trees_(trees) { remove(); }
    cleanup(const cleanup &) = delete;
    cleanup &operator=(const cleanup &) = delete;
    ~cleanup() { remove(); }
    void add(const std::string &tree) { trees_.push_back(tree); }

private:
    void remove() const {
        for (const std::string &tree : trees_) {
            if (tree.empty()) continue;  // never the root itself
            ::RegDeleteTreeA(HKEY_CLASSES_ROOT, tree.c_str());  // the key and all below it
        }
    }
    std::vector<std::string> trees_;
};

// One class's identifiers and the four trees its registration writes.
struct test_class {
    GUID clsid = random_guid();
    GUID libid = random_guid();
    std::string prog_id_base = unique_name("TvcTest");
    std::string version_independent_prog_id = prog_id_base;
    std::string prog_id = prog_id_base + ".1";
    std::string clsid_text = text_of(clsid);
    std::string libid_text = text_of(libid);
    std::string clsid_key = "CLSID\\" + clsid_text;
    std::string appid_key = "AppID\\" + clsid_text;
    cleanup trees{clsid_key, appid_key, version_independent_prog_id, prog_id};

    std::vector<std::string> snapshot() const {
        return tvc_test::snapshot({clsid_key, appid_key, version_independent_prog_id, prog_id});
    }
    bool nothing_written() const {
        return !key_exists(clsid_key) && !key_exists(appid_key) &&
               !key_exists(version_independent_prog_id) && !key_exists(prog_id);
    }
};

inline std::string module_path(HMODULE module) {
    char path[32768];
    const DWORD length = ::GetModuleFileNameA(module, path, sizeof path);
    return std::string(path, length);
}

inline std::string base_name(const std::string &path) {
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace tvc_test
