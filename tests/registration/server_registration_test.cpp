#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/registry_test_support.h"
#include "support/code_page_932.h"
#include "support/foreign_directory_copy.h"
#include "support/null_reference_callers.h"
#include "support/start_gate.h"
#include "tvcvrtrt/registration.h"

using namespace tvc_test;

namespace {

const char library_name[] = "tvcvrtrt7_17.dll";

std::string library_path() { return module_path(::GetModuleHandleA(library_name)); }

std::string own_file_name() { return base_name(module_path(nullptr)); }

HRESULT register_class(const test_class &c, const char *module_name, unsigned short major,
                       unsigned short minor, const char *friendly_name, const char *threading_model) {
    return tvcRegisterServer_proxy(module_name, c.clsid, c.libid, major, minor, friendly_name,
                                   c.version_independent_prog_id.c_str(), c.prog_id.c_str(),
                                   threading_model);
}

// Everything registration writes, sorted: the server key (InprocServer32 or
// LocalServer32) with its path, and the friendly name and threading model
// where given.
std::vector<std::string> layout(const test_class &c, const std::string &version, const char *friendly_name,
                                const std::string &server, const std::string &path,
                                const char *threading_model = nullptr) {
    const std::string &vi = c.version_independent_prog_id;
    std::vector<std::string> lines = {
        c.clsid_key,
        sz(c.clsid_key, "AppID", c.clsid_text),
        c.clsid_key + "\\ProgID",
        sz(c.clsid_key + "\\ProgID", nullptr, c.prog_id),
        c.clsid_key + "\\VersionIndependentProgID",
        sz(c.clsid_key + "\\VersionIndependentProgID", nullptr, vi),
        c.clsid_key + "\\TypeLib",
        sz(c.clsid_key + "\\TypeLib", nullptr, c.libid_text),
        sz(c.clsid_key + "\\TypeLib", "Version", version),
        c.appid_key,
        sz(c.appid_key, "DllSurrogate", ""),
        vi,
        vi + "\\CLSID",
        sz(vi + "\\CLSID", nullptr, c.clsid_text),
        vi + "\\CurVer",
        sz(vi + "\\CurVer", nullptr, c.prog_id),
        c.prog_id,
        c.prog_id + "\\CLSID",
        sz(c.prog_id + "\\CLSID", nullptr, c.clsid_text),
        c.clsid_key + "\\" + server,
        sz(c.clsid_key + "\\" + server, nullptr, path),
    };
    if (friendly_name != nullptr) {
        for (const std::string &key : {c.clsid_key, c.appid_key, vi, c.prog_id}) {
            lines.push_back(sz(key, nullptr, friendly_name));
        }
    }
    if (threading_model) lines.push_back(sz(c.clsid_key + "\\" + server, "ThreadingModel", threading_model));
    std::sort(lines.begin(), lines.end());
    return lines;
}

HRESULT unregister_class(const test_class &c) {
    return tvcUnregisterServer_proxy(c.clsid, c.version_independent_prog_id.c_str(),
                                     c.prog_id.c_str());
}

// ProgIDs that are no key names: null, empty, paths, each reaching into
// another class's keys (a lone backslash is left out: old faults made it
// name the root itself), and names longer than the registry's 255
// characters. call(version_independent_prog_id, prog_id) refuses each in
// either place, and the other class's keys stay as they were.
template <typename Call> void expect_names_that_are_no_key_names_refused(const test_class &c, Call call) {
    test_class other;
    ASSERT_EQ(register_class(other, library_name, 1, 0, "other", "Both"), S_OK);
    const std::vector<std::string> other_before = other.snapshot();
    const std::vector<std::string> paths = {"CLSID\\" + other.clsid_text, "\\" + other.prog_id,
                                            other.prog_id + "\\CLSID",
                                            other.prog_id + std::string(256 - other.prog_id.size(), 'p'),
                                            std::string(2000, 'p')};
    std::vector<const char *> bad = {nullptr, ""};
    for (const std::string &path : paths) bad.push_back(path.c_str());
    for (const char *name : bad) {
        EXPECT_EQ(call(name, c.prog_id.c_str()), E_INVALIDARG) << (name ? name : "(null)");
        EXPECT_EQ(call(c.version_independent_prog_id.c_str(), name), E_INVALIDARG) << (name ? name : "(null)");
    }
    EXPECT_EQ(other.snapshot(), other_before);
}

}  // namespace

TEST(ServerRegistration, InProcessServerWritesExactlyTheLayoutAndUnregistrationRemovesIt) {
    test_class c;
    ASSERT_EQ(register_class(c, library_name, 1, 0, "Test In-Process Server", "Apartment"), S_OK);

    EXPECT_EQ(c.snapshot(),
              layout(c, "1.0", "Test In-Process Server", "InprocServer32", library_path(), "Apartment"));

    EXPECT_EQ(unregister_class(c), S_OK);
    EXPECT_TRUE(c.nothing_written());
}

TEST(ServerRegistration, ExeNameRegistersLocalServerWithoutThreadingModel) {
    test_class c;
    ASSERT_EQ(register_class(c, own_file_name().c_str(), 65535, 2, "Test Local Server", "Both"), S_OK);

    EXPECT_EQ(c.snapshot(), layout(c, "65535.2", "Test Local Server", "LocalServer32", module_path(nullptr)));
}

TEST(ServerRegistration, ExeSearchIsCaseSensitive) {
    test_class c;
    std::string upper = own_file_name();
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::toupper(ch)); });
    ASSERT_NE(upper.find(".EXE"), std::string::npos);
    ASSERT_EQ(register_class(c, upper.c_str(), 1, 0, "name", "Free"), S_OK);
    EXPECT_EQ(read_value(c.clsid_key + "\\InprocServer32", nullptr).text, module_path(nullptr));
    EXPECT_EQ(read_value(c.clsid_key + "\\InprocServer32", "ThreadingModel").text, "Free");
    EXPECT_FALSE(key_exists(c.clsid_key + "\\LocalServer32"));
}

TEST(ServerRegistration, NullFriendlyNameAndThreadingModelWriteNoSuchValues) {
    test_class c;
    ASSERT_EQ(register_class(c, library_name, 3, 14, nullptr, nullptr), S_OK);

    EXPECT_EQ(c.snapshot(), layout(c, "3.14", nullptr, "InprocServer32", library_path()));
}

TEST(ServerRegistration, ModuleNotLoadedWritesNothing) {
    test_class c;
    EXPECT_EQ(register_class(c, "tvc-module-never-loaded.dll", 1, 0, "name", "Both"), E_FAIL);
    EXPECT_TRUE(c.nothing_written());
}

TEST(ServerRegistration, InvalidArgumentsWriteNothing) {
    test_class c;
    const char *vi = c.version_independent_prog_id.c_str();
    const char *prog = c.prog_id.c_str();
    EXPECT_EQ(tvcRegisterServer_proxy(nullptr, c.clsid, c.libid, 1, 0, "n", vi, prog, "Both"),
              E_INVALIDARG);
    EXPECT_EQ(register_server_without_clsid(library_name, &c.libid, vi, prog), E_INVALIDARG);
    EXPECT_EQ(register_server_without_libid(library_name, &c.clsid, vi, prog), E_INVALIDARG);
    expect_names_that_are_no_key_names_refused(c, [&](const char *vi_name, const char *prog_name) {
        return tvcRegisterServer_proxy(library_name, c.clsid, c.libid, 1, 0, "n", vi_name, prog_name, "Both");
    });
    EXPECT_TRUE(c.nothing_written());

    // 255 characters is the registry's limit for a key name, but the key
    // path "<prog_id>\\CLSID" (261) is longer than any that registration
    // writes (see TheLongestKeyPathWritten... below): refused before anything is written.
    test_class longest;
    longest.prog_id = longest.prog_id_base + std::string(255 - longest.prog_id_base.size(), 'p');
    longest.trees.add(longest.prog_id);
    EXPECT_EQ(register_class(longest, library_name, 1, 0, "n", "Both"), E_INVALIDARG);
    EXPECT_TRUE(longest.nothing_written());
}

TEST(ServerUnregistration, MissingTreesCountAsRemoved) {
    test_class never_registered;
    EXPECT_EQ(tvcUnregisterServer_proxy(never_registered.clsid,
                                        never_registered.version_independent_prog_id.c_str(),
                                        never_registered.prog_id.c_str()),
              S_OK);

    // ProgID keys gone, class keys still there, with entries added by others:
    // some named outside the process code page (Thai and Devanagari, in
    // neither code page the tests run under), which the narrow registry
    // functions cannot open.
    test_class c;
    ASSERT_EQ(register_class(c, library_name, 1, 0, "name", "Both"), S_OK);
    create_key(c.clsid_key + "\\Implemented Categories\\" + text_of(random_guid()));
    const std::wstring class_key(c.clsid_key.begin(), c.clsid_key.end());
    for (const std::wstring &path : {class_key + L"\\\u0e01\\\u0915", class_key + L"\\InprocServer32\\\u0e01"}) {
        tvc::unique_hkey added;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                    added.put(), nullptr),
                  ERROR_SUCCESS);
    }
    ASSERT_EQ(::RegDeleteTreeA(HKEY_CLASSES_ROOT, c.prog_id.c_str()), ERROR_SUCCESS);
    ASSERT_EQ(::RegDeleteTreeA(HKEY_CLASSES_ROOT, c.version_independent_prog_id.c_str()), ERROR_SUCCESS);
    ASSERT_FALSE(key_exists(c.prog_id) || key_exists(c.version_independent_prog_id));
    EXPECT_EQ(unregister_class(c), S_OK);
    EXPECT_TRUE(c.nothing_written());
}

TEST(ServerUnregistration, InvalidArgumentsDeleteNothing) {
    test_class c;
    ASSERT_EQ(register_class(c, library_name, 1, 0, "name", "Both"), S_OK);
    const std::vector<std::string> before = c.snapshot();
    const char *vi = c.version_independent_prog_id.c_str();
    const char *prog = c.prog_id.c_str();
    EXPECT_EQ(unregister_server_without_clsid(vi, prog), E_INVALIDARG);
    expect_names_that_are_no_key_names_refused(c, [&](const char *vi_name, const char *prog_name) {
        return tvcUnregisterServer_proxy(c.clsid, vi_name, prog_name);
    });
    EXPECT_EQ(c.snapshot(), before);
}

// ---- ProgID keys of others, ProgID lengths, one class from two threads,
// module paths outside the code page, double-byte ProgIDs. (ProgIDs that
// name whole trees: component_registration_test.cpp, for every export.)

// Unregistration deletes a ProgID key only when its CLSID subkey names the
// class: another class's ProgIDs, and a key naming none, stay.
TEST(ServerUnregistration, LeavesTheProgIDKeysOfOthersAndStillRemovesTheClass) {
    test_class owner, c;
    ASSERT_EQ(register_class(owner, library_name, 1, 0, "owner", "Both"), S_OK);
    const std::string bare = unique_name("TvcBare");
    cleanup removal{bare};
    create_key(bare + "\\CurVer", "no class");
    const std::vector<std::string> before = snapshot({bare, owner.version_independent_prog_id, owner.prog_id});
    for (const std::pair<std::string, std::string> &names :
         {std::pair(owner.version_independent_prog_id, owner.prog_id), std::pair(bare, bare)}) {
        ASSERT_EQ(register_class(c, library_name, 1, 0, "c", "Both"), S_OK);
        EXPECT_EQ(tvcUnregisterServer_proxy(c.clsid, names.first.c_str(), names.second.c_str()), S_OK);
        EXPECT_FALSE(key_exists(c.clsid_key) || key_exists(c.appid_key)) << names.first;
    }
    EXPECT_EQ(snapshot({bare, owner.version_independent_prog_id, owner.prog_id}), before);
}

// The longest key paths written are "<version_independent_prog_id>\\CurVer"
// and "<prog_id>\\CLSID"; none may exceed 255 characters.
TEST(ServerRegistration, TheLongestKeyPathWrittenDecidesBeforeAnythingIsWritten) {
    const struct {
        std::size_t version_independent_prog_id, prog_id;
        HRESULT expected;
    } rows[] = {{248, 249, S_OK}, {249, 249, E_INVALIDARG}, {248, 250, E_INVALIDARG}};
    for (const auto &row : rows) {
        test_class c;
        c.version_independent_prog_id.resize(row.version_independent_prog_id, 'v');
        c.prog_id.resize(row.prog_id, 'p');
        c.trees.add(c.version_independent_prog_id);
        c.trees.add(c.prog_id);
        EXPECT_EQ(register_class(c, library_name, 1, 0, "n", "Both"), row.expected) << row.prog_id;
        EXPECT_EQ(unregister_class(c), S_OK);
        EXPECT_TRUE(c.nothing_written()) << row.prog_id;
    }
}

// Thread a registers the class with a ProgID that is a volatile ProgID key,
// which takes no lasting subkey: it fails at "<prog_id>\\CurVer" and undoes
// what it wrote. Thread b registers the same class and succeeds; its entries stay.
TEST(ServerRegistration, AFailingCallForAClassNeverUndoesWhatASucceedingOneWrote) {
    test_class c;
    const std::string fragile = unique_name("TvcFragile");
    cleanup removal{fragile};
    for (const std::string &path : {fragile, fragile + "\\CLSID"}) {
        HKEY key = nullptr;
        ASSERT_EQ(::RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                                    KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
        ::RegCloseKey(key);
    }
    for (int round = 0; round < 50; ++round) {
        tvc_test::start_gate gate(2);
        HRESULT failing = S_OK, succeeding = E_FAIL;
        std::thread a([&] {
            gate.arrive_and_wait();
            failing = tvcRegisterServer_proxy(library_name, c.clsid, c.libid, 2, 0, "a", fragile.c_str(),
                                              fragile.c_str(), "Both");
        });
        gate.arrive_and_wait();  // this thread is b
        succeeding = register_class(c, library_name, 1, 0, "b", "Both");
        a.join();
        ASSERT_EQ(failing, E_ACCESSDENIED) << round;
        ASSERT_EQ(succeeding, S_OK) << round;
        ASSERT_EQ(read_value(c.clsid_key + "\\ProgID", nullptr).text, c.prog_id) << round;
        ASSERT_EQ(read_value(c.prog_id + "\\CLSID", nullptr).text, c.clsid_text) << round;
        ASSERT_EQ(unregister_class(c), S_OK);
    }
}

// A module under a directory name that the process code page cannot hold is
// stored by its short form, never with "?" in place of a character; without
// a short form it is not stored at all.
TEST(ServerRegistration, ModuleOutsideTheCodePageIsStoredByAPathThatNamesIt) {
    const std::string copy_name = unique_name("TvcForeign") + ".dll";
    tvc_test::foreign_directory_copy copy("tvcvrtrt7_17.dll", copy_name);
    ASSERT_NE(copy.module, nullptr);
    test_class c;
    const HRESULT result = register_class(c, copy_name.c_str(), 1, 0, "n", "Both");
    if (!copy.has_short_form()) {
        EXPECT_EQ(result, HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION));
        EXPECT_TRUE(c.nothing_written());
        return;
    }
    ASSERT_EQ(result, S_OK);
    const std::string stored = read_value(c.clsid_key + "\\InprocServer32", nullptr).text;
    EXPECT_EQ(stored.find('?'), std::string::npos) << stored;
    EXPECT_NE(::GetFileAttributesA(stored.c_str()), INVALID_FILE_ATTRIBUTES) << stored;
}

// "AB" and a lone lead byte, its NUL the last byte before a page that cannot
// be read; and "ソ" (0x83 0x5C, the backslash's byte second) in a name that
// is one key name all the same.
TEST(CodePage932, ProgIDsAreReadCharacterByCharacterAndNeverPastTheirEnd) {
    TVC_ONLY_UNDER_CODE_PAGE_932();
    char *pages = static_cast<char *>(::VirtualAlloc(nullptr, 8192, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD previous = 0;
    ASSERT_TRUE(pages != nullptr && ::VirtualProtect(pages + 4096, 4096, PAGE_NOACCESS, &previous));
    char *lone = static_cast<char *>(std::memcpy(pages + 4096 - 4, "AB\x83", 4));
    test_class c;
    const char *vi = c.version_independent_prog_id.c_str();
    EXPECT_EQ(tvcRegisterServer_proxy(library_name, c.clsid, c.libid, 1, 0, "n", vi, lone, "Both"), E_INVALIDARG);
    EXPECT_EQ(tvcUnregisterServer_proxy(c.clsid, lone, vi), E_INVALIDARG);
    ::VirtualFree(pages, 0, MEM_RELEASE);

    c.version_independent_prog_id = "\x83\x5C" + c.prog_id_base;
    c.prog_id = c.version_independent_prog_id + ".1";
    c.trees.add(c.version_independent_prog_id);
    c.trees.add(c.prog_id);
    ASSERT_EQ(register_class(c, library_name, 1, 0, "n", "Both"), S_OK);
    EXPECT_EQ(read_value(c.prog_id + "\\CLSID", nullptr).text, c.clsid_text);
    EXPECT_EQ(unregister_class(c), S_OK);
    EXPECT_TRUE(c.nothing_written());
}

// ---- keys of other owners under a ProgID's name, and two classes racing
// for one ProgID

namespace {

// A file type of this test's own, as the system's file types look: a
// description and the command that opens its files.
struct canary_file_type {
    std::string name;
    cleanup removal;
    explicit canary_file_type(const char *test_name) : name(unique_name(test_name) + "File") {
        removal.add(name);
        create_key(name, "Canary file");
        create_key(name + "\\shell\\open\\command", "canary.exe \"%1\"");
    }
};

}  // namespace

// A key that exists without a CLSID subkey is not a ProgID key: registration
// refuses it before writing anything, and unregistration leaves it. So is a
// key that holds nothing but a default value, when that is not the class's
// friendly name.
TEST(ServerRegistration, KeysThatAreNoProgIDKeysAreRefusedBeforeAnythingIsWritten) {
    const canary_file_type canary("KeysThatAreNoProgIDKeys");
    const std::string bare = unique_name("TvcBare");
    cleanup bare_removal{bare};
    create_key(bare, "Canary");
    const std::vector<std::string> before = snapshot({canary.name, bare});
    test_class c;
    const std::pair<const char *, const char *> names[] = {
        {canary.name.c_str(), c.prog_id.c_str()},
        {c.version_independent_prog_id.c_str(), canary.name.c_str()},
        {canary.name.c_str(), canary.name.c_str()},
        {bare.c_str(), c.prog_id.c_str()},
    };
    for (const auto &[vi, prog] : names) {
        EXPECT_EQ(tvcRegisterServer_proxy(library_name, c.clsid, c.libid, 1, 0, "taken", vi, prog, "Both"),
                  HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS)) << vi << " " << prog;
        EXPECT_TRUE(c.nothing_written());
        EXPECT_EQ(tvcUnregisterServer_proxy(c.clsid, vi, prog), S_OK);
        EXPECT_EQ(snapshot({canary.name, bare}), before);
    }
}

// Unregistration takes from a ProgID key only the default value and the
// CLSID and CurVer subkeys; what others added keeps the key.
TEST(ServerUnregistration, RemovesFromAProgIDKeyOnlyWhatRegistrationWrote) {
    test_class c;
    ASSERT_EQ(register_class(c, library_name, 1, 0, "name", "Both"), S_OK);
    const std::string &vi = c.version_independent_prog_id;
    create_key(vi + "\\shell\\open\\command", "other.exe \"%1\"");
    write_value(c.prog_id, "EditFlags", "added by another program");
    EXPECT_EQ(unregister_class(c), S_OK);
    std::vector<std::string> left = {c.prog_id, sz(c.prog_id, "EditFlags", "added by another program"), vi,
                                     vi + "\\shell", vi + "\\shell\\open", vi + "\\shell\\open\\command",
                                     sz(vi + "\\shell\\open\\command", nullptr, "other.exe \"%1\"")};
    std::sort(left.begin(), left.end());
    EXPECT_EQ(snapshot({vi, c.prog_id}), left);
    EXPECT_FALSE(key_exists(c.clsid_key) || key_exists(c.appid_key));
}

namespace {

// Points HKEY_CLASSES_ROOT of this process at another key while it lives, as
// a host that registers for the current user alone does.
class classes_root_override {
public:
    explicit classes_root_override(HKEY key) { ok_ = ::RegOverridePredefKey(HKEY_CLASSES_ROOT, key) == ERROR_SUCCESS; }
    ~classes_root_override() { ::RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr); }
    classes_root_override(const classes_root_override &) = delete;
    classes_root_override &operator=(const classes_root_override &) = delete;
    bool ok() const { return ok_; }

private:
    bool ok_ = false;
};

// The user's class registry, HKEY_CURRENT_USER\Software\Classes, with the
// trees named removed from it when the test ends.
class user_classes {
public:
    explicit user_classes(std::vector<std::string> trees) : trees_(std::move(trees)) {
        ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                          key_.put(), nullptr);
    }
    ~user_classes() {
        for (const std::string &tree : trees_) {
            if (key_ && !tree.empty()) ::RegDeleteTreeA(key_.get(), tree.c_str());
        }
    }
    user_classes(const user_classes &) = delete;
    user_classes &operator=(const user_classes &) = delete;
    HKEY get() const { return key_.get(); }

private:
    tvc::unique_hkey key_;
    std::vector<std::string> trees_;
};

}  // namespace

// On Windows the class registry is a view of the user's hive over the
// machine's: a class registered in both must leave both, or the machine's
// copy shows again. What other programs keep in a ProgID key stays in each.
TEST(ServerUnregistration, RemovesTheClassFromTheUsersHiveAndTheMachinesAlike) {
    test_class c;
    const std::string &vi = c.version_independent_prog_id;
    const user_classes user({c.clsid_key, c.appid_key, vi, c.prog_id});
    ASSERT_NE(user.get(), nullptr);
    const std::vector<std::string> others_left = {c.prog_id, sz(c.prog_id, "EditFlags", "another program's")};
    for (const HKEY hive : {user.get(), HKEY(nullptr)}) {
        const classes_root_override in_hive(hive);
        ASSERT_TRUE(in_hive.ok());
        ASSERT_EQ(register_class(c, library_name, 1, 0, "name", "Both"), S_OK);
        write_value(c.prog_id, "EditFlags", "another program's");
    }
    EXPECT_EQ(unregister_class(c), S_OK);
    for (const HKEY hive : {user.get(), HKEY(nullptr)}) {
        const classes_root_override in_hive(hive);
        EXPECT_EQ(snapshot({c.clsid_key, c.appid_key, vi, c.prog_id}), others_left) << (hive ? "user" : "view");
    }
}

// A hive that the process may read but not write, as the machine's hive is
// to a process that is not elevated: the registration fails with the
// system's code and leaves nothing of its own. Wine checks a key's security
// when a key is opened for writing, not when a subkey is created (Windows
// checks both), so here the hive holds the class's ProgID key, with a
// security that refuses writes; registration meets it after writing the
// class's other keys. (A refused creation: the failing-edit test.)
TEST(ServerRegistration, AHiveThatRefusesWritesFailsTheRegistrationWithItsCodeAndLeavesNothing) {
    test_class c;
    const std::string hive_name = "Software\\" + unique_name("TvcHive");
    tvc::unique_hkey hive, locked;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, hive_name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                hive.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegCreateKeyExA(hive.get(), c.prog_id.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, locked.put(),
                                nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegSetKeyValueA(locked.get(), "CLSID", nullptr, REG_SZ, c.clsid_text.c_str(),
                                static_cast<DWORD>(c.clsid_text.size() + 1)),
              ERROR_SUCCESS);
    // Everyone may do all but write values, make subkeys and delete.
    const auto set_security = [&](const char *sddl) {
        PSECURITY_DESCRIPTOR security = nullptr;
        ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &security, nullptr));
        EXPECT_EQ(::RegSetKeySecurity(locked.get(), DACL_SECURITY_INFORMATION, security), ERROR_SUCCESS);
        ::LocalFree(security);
    };
    set_security("D:(D;;0x10006;;;WD)(A;;KA;;;WD)");
    {
        const classes_root_override in_hive(hive.get());
        ASSERT_TRUE(in_hive.ok());
        const std::vector<std::string> before = c.snapshot();
        EXPECT_EQ(register_class(c, library_name, 1, 0, "name", "Both"), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
        EXPECT_EQ(c.snapshot(), before);
    }
    set_security("D:(A;;KA;;;WD)");
    locked.reset();
    EXPECT_EQ(::RegDeleteTreeA(HKEY_CURRENT_USER, hive_name.c_str()), ERROR_SUCCESS);
}

// Class a unregisters while class b registers with a's version-independent
// ProgID, and in every other round with its version-dependent one too:
// whichever goes first, a's unregistration removes nothing that b wrote. b's
// call succeeds and its ProgID keys name b afterwards, or, in a round where
// it asks for a's version-dependent ProgID while a is still registered, it is
// refused and writes nothing.
TEST(ServerRegistration, AnotherClassesUnregistrationNeverRemovesWhatARacingRegistrationWrote) {
    test_class a, b;
    const std::string own_prog_id = b.prog_id;
    b.version_independent_prog_id = a.version_independent_prog_id;
    for (int round = 0; round < 300; ++round) {
        b.prog_id = round % 2 == 0 ? own_prog_id : a.prog_id;
        ASSERT_EQ(register_class(a, library_name, 1, 0, "a", "Both"), S_OK);
        tvc_test::start_gate gate(2);
        HRESULT unregistered = E_FAIL;
        std::thread other([&] {
            gate.arrive_and_wait();
            unregistered = unregister_class(a);
        });
        gate.arrive_and_wait();
        const HRESULT registered = register_class(b, library_name, 1, 0, "b", "Both");
        other.join();
        ASSERT_EQ(unregistered, S_OK) << round;
        if (round % 2 == 1 && registered == HRESULT_FROM_WIN32(ERROR_OBJECT_ALREADY_EXISTS)) {
            ASSERT_TRUE(b.nothing_written() && a.nothing_written()) << round;
            continue;
        }
        ASSERT_EQ(registered, S_OK) << round;
        ASSERT_EQ(read_value(b.prog_id + "\\CLSID", nullptr).text, b.clsid_text) << round;
        ASSERT_EQ(read_value(b.version_independent_prog_id + "\\CurVer", nullptr).text, b.prog_id) << round;
        ASSERT_EQ(unregister_class(b), S_OK);
    }
}

// A version-dependent ProgID names one class: another class asking for it
// while its class is registered is refused, with nothing written. The
// version-independent ProgID goes to the class registered last, as COM's
// convention has a newer version take it, and leaves with that class's
// unregistration; the earlier class keeps its version-dependent ProgID. A
// ProgID whose class is no longer registered is taken, and a class's own
// ProgIDs are its own again when it registers anew (an upgrade).
TEST(ServerRegistration, AVersionDependentProgIDOfAnotherRegisteredClassIsRefused) {
    test_class a, b;
    ASSERT_EQ(register_class(a, library_name, 1, 0, "a", "Both"), S_OK);
    ASSERT_EQ(register_class(a, library_name, 2, 0, "a, version 2", "Both"), S_OK);
    const std::vector<std::string> a_before = a.snapshot();
    const std::string &a_vi = a.version_independent_prog_id;
    const auto register_b = [&](const std::string &vi, const std::string &prog_id) {
        return tvcRegisterServer_proxy(library_name, b.clsid, b.libid, 1, 0, "b", vi.c_str(), prog_id.c_str(), "Both");
    };
    const auto unregister_b = [&](const std::string &vi, const std::string &prog_id) {
        return tvcUnregisterServer_proxy(b.clsid, vi.c_str(), prog_id.c_str());
    };
    EXPECT_EQ(register_b(b.version_independent_prog_id, a.prog_id), HRESULT_FROM_WIN32(ERROR_OBJECT_ALREADY_EXISTS));
    EXPECT_EQ(register_b(a.prog_id, a.prog_id), HRESULT_FROM_WIN32(ERROR_OBJECT_ALREADY_EXISTS));
    EXPECT_TRUE(b.nothing_written());
    EXPECT_EQ(a.snapshot(), a_before);

    ASSERT_EQ(register_b(a_vi, b.prog_id), S_OK);
    EXPECT_EQ(read_value(a_vi + "\\CurVer", nullptr).text, b.prog_id);
    EXPECT_EQ(unregister_b(a_vi, b.prog_id), S_OK);
    EXPECT_FALSE(key_exists(a_vi));
    EXPECT_EQ(read_value(a.prog_id + "\\CLSID", nullptr).text, a.clsid_text);

    ASSERT_EQ(::RegDeleteTreeA(HKEY_CLASSES_ROOT, a.clsid_key.c_str()), ERROR_SUCCESS);
    ASSERT_EQ(register_b(b.version_independent_prog_id, a.prog_id), S_OK);
    EXPECT_EQ(read_value(a.prog_id + "\\CLSID", nullptr).text, b.clsid_text);
    EXPECT_EQ(unregister_b(b.version_independent_prog_id, a.prog_id), S_OK);
    EXPECT_EQ(unregister_class(a), S_OK);
    EXPECT_TRUE(a.nothing_written() && b.nothing_written());
}

// The registry's limits count characters: a ProgID of 125 double-byte
// characters (250 bytes; "<ProgID>\CurVer" is 132 characters) is taken.
TEST(CodePage932, ProgIDLimitsCountCharactersNotBytes) {
    TVC_ONLY_UNDER_CODE_PAGE_932();
    test_class c;
    c.version_independent_prog_id.clear();
    for (int character = 0; character < 125; ++character) c.version_independent_prog_id += "\x83\x5C";
    c.prog_id = c.version_independent_prog_id + ".1";
    c.trees.add(c.version_independent_prog_id);
    c.trees.add(c.prog_id);
    ASSERT_EQ(register_class(c, library_name, 1, 0, "n", "Both"), S_OK);
    EXPECT_EQ(read_value(c.version_independent_prog_id + "\\CurVer", nullptr).text, c.prog_id);
    EXPECT_EQ(unregister_class(c), S_OK);
    EXPECT_TRUE(c.nothing_written());
}
