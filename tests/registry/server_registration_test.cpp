#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "registry/registry_test_support.h"
#include "support/null_reference_callers.h"
#include "tvcvrtrt/registration.h"

using namespace registry_test;

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

// What registration writes apart from the server key, with a friendly name.
std::vector<std::string> common_entries(const test_class &c, const std::string &version,
                                        const char *friendly_name) {
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
    };
    if (friendly_name != nullptr) {
        for (const std::string &key : {c.clsid_key, c.appid_key, vi, c.prog_id}) {
            lines.push_back(sz(key, nullptr, friendly_name));
        }
    }
    return lines;
}

std::vector<std::string> sorted(std::vector<std::string> lines) {
    std::sort(lines.begin(), lines.end());
    return lines;
}

HRESULT unregister_class(const test_class &c) {
    return tvcUnregisterServer_proxy(c.clsid, c.version_independent_prog_id.c_str(),
                                     c.prog_id.c_str());
}

// ProgIDs that are no key names: paths, each reaching into another class's
// keys (a lone backslash is left out: old faults made it name the root
// itself), and names longer than the registry's 255 characters.
std::vector<std::string> not_key_names(const test_class &other) {
    return {"CLSID\\" + other.clsid_text, "\\" + other.prog_id, other.prog_id + "\\CLSID",
            other.prog_id + std::string(256 - other.prog_id.size(), 'p'), std::string(2000, 'p')};
}

}  // namespace

TEST(ServerRegistration, InProcessServerWritesExactlyTheLayoutAndUnregistrationRemovesIt) {
    test_class c;
    ASSERT_EQ(register_class(c, library_name, 1, 0, "Test In-Process Server", "Apartment"), S_OK);

    std::vector<std::string> expected = common_entries(c, "1.0", "Test In-Process Server");
    expected.push_back(c.clsid_key + "\\InprocServer32");
    expected.push_back(sz(c.clsid_key + "\\InprocServer32", nullptr, library_path()));
    expected.push_back(sz(c.clsid_key + "\\InprocServer32", "ThreadingModel", "Apartment"));
    EXPECT_EQ(c.snapshot(), sorted(expected));

    EXPECT_EQ(unregister_class(c), S_OK);
    EXPECT_TRUE(c.nothing_written());
}

TEST(ServerRegistration, ExeNameRegistersLocalServerWithoutThreadingModel) {
    test_class c;
    ASSERT_EQ(register_class(c, own_file_name().c_str(), 65535, 2, "Test Local Server", "Both"), S_OK);

    std::vector<std::string> expected = common_entries(c, "65535.2", "Test Local Server");
    expected.push_back(c.clsid_key + "\\LocalServer32");
    expected.push_back(sz(c.clsid_key + "\\LocalServer32", nullptr, module_path(nullptr)));
    EXPECT_EQ(c.snapshot(), sorted(expected));
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

    std::vector<std::string> expected = common_entries(c, "3.14", nullptr);
    expected.push_back(c.clsid_key + "\\InprocServer32");
    expected.push_back(sz(c.clsid_key + "\\InprocServer32", nullptr, library_path()));
    EXPECT_EQ(c.snapshot(), sorted(expected));
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
    for (const char *bad : {static_cast<const char *>(nullptr), ""}) {
        EXPECT_EQ(tvcRegisterServer_proxy(library_name, c.clsid, c.libid, 1, 0, "n", bad, prog, "Both"),
                  E_INVALIDARG);
        EXPECT_EQ(tvcRegisterServer_proxy(library_name, c.clsid, c.libid, 1, 0, "n", vi, bad, "Both"),
                  E_INVALIDARG);
    }
    test_class other;
    ASSERT_EQ(register_class(other, library_name, 1, 0, "other", "Both"), S_OK);
    const std::vector<std::string> other_before = other.snapshot();
    for (const std::string &bad : not_key_names(other)) {
        EXPECT_EQ(tvcRegisterServer_proxy(library_name, c.clsid, c.libid, 1, 0, "n", bad.c_str(), prog,
                                          "Both"),
                  E_INVALIDARG) << bad;
        EXPECT_EQ(tvcRegisterServer_proxy(library_name, c.clsid, c.libid, 1, 0, "n", vi, bad.c_str(),
                                          "Both"),
                  E_INVALIDARG) << bad;
    }
    EXPECT_EQ(other.snapshot(), other_before);
    EXPECT_TRUE(c.nothing_written());

    // 255 characters is the registry's limit for a key name, so the call
    // goes ahead; but Wine 8's narrow registry functions stop near 260
    // characters, and "<prog_id>\\CLSID" (261) fails there after everything
    // else was written. What the call wrote is undone.
    test_class longest;
    longest.prog_id = longest.prog_id_base + std::string(255 - longest.prog_id_base.size(), 'p');
    longest.trees.add(longest.prog_id);
    EXPECT_EQ(register_class(longest, library_name, 1, 0, "n", "Both"), E_ACCESSDENIED);
    EXPECT_TRUE(longest.nothing_written());
}

TEST(ServerUnregistration, MissingTreesCountAsRemoved) {
    test_class never_registered;
    EXPECT_EQ(tvcUnregisterServer_proxy(never_registered.clsid,
                                        never_registered.version_independent_prog_id.c_str(),
                                        never_registered.prog_id.c_str()),
              S_OK);

    // ProgID keys gone, class keys (with entries added by others) still there.
    test_class c;
    ASSERT_EQ(register_class(c, library_name, 1, 0, "name", "Both"), S_OK);
    create_key(c.clsid_key + "\\Implemented Categories\\" + text_of(random_guid()));
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
    for (const char *bad : {static_cast<const char *>(nullptr), ""}) {
        EXPECT_EQ(tvcUnregisterServer_proxy(c.clsid, bad, prog), E_INVALIDARG);
        EXPECT_EQ(tvcUnregisterServer_proxy(c.clsid, vi, bad), E_INVALIDARG);
    }
    test_class other;
    ASSERT_EQ(register_class(other, library_name, 1, 0, "other", "Both"), S_OK);
    const std::vector<std::string> other_before = other.snapshot();
    for (const std::string &bad : not_key_names(other)) {
        EXPECT_EQ(tvcUnregisterServer_proxy(c.clsid, bad.c_str(), prog), E_INVALIDARG) << bad;
        EXPECT_EQ(tvcUnregisterServer_proxy(c.clsid, vi, bad.c_str()), E_INVALIDARG) << bad;
    }
    EXPECT_EQ(other.snapshot(), other_before);
    EXPECT_EQ(c.snapshot(), before);
}
