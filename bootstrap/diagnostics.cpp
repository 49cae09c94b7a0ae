// The library's own small services: the start message, the print routine,
// the loaded-library test, the sentinel name and the version strings.
#include <windows.h>
#include <psapi.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "bootstrap/library_version.h"
#include "loading/sibling_libraries.h"
#include "loading/symbol_binder.h"
#include "common/unwind_cleanup.h"
#include "tvcvrtrt/diagnostics.h"

// ---- version strings: the exports are the pointer variables

const char *tvcvrtrt_version = tvc::file_version;
const char *tvcvrtrt_build_date = "Jan 25 2012";

// ---- the start message

namespace {

constexpr char start_message_text[] = "Initializing Tovan Compiler Runtime version ";
constexpr char runtime_version_suffix[] = "";

// Once set, only mode 0 prints again. Atomic so that concurrent callers are
// well defined; two of them may still both print.
std::atomic<bool> start_message_printed{false};

}  // namespace

void tvcDisplayStartMessage_proxy(int mode, tvcStartMessageCallback callback, void *user_data) {
    if (mode == 0 || !start_message_printed.load(std::memory_order_relaxed)) {
        std::printf("%s%s.%s%s\n", start_message_text, tvc::runtime_major_version, tvc::runtime_minor_version,
                    runtime_version_suffix);
        std::fflush(stdout);
        start_message_printed.store(true, std::memory_order_relaxed);
    }
    if ((mode == 0 || mode == 1) && callback) callback(user_data);
}

// ---- whether a library of a given name is loaded in the process

namespace {

constexpr DWORD usual_module_count = 1024;

// Handles of every module in the process; empty when the enumeration fails.
std::vector<HMODULE> process_modules(HANDLE process) {
    std::vector<HMODULE> modules(usual_module_count);
    for (;;) {
        const DWORD offered = static_cast<DWORD>(modules.size() * sizeof(HMODULE));
        DWORD needed = 0;
        if (!::EnumProcessModules(process, modules.data(), offered, &needed)) return {};
        if (needed <= offered) {
            modules.resize(needed / sizeof(HMODULE));
            return modules;
        }
        // More modules than the array holds: size it from the reported count
        // and ask again, since more may have been loaded in between.
        modules.resize(needed / sizeof(HMODULE));
    }
}

}  // namespace

bool tvcvrtrtIsLibLoaded(const char *name) {
    if (!name) return false;
    const std::string_view wanted(name);
    const HANDLE process = ::GetCurrentProcess();
    for (HMODULE module : process_modules(process)) {
        char path[MAX_PATH];
        const DWORD length = ::GetModuleFileNameExA(process, module, path, MAX_PATH);
        if (length == 0) continue;
        const std::string_view module_path(path, length < MAX_PATH ? length : MAX_PATH - 1);
        if (module_path.find(wanted) != std::string_view::npos) return true;
    }
    return false;
}

// ---- printing through the runtime's utilities library when it is in the process

namespace {

// Caller text made safe to hand to a printf-style function as its format:
// doubles every lone '%' and keeps "%%" as it is, so the text prints as
// written except that "%%" prints one '%', as it always did. Nothing the
// caller writes is read as a conversion. In memory of malloc's, null when
// there is none: the runtime's printer may leave by an exception or longjmp
// of its own compiler, which runs no destructor of ours, so the text is
// freed by the caller on every way out (unwind_cleanup.h).
char *literal_format(const char *text) {
    const std::size_t length = std::strlen(text);
    if (length > (SIZE_MAX - 1) / 2) return nullptr;
    char *const format = static_cast<char *>(std::malloc(2 * length + 1));
    if (format == nullptr) return nullptr;
    char *at = format;
    for (const char *c = text; *c; ++c) {
        *at++ = *c;
        if (*c == '%') {
            if (c[1] == '%') ++c;
            *at++ = '%';
        }
    }
    *at = '\0';
    return format;
}

using utilities_print_function = int (*)(const char *format);

// Looked up afresh on every call, so a utilities library loaded since the last
// call is used. Null when the library is not in the process or has no printer.
utilities_print_function find_utilities_printer() {
    utilities_print_function print = nullptr;
    try {
        if (tvcvrtrtIsLibLoaded(tvc::utilities_library_file)) {
            // Only the library already in the process, never a load: a load by
            // bare name would search the working directory and PATH, and a
            // module whose name merely contains the file name passes the test
            // above, so a planted libbx.dll would be loaded and called.
            if (HMODULE utilities = ::GetModuleHandleA(tvc::utilities_library_file)) {
                tvc::bind_symbol(utilities, print, "bxPrintf");
            }
        }
    } catch (const std::exception &) {
        // No printer of the utilities library: the message goes through printf.
    }
    return print;
}

}  // namespace

int tvcvrtrtPrintMessage(const char *message) {
    if (!message) return -1;
    char *const format = literal_format(message);
    if (format == nullptr) return -1;
    int written = -1;
    if (utilities_print_function print = find_utilities_printer()) {
        tvc::call_with_unwind_cleanup([&] { written = print(format); },
                                      [format](DWORD) noexcept { std::free(format); });
    } else {
        written = std::printf(format);
        // The caller may write through a C runtime of its own, past our buffer.
        std::fflush(stdout);
    }
    std::free(format);
    return written;
}

// ---- the runtime's sentinel library name, for both C++ ABIs that call us

// std::string as the platform's own compiler lays it out (release builds):
// a 16-byte buffer that holds strings of up to 15 characters inline, or a
// pointer to heap text, then the length and the capacity.
struct platform_string_layout {
    union {
        char inline_text[16];
        char *heap_text;
    };
    std::uint64_t size;
    std::uint64_t capacity;
};
static_assert(sizeof(platform_string_layout) == 32, "the platform's std::string is 32 bytes");
static_assert(offsetof(platform_string_layout, size) == 16, "length follows the 16-byte buffer");
static_assert(offsetof(platform_string_layout, capacity) == 24, "capacity follows the length");

using tvc::sentinel_library_file;

static_assert(sizeof(sentinel_library_file) <= sizeof(platform_string_layout::inline_text),
              "the name fits the inline buffer, so the caller's heap is never involved");

std::string tvcvrtrtGetSentinelLibName() { return sentinel_library_file; }

// Exported under the platform's decorated name of
// std::string tvcvrtrtGetSentinelLibName(). That compiler returns a class by
// value through a hidden slot pointer (first argument register) and hands
// the same pointer back, which is what this signature does.
extern "C" platform_string_layout *tvcvrtrt_sentinel_name_platform_layout(platform_string_layout *slot) {
    std::memset(slot, 0, sizeof *slot);
    std::memcpy(slot->inline_text, sentinel_library_file, sizeof sentinel_library_file);
    slot->size = sizeof sentinel_library_file - 1;
    slot->capacity = sizeof slot->inline_text - 1;
    return slot;
}
