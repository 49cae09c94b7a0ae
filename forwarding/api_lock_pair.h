// The runtime's API lock, as the base family's binding table binds it: the
// two symbols every locked forwarder enters and leaves it through. Plain
// macros, so that the forwarders' assembly shares them; base_family.cpp
// checks that the table binds both, as direct entries.
#pragma once

#include "forwarding/table_macros.h"

#define TVC_API_LOCK_ENTER tvcAcquireMutex
#define TVC_API_LOCK_LEAVE tvcReleaseMutex
#define TVC_API_LOCK_ENTER_NAME TVC_STRING(TVC_API_LOCK_ENTER)
#define TVC_API_LOCK_LEAVE_NAME TVC_STRING(TVC_API_LOCK_LEAVE)
