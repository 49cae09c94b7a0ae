// The array family: libka.dll's array functions in their 700 and 730
// generations, the unsuffixed ones, and the error message raisers.
#include "tvcvrtrt/array_family.h"

#include "common/unwind_cleanup.h"
#include "forwarding/api_lock.h"

#define TVC_TABLE "forwarding/array_family.inc"
#include "forwarding/family_definitions.inc"

// The message always reaches the runtime through kaVErrMsgIdAndTxt with an
// empty identifier; the runtime's own kaErrMsgTxt is only required to exist.
// The inner hold of the already held lock is what the runtime expects of a
// call into kaVErrMsgIdAndTxt. An error raiser does not return: the runtime
// leaves by an exception or longjmp of its own compiler, so both holds are
// counted and left under every unwind (unwind_cleanup.h).
extern "C" void kaErrMsgTxt_proxy(const char *format, ...) {
    if (TVC_SLOT(kaErrMsgTxt) == nullptr || !tvc::lock_slots_bound()) return;
    va_list arguments;
    va_start(arguments, format);
    int holds = 0;
    const auto leave_held = [&holds]() noexcept {
        for (; holds > 0; --holds) tvc::leave_api_lock();
    };
    tvc::call_with_unwind_cleanup(
        [&] {
            tvc::enter_api_lock();
            ++holds;
            if (TVC_SLOT(kaVErrMsgIdAndTxt) == nullptr) return;
            tvc::enter_api_lock();
            ++holds;
            TVC_SLOT(kaVErrMsgIdAndTxt)("", format, arguments);
        },
        [&](DWORD) noexcept { leave_held(); });
    leave_held();
    va_end(arguments);
}
