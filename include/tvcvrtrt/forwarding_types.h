/* Types shared by the forwarder declarations. Usable from C and C++. */
#ifndef TVCVRTRT_FORWARDING_TYPES_H
#define TVCVRTRT_FORWARDING_TYPES_H

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#include "tvcvrtrt/api.h"

/* What tvcMakeOutputHandler_proxy returns by value: two 64-bit words, handed
   back exactly as the runtime made them. At 16 bytes it travels through a
   hidden result pointer on x64. */
typedef struct tvcOutputHandler {
    uint64_t words[2];
} tvcOutputHandler;

#ifdef __cplusplus
static_assert(sizeof(tvcOutputHandler) == 16, "the runtime's output handler record is 16 bytes");
#endif

#endif
