/* A small application built for the runtime, in C, linked against
   tvcvrtrt7_17.dll through its import library like any client. Loading it
   locates the runtime (TVCVRTRT_VERBOSE prints the six paths); then it
   initializes the runtime, computes through the forwarders, and registers,
   describes and unregisters a sample COM component. */
#define COBJMACROS
#include <windows.h>
#include <oleauto.h>

#include <stdio.h>
#include <string.h>

#include "tvcvrtrt7_17.h"

/* The sample component's identity: its own GUIDs (tovan_demo.idl). */
static const GUID demo_libid = {0x87C61406, 0x9E5D, 0x4EC0, {0x86, 0x16, 0xA5, 0x68, 0x38, 0x78, 0xBD, 0x68}};
static const CLSID demo_clsid = {0xCFAB46F3, 0x521A, 0x4D16, {0xB3, 0x40, 0xC5, 0x03, 0x7E, 0xFA, 0xE8, 0x08}};
static const char demo_component[] = "TovanDemo";
static const char demo_prog_id[] = "TovanDemo.Calculator.1";
static const char demo_independent_prog_id[] = "TovanDemo.Calculator";

static void on_started(void *user_data) { printf("Start callback called with \"%s\"\n", (const char *)user_data); }

static void print_matrix(const char *label, const void *matrix) {
    size_t rows = kaGetM_proxy(matrix), columns = kaGetN_proxy(matrix), row, column;
    const double *values = (const double *)kaGetPr_proxy(matrix);
    printf("%s (%zux%zu):\n", label, rows, columns);
    for (row = 0; row < rows; ++row) {
        printf("   ");
        for (column = 0; column < columns; ++column) printf(" %6g", values[column * rows + row]);
        printf("\n");
    }
}

/* Calls one function of the runtime by name through tvcFeval_proxy; the
   reference runtime's calling convention is (instance, name, nlhs, plhs,
   nrhs, prhs). This application has no component instance, and the
   reference runtime does not read it, so any non-null pointer serves. */
static void evaluate(const char *name, const void *argument) {
    static int instance;
    const void *arguments[1];
    void *results[1] = {NULL};
    arguments[0] = argument;
    if (!tvcFeval_proxy(&instance, name, 1, results, 1, arguments)) {
        printf("%s: evaluation failed\n", name);
        return;
    }
    if (kaGetNumberOfElements_proxy(results[0]) == 1) {
        printf("%s = %g\n", name, kaGetScalar_proxy(results[0]));
    } else {
        print_matrix(name, results[0]);
    }
    kaDestroyArray_proxy(results[0]);
}

static int compute(void) {
    static const double values[] = {1, 4, 2, 5, 3, 6}; /* column-major 2x3 */
    void *matrix = kaCreateDoubleMatrix_730_proxy(2, 3, 0);
    if (matrix == NULL) {
        printf("kaCreateDoubleMatrix_730_proxy failed\n");
        return 0;
    }
    memcpy(kaGetPr_proxy(matrix), values, sizeof values);
    print_matrix("Matrix", matrix);
    /* Not in the reference runtime: it says so, once, and answers false. */
    printf("complex: %d\n", kaIsComplex_proxy(matrix));
    printf("complex: %d\n", kaIsComplex_proxy(matrix));
    evaluate("sum", matrix);
    evaluate("prod", matrix);
    evaluate("transpose", matrix);
    kaDestroyArray_proxy(matrix);
    return 1;
}

/* ---- the component */

static void print_method(const char *indent, const methodInfo *method) {
    const paramInfo *param;
    printf("%s%s(", indent, method->name);
    for (param = method->params; param != NULL; param = param->next) {
        printf("%s%s", param->name, param->next != NULL ? ", " : "");
    }
    printf(")\n");
}

static void print_component(const componentInfo *component) {
    const classInfo *cls;
    const methodInfo *method;
    const propertyInfo *property;
    printf("Type library \"%s\" %s version %u.%u\n", component->name, component->libid,
           component->major_version, component->minor_version);
    for (cls = component->classes; cls != NULL; cls = cls->next) {
        printf("  Class \"%s\" %s, ProgID %s\n", cls->description, cls->clsid, cls->prog_id);
        printf("    Methods:\n");
        for (method = cls->methods; method != NULL; method = method->next) print_method("      ", method);
        printf("    Events:\n");
        for (method = cls->events; method != NULL; method = method->next) print_method("      ", method);
        printf("    Properties:\n");
        for (property = cls->properties; property != NULL; property = property->next) {
            printf("      %s (%s%s)\n", property->name, property->getter != NULL ? "get" : "",
                   property->setter != NULL ? (property->getter != NULL ? ", put" : "put") : "");
        }
    }
}

/* Undoes everything registration wrote; safe to run when nothing is there. */
static void unregister_component(void) {
    tvcUnRegisterTovanCOMComponent_proxy(&demo_clsid, demo_independent_prog_id, demo_prog_id);
    UnRegisterTypeLib(&demo_libid, 1, 0, LOCALE_NEUTRAL, SYS_WIN64);
}

/* The type library lies beside the program. */
static int register_component(void) {
    WCHAR path[MAX_PATH];
    WCHAR *last_backslash;
    ITypeLib *type_library = NULL;
    HRESULT hr;
    DWORD length = GetModuleFileNameW(NULL, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || (last_backslash = wcsrchr(path, L'\\')) == NULL ||
        (size_t)(last_backslash + 1 - path) + wcslen(L"tovan_demo.tlb") >= MAX_PATH) {
        printf("Cannot find the type library beside the program\n");
        return 0;
    }
    wcscpy(last_backslash + 1, L"tovan_demo.tlb");
    hr = LoadTypeLibEx(path, REGKIND_REGISTER, &type_library);
    if (FAILED(hr)) {
        printf("Registering the type library failed: 0x%08lX\n", (unsigned long)hr);
        return 0;
    }
    ITypeLib_Release(type_library);
    hr = tvcRegisterTovanCOMComponent_proxy("tvcvrtrt7_17.dll", &demo_clsid, &demo_libid, 1, 0,
                                            "Tovan demo calculator", demo_independent_prog_id, demo_prog_id);
    printf("tvcRegisterTovanCOMComponent_proxy: 0x%08lX\n", (unsigned long)hr);
    return SUCCEEDED(hr);
}

static int describe_component(void) {
    componentInfo *info = NULL;
    const componentInfo *component;
    HRESULT hr = tvcGetComponentInfo_proxy(demo_component, 0, 0, 1, TVC_COM_COMPONENTS_CATEGORY, &info);
    printf("tvcGetComponentInfo_proxy(\"%s\", load): 0x%08lX\n", demo_component, (unsigned long)hr);
    for (component = info; component != NULL; component = component->next) print_component(component);
    tvcFreeComponentInfo_proxy(&info);
    return SUCCEEDED(hr);
}

/* "register" and "unregister" do only that, so the registered component can
   be looked at in between (tvcvrtrt-check --component TovanDemo --load). */
static int registration_only(const char *command) {
    int ok = 1;
    CoInitialize(NULL);
    unregister_component();
    if (strcmp(command, "register") == 0) ok = register_component();
    CoUninitialize();
    return ok ? 0 : 1;
}

int main(int argc, char **argv) {
    int ok;
    if (argc == 2 && (strcmp(argv[1], "register") == 0 || strcmp(argv[1], "unregister") == 0)) {
        return registration_only(argv[1]);
    }
    tvcDisplayStartMessage_proxy(1, on_started, (void *)"sample_app");
    printf("Library version:    %s\n", tvcvrtrt_version);

    printf("\n== Runtime\n");
    tvcvrtrtPrintMessage("Before initialization, printed by printf\n");
    if (!tvcvrtInitialize_proxy()) {
        printf("tvcvrtInitialize_proxy failed\n");
        return 1;
    }
    printf("Runtime initialized: %s\n", tvcIsVRTInitialized_proxy() ? "yes" : "no");
    tvcvrtrtPrintMessage("After initialization, printed by the runtime:\n100% done\n");
    ok = compute();

    printf("\n== Component\n");
    CoInitialize(NULL);
    unregister_component(); /* what an interrupted earlier run may have left */
    ok = register_component() && describe_component() && ok;
    unregister_component();
    CoUninitialize();
    printf("Unregistered\n");
    return ok ? 0 : 1;
}
