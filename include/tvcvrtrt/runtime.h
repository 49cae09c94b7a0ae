/* Initializing the runtime, and the forwarders of its four libraries.
   Usable from C and C++. */
#ifndef TVCVRTRT_RUNTIME_H
#define TVCVRTRT_RUNTIME_H

#include "tvcvrtrt/forwarding_types.h"
#include "tvcvrtrt/array_family.h"
#include "tvcvrtrt/data_file_family.h"
#include "tvcvrtrt/runtime_family.h"
#include "tvcvrtrt/base_family.h"

TVCVRTRT_BEGIN_C

/* Loads and binds the runtime's libraries, registers the path macros, runs
   the runtime's initialization and sets its engine state (3 unless given).
   True at once after the first success; a failure is printed on standard
   output and returns false. Concurrent first calls run the sequence once:
   the others wait for it and return its result, a failure included; a call
   made after a failed run starts again from the beginning. Libraries loaded
   by a failed run stay loaded (a file in use cannot be replaced while the
   process runs), and the families bound before the failure stay bound and
   callable. A call made by the runtime on the thread running the
   sequence (from its own initialization or a path-macro registration)
   returns at once, repeating nothing: true once all four libraries are
   bound, so the runtime may use the forwarders from there on. A call on
   another thread waits for the run under way, also when the runtime
   started that thread during its own initialization: the runtime must not
   wait for such a thread before its initialization returns, or both wait
   for ever (the system's once-initialization behaves the same way). A run
   that the runtime leaves by an exception or longjmp of either compiler
   ends as a failure: the threads that waited get false, and the next call
   starts again from the beginning. */
bool tvcvrtInitialize_proxy(void);
bool tvcvrtInitialize2_proxy(int32_t engine_state);
/* Initializes when needed, then hands both arguments to the base library's
   tvcInitializeApplication on every call. */
bool tvcInitializeApplication_proxy(const void *options, size_t option_count);

/* Copies length bytes; note the order: source first. Returns destination. */
void *memcpy_proxy(const void *source, void *destination, size_t length);

TVCVRTRT_END_C

#ifdef __cplusplus
/* Runs the four bind routines: array, data-file, runtime, base. Throws
   tvc::apiException after binding the families before the failing one. */
void init_proxy_libraries();
#endif

#endif
