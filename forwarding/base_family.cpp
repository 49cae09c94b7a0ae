// The base family: tvcbase.dll, which owns the API lock; bound last, so no
// locked forwarder of any family calls anything before it is bound.
#include "tvcvrtrt/base_family.h"

#define TVC_TABLE "forwarding/base_family.inc"
#define TVC_SLOT_COUNT 28
#define TVC_EXPORT_COUNT 28
#include "forwarding/family_definitions.inc"
