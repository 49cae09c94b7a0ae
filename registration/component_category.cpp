#include "registration/component_category.h"

#include <objbase.h>
#include <comcat.h>
#include <wrl/client.h>

#include <cwchar>

#include "registration/guid_registry_form.h"
#include "registration/registry.h"
#include "common/com_initialization.h"
#include "common/unique_resource.h"

namespace tvc {

namespace {

// The system's component categories manager, acquired afresh for one call.
// COM is initialized only when creation reports that it is not, and is then
// undone before the call returns, so the caller's thread leaves in the COM
// state it came in with. Calls use(ICatRegister *) and returns its HRESULT,
// or the HRESULT of the acquisition (of CoInitialize or CoCreateInstance)
// when that fails.
template <typename Use>
HRESULT with_category_registrar(Use &&use) noexcept {
    unique_com_initialization com;  // declared first: outlives the interface
    Microsoft::WRL::ComPtr<ICatRegister> registrar;
    const HRESULT result = attempt_with_com(com, com_retry::after_initializing,
                                            [&registrar] { return create_categories_manager(registrar); });
    if (FAILED(result)) return result;
    return use(registrar.Get());
}

constexpr GUID com_components_id = {
    0x74D52C72, 0x7A9B, 0x47AB, {0xBF, 0xBE, 0x93, 0xC1, 0xC1, 0xA5, 0x45, 0xBD}};
constexpr GUID xl_components_id = {
    0xB57E6FA9, 0x836F, 0x456F, {0xA3, 0xB1, 0x49, 0x48, 0x63, 0x67, 0x08, 0x54}};

}  // namespace

const componentCategory com_components_category{com_components_id};
const componentCategory xl_components_category{xl_components_id};

bool componentCategory::is_registered() const noexcept {
    registry_key_path path;
    if (!compose_key_path(path, "Component Categories", make_guid_text(id_).c_str())) return false;
    unique_hkey key;
    return ::RegOpenKeyExA(HKEY_CLASSES_ROOT, path.text, 0, KEY_QUERY_VALUE, key.put()) ==
           ERROR_SUCCESS;
}

HRESULT componentCategory::register_category(const wchar_t *description) const noexcept {
    CATEGORYINFO info = {};
    static_assert(sizeof info.szDescription / sizeof info.szDescription[0] == 128,
                  "the record holds 128 wide characters");
    info.catid = id_;
    info.lcid = 0x409;
    if (description != nullptr) {
        // The manager reads the field up to its NUL, so the last place keeps one.
        std::wcsncpy(info.szDescription, description, 127);
    }
    return with_category_registrar(
        [&info](ICatRegister *registrar) { return registrar->RegisterCategories(1, &info); });
}

HRESULT componentCategory::register_class(const CLSID &clsid, bool register_membership) const noexcept {
    CATID category = id_;
    return with_category_registrar([&](ICatRegister *registrar) {
        return register_membership ? registrar->RegisterClassImplCategories(clsid, 1, &category)
                                   : registrar->UnRegisterClassImplCategories(clsid, 1, &category);
    });
}

}  // namespace tvc
