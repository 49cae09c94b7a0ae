// A C++ client built for the platform's own ABI (clang for the platform's
// target, linked by lld-link against tvcvrtrt7_17.lib, without a C runtime):
// the compiler decorates the functions with C++ signatures, so the client
// links only if the export list carries the platform's decorated names. It
// reads the sentinel library's name through the platform's string layout,
// initializes against the runtime named by VRTROOT and calls a forwarder of
// each shape. Prints "platform_client: ok" and exits 0, or names the first
// wrong answer and exits 1.
#include <tvcvrtrt/runtime.h>

// The platform's std::string, as far as a caller sees it: a 16-byte buffer
// that holds short text in place, the size and the capacity. The library's
// decorated export fills exactly this record.
namespace std {
template <class Char> struct char_traits;
template <class T> class allocator;
template <class Char, class Traits = char_traits<Char>, class Allocator = allocator<Char>>
class basic_string {
public:
    ~basic_string() {}  // a non-trivial class: returned through a hidden pointer
    const Char *data() const { return capacity < 16 ? storage.buffer : storage.pointer; }
    union {
        Char buffer[16];
        Char *pointer;
    } storage;
    size_t size;
    size_t capacity;
};
using string = basic_string<char>;
}  // namespace std
static_assert(sizeof(std::string) == 32, "the platform's std::string is 32 bytes");

// Declared here as diagnostics.h declares them; that header needs the
// platform's <string>, which this freestanding build lacks.
bool tvcvrtrtIsLibLoaded(const char *name);
std::string tvcvrtrtGetSentinelLibName();

extern "C" {
__declspec(dllimport) void *__stdcall GetStdHandle(unsigned long which);
__declspec(dllimport) int __stdcall WriteFile(void *file, const void *data, unsigned long size,
                                              unsigned long *written, void *overlapped);
__declspec(dllimport) void __stdcall ExitProcess(unsigned int code);
int _fltused = 0;  // floating point without the C runtime
}

namespace {

size_t length(const char *text) {
    size_t size = 0;
    while (text[size] != '\0') ++size;
    return size;
}

bool same(const char *left, const char *right) {
    while (*left != '\0' && *left == *right) ++left, ++right;
    return *left == *right;
}

void print(const char *text) {
    unsigned long written = 0;
    WriteFile(GetStdHandle(static_cast<unsigned long>(-11)), text, static_cast<unsigned long>(length(text)),
              &written, nullptr);
}

void check(bool good, const char *what) {
    if (good) return;
    print("platform_client: wrong: ");
    print(what);
    print("\n");
    ExitProcess(1);
}

}  // namespace

extern "C" int main() {
    const std::string sentinel = tvcvrtrtGetSentinelLibName();
    check(sentinel.size == 7 && same(sentinel.data(), "vrt.dll"), "sentinel library name");
    check(tvcvrtrtIsLibLoaded("tvcvrtrt7_17.dll"), "own library loaded");
    check(!tvcvrtrtIsLibLoaded("libka.dll"), "runtime loaded before initialization");

    // The initialization entry point reports by its result; the throwing
    // routines are called only once it has succeeded, to show that they link.
    check(tvcvrtInitialize_proxy(), "initialization");
    init_proxy_libraries();
    libka_init_library();
    libvlt_init_library();
    libqetvcvrt_init_library();
    libqetvcbase_init_library();

    // guarded
    void *number = kaCreateDoubleScalar_proxy(42.0);
    check(number != nullptr && kaGetScalar_proxy(number) == 42.0, "guarded forwarders");
    // locked, and the special export that shares its slot
    static int instance;
    const void *arguments[1] = {number};
    void *results[1] = {nullptr};
    check(tvcFevalInternal_proxy(&instance, "sum", 1, results, 1, arguments) &&
              kaGetScalar_proxy(results[0]) == 42.0,
          "locked forwarder");
    kaDestroyArray_proxy(results[0]);
    check(tvcFeval_proxy(&instance, "prod", 1, results, 1, arguments) && kaGetScalar_proxy(results[0]) == 42.0,
          "tvcFeval_proxy");
    kaDestroyArray_proxy(results[0]);
    kaDestroyArray_proxy(number);
    // direct
    tvcAcquireMutex_proxy();
    tvcReleaseMutex_proxy();
    check(tvcInitializeApplicationInternal_proxy(nullptr, 0), "direct forwarder");
    // guarded, true while unbound: bound here, so it answers the runtime's result
    tvcTerminateApplication_proxy();

    print("platform_client: ok\n");
    ExitProcess(0);
    return 0;
}
