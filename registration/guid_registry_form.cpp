#include "registration/guid_registry_form.h"

#include "tvcvrtrt/registration.h"

namespace tvc {

guid_text make_guid_text(const GUID &guid) noexcept {
    guid_text text = {};
    // The field holds the 38 characters and the NUL, so nothing is cut.
    tvcGUIDtochar_proxy(&guid, text.chars, sizeof text.chars);
    return text;
}

}  // namespace tvc
