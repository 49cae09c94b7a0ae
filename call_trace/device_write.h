// One write to a pipe or another device that is not a disk file, bounded in
// time: a reader that stops reading, or a pipe whose buffer another program
// keeps full, would otherwise hold the writing thread, and so the program,
// for ever.
#pragma once

#include <windows.h>

#include <cstddef>

namespace tvc::trace {

enum class device_write { whole, failed, timed_out };

// Writes text through a handle opened for overlapped writes, with event (a
// manual-reset event that no other write uses meanwhile; null for one of
// its own). A write still pending after wait_ms is cancelled: it may have
// put part of the text through. After failed, the system's error is in error.
device_write write_to_device(HANDLE device, HANDLE event, const char *text, std::size_t length, DWORD wait_ms,
                             DWORD &error) noexcept;

}  // namespace tvc::trace
