// The version and build-date strings. The exports are the pointer variables.
#include "tvcvrtrt/diagnostics.h"

const char *tvcvrtrt_version = "7.14.0.585";
const char *tvcvrtrt_build_date = "Jan 25 2012";
