/* A C client of the installed library. Prints "consumer_c: ok" and exits 0
   when every answer is the expected one; otherwise names the first wrong one
   and exits 1. TVCVRTRT_PACKAGE_VERSION is the version its build system
   found the package under. */
#include <stdio.h>
#include <string.h>

#include <tvcvrtrt7_17.h>

static int failed(const char *what, const char *got) {
    printf("consumer_c: %s: got \"%s\"\n", what, got);
    return 1;
}

int main(void) {
    static const char guid_text[] = "{0002E005-0000-0000-C000-000000000046}";
    char text[40] = "";
    GUID guid;

    if (strcmp(tvcvrtrt_version, TVCVRTRT_PACKAGE_VERSION) != 0)
        return failed("library version, package " TVCVRTRT_PACKAGE_VERSION, tvcvrtrt_version);
    if (tvcGUIDFromString_proxy(guid_text + 1, &guid) != 1) return failed("GUID parse", guid_text + 1);
    if (tvcGUIDtochar_proxy(&guid, text, (int)sizeof text) != 38 || strcmp(text, guid_text) != 0)
        return failed("GUID text", text);
    tvcDisplayStartMessage_proxy(0, NULL, NULL);
    printf("consumer_c: ok\n");
    return 0;
}
