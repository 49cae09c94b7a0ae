// The data-file family: libvlt.dll's data files and their variables.
#include "tvcvrtrt/data_file_family.h"

#define TVC_TABLE "forwarding/data_file_family.inc"
#define TVC_SLOT_COUNT 11
#define TVC_EXPORT_COUNT 11
#include "forwarding/family_definitions.inc"
