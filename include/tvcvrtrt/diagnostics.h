/* Start message, print routine, loaded-library test and version strings. */
#ifndef TVCVRTRT_DIAGNOSTICS_H
#define TVCVRTRT_DIAGNOSTICS_H

#include "tvcvrtrt/api.h"

TVCVRTRT_BEGIN_C

/* Called after the start message with the user data as its only argument. */
typedef void (*tvcStartMessageCallback)(void *user_data);

/* mode 0: print every time, then call back; mode 1: print once per process,
   always call back; any other mode: print once, never call back. */
void tvcDisplayStartMessage_proxy(int mode, tvcStartMessageCallback callback, void *user_data);

/* Prints message through the runtime's utilities library (its bxPrintf) when
   that library is already loaded in the process, else, or when it has no
   bxPrintf, through printf. The text is printed literally: only "%%" is read
   as a conversion (it prints one percent sign); a lone '%' prints itself.
   Returns the print call's result (printf: the characters written); a null
   message prints nothing and returns -1. */
int tvcvrtrtPrintMessage(const char *message);

/* The library's file version, as its version resource gives it (such as
   "7.14.0.585"), and "Jan 25 2012". */
TVCVRTRT_DATA const char *tvcvrtrt_version;
TVCVRTRT_DATA const char *tvcvrtrt_build_date;

TVCVRTRT_END_C

#ifdef __cplusplus
#include <string>

/* True when the full path of a module loaded in the process contains name
   anywhere (byte for byte, case-sensitive; directories included), so "" is
   true. Every loaded module is examined. A null name gives false. */
bool tvcvrtrtIsLibLoaded(const char *name);

#if defined(_MSC_VER) && defined(_ITERATOR_DEBUG_LEVEL) && _ITERATOR_DEBUG_LEVEL != 0
/* The library returns this string in the layout of the platform's release
   builds (_ITERATOR_DEBUG_LEVEL 0, 32 bytes). A build with checked
   iterators, the platform's debug default, lays std::string out in 40 bytes
   and would crash in the destructor of the string it got back, so a call
   from such a build is refused when it is compiled. The name is fixed:
   "vrt.dll". */
template <bool iterator_debug_level_is_0 = false>
std::string tvcvrtrtGetSentinelLibName() {
    static_assert(iterator_debug_level_is_0,
                  "tvcvrtrtGetSentinelLibName returns the release layout of std::string, which a build with "
                  "_ITERATOR_DEBUG_LEVEL above 0 does not share: use the runtime's sentinel name \"vrt.dll\" "
                  "instead of calling it, or build with _ITERATOR_DEBUG_LEVEL=0");
    return std::string();
}
#else
/* The runtime's sentinel library, "vrt.dll". */
std::string tvcvrtrtGetSentinelLibName();
#endif
#endif

#endif
