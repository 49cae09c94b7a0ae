/* Registered components and their type libraries, as a tree of records that
   callers read directly. Usable from C and C++.

   Every text field holds NUL-terminated narrow text in the process code
   page; a longer name is cut on a character boundary so that its NUL fits. Lists are singly linked through next and end
   in a null pointer. A tree belongs to the caller after a successful query
   and is released with tvcFreeComponentInfo_proxy only. */
#ifndef TVCVRTRT_COMPONENT_INFO_H
#define TVCVRTRT_COMPONENT_INFO_H

#include <stddef.h>
#include <windows.h>

#include "tvcvrtrt/api.h"

TVCVRTRT_BEGIN_C

/* One named parameter of a method. */
typedef struct paramInfo {
    char name[256];
    unsigned short type;  /* VARTYPE with the pointer levels removed */
    unsigned short flags; /* PARAMFLAG_... bits */
    int indirection;      /* pointer levels removed from the type */
    struct paramInfo *next;
} paramInfo;

/* One method, event or property accessor. */
typedef struct methodInfo {
    char name[256];
    int param_count; /* named parameters */
    unsigned short return_type;
    int return_indirection;
    int member_id; /* the member's own MEMBERID (its DISPID) */
    char iid[40];  /* the interface whose walk made the record */
    struct paramInfo *params;
    struct methodInfo *next;
} methodInfo;

/* One property: the accessors of one member id within one interface (names
   alone may coincide once narrowed), its first getter and first setter. */
typedef struct propertyInfo {
    char name[256];
    int member_id;
    char iid[40];
    struct methodInfo *getter; /* null when the property cannot be read */
    struct methodInfo *setter; /* propput or propputref, whichever came first */
    struct propertyInfo *next;
} propertyInfo;

/* One registered interface. */
typedef struct interfaceInfo {
    char name[256];
    char iid[40];
    char libid[40];
    unsigned short type_lib_major;
    unsigned short type_lib_minor;
    struct interfaceInfo *next;
} interfaceInfo;

/* One registered class (coclass). */
typedef struct classInfo {
    char description[256];
    char server_path[512];
    char prog_id[256];
    char version_independent_prog_id[256];
    char clsid[40];
    char libid[40];
    unsigned short type_lib_major;
    unsigned short type_lib_minor;
    struct methodInfo *methods;
    struct methodInfo *events;
    struct propertyInfo *properties;
    struct classInfo *next;
} classInfo;

/* One type library in one version. classes and interfaces are filled only
   when the query was asked to load the type library. */
typedef struct componentInfo {
    char name[256];
    char libid[40];
    unsigned short major_version;
    unsigned short minor_version;
    char type_lib_path[512];
    struct classInfo *classes;
    struct interfaceInfo *interfaces;
    struct componentInfo *next;
} componentInfo;

/* A registered version of a type library. Part of the interface's layout;
   no entry point takes or returns one. */
typedef struct versionNode {
    unsigned short major;
    unsigned short minor;
    struct versionNode *next;
} versionNode;

/* Bits of the category mask. */
#define TVC_XL_COMPONENTS_CATEGORY 1u
#define TVC_COM_COMPONENTS_CATEGORY 2u

/* Describes the type library of every registered class of the selected
   categories, or only of the classes whose version-independent ProgID begins
   with component_name and a dot (null: all). Version selector: a positive
   major asks for exactly major.minor, 0 for the one highest version, a
   negative major for every registered version. A non-zero load also reads
   each type library file. *result is null or the head of the list. */
HRESULT tvcGetComponentInfo_proxy(const char *component_name, int major_version, int minor_version,
                                  int load, unsigned int category_mask, componentInfo **result);

/* The same for one type library, by its LIBID text
   ("{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"). */
HRESULT tvcGetLIBIDInfo_proxy(const char *libid, int major_version, int minor_version, int load,
                              componentInfo **result);

/* Releases a tree from either query and sets *info to null. */
void tvcFreeComponentInfo_proxy(componentInfo **info);

TVCVRTRT_END_C

/* Callers read the records directly: their layout is part of the interface. */
#ifdef __cplusplus
#define TVCVRTRT_LAYOUT_ASSERT(condition, text) static_assert(condition, text)
#else
#define TVCVRTRT_LAYOUT_ASSERT(condition, text) _Static_assert(condition, text)
#endif
#if defined(_WIN64)
/* One line a record (so long by intent): its size, then each field after the
   first at its offset. */
#define TVCVRTRT_SIZE(record, size) TVCVRTRT_LAYOUT_ASSERT(sizeof(record) == size, #record " size")
#define TVCVRTRT_AT(record, field, offset) \
    TVCVRTRT_LAYOUT_ASSERT(offsetof(record, field) == offset, #record "." #field " offset")
TVCVRTRT_SIZE(paramInfo, 272); TVCVRTRT_AT(paramInfo, type, 256); TVCVRTRT_AT(paramInfo, flags, 258); TVCVRTRT_AT(paramInfo, indirection, 260); TVCVRTRT_AT(paramInfo, next, 264);
TVCVRTRT_SIZE(methodInfo, 328); TVCVRTRT_AT(methodInfo, param_count, 256); TVCVRTRT_AT(methodInfo, return_type, 260); TVCVRTRT_AT(methodInfo, return_indirection, 264); TVCVRTRT_AT(methodInfo, member_id, 268); TVCVRTRT_AT(methodInfo, iid, 272); TVCVRTRT_AT(methodInfo, params, 312); TVCVRTRT_AT(methodInfo, next, 320);
TVCVRTRT_SIZE(propertyInfo, 328); TVCVRTRT_AT(propertyInfo, member_id, 256); TVCVRTRT_AT(propertyInfo, iid, 260); TVCVRTRT_AT(propertyInfo, getter, 304); TVCVRTRT_AT(propertyInfo, setter, 312); TVCVRTRT_AT(propertyInfo, next, 320);
TVCVRTRT_SIZE(interfaceInfo, 352); TVCVRTRT_AT(interfaceInfo, iid, 256); TVCVRTRT_AT(interfaceInfo, libid, 296); TVCVRTRT_AT(interfaceInfo, type_lib_major, 336); TVCVRTRT_AT(interfaceInfo, type_lib_minor, 338); TVCVRTRT_AT(interfaceInfo, next, 344);
TVCVRTRT_SIZE(classInfo, 1400); TVCVRTRT_AT(classInfo, server_path, 256); TVCVRTRT_AT(classInfo, prog_id, 768); TVCVRTRT_AT(classInfo, version_independent_prog_id, 1024); TVCVRTRT_AT(classInfo, clsid, 1280); TVCVRTRT_AT(classInfo, libid, 1320); TVCVRTRT_AT(classInfo, type_lib_major, 1360); TVCVRTRT_AT(classInfo, type_lib_minor, 1362); TVCVRTRT_AT(classInfo, methods, 1368); TVCVRTRT_AT(classInfo, events, 1376); TVCVRTRT_AT(classInfo, properties, 1384); TVCVRTRT_AT(classInfo, next, 1392);
TVCVRTRT_SIZE(componentInfo, 840); TVCVRTRT_AT(componentInfo, libid, 256); TVCVRTRT_AT(componentInfo, major_version, 296); TVCVRTRT_AT(componentInfo, minor_version, 298); TVCVRTRT_AT(componentInfo, type_lib_path, 300); TVCVRTRT_AT(componentInfo, classes, 816); TVCVRTRT_AT(componentInfo, interfaces, 824); TVCVRTRT_AT(componentInfo, next, 832);
TVCVRTRT_SIZE(versionNode, 16); TVCVRTRT_AT(versionNode, minor, 2); TVCVRTRT_AT(versionNode, next, 8);
#undef TVCVRTRT_SIZE
#undef TVCVRTRT_AT
#endif
#undef TVCVRTRT_LAYOUT_ASSERT

#endif
