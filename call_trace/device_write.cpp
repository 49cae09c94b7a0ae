#include "call_trace/device_write.h"

namespace tvc::trace {

// The write resets the event as it starts. A device that takes no
// overlapped writes (a console) completes the write at once.
device_write write_to_device(HANDLE device, HANDLE event, const char *text, std::size_t length, DWORD wait_ms,
                             DWORD &error) noexcept {
    OVERLAPPED at{};
    at.hEvent = event != nullptr ? event : ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (at.hEvent == nullptr) {
        error = ::GetLastError();
        return device_write::failed;
    }
    DWORD written = 0;
    bool done = ::WriteFile(device, text, static_cast<DWORD>(length), &written, &at) != FALSE;
    error = done ? ERROR_SUCCESS : ::GetLastError();
    device_write result = device_write::failed;
    if (done || error == ERROR_IO_PENDING) {
        if (!done && ::WaitForSingleObject(at.hEvent, wait_ms) == WAIT_TIMEOUT) {
            ::CancelIoEx(device, &at);
            result = device_write::timed_out;
        }
        // After a cancel the write ends at once, one way or the other.
        done = ::GetOverlappedResult(device, &at, &written, TRUE) != FALSE;
        error = done ? ERROR_SUCCESS : ::GetLastError();
        if (done && written == length) {
            result = device_write::whole;
        } else if (result != device_write::timed_out && done) {
            error = ERROR_WRITE_FAULT;  // a device that took part of the line
        }
    }
    if (event == nullptr) ::CloseHandle(at.hEvent);
    return result;
}

}  // namespace tvc::trace
