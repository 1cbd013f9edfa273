// The request object: construction, the owner's side of the interface, the
// creation of the worker and the order of tear-down. The worker's loop and
// the request steps work on the shared core (RequestCore.cpp,
// RequestSteps.cpp, MultipartUpload.cpp).
#include "http/HttpWebRequest.h"

#include "http/WorkerPlatform.h"

namespace {
// How long the destructor lets the worker finish the call it is in. A read
// from a server that is still sending returns within milliseconds (the
// slowest steady server of the tests sends 4 KiB per 150 ms); a call that
// has not returned by then waits on a silent server or on a connection
// that is never accepted, which under Wine nothing ends sooner than the
// call's own limit (30 s) or, for a connection, about 135 s.
constexpr DWORD kStopGraceMs = 250;
}  // namespace

WorkerPlatform& CurrentWorkerPlatform() {
    static WorkerPlatform platform;
    return platform;
}

CHttpWebRequest::CHttpWebRequest(const char* url) : m_core(new RequestCore(url)) {}

// The worker sees the stop between reads and ends with the request closed,
// its handles and target file closed, before the destructor goes on. A
// worker still held in a blocking call after the grace is left to end on
// its own: the target file is closed here, under the lock the worker writes
// with, so nothing reaches it after the destructor has returned, and the
// worker's own reference keeps the core alive until it has cleaned up. Its
// network handles are not closed from here: under Wine that does not end the
// call, and a handle value freed here could be handed to another request
// while the worker still uses it.
CHttpWebRequest::~CHttpWebRequest() {
    if (m_core->m_hStopEvent) m_core->m_hStopEvent.Set();
    if (m_hThread) {
        if (WaitForSingleObject(m_hThread.get(), kStopGraceMs) != WAIT_OBJECT_0)
            m_core->m_hFile.Close();
        m_hThread.reset();
    }
    m_core->Release();
}

int CHttpWebRequest::SetContext(void* pointer, uint64_t value) {
    m_contextValue = value;
    m_contextPointer = pointer;
    return 1;
}

int CHttpWebRequest::Start() {
    // A worker that could not be set up has already made the request Failed
    // and released every Wait; there is nothing to start.
    if (EnsureWorker() < 0) return 1;
    m_core->TakeStart();
    return 1;
}

int CHttpWebRequest::StartToFile(const char* path) {
    if (!m_core->OpenTarget(path)) return 0;
    return Start();
}

RequestState CHttpWebRequest::Wait(uint32_t milliseconds) { return m_core->Wait(milliseconds); }
int CHttpWebRequest::GetLastModified(SYSTEMTIME* out) { return m_core->GetLastModified(out); }
int CHttpWebRequest::GetContentLength(int64_t* out) { return m_core->GetContentLength(out); }
int CHttpWebRequest::GetReceivedSize(uint64_t* out) { return m_core->GetReceivedSize(out); }
uint32_t CHttpWebRequest::GetResponseData(const uint8_t** out) {
    return m_core->GetResponseData(out);
}
int CHttpWebRequest::GetUrl(char* out) { return m_core->GetUrl(out); }
int CHttpWebRequest::GetFilePath(char* out) { return m_core->GetFilePath(out); }
uint32_t CHttpWebRequest::GetStatusCode() { return m_core->m_statusCode; }
int CHttpWebRequest::AddFormField(const char* name, const char* value) {
    return m_core->AddFormField(name, value);
}
int CHttpWebRequest::AddFormFile(const char* name, const char* fileName, const char* path,
                                 const char* contentType) {
    return m_core->AddFormFile(name, fileName, path, contentType);
}
int CHttpWebRequest::AddFormData(const char* name, const char* fileName, const void* data,
                                 uint64_t length, const char* contentType) {
    return m_core->AddFormData(name, fileName, data, length, contentType);
}

// Returns 1 when the worker already exists, 0 after creating it, and -1 when
// a creation failed: the request is then Failed with its done event set (if
// that event exists at all), so that no Wait is left without end.
int CHttpWebRequest::EnsureWorker() {
    if (m_hThread) return 1;
    RequestCore& core = *m_core;
    if (core.m_state.load() == Failed && core.m_hDoneEvent) return -1;  // an earlier attempt failed
    const WorkerPlatform& platform = CurrentWorkerPlatform();
    core.m_hMutex.reset(platform.createMutex(nullptr, FALSE, nullptr));
    if (!core.m_hMutex) {
        core.FailWithoutWorker(GetLastError());
        return -1;
    }
    for (UniqueHandle* event : {&core.m_hStartEvent, &core.m_hDoneEvent}) {
        event->reset(platform.createEvent(nullptr, TRUE, FALSE, nullptr));
        if (!*event) {
            core.FailWithoutWorker(GetLastError());
            return -1;
        }
    }
    core.m_hStopEvent.reset(platform.createEvent(nullptr, TRUE, FALSE, nullptr));
    if (!core.m_hStopEvent) {
        core.FailWithoutWorker(GetLastError());
        return -1;
    }
    core.AddRef();  // the worker's, dropped as it ends
    DWORD threadId = 0;
    m_hThread.reset(
        platform.createThread(nullptr, 0, &RequestCore::ThreadEntry, m_core, 0, &threadId));
    if (!m_hThread) {
        const DWORD error = GetLastError();
        core.Release();
        core.FailWithoutWorker(error);
        return -1;
    }
    m_threadId = threadId;
    return 0;
}
