/* Public interface of tvcvrtrt7_17.dll. Usable from C and C++. */
#ifndef TVCVRTRT7_17_H
#define TVCVRTRT7_17_H

#include "tvcvrtrt/api_exception.h"
#include "tvcvrtrt/component_info.h"
#include "tvcvrtrt/diagnostics.h"
#include "tvcvrtrt/registration.h"
#include "tvcvrtrt/runtime.h"

#endif
