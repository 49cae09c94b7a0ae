// A component category of the system's category registry, by its identifier.
// The component information query finds components again through the two
// instances below, so they are the library's only category identifiers.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <comcat.h>
#include <wrl/client.h>

namespace tvc {

// The system's component categories manager, in process, for ICatRegister
// or ICatInformation; what was held before is released first.
template <typename Interface>
HRESULT create_categories_manager(Microsoft::WRL::ComPtr<Interface> &manager) noexcept {
    return ::CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                              IID_PPV_ARGS(manager.ReleaseAndGetAddressOf()));
}

class componentCategory {
public:
    constexpr explicit componentCategory(const GUID &id) noexcept : id_(id) {}

    const GUID &id() const noexcept { return id_; }

    // True when "Component Categories\{catid}" exists under HKEY_CLASSES_ROOT.
    bool is_registered() const noexcept;

    // Registers the category with the categories manager: locale 0x409, the
    // description cut to the 127 characters the record holds with its NUL,
    // an empty description when null.
    HRESULT register_category(const wchar_t *description) const noexcept;

    // Adds the class to the category (register_membership set) or removes it.
    HRESULT register_class(const CLSID &clsid, bool register_membership) const noexcept;

private:
    GUID id_;
};

extern const componentCategory com_components_category;
extern const componentCategory xl_components_category;

}  // namespace tvc
