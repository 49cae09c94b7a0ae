// The walk over the compiled fixture library, loaded through the system's
// OLE Automation: the dual interface is seen through its dispatch view, which
// lists the seven IUnknown/IDispatch members and folds [out, retval] into the
// result. Entries where Wine 8's type library answers otherwise than its
// documentation are marked beside them.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/scratch_layout.h"
#include "component_info/component_info_test_support.h"
#include "common/code_page_text.h"
#include "component_info/component_query.h"
#include "component_info/component_records.h"
#include "support/start_gate.h"

using namespace tvc_test;
using Microsoft::WRL::ComPtr;

namespace {

std::string replace_all(std::string text, const std::string &from, const std::string &to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// The fixture as one version describes it; @N is the run's component name.
// TwoFaced lists the members of both its incoming interfaces and the events
// of both its source interfaces, each with its own IID.
std::string expected_fixture_tree(const registered_fixture &fixture, const char *registry_version) {
    const std::string methods = R"(    method Reset id=1 params=0 returns=24/0 iid=@W
    method Scale id=2 params=1 returns=3/0 iid=@W
      param factor type=3/0 flags=0x1
    method Swap id=3 params=2 returns=24/0 iid=@W
      param count type=3/1 flags=0x3
      param label type=8/2 flags=0x3
    method invoke id=4 params=1 returns=24/0 iid=@W
      param raw type=24/1 flags=0x1
    method Refresh id=8 params=0 returns=24/0 iid=@W
)"  // Wine 8: the IDL's refresh([in] long depth), id(9), comes back with member
    // id 8, so GetNames answers with Refresh's name and no parameter name.
    R"(    method Refresh id=8 params=0 returns=24/0 iid=@W
    event Changed id=1 params=1 returns=24/0 iid={051A6D71-A483-4EA3-95EB-100F0424253B}
)"  // The IDL's "size": the name table is case-insensitive and keeps the first spelling.
    R"(      param Size type=3/0 flags=0x1
    event Closed id=2 params=0 returns=24/0 iid={051A6D71-A483-4EA3-95EB-100F0424253B}
)";
    const std::string properties = R"(    property Size id=5 iid=@W
      get Size id=5 params=0 returns=3/0 iid=@W
    property Target id=6 iid=@W
      get Target id=6 params=0 returns=12/0 iid=@W
      set Target id=6 params=1 returns=24/0 iid=@W
      param slot type=3/0 flags=0x1
)";
    const std::string tree = "component {DDBDC4D4-69C3-4D61-A860-4447E2D2637F} 3.1 'Walk fixture @V'\n"
        "  class {751AB421-9AA4-4C21-BD1E-85E536E65B1C} '@N.Widget' @N.Widget lib=@L 3.1\n" + methods +
        properties + "  class {8D6FC3F5-C1EC-4341-82B7-67A6BE596BC6} '@N.TwoFaced' @N.TwoFaced lib=@L 3.1\n" +
        methods + R"(    event ModeChanged id=1 params=0 returns=24/0 iid={5B0A4E9C-3F1D-4C7A-9E2B-8D6C1A0F3E47}
)" + properties + R"(    property Mode id=1 iid={9648AC61-7F40-428F-B810-669E96DCE697}
      get Mode id=1 params=0 returns=3/0 iid={9648AC61-7F40-428F-B810-669E96DCE697}
      set Mode id=1 params=0 returns=24/0 iid={9648AC61-7F40-428F-B810-669E96DCE697}
  interface {1358E667-6A71-4C7E-9B8F-6595E97ECC74} 'IFixtureWidget' lib=@L 3.1
  interface {9648AC61-7F40-428F-B810-669E96DCE697} 'IFixtureSettings' lib=@L 3.1
  interface {3E8F960E-2879-4A99-9DEC-CF2E8B423ACC} 'IFixtureOther' lib=@L 3.1
  interface {051A6D71-A483-4EA3-95EB-100F0424253B} 'DFixtureWidgetEvents' lib=@L 3.1
)";
    std::string text = replace_all(tree, "@N", fixture.component);
    text = replace_all(text, "@W", "{1358E667-6A71-4C7E-9B8F-6595E97ECC74}");
    text = replace_all(text, "@L", fixture.libid_text);
    return replace_all(text, "@V", registry_version);
}

// Text in the process code page, widened as the library widens a path.
std::wstring widened(const std::string &text) {
    std::wstring wide(text.size(), L'\0');  // never more characters than bytes
    const int size = static_cast<int>(text.size());
    wide.resize(::MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), size));
    return wide;
}

ComPtr<ITypeLib> load_library(const std::string &path) {
    ComPtr<ITypeLib> library;
    ::LoadTypeLibEx(widened(path).c_str(), REGKIND_NONE, library.GetAddressOf());
    return library;
}

// One type of the fixture library; null when the library or the type is missing.
ComPtr<ITypeInfo> fixture_type_info(const GUID &guid) {
    ComPtr<ITypeInfo> info;
    ComPtr<ITypeLib> library = load_library(fixture_library_path());
    if (library) library->GetTypeInfoOfGuid(guid, info.GetAddressOf());
    return info;
}

ULONG references(IUnknown *object) {
    object->AddRef();
    return object->Release();
}

}  // namespace

TEST(TypeLibraryWalk, DescribesRegisteredClassesMembersAndInterfacesOfTheFile) {
    registered_fixture fixture;
    answer found;
    // Version 1.0 of the registry names the same file: the file's own 3.1 wins.
    ASSERT_EQ(tvcGetLIBIDInfo_proxy(fixture.libid_text.c_str(), 1, 0, 1, &found.tree), S_OK);
    EXPECT_EQ(describe(found.tree), expected_fixture_tree(fixture, "1.0"));
}

// Each member keeps its own id; the fixture's names lead a lookup back to
// their own member (Wine 8 also for "invoke", which differs from
// IDispatch's "Invoke" only in case), so the lookup agrees with every id.
TEST(TypeLibraryWalk, MemberIdsAreWhatGetIDsOfNamesAnswers) {
    registered_fixture fixture;
    answer found;
    ASSERT_EQ(tvcGetLIBIDInfo_proxy(fixture.libid_text.c_str(), 3, 1, 1, &found.tree), S_OK);
    ASSERT_NE(found.tree, nullptr);

    int checked = 0;
    auto check = [&](const methodInfo *method) {
        GUID iid = {};
        ASSERT_EQ(tvcGUIDFromString_proxy(method->iid, &iid), 1);
        ComPtr<ITypeInfo> info = fixture_type_info(iid);
        ASSERT_TRUE(info);
        std::wstring name = widened(method->name);
        LPOLESTR names[] = {name.data()};
        MEMBERID id = MEMBERID_NIL;
        ASSERT_EQ(info->GetIDsOfNames(names, 1, &id), S_OK) << method->name;
        EXPECT_EQ(method->member_id, id) << method->name;
        ++checked;
    };
    for (const classInfo *c = found.tree->classes; c; c = c->next) {
        for (const methodInfo *m = c->methods; m; m = m->next) check(m);
        for (const methodInfo *m = c->events; m; m = m->next) check(m);
        for (const propertyInfo *p = c->properties; p; p = p->next) {
            if (p->getter) check(p->getter);
            if (p->setter) check(p->setter);
            EXPECT_EQ(p->member_id, (p->getter ? p->getter : p->setter)->member_id) << p->name;
        }
    }
    EXPECT_EQ(checked, 25);
}

TEST(TypeLibraryWalk, CustomInterfaceKeepsItsResultAndRetvalParameter) {
    ComPtr<ITypeInfo> other = fixture_type_info(other_iid);
    ASSERT_TRUE(other);

    tvc::record_list<methodInfo> methods;
    ASSERT_EQ(tvc::walk_methods(other.Get(), methods.slot()), S_OK);
    std::string text;
    for (const methodInfo *m = methods.get(); m; m = m->next) describe_method(text, "method", m);
    EXPECT_EQ(text, "    method Ping id=1610678272 params=2 returns=25/0 iid={3E8F960E-2879-4A99-9DEC-CF2E8B423ACC}\n"
                    "      param value type=2/0 flags=0x1\n      param echo type=3/1 flags=0xa\n");

    // No properties: the walk succeeds and leaves its slot empty.
    tvc::record_list<propertyInfo> properties;
    EXPECT_EQ(tvc::walk_properties(other.Get(), properties.slot()), S_OK);
    EXPECT_EQ(properties.get(), nullptr);
}

TEST(TypeLibraryWalk, TypeReductionFollowsPointersThatHaveATarget) {
    TYPEDESC i4 = {}, bstr = {}, to_bstr = {}, user = {}, cycle = {};
    i4.vt = VT_I4;
    bstr.vt = VT_BSTR;
    to_bstr.vt = VT_PTR;
    to_bstr.lptdesc = &bstr;
    user.vt = VT_USERDEFINED;
    cycle.vt = VT_PTR;  // what a damaged file's type table can describe
    cycle.lptdesc = &cycle;
    struct {
        VARTYPE vt;
        TYPEDESC *target;
        VARTYPE type;
        int indirection;
    } const cases[] = {
        {VT_I4, nullptr, VT_I4, 0},          {VT_PTR, &i4, VT_I4, 1},
        {VT_PTR, &to_bstr, VT_BSTR, 2},      {VT_PTR, nullptr, VT_PTR, 0},
        {VT_PTR, &user, VT_USERDEFINED, 1},  {VT_SAFEARRAY, &i4, VT_SAFEARRAY, 0},
        {VT_PTR, &cycle, VT_PTR, 0},
    };
    for (const auto &c : cases) {
        TYPEDESC description = {};
        description.vt = c.vt;
        description.lptdesc = c.target;
        const tvc::reduced_type reduced = tvc::reduce_type(description);
        EXPECT_EQ(reduced.type, c.type) << c.vt;
        EXPECT_EQ(reduced.indirection, c.indirection) << c.vt;
    }
}

// Names are narrowed in the process code page (1252 in the test prefix).
TEST(TypeLibraryWalk, NamesAreCutOnACharacterBoundaryAndAlwaysTerminated) {
    const std::wstring long_name(300, L'x');
    struct {
        UINT code_page;
        std::wstring name;
        std::size_t width;
        std::string expected;
    } const cases[] = {
        {CP_ACP, L"Scale", 256, "Scale"},
        {CP_ACP, long_name.substr(0, 255), 256, std::string(255, 'x')},
        {CP_ACP, long_name.substr(0, 256), 256, std::string(255, 'x')},
        {CP_ACP, long_name, 256, std::string(255, 'x')},
        {CP_ACP, L"A\u4E2DB", 256, "A?B"},  // not in the code page
        {CP_ACP, L"\u20AC\u2122Value", 256, "\x80\x99Value"},
        // Each kana is two bytes, and a half never enters the field; nor does
        // half of a surrogate pair.
        {932, L"a\u3042\u3044", 4, "a\x82\xa0"},
        {932, L"a\u3042\u3044", 6, "a\x82\xa0\x82\xa2"},
        {CP_UTF8, L"a\U0001F600b", 5, "a"},
    };
    ASSERT_EQ(::GetACP(), 1252u);
    for (const auto &c : cases) {
        char field[256];
        std::memset(field, '#', sizeof field);
        tvc::narrow_into(field, c.width, c.name.c_str(), tvc::nul_rule::always, c.code_page);
        EXPECT_EQ(std::string(field), c.expected) << c.code_page << " width " << c.width;
    }
}

TEST(TypeLibraryWalk, RefusedArgumentsAndPathsLeaveTheRecordUnchanged) {
    componentInfo record = {};
    record.major_version = 7;
    EXPECT_EQ(tvc::load_type_library_info(nullptr, &record), E_INVALIDARG);
    EXPECT_EQ(tvc::load_type_library_info("C:\\x.tlb", nullptr), E_INVALIDARG);
    EXPECT_EQ(tvc::load_type_library_info("", &record), E_FAIL);
    // A relative name would be searched for along the path.
    EXPECT_EQ(tvc::load_type_library_info("tvc_walk_fixture.tlb", &record), E_FAIL);
    EXPECT_TRUE(FAILED(tvc::load_type_library_info("C:\\tvc-no-such-dir\\missing.tlb", &record)));
    EXPECT_EQ(record.major_version, 7);
    EXPECT_EQ(record.classes, nullptr);

    methodInfo *methods = nullptr;
    propertyInfo *properties = nullptr;
    EXPECT_EQ(tvc::walk_methods(nullptr, &methods), E_INVALIDARG);
    EXPECT_EQ(tvc::walk_properties(nullptr, &properties), E_INVALIDARG);
    ComPtr<ITypeInfo> widget = fixture_type_info(widget_iid);
    ASSERT_TRUE(widget);
    EXPECT_EQ(tvc::walk_methods(widget.Get(), nullptr), E_INVALIDARG);
    EXPECT_EQ(tvc::walk_properties(widget.Get(), nullptr), E_INVALIDARG);
}

TEST(TypeLibraryWalk, AListAWalkReplacesIsReleased) {
    ComPtr<ITypeInfo> widget = fixture_type_info(widget_iid), settings = fixture_type_info(settings_iid);
    ASSERT_TRUE(widget && settings);
    const long before = tvc::live_component_records();
    {
        tvc::record_list<methodInfo> methods;
        tvc::record_list<propertyInfo> properties;
        ASSERT_EQ(tvc::walk_methods(widget.Get(), methods.slot()), S_OK);
        ASSERT_EQ(tvc::walk_properties(widget.Get(), properties.slot()), S_OK);
        const long one_walk = tvc::live_component_records();
        EXPECT_GT(one_walk, before);
        ASSERT_EQ(tvc::walk_methods(widget.Get(), methods.slot()), S_OK);
        ASSERT_EQ(tvc::walk_properties(widget.Get(), properties.slot()), S_OK);
        EXPECT_EQ(tvc::live_component_records(), one_walk);
        // An interface without plain methods leaves the slot empty.
        EXPECT_EQ(tvc::walk_methods(settings.Get(), methods.slot()), S_OK);
        EXPECT_EQ(methods.get(), nullptr);
    }
    EXPECT_EQ(tvc::live_component_records(), before);
}

TEST(TypeLibraryWalk, QueryAndReleaseLeaveNoRecordsAndNoReferences) {
    registered_fixture fixture;
    ComPtr<ITypeLib> library = load_library(fixture_library_path());
    ComPtr<ITypeInfo> widget = fixture_type_info(widget_iid);
    ASSERT_TRUE(library && widget);
    const ULONG library_references = references(library.Get());
    const ULONG widget_references = references(widget.Get());
    const long records = tvc::live_component_records();

    componentInfo *tree = nullptr;
    ASSERT_EQ(tvcGetComponentInfo_proxy(fixture.component.c_str(), -1, 0, 1, TVC_COM_COMPONENTS_CATEGORY,
                                        &tree),
              S_OK);
    ASSERT_NE(tree, nullptr);
    ASSERT_NE(tree->next, nullptr);  // versions 1.0 and 3.1
    EXPECT_GT(tvc::live_component_records(), records + 40);
    EXPECT_EQ(references(library.Get()), library_references);
    EXPECT_EQ(references(widget.Get()), widget_references);

    tvcFreeComponentInfo_proxy(&tree);
    EXPECT_EQ(tree, nullptr);
    EXPECT_EQ(tvc::live_component_records(), records);

    // A selected version whose file cannot be loaded fails the whole query.
    registered_library broken({"1.0", "2.0"}, "C:\\tvc-no-such-dir\\missing.tlb");
    tvc_test::create_key(broken.key + "\\1.0\\0\\win64", fixture_library_path().c_str());
    tree = reinterpret_cast<componentInfo *>(1);
    EXPECT_EQ(tvcGetLIBIDInfo_proxy(broken.libid_text.c_str(), -1, 0, 1, &tree), E_FAIL);
    EXPECT_EQ(tree, nullptr);
    EXPECT_EQ(tvc::live_component_records(), records);
    EXPECT_EQ(references(library.Get()), library_references);
}

TEST(TypeLibraryWalk, FourThreadsQueryingAtOnceGetIdenticalIndependentTrees) {
    registered_fixture fixture;
    constexpr int thread_count = 4;
    std::vector<componentInfo *> trees(thread_count, nullptr);
    std::vector<HRESULT> results(thread_count, E_FAIL), com_after(thread_count, E_FAIL);
    tvc_test::on_threads_at_once(thread_count, [&](int index) {
        results[index] = tvcGetComponentInfo_proxy(fixture.component.c_str(), -1, 0, 1,
                                                   TVC_COM_COMPONENTS_CATEGORY, &trees[index]);
        // S_OK: the query undid the COM initialization it needed.
        com_after[index] = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (SUCCEEDED(com_after[index])) ::CoUninitialize();
    });

    const std::string expected =
        expected_fixture_tree(fixture, "1.0") + expected_fixture_tree(fixture, "3.1");
    for (int index = 0; index < thread_count; ++index) {
        EXPECT_EQ(results[index], S_OK) << index;
        EXPECT_EQ(com_after[index], S_OK) << index;
        EXPECT_EQ(describe(trees[index]), expected) << index;
    }
    // Each tree stands alone: releasing one leaves the others whole.
    tvcFreeComponentInfo_proxy(&trees[0]);
    for (int index = 1; index < thread_count; ++index) {
        EXPECT_EQ(describe(trees[index]), expected) << index;
        tvcFreeComponentInfo_proxy(&trees[index]);
    }
}

namespace {

// A type library made through ICreateTypeLib2 in a scratch directory named
// with a euro sign ("\x80" in the process code page, which the loader must
// widen as such): interfaces I0 : I1 : ... : I<bases>, I0 with the given
// property accessors. A damage is then made in the file, which the
// platform's own writer refuses to produce.
enum class damage { none, self_inheriting, negative_parameter_count };

struct accessor {
    const wchar_t *name;
    INVOKEKIND kind;
    MEMBERID id;
};

std::string generate_library(const tvc_test::scratch_layout &layout, int bases,
                             const std::vector<accessor> &accessors = {}, damage made = damage::none) {
    const std::string directory = layout.dir() + "tvc\x80", path = directory + "\\generated.tlb";
    ComPtr<ICreateTypeLib2> library;
    EXPECT_TRUE(::CreateDirectoryA(directory.c_str(), nullptr));
    EXPECT_EQ(::CreateTypeLib2(SYS_WIN64, widened(path).c_str(), &library), S_OK);
    library->SetGuid(tvc_test::random_guid());
    // Made from the last base on, so that each base exists before it is named.
    std::vector<ComPtr<ICreateTypeInfo>> interfaces(bases + 1);
    for (int index = bases; index >= 0; --index) {
        std::wstring name = L"I" + std::to_wstring(index);
        library->CreateTypeInfo(name.data(), TKIND_INTERFACE, &interfaces[index]);
        interfaces[index]->SetGuid(tvc_test::random_guid());
        ComPtr<ITypeInfo> base;
        HREFTYPE reference = 0;
        if (index == bases || FAILED(interfaces[index + 1].As(&base))) continue;
        interfaces[index]->AddRefTypeInfo(base.Get(), &reference);
        interfaces[index]->AddImplType(0, reference);
    }
    ELEMDESC value = {};
    value.tdesc.vt = VT_I4;
    for (UINT index = 0; index < accessors.size(); ++index) {
        const accessor &a = accessors[index];
        const SHORT parameters = a.kind == INVOKE_PROPERTYGET ? 0 : 1;
        FUNCDESC member = {a.id, nullptr, &value, FUNC_PUREVIRTUAL, a.kind, CC_STDCALL, parameters, 0, 0, 0, {}, 0};
        member.elemdescFunc.tdesc.vt = VT_HRESULT;
        LPOLESTR names[] = {const_cast<LPOLESTR>(a.name)};
        EXPECT_EQ(interfaces[0]->AddFuncDesc(index, &member), S_OK);
        EXPECT_EQ(interfaces[0]->SetFuncAndParamNames(index, names, 1), S_OK);
    }
    for (ComPtr<ICreateTypeInfo> &created : interfaces) created->LayOut();
    EXPECT_EQ(library->SaveAllChanges(), S_OK);
    interfaces.clear();
    library.Reset();
    if (made != damage::none) {
        // The header, its help-DLL field, one offset per type info, then the
        // segment directory whose first entry locates the table of 100-byte
        // type info entries. In an entry, the field at 4 locates its members
        // (a size, then the first member's record, whose parameter count is
        // the 16 bits at 0x14), and the one at 0x54 is its base; a local
        // type's reference is its entry's offset.
        std::ifstream in(path, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        in.close();
        const auto field = [&bytes](std::size_t at) -> std::int32_t & { return *reinterpret_cast<std::int32_t *>(&bytes[at]); };
        const std::size_t directory = 0x54 + (field(0x14) & 0x100 ? 4 : 0) + 4 * field(0x20);
        const std::size_t entry = field(directory) + 100 * bases;  // I0, made last
        if (made == damage::self_inheriting) field(entry + 0x54) = 100 * bases;
        if (made == damage::negative_parameter_count) {
            *reinterpret_cast<std::int16_t *>(&bytes[field(entry + 4) + 4 + 0x14]) = -2;
        }
        std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    return path;
}

// The properties walk over I0 of a generated library, a line a property with
// its member id and accessors. keep_loaded leaves the library loaded for the
// process's life, for a file the reader itself crashes on when letting go.
std::string property_lines(const std::string &path, bool keep_loaded = false) {
    ComPtr<ITypeLib> library = load_library(path);
    ComPtr<ITypeInfo> info;
    if (!library || FAILED(library->GetTypeInfo(0, &info))) return "not loaded";
    tvc::record_list<propertyInfo> properties;
    std::string lines = format("walk=0x%lx\n", tvc::walk_properties(info.Get(), properties.slot()));
    for (const propertyInfo *p = properties.get(); p; p = p->next) {
        lines += format("%s %d%s%s\n", p->name, p->member_id, p->getter ? " get" : "", p->setter ? " set" : "");
    }
    if (keep_loaded) {
        info.Detach();
        library.Detach();
    }
    return lines;
}

}  // namespace

// The reader follows inheritance recursively in the caller's process: a
// cycle or a chain deeper than 64 refuses the library, leaving the record. A
// library that is accepted shows its path widened in the process code page.
TEST(TypeLibraryWalk, UnboundedInheritanceRefusesTheLibrary) {
    struct {
        int bases;
        damage made;
        HRESULT result;
    } const cases[] = {{1, damage::self_inheriting, E_FAIL}, {65, damage::none, E_FAIL}, {64, damage::none, S_OK}};
    for (const auto &c : cases) {
        tvc_test::scratch_layout layout;
        const std::string path = generate_library(layout, c.bases, {}, c.made);
        componentInfo record = {};
        record.major_version = 7;
        EXPECT_EQ(tvc::load_type_library_info(path.c_str(), &record), c.result) << c.bases;
        EXPECT_EQ(record.major_version, c.result == S_OK ? 0 : 7) << c.bases;
        tvc::release_records(&record.interfaces);
    }
}

// Accessors of one property share its member id; different names can narrow
// to the same text ("?Value" for characters the code page lacks, here
// already in the file's name table), and must neither merge for that nor
// report each other's id, which a lookup by that name would.
TEST(TypeLibraryWalk, AccessorsMergeByMemberIdInTheProcessCodePage) {
    tvc_test::scratch_layout layout;
    const std::string path = generate_library(
        layout, 0,
        {{L"\u20ACValue", INVOKE_PROPERTYGET, 1}, {L"\u2122Value", INVOKE_PROPERTYPUT, 2},
         {L"\u4E2DValue", INVOKE_PROPERTYGET, 3}, {L"\u4E2EValue", INVOKE_PROPERTYPUT, 4},
         {L"\u4E2EValue", INVOKE_PROPERTYGET, 4}});
    EXPECT_EQ(property_lines(path), "walk=0x0\n\x80Value 1 get\n\x99Value 2 set\n?Value 3 get\n?Value 4 get set\n");
}

// A member whose parameter count the file gives as negative (the reader
// passes it on) has no parameters: it neither makes the walk ask for some
// four billion names nor costs the interface its other members.
TEST(TypeLibraryWalk, NegativeParameterCountReadsAsNone) {
    tvc_test::scratch_layout layout;
    const std::string path = generate_library(
        layout, 0, {{L"Value", INVOKE_PROPERTYPUT, 1}, {L"Value", INVOKE_PROPERTYGET, 1}},
        damage::negative_parameter_count);
    EXPECT_EQ(property_lines(path, true), "walk=0x0\nValue 1 get set\n");
}

// The path as the registry gives it, in the process code page: a directory
// named with a euro sign ("\x80") is widened as that character, and the
// library is described from its file.
TEST(TypeLibraryWalk, RegisteredPathWithACodePageCharacterIsDescribed) {
    tvc_test::scratch_layout layout;
    const std::string directory = layout.dir() + "tvc\x80";
    ASSERT_TRUE(::CreateDirectoryA(directory.c_str(), nullptr));
    const std::string path = directory + "\\walk.tlb";
    ASSERT_TRUE(::CopyFileA(fixture_library_path().c_str(), path.c_str(), FALSE));
    registered_library library({"1.0"}, path);
    answer found;
    ASSERT_EQ(tvcGetLIBIDInfo_proxy(library.libid_text.c_str(), 1, 0, 1, &found.tree), S_OK);
    ASSERT_NE(found.tree, nullptr);
    EXPECT_EQ(std::string(found.tree->type_lib_path), path);
    EXPECT_EQ(found.tree->major_version, 3);  // the file's own version
}
