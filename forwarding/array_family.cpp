// The array family: libka.dll's array functions in their 700 and 730
// generations, the unsuffixed ones, and the error message raisers.
#include "tvcvrtrt/array_family.h"

#define TVC_TABLE "forwarding/array_family.inc"
#include "forwarding/family_definitions.inc"

// The message always reaches the runtime through kaVErrMsgIdAndTxt with an
// empty identifier; the runtime's own kaErrMsgTxt is only required to exist.
// The inner hold of the already held lock is what the runtime expects of a
// call into kaVErrMsgIdAndTxt.
extern "C" void kaErrMsgTxt_proxy(const char *format, ...) {
    if (TVC_SLOT(kaErrMsgTxt) == nullptr || !tvc::lock_slots_bound()) return;
    tvc::apiLock outer;
    va_list arguments;
    va_start(arguments, format);
    if (TVC_SLOT(kaVErrMsgIdAndTxt) != nullptr) {
        tvc::apiLock inner;
        // An exception skips va_end, which releases nothing on x64.
        TVC_SLOT(kaVErrMsgIdAndTxt)("", format, arguments);
    }
    va_end(arguments);
}
