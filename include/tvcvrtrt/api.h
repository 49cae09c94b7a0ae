/* Linkage of the exported interface of tvcvrtrt7_17.dll. Usable from C and C++. */
#ifndef TVCVRTRT_API_H
#define TVCVRTRT_API_H

#ifdef TVCVRTRT_BUILDING
/* Inside the DLL the export list (tvcvrtrt7_17.def) does the exporting. */
#define TVCVRTRT_DATA extern
#else
#define TVCVRTRT_DATA extern __declspec(dllimport)
#endif

#ifdef __cplusplus
#define TVCVRTRT_BEGIN_C extern "C" {
#define TVCVRTRT_END_C }
#else
#define TVCVRTRT_BEGIN_C
#define TVCVRTRT_END_C
#endif

#endif
