// A thread-local slot taken from the system on first use and given back when
// the library is unloaded. A slot of TlsAlloc, not thread_local: MinGW's
// emulation of thread_local allocates per thread and registers destructors
// that outlive the library, while a slot's value is one pointer and costs
// nothing per thread.
#pragma once

#include <windows.h>

#include <atomic>

namespace tvc {

class lazy_tls_slot {
public:
    // The slot, taken now if no thread has taken it yet; TLS_OUT_OF_INDEXES
    // when the system has none left.
    DWORD index() noexcept {
        DWORD index = slot_.load(std::memory_order_acquire);
        if (index != TLS_OUT_OF_INDEXES) return index;
        const DWORD fresh = ::TlsAlloc();
        if (fresh == TLS_OUT_OF_INDEXES) return fresh;
        if (slot_.compare_exchange_strong(index, fresh, std::memory_order_acq_rel)) return fresh;
        ::TlsFree(fresh);  // another thread took one first
        return index;
    }
    // The slot if one was taken, without taking one.
    DWORD taken() const noexcept { return slot_.load(std::memory_order_acquire); }
    // At unload: the other threads are done with the library by then.
    void release() noexcept {
        const DWORD index = slot_.exchange(TLS_OUT_OF_INDEXES, std::memory_order_acq_rel);
        if (index != TLS_OUT_OF_INDEXES) ::TlsFree(index);
    }

private:
    std::atomic<DWORD> slot_{TLS_OUT_OF_INDEXES};
};

}  // namespace tvc
