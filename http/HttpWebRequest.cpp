// Construction, the owner's side of the interface, the worker thread and the
// order of tear-down. The request steps themselves live in RequestSteps.cpp
// and MultipartUpload.cpp.
#include "http/HttpWebRequest.h"

#include <cstring>

#include "common/MutexLock.h"
#include "http/WorkerPlatform.h"

namespace {
constexpr size_t kReservedBody = 65536;
}  // namespace

WorkerPlatform& CurrentWorkerPlatform() {
    static WorkerPlatform platform;
    return platform;
}

CHttpWebRequest::CHttpWebRequest(const char* url) : m_url(url ? url : "") {
    m_body.reserve(kReservedBody);
}

CHttpWebRequest::~CHttpWebRequest() {
    if (m_hStopEvent) m_hStopEvent.Set();
    // The worker finishes the call it is blocked in (connect, send, one read)
    // and cleans up its network handles and the target file before it ends;
    // only then may the members it uses go away.
    if (m_hThread) {
        WaitForSingleObject(m_hThread.get(), INFINITE);
        m_hThread.reset();
    }
    m_hFile.reset();
    m_hStartEvent.reset();
    m_hDoneEvent.reset();
    m_hStopEvent.reset();
    m_hMutex.reset();
    // The texts, parts and body go with the members, in reverse order of
    // declaration: object name, form parts, target path, body, URL.
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
    {
        MutexLock lock(m_hMutex.get());
        m_startRequested = 1;
    }
    SetEvent(m_hStartEvent.get());
    return 1;
}

int CHttpWebRequest::StartToFile(const char* path) {
    // One object carries one request. A second StartToFile would truncate a
    // file that may hold the finished download (or swap the handle under a
    // worker that is writing to it), so once a start was taken it is refused
    // without touching the disk.
    if (m_startRequested || m_state.load() != Idle) return 0;
    m_filePath = path ? path : "";
    HANDLE file = CreateFileA(m_filePath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        m_hFile.reset();
        m_state = Failed;
        return 0;
    }
    m_hFile.reset(file);
    return Start();
}

RequestState CHttpWebRequest::Wait(uint32_t milliseconds) {
    if (m_hDoneEvent) WaitForSingleObject(m_hDoneEvent.get(), milliseconds);
    return m_state.load();
}

int CHttpWebRequest::GetLastModified(SYSTEMTIME* out) {
    const RequestState state = m_state.load();
    if (state >= HeadersReceived && state <= Completed) {
        *out = m_lastModified;
        return 1;
    }
    std::memset(out, 0, sizeof(*out));
    return 0;
}

int CHttpWebRequest::GetContentLength(int64_t* out) {
    const RequestState state = m_state.load();
    if (state >= HeadersReceived && state <= Completed) {
        *out = m_contentLength;
        return 1;
    }
    *out = 0;
    return 0;
}

int CHttpWebRequest::GetReceivedSize(uint64_t* out) {
    const RequestState state = m_state.load();
    if (state >= HeadersReceived && state <= Completed) {
        *out = m_receivedSize.load();
        return 1;
    }
    *out = 0;
    return 0;
}

uint32_t CHttpWebRequest::GetResponseData(const uint8_t** out) {
    if (!m_body.empty()) *out = m_body.data();
    // ReceiveBody refuses to grow the body past 4 GiB - 1, so this is exact.
    return static_cast<uint32_t>(m_body.size());
}

int CHttpWebRequest::GetUrl(char* out) {
    std::memcpy(out, m_url.c_str(), m_url.size() + 1);
    return m_url.empty() ? 0 : 1;
}

int CHttpWebRequest::GetFilePath(char* out) {
    std::memcpy(out, m_filePath.c_str(), m_filePath.size() + 1);
    return m_filePath.empty() ? 0 : 1;
}

uint32_t CHttpWebRequest::GetStatusCode() { return m_statusCode; }

// Returns 1 when the worker already exists, 0 after creating it, and -1 when
// a creation failed: the request is then Failed with its done event set (if
// that event exists at all), so that no Wait is left without end.
int CHttpWebRequest::EnsureWorker() {
    if (m_hThread) return 1;
    if (m_state.load() == Failed && m_hDoneEvent) return -1;  // an earlier attempt failed
    const WorkerPlatform& platform = CurrentWorkerPlatform();
    m_hMutex.reset(platform.createMutex(nullptr, FALSE, nullptr));
    if (!m_hMutex) {
        FailWithoutWorker(GetLastError());
        return -1;
    }
    for (UniqueHandle* event : {&m_hStartEvent, &m_hDoneEvent}) {
        event->reset(platform.createEvent(nullptr, TRUE, FALSE, nullptr));
        if (!*event) {
            FailWithoutWorker(GetLastError());
            return -1;
        }
    }
    m_hStopEvent.reset(platform.createEvent(nullptr, TRUE, FALSE, nullptr));
    if (!m_hStopEvent) {
        FailWithoutWorker(GetLastError());
        return -1;
    }
    DWORD threadId = 0;
    m_hThread.reset(
        platform.createThread(nullptr, 0, &CHttpWebRequest::ThreadEntry, this, 0, &threadId));
    if (!m_hThread) {
        FailWithoutWorker(GetLastError());
        return -1;
    }
    m_threadId = threadId;
    return 0;
}

// error is the failing creation's own, taken right after it.
void CHttpWebRequest::FailWithoutWorker(DWORD error) {
    FailWith(error);
    m_state = Failed;
    // Without a worker nobody else would close the target file.
    m_hFile.reset();
    if (m_hDoneEvent) SetEvent(m_hDoneEvent.get());
}

DWORD WINAPI CHttpWebRequest::ThreadEntry(LPVOID parameter) {
    static_cast<CHttpWebRequest*>(parameter)->Run();
    return 0;
}

void CHttpWebRequest::Run() {
    const HANDLE events[2] = {m_hStartEvent.get(), m_hStopEvent.get()};
    do {
        const DWORD woke = WaitForMultipleObjects(2, events, FALSE, INFINITE);
        if (woke == WAIT_OBJECT_0) {
            ResetEvent(m_hStartEvent.get());
            bool requested;
            {
                MutexLock lock(m_hMutex.get());
                requested = m_startRequested != 0;
            }
            if (requested && m_state.load() == Idle) PerformRequest();
        } else if (woke == WAIT_OBJECT_0 + 1) {
            m_state = Failed;
            break;
        } else if (woke == WAIT_FAILED) {
            // Cannot happen with the handles this object owns; ending here
            // rather than retrying keeps the worker from spinning for ever.
            FailWith(GetLastError());
            m_state = Failed;
        }
    } while (m_state.load() >= 0 && m_state.load() != Completed);

    m_hRequest.reset();
    m_hConnect.reset();
    m_hInternet.reset();
    m_formParts.clear();
    m_hFile.reset();
    SetEvent(m_hDoneEvent.get());
}

void CHttpWebRequest::PerformRequest() {
    m_state = Connecting;
    if (!Connect()) {
        m_state = Failed;
        return;
    }
    m_state = Sending;
    const bool sent = m_formParts.empty() ? SendGet() : SendMultipart();
    if (!sent) {
        m_state = Failed;
        return;
    }
    ReadStatus();
    if (m_state.load() != HeadersReceived) return;
    m_state = Receiving;
    m_state = ReceiveBody() ? Completed : Failed;
}
