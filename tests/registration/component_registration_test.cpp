#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/registry_test_support.h"
#include "support/null_reference_callers.h"
#include "tvcvrtrt/registration.h"

using namespace tvc_test;

namespace {

const char library_name[] = "tvcvrtrt7_17.dll";
const std::string com_category_key = "Component Categories\\{74D52C72-7A9B-47AB-BFBE-93C1C1A545BD}";
const std::string xl_category_key = "Component Categories\\{B57E6FA9-836F-456F-A3B1-494863670854}";
const char com_description[] = "Tovan COM Fabrix Components";
const char xl_description[] = "Tovan Excel Fabrix Components";

// The two category keys are shared by every registration in the prefix: a
// test may delete or change them, and this puts back what was there.
class category_key_guard {
public:
    explicit category_key_guard(std::string key)
        : key_(std::move(key)), existed_(key_exists(key_)), description_(read_value(key_, "409")) {}
    category_key_guard(const category_key_guard &) = delete;
    category_key_guard &operator=(const category_key_guard &) = delete;
    ~category_key_guard() {
        ::RegDeleteTreeA(HKEY_CLASSES_ROOT, key_.c_str());
        if (existed_) write_value(key_, "409", description_.found ? description_.text.c_str() : nullptr);
    }

private:
    std::string key_;
    bool existed_;
    stored_value description_;
};

class ComponentRegistration : public ::testing::Test {
protected:
    static void remove_categories() {
        ::RegDeleteTreeA(HKEY_CLASSES_ROOT, com_category_key.c_str());
        ::RegDeleteTreeA(HKEY_CLASSES_ROOT, xl_category_key.c_str());
        ASSERT_FALSE(key_exists(com_category_key) || key_exists(xl_category_key));
    }

    // One export of each kind for the class c, under its own ProgIDs.
    template <auto Export> static HRESULT register_as(const test_class &c) {
        return Export(library_name, c.clsid, c.libid, 1, 0, "Component", c.version_independent_prog_id.c_str(),
                      c.prog_id.c_str());
    }
    template <auto Export> static HRESULT unregister_as(const test_class &c) {
        return Export(c.clsid, c.version_independent_prog_id.c_str(), c.prog_id.c_str());
    }
    static constexpr auto register_com = register_as<tvcRegisterTovanCOMComponent_proxy>;
    static constexpr auto register_xl = register_as<tvcRegisterTovanXLComponent_proxy>;
    static constexpr auto unregister_com = unregister_as<tvcUnRegisterTovanCOMComponent_proxy>;
    static constexpr auto unregister_xl = unregister_as<tvcUnRegisterTovanXLComponent_proxy>;

    static std::string membership(const test_class &c, const std::string &category_key) {
        return c.clsid_key + "\\Implemented Categories\\" +
               category_key.substr(category_key.find('{'));
    }

    category_key_guard com_guard_{com_category_key};
    category_key_guard xl_guard_{xl_category_key};
};

}  // namespace

TEST_F(ComponentRegistration, FirstRegistrationCreatesTheCategoryThenTheServerAndMembership) {
    remove_categories();
    test_class com, xl;

    ASSERT_EQ(register_com(com), S_OK);
    EXPECT_EQ(read_value(com_category_key, "409").text, com_description);
    EXPECT_FALSE(key_exists(xl_category_key));
    EXPECT_TRUE(key_exists(membership(com, com_category_key)));
    EXPECT_EQ(read_value(com.clsid_key + "\\InprocServer32", "ThreadingModel").text, "Both");
    EXPECT_EQ(read_value(com.prog_id + "\\CLSID", nullptr).text, com.clsid_text);

    ASSERT_EQ(register_xl(xl), S_OK);
    EXPECT_EQ(read_value(xl_category_key, "409").text, xl_description);
    EXPECT_TRUE(key_exists(membership(xl, xl_category_key)));
    EXPECT_FALSE(key_exists(membership(xl, com_category_key)));

    EXPECT_EQ(unregister_com(com), S_OK);
    EXPECT_EQ(unregister_xl(xl), S_OK);
    EXPECT_TRUE(com.nothing_written());
    EXPECT_TRUE(xl.nothing_written());
    // Categories outlive their members.
    EXPECT_TRUE(key_exists(com_category_key));
    EXPECT_TRUE(key_exists(xl_category_key));
}

TEST_F(ComponentRegistration, ExistingCategoryIsNotRegisteredAgain) {
    remove_categories();
    write_value(com_category_key, "409", "description set by the test");
    test_class c;
    ASSERT_EQ(register_com(c), S_OK);
    EXPECT_EQ(read_value(com_category_key, "409").text, "description set by the test");
    EXPECT_TRUE(key_exists(membership(c, com_category_key)));
}

TEST_F(ComponentRegistration, OneClassCanBeAComponentOfBothKinds) {
    test_class c;
    ASSERT_EQ(register_com(c), S_OK);
    ASSERT_EQ(register_xl(c), S_OK);
    EXPECT_TRUE(key_exists(membership(c, com_category_key)));
    EXPECT_TRUE(key_exists(membership(c, xl_category_key)));
    EXPECT_EQ(unregister_xl(c), S_OK);
    EXPECT_EQ(unregister_com(c), S_OK);
    EXPECT_TRUE(c.nothing_written());
}

TEST_F(ComponentRegistration, CallingThreadLeavesInTheComStateItCameIn) {
    struct outcome {
        HRESULT registered = E_FAIL, unregistered = E_FAIL, probe = E_FAIL;
    };
    // model 0 (apartment) or multithreaded; initialize false leaves COM alone.
    auto run = [](bool initialize, DWORD model) {
        outcome result;
        std::thread([&result, initialize, model] {
            if (initialize) ::CoInitializeEx(nullptr, model);
            test_class c;
            result.registered = register_com(c);
            result.unregistered = unregister_com(c);
            // S_OK: COM was not initialized any more; S_FALSE: it still was.
            result.probe = ::CoInitializeEx(nullptr, model);
            if (SUCCEEDED(result.probe)) ::CoUninitialize();
            if (initialize) ::CoUninitialize();
        }).join();
        return result;
    };

    // With the category missing, both the category and the membership calls
    // go through a COM initialization of their own.
    remove_categories();
    const outcome uninitialized = run(false, COINIT_APARTMENTTHREADED);
    EXPECT_EQ(uninitialized.registered, S_OK);
    EXPECT_EQ(uninitialized.unregistered, S_OK);
    EXPECT_EQ(uninitialized.probe, S_OK);
    EXPECT_TRUE(key_exists(com_category_key));

    for (DWORD model : {DWORD{COINIT_APARTMENTTHREADED}, DWORD{COINIT_MULTITHREADED}}) {
        const outcome initialized = run(true, model);
        EXPECT_EQ(initialized.registered, S_OK) << model;
        EXPECT_EQ(initialized.unregistered, S_OK) << model;
        EXPECT_EQ(initialized.probe, S_FALSE) << model;
    }
}

TEST_F(ComponentRegistration, FailedServerRegistrationKeepsTheCategoryButAddsNoMember) {
    remove_categories();
    test_class c;
    EXPECT_EQ(tvcRegisterTovanCOMComponent_proxy("tvc-module-never-loaded.dll", c.clsid, c.libid, 1,
                                                 0, "Component", c.version_independent_prog_id.c_str(),
                                                 c.prog_id.c_str()),
              E_FAIL);
    EXPECT_TRUE(key_exists(com_category_key));
    EXPECT_TRUE(c.nothing_written());
}

TEST_F(ComponentRegistration, UnregisteringAClassNeverRegisteredSucceeds) {
    // The manager refuses to remove a membership it does not know (E_FAIL
    // under Wine 8); the server unregistration's result is what counts.
    test_class c;
    EXPECT_EQ(unregister_com(c), S_OK);
    EXPECT_EQ(unregister_xl(c), S_OK);
    EXPECT_TRUE(c.nothing_written());
}

TEST_F(ComponentRegistration, InvalidArgumentsAreRefusedBeforeAnythingIsDone) {
    remove_categories();
    test_class c;
    EXPECT_EQ(register_com_component_without_clsid(library_name, &c.libid,
                                                   c.version_independent_prog_id.c_str(),
                                                   c.prog_id.c_str()),
              E_INVALIDARG);
    EXPECT_EQ(tvcRegisterTovanXLComponent_proxy(library_name, c.clsid, c.libid, 1, 0, "Component",
                                                c.version_independent_prog_id.c_str(), ""),
              E_INVALIDARG);
    // A key of another owner under a ProgID's name (here a file type).
    const std::string file_type = unique_name("InvalidArgumentsAreRefused") + "File";
    cleanup file_type_removal{file_type};
    create_key(file_type + "\\shell\\open\\command", "canary.exe \"%1\"");
    EXPECT_EQ(tvcRegisterTovanXLComponent_proxy(library_name, c.clsid, c.libid, 1, 0, "Component",
                                                file_type.c_str(), c.prog_id.c_str()),
              HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(key_exists(com_category_key) || key_exists(xl_category_key));
    EXPECT_TRUE(c.nothing_written());

    ASSERT_EQ(register_xl(c), S_OK);
    EXPECT_EQ(unregister_xl_component_without_clsid(c.version_independent_prog_id.c_str(),
                                                    c.prog_id.c_str()),
              E_INVALIDARG);
    EXPECT_EQ(tvcUnRegisterTovanXLComponent_proxy(c.clsid, nullptr, c.prog_id.c_str()), E_INVALIDARG);
    // A ProgID is one key name; as a path it would reach another class's keys.
    const std::string path_prog_id = "CLSID\\" + c.clsid_text;
    EXPECT_EQ(tvcUnRegisterTovanCOMComponent_proxy(c.clsid, c.version_independent_prog_id.c_str(),
                                                   path_prog_id.c_str()),
              E_INVALIDARG);
    test_class other;
    EXPECT_EQ(tvcRegisterTovanCOMComponent_proxy(library_name, other.clsid, other.libid, 1, 0, "Intruder",
                                                 other.version_independent_prog_id.c_str(),
                                                 path_prog_id.c_str()),
              E_INVALIDARG);
    EXPECT_TRUE(other.nothing_written());
    EXPECT_TRUE(key_exists(membership(c, xl_category_key)));
    EXPECT_TRUE(key_exists(c.prog_id));
    EXPECT_EQ(read_value(c.clsid_key, nullptr).text, "Component");
}

// ---- ProgIDs that name whole trees (structural keys of the root in any
// case, "*", a file extension) are refused by every export before anything
// is done. The shared keys are watched through canary keys of the test's own.
TEST_F(ComponentRegistration, ProgIDsNamingWholeTreesAreRefusedByEveryExport) {
    test_class c;
    const std::string extension = "." + unique_name("tvc"), canary = "\\" + unique_name("TvcCanary");
    std::vector<std::string> names{extension}, canaries{extension};
    for (const char *key : {"CLSID", "appid", "Interface", "TYPELIB", "Component Categories", "Record", "Licenses",
                            "MIME", "Directory", "Drive", "Folder", "AllFilesystemObjects",
                            "SystemFileAssociations", "Unknown", "Wow6432Node", "*"}) {
        names.push_back(key);
        canaries.push_back(key + canary);
    }
    cleanup removal;
    std::vector<std::string> before;
    for (const std::string &key : canaries) {
        create_key(key, "canary");
        removal.add(key);
        collect_tree(key, before);
    }
    const char *vi = c.version_independent_prog_id.c_str();
    for (const std::string &name : names) {
        const char *bad = name.c_str();
        EXPECT_EQ(tvcRegisterServer_proxy(library_name, c.clsid, c.libid, 1, 0, "n", bad, vi, "Both"), E_INVALIDARG) << bad;
        EXPECT_EQ(tvcUnregisterServer_proxy(c.clsid, vi, bad), E_INVALIDARG) << bad;
        EXPECT_EQ(tvcRegisterTovanCOMComponent_proxy(library_name, c.clsid, c.libid, 1, 0, "n", vi, bad), E_INVALIDARG) << bad;
        EXPECT_EQ(tvcRegisterTovanXLComponent_proxy(library_name, c.clsid, c.libid, 1, 0, "n", bad, vi), E_INVALIDARG) << bad;
        EXPECT_EQ(tvcUnRegisterTovanCOMComponent_proxy(c.clsid, bad, vi), E_INVALIDARG) << bad;
        EXPECT_EQ(tvcUnRegisterTovanXLComponent_proxy(c.clsid, vi, bad), E_INVALIDARG) << bad;
    }
    std::vector<std::string> after;
    for (const std::string &key : canaries) collect_tree(key, after);
    EXPECT_EQ(after, before);
    EXPECT_TRUE(c.nothing_written());
}
