#include "bootstrap/last_error.h"

#include "common/unique_resource.h"

namespace tvc {
namespace {

// One text per thread. The code it describes comes from GetLastError, which is
// itself per thread, so two threads failing at once each keep the reason for
// their own failure; and since only the owning thread ever replaces (frees)
// its text, no thread can free a text that another is still reading.
thread_local unique_local_string error_text;

}  // namespace

DWORD record_last_error() {
    const DWORD code = ::GetLastError();
    error_text.reset();
    char *text = nullptr;
    // Inserts such as "%1" stay as they are: no arguments exist to fill them,
    // and reading absent arguments would crash.
    const DWORD flags =
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    if (::FormatMessageA(flags, nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                         reinterpret_cast<char *>(&text), 0, nullptr) != 0) {
        error_text.reset(text);
    }
    return code;
}

const char *last_error_text() noexcept { return error_text ? error_text.get() : ""; }

}  // namespace tvc
