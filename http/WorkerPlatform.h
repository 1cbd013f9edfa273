#pragma once
// The three kernel creations a request needs for its worker, behind a thin
// replaceable table. Wine never fails them on demand, yet a request must
// survive their failure without leaving any Wait hanging; tests swap in
// failing versions to drive that road. Everything else uses the platform
// directly.
#include <windows.h>

struct WorkerPlatform {
    HANDLE(WINAPI* createMutex)(LPSECURITY_ATTRIBUTES, BOOL, LPCSTR) = &::CreateMutexA;
    HANDLE(WINAPI* createEvent)(LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCSTR) = &::CreateEventA;
    HANDLE(WINAPI* createThread)
    (LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD,
     LPDWORD) = &::CreateThread;
};

// The table in use; replaced only by tests, before any request is started,
// on the thread that starts requests.
WorkerPlatform& CurrentWorkerPlatform();
