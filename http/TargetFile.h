#pragma once
// The file a request's body is written to, shared by the worker (which
// writes every chunk) and the owner (whose destructor closes it when the
// worker is still held in a blocking network call). Each write and the close
// take the same lock, so the close waits for at most one write and no byte
// reaches the file after it: the caller may remove the file as soon as the
// request is gone.
//
// A slim reader/writer lock, not a kernel mutex: it is taken for every
// chunk, and an uncontended one costs no round trip to the Wine server.
#include <windows.h>

#include "common/UniqueHandle.h"

class TargetFile {
public:
    TargetFile() = default;
    TargetFile(const TargetFile&) = delete;
    TargetFile& operator=(const TargetFile&) = delete;

    // True once a target was opened: the body goes to the file, never to
    // memory, also after the file has been closed.
    bool Wanted() const noexcept { return m_wanted; }

    // Owner, before the worker exists. Keeps the handle CreateFileA gave.
    void Adopt(HANDLE file) noexcept {
        m_handle.reset(file);
        m_wanted = true;
    }

    // Worker. False when the write fails or falls short, or when the file
    // has been closed (the request was destroyed while this chunk arrived).
    bool Write(const void* bytes, DWORD count) noexcept {
        AcquireSRWLockExclusive(&m_lock);
        DWORD written = 0;
        const bool whole = m_handle && WriteFile(m_handle.get(), bytes, count, &written, nullptr) &&
                           written == count;
        ReleaseSRWLockExclusive(&m_lock);
        return whole;
    }

    // Either side; a second close does nothing.
    void Close() noexcept {
        AcquireSRWLockExclusive(&m_lock);
        m_handle.reset();
        ReleaseSRWLockExclusive(&m_lock);
    }

private:
    SRWLOCK m_lock = SRWLOCK_INIT;
    UniqueHandle m_handle;
    bool m_wanted = false;
};
