/* A small application built for the runtime: it links against
   tvcvrtrt7_17.dll, so loading it runs the runtime location (and, with
   TVCVRTRT_VERBOSE set, prints the six located paths). Written in C on
   purpose: the exported interface is usable from C. */
#include <stdio.h>

#include "tvcvrtrt7_17.h"

static void on_started(void *user_data) {
    printf("Start callback called with \"%s\"\n", (const char *)user_data);
}

int main(void) {
    char text[40];
    GUID guid;

    tvcDisplayStartMessage_proxy(1, on_started, (void *)"sample_app");
    printf("Library version:    %s\n", tvcvrtrt_version);
    printf("Library build date: %s\n", tvcvrtrt_build_date);

    if (tvcGUIDFromString_proxy("{0002E005-0000-0000-C000-000000000046}", &guid) == 1) {
        tvcGUIDtochar_proxy(&guid, text, (int)sizeof text);
        printf("GUID round trip:    %s\n", text);
    }
    tvcvrtrtPrintMessage("Printed through the runtime's print routine: 100% done\n");
    return 0;
}
