// Registration of a component's class: a COM server with threading model
// "Both" that is a member of its kind's category.
#pragma once

#include <windows.h>

#include "registration/component_category.h"

namespace tvc {

struct component_kind {
    const componentCategory &category;
    const wchar_t *description;  // given to the category when it is first registered
};

extern const component_kind com_component_kind;
extern const component_kind xl_component_kind;

// Registers the category when its key is missing, then the server, then the
// class's membership. Returns the first failing HRESULT (E_INVALIDARG, before
// anything is done, for the arguments register_server refuses).
HRESULT register_component(const component_kind &kind, const char *module_name, const CLSID *clsid,
                           const GUID *libid, unsigned short major_version,
                           unsigned short minor_version, const char *friendly_name,
                           const char *version_independent_prog_id, const char *prog_id) noexcept;

// Removes the membership (whatever that gives) and then the server entries;
// returns the server unregistration's result. The category itself stays.
HRESULT unregister_component(const component_kind &kind, const CLSID *clsid,
                             const char *version_independent_prog_id, const char *prog_id) noexcept;

}  // namespace tvc
