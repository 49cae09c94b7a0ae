// Fills the placeholders of the registry layout for one class.
#pragma once

#include "registration/registry_key_path.h"
#include "registration/server_registry_layout.h"

namespace tvc {

// The texts of one registration or unregistration call. Unregistration knows
// only the CLSID and the ProgIDs; the rest stay null.
struct registration_texts {
    const char *clsid = nullptr;
    const char *libid = nullptr;
    const char *module_path = nullptr;
    const char *friendly_name = nullptr;
    const char *threading_model = nullptr;
    const char *prog_id = nullptr;
    const char *version_independent_prog_id = nullptr;
    const char *type_library_version = nullptr;
};

// The pattern with its placeholders replaced, in one pass over the pattern
// (a ProgID that happens to contain "{clsid}" is taken literally). False when
// the result exceeds 1023 characters or names a text that is null.
bool expand_key_pattern(registry_key_path &out, const char *pattern,
                        const registration_texts &texts) noexcept;

// The text a row writes; null means "write no value".
const char *layout_content_text(layout_content content, const registration_texts &texts) noexcept;

}  // namespace tvc
