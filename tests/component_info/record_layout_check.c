/* The record header compiles as C, with its layout assertions. */
#include "tvcvrtrt/component_info.h"
