#pragma once
// The request's stop event together with a mirror flag.
//
// The worker looks for a stop before every read of at most 4,096 bytes.
// Under Wine a zero-time wait on an event is a round trip to wineserver that
// costs about as much as the read itself (measured: a bare 4 KiB read loop
// fell from about 200 to about 120 MB/s when it polled an event per read),
// so the worker reads the mirror instead. The event is still what the idle
// worker waits on. Only Set changes either, and it sets the mirror first, so
// a worker that looks after Set sees the stop either way.
#include <windows.h>

#include <atomic>

#include "common/UniqueHandle.h"

class StopEvent {
public:
    HANDLE get() const noexcept { return m_event.get(); }
    explicit operator bool() const noexcept { return static_cast<bool>(m_event); }
    void reset(HANDLE event = nullptr) noexcept { m_event.reset(event); }

    // Owner side (the destructor): the one and only signal.
    void Set() noexcept {
        m_set.store(true, std::memory_order_release);
        SetEvent(m_event.get());
    }
    // Worker side: the same answer as a zero-time wait on the event.
    bool IsSet() const noexcept { return m_set.load(std::memory_order_acquire); }

private:
    UniqueHandle m_event;
    std::atomic<bool> m_set{false};
};
