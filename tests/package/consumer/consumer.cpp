// A C++ client of the installed library: the functions with C++ signatures
// (linked under their GNU names), a std::string handed across the DLL
// boundary, and the library's exception caught by its type and as a
// std::exception (there is no runtime beside the program, so binding fails).
// Prints "consumer_cpp: ok" and exits 0 when every answer is the
// expected one; otherwise names the first wrong one and exits 1.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include <tvcvrtrt7_17.h>

namespace {
int failed(const char *what, const std::string &got) {
    std::printf("consumer_cpp: %s: got \"%s\"\n", what, got.c_str());
    return 1;
}

// What init_proxy_libraries throws, caught as Caught; empty when nothing.
template <class Caught>
std::string caught() {
    try {
        init_proxy_libraries();
    } catch (const Caught &failure) {
        return failure.what();
    }
    return std::string();
}
}  // namespace

int main() {
    if (std::strcmp(tvcvrtrt_version, TVCVRTRT_PACKAGE_VERSION) != 0)
        return failed("library version, package " TVCVRTRT_PACKAGE_VERSION, tvcvrtrt_version);
    if (!tvcvrtrtIsLibLoaded("tvcvrtrt7_17.dll")) return failed("own library loaded", "false");
    if (tvcvrtrtIsLibLoaded("not-a-loaded-library.dll")) return failed("other library loaded", "true");
    const std::string sentinel = tvcvrtrtGetSentinelLibName();
    if (sentinel != "vrt.dll") return failed("sentinel library", sentinel);

    const CLSID clsid = {0x0002E005, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    char text[40] = "";
    tvcCLSIDtochar_proxy(&clsid, text, static_cast<int>(sizeof text));
    if (std::string(text) != "{0002E005-0000-0000-C000-000000000046}") return failed("CLSID text", text);

    // Both handlers see the library's message.
    const std::string expected = "Fatal error loading library ";
    const std::string by_type = caught<tvc::apiException>(), by_base = caught<std::exception>();
    if (by_type.compare(0, expected.size(), expected) != 0) return failed("tvc::apiException caught", by_type);
    if (by_base.compare(0, expected.size(), expected) != 0) return failed("std::exception caught", by_base);
    std::printf("consumer_cpp: ok\n");
    return 0;
}
