#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "registration/server_registration.h"
#include "support/registry_test_support.h"
#include "tvcvrtrt/registration.h"

TEST(ServerLayout, NamedValuesFollowTheRowThatCreatesTheirKey) {
    // set_named_value never creates a key, so each named value needs an
    // earlier default-value row for the same key written under the same condition.
    for (std::size_t row = 0; row < std::size(tvc::server_layout); ++row) {
        const tvc::layout_row &named = tvc::server_layout[row];
        if (named.value_name == nullptr) continue;
        bool key_created_before = false;
        for (std::size_t earlier = 0; earlier < row; ++earlier) {
            const tvc::layout_row &creator = tvc::server_layout[earlier];
            key_created_before |= creator.value_name == nullptr &&
                                  std::strcmp(creator.key_pattern, named.key_pattern) == 0 &&
                                  (creator.condition == tvc::layout_condition::always ||
                                   creator.condition == named.condition);
        }
        EXPECT_TRUE(key_created_before) << named.key_pattern << " : " << named.value_name;
    }
}

TEST(ServerLayout, PlaceholdersAreFilledInOnePass) {
    tvc::registration_texts texts;
    texts.clsid = "{C}";
    texts.prog_id = "Prog.{clsid}.1";
    texts.version_independent_prog_id = "Prog";
    tvc::registry_key_path path;
    ASSERT_TRUE(tvc::expand_key_pattern(path, "<prog_id>\\CLSID", texts));
    EXPECT_STREQ(path.text, "Prog.{clsid}.1\\CLSID");
    ASSERT_TRUE(tvc::expand_key_pattern(path, "CLSID\\{clsid}\\x", texts));
    EXPECT_STREQ(path.text, "CLSID\\{C}\\x");

    const std::string long_prog_id(1020, 'p');
    texts.prog_id = long_prog_id.c_str();
    EXPECT_TRUE(tvc::expand_key_pattern(path, "<prog_id>", texts));
    EXPECT_FALSE(tvc::expand_key_pattern(path, "<prog_id>\\CLSID", texts));
    EXPECT_STREQ(path.text, "");

    texts.prog_id = nullptr;
    EXPECT_FALSE(tvc::expand_key_pattern(path, "<prog_id>", texts));
}

TEST(ModuleFilePath, TakesTheWholePathWhateverTheFirstBufferSize) {
    std::string reference;
    ASSERT_EQ(tvc::module_file_path(nullptr, reference), S_OK);
    ASSERT_GT(reference.size(), 4u);
    EXPECT_EQ(reference.substr(reference.size() - 4), ".exe");
    EXPECT_EQ(reference.find('\0'), std::string::npos);

    // Starting buffers shorter than, exactly as long as, and one more than the
    // path all end with the same full path.
    const DWORD length = static_cast<DWORD>(reference.size());
    for (DWORD first : {DWORD{1}, DWORD{7}, length, length + 1}) {
        std::string path;
        EXPECT_EQ(tvc::module_file_path(nullptr, path, first), S_OK) << first;
        EXPECT_EQ(path, reference) << first;
    }

    std::string path = "stale";
    EXPECT_EQ(tvc::module_file_path(reinterpret_cast<HMODULE>(0x10), path), E_UNEXPECTED);
    EXPECT_TRUE(path.empty());
}

namespace {

using namespace tvc_test;

// Lets a number of value writes through, then fails every further one.
int writes_left = 0;
bool count_down_writes(const char *, const char *) noexcept { return writes_left-- > 0; }

class failing_value_writes {
public:
    explicit failing_value_writes(int allowed) {
        writes_left = allowed;
        tvc::value_write_allowed = count_down_writes;
    }
    ~failing_value_writes() { tvc::value_write_allowed = nullptr; }
    failing_value_writes(const failing_value_writes &) = delete;
    failing_value_writes &operator=(const failing_value_writes &) = delete;
};

HRESULT register_in_process(const test_class &c, const char *friendly_name, unsigned short major) {
    return tvc::register_server("kernel32.dll", &c.clsid, &c.libid, major, 0, friendly_name,
                                c.version_independent_prog_id.c_str(), c.prog_id.c_str(), "Both");
}

}  // namespace

TEST(RegistrationFailingPartWay, RemovesTheKeysItCreatedAndRestoresTheValuesItReplaced) {
    // An in-process server with a friendly name and a threading model takes
    // 15 value writes; each one in turn is made to fail.
    constexpr int writes = 15;
    for (int allowed = 0; allowed < writes; ++allowed) {
        test_class fresh;
        {
            failing_value_writes failing(allowed);
            EXPECT_EQ(register_in_process(fresh, "new", 2), E_ACCESSDENIED) << allowed;
        }
        EXPECT_TRUE(fresh.nothing_written()) << allowed;

        test_class registered;
        ASSERT_EQ(register_in_process(registered, "old", 1), S_OK);
        const std::vector<std::string> before = registered.snapshot();
        {
            failing_value_writes failing(allowed);
            EXPECT_EQ(register_in_process(registered, "new", 2), E_ACCESSDENIED) << allowed;
        }
        EXPECT_EQ(registered.snapshot(), before) << allowed;
    }
    test_class complete;
    {
        failing_value_writes enough(writes);
        EXPECT_EQ(register_in_process(complete, "new", 2), S_OK);
    }

    // A friendly name outside the process code page comes back unchanged.
    const std::wstring key(complete.clsid_key.begin(), complete.clsid_key.end());
    const std::wstring wide_name = L"\u2713 \u4e2d";
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, REG_SZ, wide_name.c_str(),
                                static_cast<DWORD>((wide_name.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    {
        failing_value_writes failing(writes - 1);
        EXPECT_EQ(register_in_process(complete, "new", 2), E_ACCESSDENIED);
    }
    wchar_t restored[16] = {};
    DWORD restored_bytes = sizeof restored;
    ASSERT_EQ(::RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, restored,
                             &restored_bytes),
              ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(restored), wide_name);

    // Component registration undoes its server entries the same way.
    test_class component;
    failing_value_writes failing(writes - 1);
    EXPECT_EQ(tvcRegisterTovanXLComponent_proxy("kernel32.dll", component.clsid, component.libid, 1, 0,
                                                "Component", component.version_independent_prog_id.c_str(),
                                                component.prog_id.c_str()),
              E_ACCESSDENIED);
    EXPECT_TRUE(component.nothing_written());
}

// The lock's name held by another thread (a mutex) or taken by an object of
// another kind: registration and unregistration give up, after the wait for
// a mutex, with their documented results and write or remove nothing.
TEST(RegistrationLock, ANameHeldElsewhereFailsTheCallWithNothingChanged) {
    const std::string unique = unique_name("Lock");
    const std::wstring name = L"Local\\tvcvrtrt-test-" + std::wstring(unique.begin(), unique.end());
    const wchar_t *const saved_name = tvc::registration_lock_name;
    const DWORD saved_wait = tvc::registration_lock_wait_ms;
    tvc::registration_lock_name = name.c_str();
    tvc::registration_lock_wait_ms = 50;
    test_class registered;
    ASSERT_EQ(register_in_process(registered, "registered", 1), S_OK);
    const std::vector<std::string> before = registered.snapshot();
    const struct {
        bool mutex;
        HRESULT expected;
    } rows[] = {{true, HRESULT_FROM_WIN32(ERROR_TIMEOUT)}, {false, HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE)}};
    for (const auto &row : rows) {
        tvc::unique_handle holder(row.mutex ? ::CreateMutexW(nullptr, TRUE, name.c_str())
                                            : ::CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
        ASSERT_TRUE(holder);
        test_class fresh;
        HRESULT registration = S_OK, unregistration = S_OK;
        std::thread([&] {
            registration = register_in_process(fresh, "fresh", 1);
            unregistration = tvc::unregister_server(&registered.clsid, registered.version_independent_prog_id.c_str(),
                                                    registered.prog_id.c_str());
        }).join();
        EXPECT_EQ(registration, row.expected) << row.mutex;
        EXPECT_EQ(unregistration, row.expected) << row.mutex;
        EXPECT_TRUE(fresh.nothing_written()) << row.mutex;
        EXPECT_EQ(registered.snapshot(), before) << row.mutex;
        if (row.mutex) ::ReleaseMutex(holder.get());
    }
    tvc::registration_lock_name = saved_name;
    tvc::registration_lock_wait_ms = saved_wait;
}
