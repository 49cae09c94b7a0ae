#include "registration/component_category.h"

#include <comcat.h>

#include <cwchar>

#include "registration/category_registrar.h"
#include "registration/guid_registry_form.h"
#include "registration/registry_key_path.h"
#include "common/unique_resource.h"

namespace tvc {

namespace {
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
