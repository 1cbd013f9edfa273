#pragma once
// Takes a mutex for the current scope. A request whose mutex could not be
// created has no worker, so there is nobody to exclude; a null handle makes
// the wait fail at once and the release a no-op.
#include <windows.h>

class MutexLock {
public:
    explicit MutexLock(HANDLE mutex) : m_mutex(mutex) {
        m_owned = WaitForSingleObject(m_mutex, INFINITE) == WAIT_OBJECT_0;
    }
    ~MutexLock() {
        if (m_owned) ReleaseMutex(m_mutex);
    }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

private:
    HANDLE m_mutex;
    bool m_owned = false;
};
