// The data-file family: libvlt.dll's data files and their variables.
#include "tvcvrtrt/data_file_family.h"

#define TVC_TABLE "forwarding/data_file_family.inc"
#include "forwarding/family_definitions.inc"
