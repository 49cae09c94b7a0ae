// The system's text for the last failed library load or symbol lookup.
#pragma once

#include <windows.h>

namespace tvc {

// Reads the calling thread's last error code before anything else can change
// it, then replaces the thread's error text with the system's message for
// that code (no text when the system has none). Returns the code.
DWORD record_last_error();

// The calling thread's text from its latest record_last_error, the system's
// closing line break included; "" when there is none. Stays valid until the
// same thread records again.
const char *last_error_text() noexcept;

// Frees the calling thread's text; at its thread detach, so that no text
// outlives its thread.
void release_thread_error_text() noexcept;

// Frees the calling thread's text and the per-thread slot itself, when the
// library is unloaded. Texts that other live threads still hold are lost
// with the slot; a later record_last_error takes a new one.
void release_error_text_slot() noexcept;

}  // namespace tvc
