/* Stands for the utilities library's printer: prints nothing, remembers every
   format it was handed and answers with a value printf would never give. */
#include <string.h>

static char received[4096];
static int calls;

__declspec(dllexport) int bxPrintf(const char *format) {
    size_t used = strlen(received);
    if (used + strlen(format) + 2 < sizeof received) {
        strcat(received, format);
        strcat(received, "|");
    }
    ++calls;
    return 4242;
}

__declspec(dllexport) const char *bx_received_formats(void) { return received; }
__declspec(dllexport) int bx_call_count(void) { return calls; }
