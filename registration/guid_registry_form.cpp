#include "registration/guid_registry_form.h"

#include <objbase.h>

#include <cstdlib>

namespace tvc {

guid_text make_guid_text(const GUID &guid) noexcept {
    wchar_t wide[guid_text_length + 2] = {};
    ::StringFromGUID2(guid, wide, guid_text_length + 1);
    guid_text text = {};
    // The text is plain ASCII, so narrowing cannot fail or change its length.
    std::wcstombs(text.chars, wide, sizeof text.chars - 1);
    return text;
}

}  // namespace tvc
