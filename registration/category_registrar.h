// The system's component categories manager, acquired afresh for one call.
// COM is initialized only when creation reports that it is not, and is then
// undone before the call returns, so the caller's thread leaves in the COM
// state it came in with.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <comcat.h>
#include <wrl/client.h>

namespace tvc {

// Balances one CoInitialize made on the caller's behalf.
class com_initialization_for_call {
public:
    com_initialization_for_call() noexcept = default;
    com_initialization_for_call(const com_initialization_for_call &) = delete;
    com_initialization_for_call &operator=(const com_initialization_for_call &) = delete;
    ~com_initialization_for_call() {
        if (initialized_) ::CoUninitialize();
    }

    HRESULT initialize() noexcept {
        const HRESULT result = ::CoInitialize(nullptr);
        initialized_ = SUCCEEDED(result);
        return result;
    }

private:
    bool initialized_ = false;
};

// CoCreateInstance of the categories manager for ICatRegister, in process.
HRESULT create_category_registrar(Microsoft::WRL::ComPtr<ICatRegister> &registrar) noexcept;

// Calls use(ICatRegister *) and returns its HRESULT, or the HRESULT of the
// acquisition (of CoInitialize or CoCreateInstance) when that fails.
template <typename Use>
HRESULT with_category_registrar(Use &&use) noexcept {
    com_initialization_for_call com;  // declared first: outlives the interface
    Microsoft::WRL::ComPtr<ICatRegister> registrar;
    HRESULT result = create_category_registrar(registrar);
    if (result == CO_E_NOTINITIALIZED) {
        result = com.initialize();
        if (FAILED(result)) return result;
        result = create_category_registrar(registrar);
    }
    if (FAILED(result)) return result;
    return use(registrar.Get());
}

}  // namespace tvc
