// Measures the component information query side by side with references
// in one run and prints the ratios:
//  1. describing a type library of 100 coclasses and 200 interfaces with 50
//     methods each, against a reference that does the mandated work once
//     (load, one read of every registration, one walk of every implemented
//     interface, one heap record per member and per name);
//  2. tvcGetComponentInfo_proxy over 100 and over 1,000 registered classes,
//     10 classes per type library.
// Every key written has a name unique to the run or to this benchmark and
// is removed before the program ends.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/registry_test_support.h"
#include "tvcvrtrt/component_info.h"
#include "tvcvrtrt/registration.h"

namespace {

using Microsoft::WRL::ComPtr;

constexpr int bench_classes = 100;

// The identifiers generate_bench_library.cmake gives: kind 00 the library,
// 01 interfaces, 02 classes.
GUID bench_guid(unsigned kind, unsigned number) {
    GUID guid = {0xB7C0DE00, 0x7E57, 0x4C1A, {0x9B, 0x00, 0, 0, 0, 0, 0, 0}};
    guid.Data4[2] = static_cast<BYTE>(((kind / 10) << 4) | (kind % 10));
    unsigned long long digits = 0;  // the decimal number read as hexadecimal digits
    for (unsigned shift = 0; number != 0; number /= 10, shift += 4) digits |= (number % 10ull) << shift;
    for (int index = 7; index >= 3; --index, digits >>= 8) guid.Data4[index] = static_cast<BYTE>(digits);
    return guid;
}

using tvc_test::text_of;

// Creates the key when missing and sets the value.
void write_key(const std::string &path, const char *value_name, const std::string &value) {
    tvc_test::write_value(path, value_name, value.c_str());
}

// Removes every tree it was given when the benchmark ends.
using written_trees = tvc_test::cleanup;

std::string beside_this_program(const char *file) {
    char path[MAX_PATH * 4];
    const DWORD length = ::GetModuleFileNameA(nullptr, path, sizeof path);
    std::string directory(path, length);
    return directory.substr(0, directory.find_last_of('\\') + 1) + file;
}

template <typename Work>
double milliseconds(Work &&work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// --- the reference: the mandated work, once ----------------------------------------

struct name_record {
    name_record *next;
    char name[256];
};

void read_value(HKEY key, const char *sub_key, const char *value_name) {
    HKEY opened = key;
    if (sub_key != nullptr && ::RegOpenKeyExA(key, sub_key, 0, KEY_READ, &opened) != ERROR_SUCCESS) return;
    char value[512];
    DWORD bytes = sizeof value;
    ::RegQueryValueExA(opened, value_name, nullptr, nullptr, reinterpret_cast<BYTE *>(value), &bytes);
    if (opened != key) ::RegCloseKey(opened);
}

void read_registration(const char *root, const GUID &guid, bool is_class) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, (std::string(root) + "\\" + text_of(guid)).c_str(), 0, KEY_READ,
                        &key) != ERROR_SUCCESS) {
        return;
    }
    read_value(key, nullptr, nullptr);
    if (is_class) {
        for (const char *sub_key : {"InprocServer32", "ProgID", "VersionIndependentProgID"}) {
            read_value(key, sub_key, nullptr);
        }
    }
    HKEY type_lib = nullptr;
    if (::RegOpenKeyExA(key, "TypeLib", 0, KEY_READ, &type_lib) == ERROR_SUCCESS) {
        read_value(type_lib, nullptr, nullptr);
        read_value(type_lib, nullptr, "Version");
        ::RegCloseKey(type_lib);
    }
    ::RegCloseKey(key);
}

void record_name(name_record *&records, const wchar_t *name) {
    auto *record = static_cast<name_record *>(std::malloc(sizeof(name_record)));
    record->next = records;
    std::wcstombs(record->name, name, sizeof record->name - 1);
    record->name[sizeof record->name - 1] = '\0';
    records = record;
}

void walk_once(ITypeInfo *info, const TYPEATTR &attributes, name_record *&records) {
    for (UINT index = 0; index < attributes.cFuncs; ++index) {
        FUNCDESC *description = nullptr;
        if (FAILED(info->GetFuncDesc(index, &description))) continue;
        std::vector<BSTR> names(description->cParams + 1, nullptr);
        UINT count = 0;
        info->GetNames(description->memid, names.data(), static_cast<UINT>(names.size()), &count);
        for (UINT k = 0; k < count; ++k) {
            record_name(records, names[k]);
            ::SysFreeString(names[k]);
        }
        info->ReleaseFuncDesc(description);
    }
}

void reference_describe(const std::wstring &path, bool read_registry) {
    ComPtr<ITypeLib> library;
    if (FAILED(::LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.GetAddressOf()))) return;
    std::vector<GUID> interfaces_read;
    auto read_interface_once = [&](const GUID &iid) {
        if (!read_registry ||
            std::find(interfaces_read.begin(), interfaces_read.end(), iid) != interfaces_read.end()) {
            return;
        }
        interfaces_read.push_back(iid);
        read_registration("Interface", iid, false);
    };
    name_record *records = nullptr;
    for (UINT index = 0; index < library->GetTypeInfoCount(); ++index) {
        ComPtr<ITypeInfo> info;
        TYPEATTR *attributes = nullptr;
        if (FAILED(library->GetTypeInfo(index, info.GetAddressOf())) || FAILED(info->GetTypeAttr(&attributes))) {
            continue;
        }
        if (attributes->typekind == TKIND_COCLASS) {
            if (read_registry) read_registration("CLSID", attributes->guid, true);
            for (UINT implemented = 0; implemented < attributes->cImplTypes; ++implemented) {
                HREFTYPE reference = 0;
                ComPtr<ITypeInfo> interface_info;
                TYPEATTR *interface_attributes = nullptr;
                if (FAILED(info->GetRefTypeOfImplType(implemented, &reference)) ||
                    FAILED(info->GetRefTypeInfo(reference, interface_info.GetAddressOf())) ||
                    FAILED(interface_info->GetTypeAttr(&interface_attributes))) {
                    continue;
                }
                read_interface_once(interface_attributes->guid);
                walk_once(interface_info.Get(), *interface_attributes, records);
                interface_info->ReleaseTypeAttr(interface_attributes);
            }
        } else if (attributes->typekind == TKIND_DISPATCH || attributes->typekind == TKIND_INTERFACE) {
            read_interface_once(attributes->guid);
        }
        info->ReleaseTypeAttr(attributes);
    }
    while (records != nullptr) {
        name_record *next = records->next;
        std::free(records);
        records = next;
    }
}

// --- figure 1 --------------------------------------------------------------------------

void register_bench_library(written_trees &trees, const std::string &path) {
    const std::string libid = text_of(bench_guid(0, 0));
    trees.add("TypeLib\\" + libid);
    write_key("TypeLib\\" + libid + "\\1.0", nullptr, "Tovan benchmark library");
    write_key("TypeLib\\" + libid + "\\1.0\\0\\win64", nullptr, path);
    for (unsigned number = 0; number < 2 * bench_classes; ++number) {
        const std::string key = "Interface\\" + text_of(bench_guid(1, number));
        trees.add(key);
        write_key(key, nullptr, "IBench" + std::to_string(number));
        write_key(key + "\\TypeLib", nullptr, libid);
        write_key(key + "\\TypeLib", "Version", "1.0");
    }
    for (unsigned number = 0; number < bench_classes; ++number) {
        const std::string key = "CLSID\\" + text_of(bench_guid(2, number));
        trees.add(key);
        write_key(key, nullptr, "Bench class " + std::to_string(number));
        write_key(key + "\\InprocServer32", nullptr, "C:\\bench\\server.dll");
        write_key(key + "\\ProgID", nullptr, "TvcBench.Class" + std::to_string(number) + ".1");
        write_key(key + "\\VersionIndependentProgID", nullptr, "TvcBench.Class" + std::to_string(number));
        write_key(key + "\\TypeLib", nullptr, libid);
        write_key(key + "\\TypeLib", "Version", "1.0");
    }
}

void measure_description() {
    const std::string path = beside_this_program("tvc_bench_library.tlb");
    const std::wstring wide_path(path.begin(), path.end());
    written_trees trees;
    register_bench_library(trees, path);
    const std::string libid = text_of(bench_guid(0, 0));

    double query = 1e300, reference = 1e300, bare = 1e300;
    int methods = 0;
    for (int round = 0; round < 9; ++round) {
        query = std::min(query, milliseconds([&] {
                             componentInfo *tree = nullptr;
                             tvcGetLIBIDInfo_proxy(libid.c_str(), 1, 0, 1, &tree);
                             methods = 0;
                             for (classInfo *c = tree ? tree->classes : nullptr; c; c = c->next) {
                                 for (methodInfo *m = c->methods; m; m = m->next) ++methods;
                             }
                             tvcFreeComponentInfo_proxy(&tree);
                         }));
        reference = std::min(reference, milliseconds([&] { reference_describe(wide_path, true); }));
        bare = std::min(bare, milliseconds([&] { reference_describe(wide_path, false); }));
    }
    std::printf("Describing %d coclasses / %d interfaces x 50 methods (%d incoming methods listed):\n",
                bench_classes, 2 * bench_classes, methods);
    std::printf("  tvcGetLIBIDInfo_proxy with load   %8.1f ms\n", query);
    std::printf("  reference, mandated work once     %8.1f ms\n", reference);
    std::printf("  ratio                             %8.2f  (target at most 1.15)\n", query / reference);
    std::printf("  bare load and walk, no registry   %8.1f ms  (reference / bare %.1f)\n", bare,
                reference / bare);
}

// --- figure 2 --------------------------------------------------------------------------

// A type library file of ten coclasses, written through ICreateTypeLib2;
// deleted with the object.
class written_library {
public:
    written_library(const std::string &path, const GUID &libid, const GUID *clsids) : path_(path) {
        const std::wstring wide(path.begin(), path.end());
        ComPtr<ICreateTypeLib2> library;
        if (FAILED(::CreateTypeLib2(SYS_WIN64, wide.c_str(), library.GetAddressOf()))) return;
        library->SetGuid(libid);
        library->SetVersion(1, 0);
        for (int number = 0; number < 10; ++number) {
            ComPtr<ICreateTypeInfo> coclass;
            std::wstring name = L"BenchClass" + std::to_wstring(number);
            if (SUCCEEDED(library->CreateTypeInfo(name.data(), TKIND_COCLASS, coclass.GetAddressOf()))) {
                coclass->SetGuid(clsids[number]);
            }
        }
        library->SaveAllChanges();
    }
    written_library(const written_library &) = delete;
    written_library &operator=(const written_library &) = delete;
    ~written_library() { ::DeleteFileA(path_.c_str()); }

private:
    std::string path_;
};

// Classes of the COM components category, 10 per type library, each library
// with its own file in the temporary directory.
struct registered_classes {
    std::string component;
    written_trees trees;
    std::vector<std::unique_ptr<written_library>> files;

    registered_classes(const std::string &name, int count) : component(name) {
        char directory[MAX_PATH];
        ::GetTempPathA(sizeof directory, directory);
        for (int first = 0; first < count; first += 10) {
            GUID libid = {}, clsids[10] = {};
            ::CoCreateGuid(&libid);
            for (GUID &clsid : clsids) ::CoCreateGuid(&clsid);
            const std::string path = directory + component + "_" + std::to_string(first / 10) + ".tlb";
            files.push_back(std::make_unique<written_library>(path, libid, clsids));
            const std::string key = "TypeLib\\" + text_of(libid);
            trees.add(key);
            write_key(key + "\\1.0", nullptr, "Benchmark library");
            write_key(key + "\\1.0\\0\\win64", nullptr, path);
            for (int number = first; number < first + 10 && number < count; ++number) {
                const GUID &clsid = clsids[number - first];
                const std::string prog_id = component + ".Class" + std::to_string(number);
                // The category membership lives under the class key and goes with it.
                for (const std::string &tree : {"CLSID\\" + text_of(clsid), "AppID\\" + text_of(clsid),
                                                prog_id, prog_id + ".1"}) {
                    trees.add(tree);
                }
                tvcRegisterTovanCOMComponent_proxy("oleaut32.dll", clsid, libid, 1, 0, "Benchmark class",
                                                   prog_id.c_str(), (prog_id + ".1").c_str());
            }
        }
    }
};

// Best of five queries; counts the libraries and classes of the answer.
double best_query(const std::string &component, int load, int &libraries, int &classes) {
    double best = 1e300;
    for (int round = 0; round < 5; ++round) {
        best = std::min(best, milliseconds([&] {
                            componentInfo *tree = nullptr;
                            tvcGetComponentInfo_proxy(component.c_str(), -1, 0, load, TVC_COM_COMPONENTS_CATEGORY,
                                                      &tree);
                            libraries = classes = 0;
                            for (componentInfo *c = tree; c; c = c->next, ++libraries) {
                                for (classInfo *k = c->classes; k; k = k->next) ++classes;
                            }
                            tvcFreeComponentInfo_proxy(&tree);
                        }));
    }
    return best;
}

void measure_growth() {
    GUID run = {};
    ::CoCreateGuid(&run);
    const std::string suffix = text_of(run).substr(1, 8);
    const int counts[2] = {100, 1000};
    double times[2][2] = {};
    int libraries[2][2] = {}, classes[2][2] = {};
    for (int size = 0; size < 2; ++size) {
        registered_classes registered("TvcBench" + suffix + std::to_string(counts[size]), counts[size]);
        for (int load = 0; load < 2; ++load) {
            times[load][size] = best_query(registered.component, load, libraries[load][size], classes[load][size]);
        }
    }
    for (int load = 0; load < 2; ++load) {
        std::printf("tvcGetComponentInfo_proxy, 10 classes per type library, %s:\n",
                    load ? "loading each file" : "without loading files");
        for (int size = 0; size < 2; ++size) {
            std::printf("  %4d classes (%3d libraries, %4d classes described) %8.1f ms\n", counts[size],
                        libraries[load][size], classes[load][size], times[load][size]);
        }
        std::printf("  ratio for 10x the classes         %8.2f  (limit 12)\n", times[load][1] / times[load][0]);
    }
}

}  // namespace

int main() {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    measure_description();
    measure_growth();
    ::CoUninitialize();
    return 0;
}
