/* Forwarders to libvlt.dll.
   Generated from forwarding/data_file_family.inc by interface_generator: edit the table, then
   build the target "regenerate". */
#ifndef TVCVRTRT_DATA_FILE_FAMILY_H
#define TVCVRTRT_DATA_FILE_FAMILY_H

#include "tvcvrtrt/forwarding_types.h"

#ifdef __cplusplus
/* Loads libvlt.dll and binds every slot of the family; throws tvc::apiException. */
void libvlt_init_library();
#endif

TVCVRTRT_BEGIN_C

void *vltOpen_proxy(const char *file_name, const char *mode);
int32_t vltClose_proxy(const void *);
void *vltGetFp_proxy(const void *);
int32_t vltPutVariable_proxy(const void *, const void *, const void *);
int32_t vltPutVariableAsGlobal_proxy(const void *, const void *, const void *);
void *vltGetVariable_proxy(const void *, const void *);
void *vltGetNextVariable_proxy(const void *, const void *);
void *vltGetNextVariableInfo_proxy(const void *, const void *);
void *vltGetVariableInfo_proxy(const void *, const void *);
int32_t vltDeleteVariable_proxy(const void *, const void *);
void *vltGetDir_proxy(const void *, const void *);

TVCVRTRT_END_C

#endif
