// The system's text for the last failed library load or symbol lookup.
#include "loading/last_error.h"

#include <windows.h>

#include "common/tls_slot.h"
#include "common/unique_resource.h"

namespace tvc {

namespace {

// One text per thread, in a slot of the system's thread-local storage. The
// code it describes comes from GetLastError, which is itself per thread, so
// two threads failing at once each keep the reason for their own failure;
// and since only the owning thread ever replaces (frees) its text, no thread
// can free a text that another is still reading. Not a C++ thread_local: an
// object with a destructor there makes the C++ runtime pin the library in
// the process for good.
tvc::lazy_tls_slot text_slot;

// Takes the calling thread's text out of the slot; the owner frees it.
unique_local_string take_thread_text(DWORD slot) noexcept {
    unique_local_string text(static_cast<char *>(::TlsGetValue(slot)));
    ::TlsSetValue(slot, nullptr);
    return text;
}

}  // namespace

DWORD record_last_error() {
    const DWORD code = ::GetLastError();
    const DWORD slot = text_slot.index();
    // Without a slot there is no text to keep: the messages end in " Error: ".
    if (slot == TLS_OUT_OF_INDEXES) return code;
    take_thread_text(slot);
    unique_local_string text;
    // Inserts such as "%1" stay as they are: no arguments exist to fill them,
    // and reading absent arguments would crash.
    const DWORD flags =
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    if (::FormatMessageA(flags, nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                         reinterpret_cast<char *>(text.put()), 0, nullptr) != 0 &&
        ::TlsSetValue(slot, text.get())) {
        text.release();
    }
    return code;
}

const char *last_error_text() noexcept {
    const DWORD slot = text_slot.taken();
    if (slot == TLS_OUT_OF_INDEXES) return "";
    const char *text = static_cast<const char *>(::TlsGetValue(slot));
    return text != nullptr ? text : "";
}

void release_thread_error_text() noexcept {
    const DWORD slot = text_slot.taken();
    if (slot != TLS_OUT_OF_INDEXES) take_thread_text(slot);
}

void release_error_text_slot() noexcept {
    const DWORD slot = text_slot.taken();
    if (slot != TLS_OUT_OF_INDEXES) take_thread_text(slot);
    text_slot.release();
}

}  // namespace tvc
