/* Forwarders to tvcbase.dll.
   Generated from forwarding/base_family.inc by interface_generator: edit the table, then
   build the target "regenerate". */
#ifndef TVCVRTRT_BASE_FAMILY_H
#define TVCVRTRT_BASE_FAMILY_H

#include "tvcvrtrt/forwarding_types.h"

#ifdef __cplusplus
/* Loads tvcbase.dll and binds every slot of the family; throws tvc::apiException. */
void libqetvcbase_init_library();
#endif

TVCVRTRT_BEGIN_C

void tvcSetLastErrIdAndMsg_proxy(const char *identifier, const char *message);
void *tvcGetLastErrorMessage_proxy(void);
int32_t tvcGetStackTrace_proxy(const void *);
int32_t tvcFreeStackTrace_proxy(const void *, int32_t);
void tvcAcquireMutex_proxy(void);
void tvcReleaseMutex_proxy(void);
bool tvcSetEngState_proxy(int32_t);
bool tvcIsVRTInitialized_proxy(void);
bool tvcIsJVMEnabled_proxy(void);
void *tvcGetLogFileName_proxy(void);
bool tvcIsNoDisplaySet_proxy(void);
bool tvcInitializeApplicationInternal_proxy(const void *, size_t);
bool tvcTerminateApplication_proxy(void);
bool tvcIsBld_proxy(void);
tvcOutputHandler tvcMakeOutputHandler_proxy(const void *);
void separatePathName_proxy(const void *, const void *, const void *);
bool tvcFreeStrArray_proxy(const void *, const void *);
void tvcFreeArrayList_proxy(int32_t, const void *);
void *tvcCreateCellArrayFromArrayList_proxy(int32_t, const void *);
void *tvcCreateSharedCopy_proxy(const void *);
void *tvcCreateEmptyArray_proxy(void);
void *tvcCreateSimpleFunctionHandle_proxy(const void *);
void *tvcKaSerialize_proxy(const void *);
void *tvcKaDeserialize_proxy(const void *, const void *);
void tvcKaDestroyArray_proxy(const void *, uint8_t);
bool tvcKaIsA_proxy(const void *, const void *);
int32_t tvcRunMain_proxy(const void *, int32_t, const void *);
void *tvcGetOutputHandlerBaseMethods_proxy(void);

TVCVRTRT_END_C

#endif
