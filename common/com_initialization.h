// COM initialized on a caller's behalf only when its thread has none: an
// attempt runs on the thread as the caller left it; when it reports
// CO_E_NOTINITIALIZED, COM is initialized, to be undone by the owner the
// caller holds (so the thread leaves in the COM state it came in with), and
// the attempt runs once more.
#pragma once

#include <objbase.h>

#include "common/unique_resource.h"

namespace tvc {

// When the second attempt runs.
enum class com_retry {
    after_initializing,  // only after COM was initialized for it
    after_any_failure,   // after any failure of the first, COM initialized or not
};

// The attempt's HRESULT, or CoInitialize's when that fails. com must not yet
// own an initialization; declared before what the attempt obtains, it
// outlives it.
template <typename Attempt>
HRESULT attempt_with_com(unique_com_initialization &com, com_retry retry, Attempt &&attempt) noexcept {
    const HRESULT first = attempt();
    if (SUCCEEDED(first)) return first;
    if (first == CO_E_NOTINITIALIZED) {
        const HRESULT initialized = ::CoInitialize(nullptr);
        if (FAILED(initialized)) return initialized;
        com.reset(true);
    } else if (retry == com_retry::after_initializing) {
        return first;
    }
    return attempt();
}

}  // namespace tvc
