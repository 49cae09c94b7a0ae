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

// Answers the registry routines' question before each edit: counts the
// edits, and refuses the one numbered failing (from 0) or, when stopping,
// every one from there on, as a process ended at that point would leave the
// registry. The undo of a failed registration asks too.
struct edit_gate {
    int failing = -1;  // none
    bool stopping = false;
    int asked = 0;
    bool refused = false;
};
edit_gate gate;
bool gate_allows(tvc::registry_edit) noexcept {
    const int edit = gate.asked++;
    const bool allowed = gate.failing < 0 || (gate.stopping ? edit < gate.failing : edit != gate.failing);
    gate.refused |= !allowed;
    return allowed;
}

class gated_edits {
public:
    explicit gated_edits(int failing, bool stopping = false) {
        gate = edit_gate{failing, stopping};
        tvc::registry_edit_allowed = gate_allows;
    }
    ~gated_edits() { tvc::registry_edit_allowed = nullptr; }
    gated_edits(const gated_edits &) = delete;
    gated_edits &operator=(const gated_edits &) = delete;
    int asked() const { return gate.asked; }
    bool refused() const { return gate.refused; }
};

HRESULT register_in_process(const test_class &c, const char *friendly_name, unsigned short major) {
    return tvc::register_server("kernel32.dll", &c.clsid, &c.libid, major, 0, friendly_name,
                                c.version_independent_prog_id.c_str(), c.prog_id.c_str(), "Both");
}

}  // namespace

TEST(RegistrationFailingPartWay, RemovesTheKeysItCreatedAndRestoresTheValuesItReplaced) {
    // Every edit of an in-process server's registration with a friendly name
    // and a threading model, key creations among them (as a hive that the
    // process may not write refuses them), is made to fail in turn.
    int edits = 0;
    {
        test_class counted;
        const gated_edits counting(-1);
        ASSERT_EQ(register_in_process(counted, "new", 2), S_OK);
        edits = counting.asked();
    }
    ASSERT_GT(edits, 20);
    for (int failing = 0; failing < edits; ++failing) {
        test_class fresh;
        {
            const gated_edits gated(failing);
            EXPECT_EQ(register_in_process(fresh, "new", 2), E_ACCESSDENIED) << failing;
        }
        EXPECT_TRUE(fresh.nothing_written()) << failing;

        test_class registered;
        ASSERT_EQ(register_in_process(registered, "old", 1), S_OK);
        const std::vector<std::string> before = registered.snapshot();
        {
            const gated_edits gated(failing);
            EXPECT_EQ(register_in_process(registered, "new", 2), E_ACCESSDENIED) << failing;
        }
        EXPECT_EQ(registered.snapshot(), before) << failing;
    }
    test_class complete;
    ASSERT_EQ(register_in_process(complete, "new", 2), S_OK);

    // A friendly name outside the process code page comes back unchanged.
    const std::wstring key(complete.clsid_key.begin(), complete.clsid_key.end());
    const std::wstring wide_name = L"\u2713 \u4e2d";
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, REG_SZ, wide_name.c_str(),
                                static_cast<DWORD>((wide_name.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    {
        const gated_edits gated(edits - 1);
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
    const gated_edits gated(edits - 1);
    EXPECT_EQ(tvcRegisterTovanXLComponent_proxy("kernel32.dll", component.clsid, component.libid, 1, 0,
                                                "new", component.version_independent_prog_id.c_str(),
                                                component.prog_id.c_str()),
              E_ACCESSDENIED);
    EXPECT_TRUE(component.nothing_written());
}

// A process ended after any number of registry edits of a registration or
// of the unregistration that follows it: the class registers again, under
// another friendly name (as a new version would), unregisters, and nothing is
// left. The same for what an earlier version's registration or
// unregistration left when ended part-way (the hand-made rows): ProgID keys
// without a CLSID subkey, holding only what the class writes there.
TEST(RegistrationCutShort, LeavesKeysTheClassRegistersAndRemovesAgain) {
    const auto unregister = [](const test_class &c) {
        return tvc::unregister_server(&c.clsid, c.version_independent_prog_id.c_str(), c.prog_id.c_str());
    };
    int edits = 0;
    {
        test_class counted;
        const gated_edits counting(-1);
        ASSERT_EQ(register_in_process(counted, "old", 1), S_OK);
        ASSERT_EQ(unregister(counted), S_OK);
        edits = counting.asked();
    }
    for (int stop = 0; stop < edits; ++stop) {
        test_class c;
        {
            const gated_edits stopped(stop, true);
            register_in_process(c, "old", 1);
            unregister(c);
            ASSERT_TRUE(stopped.refused()) << stop;
        }
        EXPECT_EQ(register_in_process(c, "name", 1), S_OK) << stop;
        EXPECT_EQ(unregister(c), S_OK) << stop;
        EXPECT_TRUE(c.nothing_written()) << stop;
    }

    const struct {
        const char *version_independent_default;
        bool cur_ver;
        const char *prog_id_default;
    } earlier[] = {{"name", false, nullptr}, {"name", true, "name"}, {nullptr, true, nullptr}};
    for (const auto &left : earlier) {
        test_class c;
        create_key(c.version_independent_prog_id, left.version_independent_default);
        if (left.cur_ver) create_key(c.version_independent_prog_id + "\\CurVer", c.prog_id.c_str());
        create_key(c.prog_id, left.prog_id_default);
        EXPECT_EQ(register_in_process(c, "name", 1), S_OK) << left.version_independent_default;
        EXPECT_EQ(unregister(c), S_OK);
        EXPECT_TRUE(c.nothing_written());
    }
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
