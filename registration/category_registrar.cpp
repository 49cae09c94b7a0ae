#include "registration/category_registrar.h"

namespace tvc {

HRESULT create_category_registrar(Microsoft::WRL::ComPtr<ICatRegister> &registrar) noexcept {
    return ::CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                              IID_PPV_ARGS(registrar.ReleaseAndGetAddressOf()));
}

}  // namespace tvc
