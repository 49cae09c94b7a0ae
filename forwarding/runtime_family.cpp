// The runtime family: tvcvrt.dll, the runtime's main library, with the
// evaluation wrappers and the two IsLoaded queries.
#include "tvcvrtrt/runtime_family.h"

#define TVC_TABLE "forwarding/runtime_family.inc"
#include "forwarding/family_definitions.inc"

// Every binding is mandatory, so these tell whether the bind routine has come
// past the slot.
extern "C" bool tvcFevalIsLoaded(void) { return TVC_SLOT(tvcFeval) != nullptr; }
extern "C" bool tvcKfnVFevalIsLoaded(void) { return TVC_SLOT(tvcKfnVFeval) != nullptr; }

// The wrappers take no lock of their own: the forwarders they call do.
extern "C" bool tvcFeval_proxy(const void *instance, const char *function_name, int32_t output_count,
                               const void *outputs, int32_t input_count, const void *inputs) {
    return instance != nullptr &&
           tvcFevalInternal_proxy(instance, function_name, output_count, outputs, input_count, inputs);
}

extern "C" bool tvcKfnVFeval_proxy(const void *instance, const char *function_name, int32_t first_count,
                                   int32_t second_count, int32_t third_count, va_list arguments) {
    return instance != nullptr && tvcKfnVFevalInternal_proxy(instance, function_name, first_count,
                                                             second_count, third_count, arguments);
}

// The variable arguments reach the runtime as one list through the
// tvcKfnVFeval slot; nothing is ever called variadically through a slot.
extern "C" bool tvcKfnFeval_proxy(const void *instance, const char *function_name, int32_t first_count,
                                  int32_t second_count, int32_t third_count, ...) {
    if (instance == nullptr) return false;
    va_list arguments;
    va_start(arguments, third_count);
    const bool result = tvcKfnVFevalInternal_proxy(instance, function_name, first_count, second_count,
                                                   third_count, arguments);
    va_end(arguments);
    return result;
}
