// The registry side of the component information query: versions, classes,
// the name filter and the results callers see, without loading any file.
#include <gtest/gtest.h>

#include <io.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "component_info/component_info_test_support.h"
#include "component_info/component_query.h"
#include "component_info/component_records.h"
#include "common/verbose.h"
#include "support/scratch_layout.h"

using namespace tvc_test;

namespace {

// "major.minor" of every record, space-separated.
std::string versions_of(const componentInfo *tree) {
    std::string text;
    for (const componentInfo *c = tree; c; c = c->next) {
        text += (text.empty() ? "" : " ") + std::to_string(c->major_version) + "." +
                std::to_string(c->minor_version);
    }
    return text;
}

// A class key with every value the query reads; a test changes one of them.
struct class_key {
    GUID clsid = tvc_test::random_guid();
    std::string key = "CLSID\\" + text_of(clsid);
    cleanup trees{key};

    class_key() {
        create_key(key, "Described class");
        create_key(key + "\\InprocServer32", "C:\\server.dll");
        create_key(key + "\\ProgID", "Tvc.Described.1");
        create_key(key + "\\VersionIndependentProgID", "Tvc.Described");
        create_key(key + "\\TypeLib", "{DDBDC4D4-69C3-4D61-A860-4447E2D2637F}");
        write_value(key + "\\TypeLib", "Version", "2.5");
    }
};

void write_bytes(const std::string &path, const char *name, const std::string &bytes, DWORD type = REG_SZ) {
    ASSERT_EQ(::RegSetKeyValueA(HKEY_CLASSES_ROOT, path.c_str(), name, type, bytes.data(),
                                static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
}

}  // namespace

TEST(ComponentQuery, VersionSelectorChoosesAmongRegisteredVersions) {
    struct {
        std::vector<std::string> versions;  // "-": without win64 path
        int major, minor;
        HRESULT result;
        const char *chosen;
    } const cases[] = {
        {{"1.0", "2.0"}, 0, 0, S_OK, "2.0"},
        // The highest as one (major, minor) pair.
        {{"1.5", "2.0"}, 0, 0, S_OK, "2.0"},
        {{"1.a", "2.0", "1.f"}, 0, 0, S_OK, "2.0"},
        // Names that are not versions are skipped, and do not end the list.
        {{"1.0", "abc", "65535.0", "1.10000", "1.0.0", "1", ".1", "1.", "1.x"}, -1, 0, S_OK, "1.0"},
        {{std::string(200, '0'), "1.0"}, -1, 0, S_OK, "1.0"},
        {{std::string(200, '0'), "1.0"}, 0, 0, S_OK, "1.0"},
        // Opened by the name as registered.
        {{"01.000F"}, 1, 15, S_OK, "1.15"},
        {{"0.9", "1.0", "2.0", "not-a-version"}, -1, 0, S_OK, "1.0 2.0"},
        {{"1.0", "2.0"}, 2, -4, S_OK, "2.0"},
        {{"1.0", "2.0"}, 2, 1, S_OK, ""},
        {{"1.0", "ffff.0"}, 70000, 0, S_OK, "65535.0"},
        // Key names are hexadecimal, as the platform's registration writes them.
        {{"1.9", "1.a"}, -1, 0, S_OK, "1.9 1.10"},
        {{"1.9", "1.a"}, 1, 10, S_OK, "1.10"},
        {{"1.0", "2.0-"}, -1, 0, E_FAIL, ""},
        {{"1.0", "2.0-"}, 1, 0, S_OK, "1.0"},
    };
    for (const auto &c : cases) {
        registered_library library(c.versions, "C:\\library.tlb");
        answer found;
        found.tree = reinterpret_cast<componentInfo *>(1);  // must be overwritten
        EXPECT_EQ(tvcGetLIBIDInfo_proxy(library.libid_text.c_str(), c.major, c.minor, 0, &found.tree),
                  c.result)
            << c.major << "." << c.minor << " over " << c.versions.back();
        EXPECT_EQ(versions_of(found.tree), c.chosen) << c.major << "." << c.minor;
    }
}

TEST(ComponentQuery, RecordCarriesTheRegistryTextsAndNoClassesWithoutLoading) {
    registered_library library({"4.2"}, "C:\\Program Files\\Tovan\\component.tlb");
    answer found;
    ASSERT_EQ(tvcGetLIBIDInfo_proxy(library.libid_text.c_str(), 4, 2, 0, &found.tree), S_OK);
    ASSERT_NE(found.tree, nullptr);
    EXPECT_STREQ(found.tree->name, "Library 4.2");
    EXPECT_EQ(found.tree->libid, library.libid_text);
    EXPECT_STREQ(found.tree->type_lib_path, "C:\\Program Files\\Tovan\\component.tlb");
    EXPECT_EQ(found.tree->classes, nullptr);
    EXPECT_EQ(found.tree->interfaces, nullptr);
    EXPECT_EQ(found.tree->next, nullptr);
    // The finder compares the text exactly: another case is another LIBID.
    std::string lower = library.libid_text;
    for (char &c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(tvc::find_component_by_libid(&found.tree, library.libid_text.c_str()), &found.tree);
    EXPECT_EQ(tvc::find_component_by_libid(&found.tree, lower.c_str()), &found.tree->next);
}

TEST(ComponentQuery, UnusableLibidsAndAddressesAreRefused) {
    registered_library library({"1.0"}, "C:\\library.tlb");
    const std::string unregistered = text_of(tvc_test::random_guid());
    struct {
        const char *libid;
        HRESULT result;
    } const cases[] = {
        {unregistered.c_str(), E_FAIL},
        {nullptr, E_INVALIDARG},
        {"", E_INVALIDARG},
        {"{DDBDC4D4-69C3-4D61-A860-4447E2D2637F}x", E_INVALIDARG},  // 39 characters
        {"{DDBDC4D4-69C3-4D61-A860}\\1.0", E_INVALIDARG},             // a path, not a key name
    };
    for (const auto &c : cases) {
        answer found;
        found.tree = reinterpret_cast<componentInfo *>(1);
        EXPECT_EQ(tvcGetLIBIDInfo_proxy(c.libid, -1, 0, 0, &found.tree), c.result) << (c.libid ? c.libid : "null");
        EXPECT_EQ(found.tree, nullptr);
    }
    EXPECT_EQ(tvcGetLIBIDInfo_proxy(library.libid_text.c_str(), -1, 0, 0, nullptr), E_INVALIDARG);
    EXPECT_EQ(tvcGetComponentInfo_proxy(nullptr, -1, 0, 0, 3, nullptr), E_INVALIDARG);

    tvcFreeComponentInfo_proxy(nullptr);
    componentInfo *empty = nullptr;
    tvcFreeComponentInfo_proxy(&empty);
    EXPECT_EQ(empty, nullptr);
}

TEST(ComponentQuery, NameFilterTakesTheExactFirstProgIdPieceOncePerLibrary) {
    const std::string name = "TvcQuery" + tvc_test::unique_name("x").substr(2);
    registered_library shared({"1.0"}, "C:\\shared.tlb"), longer({"1.0"}, "C:\\longer.tlb"),
        other_case({"1.0"}, "C:\\other_case.tlb");
    registered_class first(tvc_test::random_guid(), name + ".First", shared.libid, 1, 0);
    registered_class second(tvc_test::random_guid(), name + ".Second", shared.libid, 1, 0);
    registered_class prefixed(tvc_test::random_guid(), name + "x.Third", longer.libid, 1, 0);
    std::string lower = name;
    for (char &c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    registered_class lowered(tvc_test::random_guid(), lower + ".Fourth", other_case.libid, 1, 0);

    answer found;
    ASSERT_EQ(tvcGetComponentInfo_proxy(name.c_str(), -1, 0, 0, TVC_COM_COMPONENTS_CATEGORY, &found.tree),
              S_OK);
    ASSERT_NE(found.tree, nullptr);
    EXPECT_EQ(found.tree->libid, shared.libid_text);
    EXPECT_EQ(found.tree->next, nullptr);

    // Each category asked on its own: the Excel category's classes, then the
    // COM category's not yet seen.
    registered_library both({"1.0"}, "C:\\both.tlb");
    registered_class in_both(tvc_test::random_guid(), name + ".Fifth", both.libid, 1, 0, 3);
    const std::string library = " 1.0 'Library 1.0'\n";
    answer all, excel, none;
    ASSERT_EQ(tvcGetComponentInfo_proxy(name.c_str(), -1, 0, 0, 3, &all.tree), S_OK);
    EXPECT_EQ(describe(all.tree), "component " + both.libid_text + library + "component " + shared.libid_text + library);
    ASSERT_EQ(tvcGetComponentInfo_proxy(name.c_str(), -1, 0, 0, TVC_XL_COMPONENTS_CATEGORY, &excel.tree), S_OK);
    EXPECT_EQ(describe(excel.tree), "component " + both.libid_text + library);
    EXPECT_EQ(tvcGetComponentInfo_proxy((name + "Missing").c_str(), -1, 0, 0, 3, &none.tree), S_OK);
    EXPECT_EQ(none.tree, nullptr);
}

TEST(ComponentQuery, ClassRegistrationIsReadIntoTerminatedFields) {
    {
        class_key c;
        tvc::record_list<classInfo> read;
        ASSERT_EQ(tvc::read_class_registration(c.clsid, read.slot()), S_OK);
        ASSERT_NE(read.get(), nullptr);
        const classInfo &k = *read.get();
        EXPECT_STREQ(k.description, "Described class");
        EXPECT_STREQ(k.server_path, "C:\\server.dll");
        EXPECT_STREQ(k.prog_id, "Tvc.Described.1");
        EXPECT_STREQ(k.version_independent_prog_id, "Tvc.Described");
        EXPECT_EQ(k.clsid, text_of(c.clsid));
        EXPECT_STREQ(k.libid, "{DDBDC4D4-69C3-4D61-A860-4447E2D2637F}");
        EXPECT_EQ(k.type_lib_major, 2);
        EXPECT_EQ(k.type_lib_minor, 5);
    }
    // Values stored without their NUL end inside the field; one that leaves
    // no room for a NUL is too long for it.
    using field_text = std::string (*)(const classInfo &);
    const field_text description = [](const classInfo &k) { return std::string(k.description); };
    const field_text libid = [](const classInfo &k) { return std::string(k.libid); };
    const field_text version = [](const classInfo &k) {
        return std::to_string(k.type_lib_major) + "." + std::to_string(k.type_lib_minor);
    };
    const std::string libid_text = "{DDBDC4D4-69C3-4D61-A860-4447E2D2637F}";
    struct {
        const char *sub_key;
        const char *value_name;
        std::string bytes;
        LONG result;
        field_text read_back;
        std::string expected;
        DWORD type = REG_SZ;  // only string values are text
    } const cases[] = {
        {"", nullptr, std::string(255, 'd'), ERROR_SUCCESS, description, std::string(255, 'd')},
        {"", nullptr, std::string(256, 'd'), ERROR_MORE_DATA, nullptr, ""},
        {"", nullptr, std::string(255, 'd') + '\0', ERROR_SUCCESS, description, std::string(255, 'd')},
        {"\\TypeLib", nullptr, libid_text, ERROR_SUCCESS, libid, libid_text},
        {"\\TypeLib", nullptr, libid_text + "xx", ERROR_MORE_DATA, nullptr, ""},
        {"\\TypeLib", "Version", "7.3", ERROR_SUCCESS, version, "7.3"},
        {"", nullptr, "ABCD", ERROR_INVALID_DATATYPE, nullptr, "", REG_DWORD},
        {"", nullptr, std::string("a\0b\0", 5), ERROR_INVALID_DATATYPE, nullptr, "", REG_MULTI_SZ},
        {"\\TypeLib", "Version", "7.3", ERROR_INVALID_DATATYPE, nullptr, "", REG_BINARY},
        {"", nullptr, "%SystemRoot%", ERROR_SUCCESS, description, "%SystemRoot%", REG_EXPAND_SZ},
    };
    for (const auto &c : cases) {
        class_key key;
        write_bytes(key.key + c.sub_key, c.value_name, c.bytes, c.type);
        tvc::record_list<classInfo> read;
        const HRESULT expected = c.result == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(c.result);
        EXPECT_EQ(tvc::read_class_registration(key.clsid, read.slot()), expected) << c.bytes.size();
        ASSERT_EQ(read.get() != nullptr, c.read_back != nullptr) << c.bytes.size();
        if (c.read_back != nullptr) {
            EXPECT_EQ(c.read_back(*read.get()), c.expected) << c.bytes.size();
        }
    }
}

TEST(ComponentQuery, IncompleteClassRegistrationsAreNotRead) {
    class_key local_server, without_version;
    ::RegDeleteTreeA(HKEY_CLASSES_ROOT, (local_server.key + "\\InprocServer32").c_str());
    create_key(local_server.key + "\\LocalServer32", "C:\\server.exe");
    ASSERT_EQ(::RegDeleteKeyValueA(HKEY_CLASSES_ROOT, (without_version.key + "\\TypeLib").c_str(), "Version"),
              ERROR_SUCCESS);

    tvc::record_list<classInfo> read;
    EXPECT_EQ(tvc::read_class_registration(local_server.clsid, read.slot()), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(tvc::read_class_registration(without_version.clsid, read.slot()), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(tvc::read_class_registration(tvc_test::random_guid(), read.slot()), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(read.get(), nullptr);
    EXPECT_EQ(tvc::read_class_registration(local_server.clsid, nullptr), E_INVALIDARG);
    EXPECT_EQ(tvc::read_interface_registration(local_server.clsid, nullptr), E_INVALIDARG);
}

TEST(ComponentQuery, InterfaceVersionIsReadAsTheSystemWritesIt) {
    cleanup trees;
    const GUID iid = tvc_test::random_guid();
    register_interface(trees, iid, "IHexadecimal", "{DDBDC4D4-69C3-4D61-A860-4447E2D2637F}", "1.a");
    tvc::record_list<interfaceInfo> read;
    ASSERT_EQ(tvc::read_interface_registration(iid, read.slot()), S_OK);
    EXPECT_STREQ(read.get()->name, "IHexadecimal");
    EXPECT_EQ(read.get()->iid, text_of(iid));
    EXPECT_EQ(read.get()->type_lib_major, 1);
    EXPECT_EQ(read.get()->type_lib_minor, 10);
}

TEST(ComponentQuery, VersionTextsSplitAtTheFirstDot) {
    struct {
        const char *text;
        unsigned short major, minor;
    } const cases[] = {
        {"1.0", 1, 0},   {"..2.5", 2, 5}, {"3", 3, 0},         {"4.", 4, 0},      {"1.2.3", 1, 2},
        {"1..5", 1, 0},  {"x.y", 0, 0},   {"", 0, 0},          {"70000.1", 65535, 1},
        {"65537.2", 65535, 2}, {"-3.99999", 0, 65535},
    };
    for (const auto &c : cases) {
        const tvc::type_library_version version = tvc::parse_version(c.text);
        EXPECT_EQ(version.major, c.major) << c.text;
        EXPECT_EQ(version.minor, c.minor) << c.text;
    }
    const tvc::type_library_version key = tvc::parse_version("1f.a", 16);
    EXPECT_EQ(key.major, 31);
    EXPECT_EQ(key.minor, 10);
    EXPECT_EQ(tvc::parse_version("10000.0", 16).major, 65535);
}

// The exports answer E_FAIL for any registry or file trouble; under
// TVCVRTRT_VERBOSE each failure point says what failed and its cause.
TEST(ComponentQuery, FailuresTellTheirCauseWhenVerbose) {
    registered_library unregistered_path({"1.0-"}, "");
    registered_library missing_file({"1.0"}, "C:\\tvc-no-such-dir\\missing.tlb");
    registered_library relative_path({"1.0"}, "missing.tlb");
    const std::string absent = "TypeLib\\" + text_of(tvc_test::random_guid());
    struct {
        std::string libid;
        std::string line;
    } const cases[] = {
        {absent.substr(8), "Component query: " + absent + " cannot be opened: 0x80070002\n"},
        {unregistered_path.libid_text,
         "Component query: " + unregistered_path.key + "\\1.0\\0\\win64: its 64-bit path cannot be read: 0x80070002\n"},
        {missing_file.libid_text, "Component query: type library \"C:\\tvc-no-such-dir\\missing.tlb\" does not load: 0x"},
        {relative_path.libid_text,
         "Component query: type library \"missing.tlb\": not an absolute path, not loaded: 0x80004005\n"},
    };
    tvc_test::scratch_layout layout;
    const std::string captured = layout.dir() + "stdout.txt";
    for (const auto &c : cases) {
        std::fflush(stdout);
        const int kept = _dup(_fileno(stdout));
        ASSERT_NE(std::freopen(captured.c_str(), "w", stdout), nullptr);
        tvc::verbose = true;
        answer found;
        const HRESULT result = tvcGetLIBIDInfo_proxy(c.libid.c_str(), 1, 0, 1, &found.tree);
        tvc::verbose = false;
        std::fflush(stdout);
        _dup2(kept, _fileno(stdout));
        _close(kept);
        EXPECT_EQ(result, E_FAIL) << c.line;
        std::ifstream in(captured);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(text.substr(0, c.line.size()), c.line);
    }
}
