// The core's owner side (start, wait, read-back), the worker thread's loop
// and its clean-up. The request steps live in RequestSteps.cpp and
// MultipartUpload.cpp; the object that owns the core, in HttpWebRequest.cpp.
#include "http/RequestCore.h"

#include <cstring>

#include "common/MutexLock.h"

namespace {
constexpr size_t kReservedBody = 65536;
}  // namespace

RequestCore::RequestCore(const char* url) : m_url(url ? url : "") { m_body.reserve(kReservedBody); }

// Runs when the last holder lets go: the request object's destructor after
// its worker ended, or else the worker itself as it ends.
RequestCore::~RequestCore() {
    m_hFile.Close();
    m_hStartEvent.reset();
    m_hDoneEvent.reset();
    m_hStopEvent.reset();
    m_hMutex.reset();
    // The texts, parts and body go with the members, in reverse order of
    // declaration: object name, form parts, target path, body, URL.
}

// One object carries one request. A second StartToFile would truncate a
// file that may hold the finished download (or swap the handle under a
// worker that is writing to it), so once a start was taken it is refused
// without touching the disk.
int RequestCore::OpenTarget(const char* path) {
    if (m_startRequested || m_state.load() != Idle) return 0;
    m_filePath = path ? path : "";
    HANDLE file = CreateFileA(m_filePath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        m_state = Failed;
        return 0;
    }
    m_hFile.Adopt(file);
    return 1;
}

void RequestCore::TakeStart() {
    {
        MutexLock lock(m_hMutex.get());
        m_startRequested = 1;
    }
    SetEvent(m_hStartEvent.get());
}

RequestState RequestCore::Wait(uint32_t milliseconds) {
    if (m_hDoneEvent) WaitForSingleObject(m_hDoneEvent.get(), milliseconds);
    return m_state.load();
}

int RequestCore::GetLastModified(SYSTEMTIME* out) {
    const RequestState state = m_state.load();
    if (state >= HeadersReceived && state <= Completed) {
        *out = m_lastModified;
        return 1;
    }
    std::memset(out, 0, sizeof(*out));
    return 0;
}

int RequestCore::GetContentLength(int64_t* out) {
    const RequestState state = m_state.load();
    if (state >= HeadersReceived && state <= Completed) {
        *out = m_contentLength;
        return 1;
    }
    *out = 0;
    return 0;
}

int RequestCore::GetReceivedSize(uint64_t* out) {
    const RequestState state = m_state.load();
    if (state >= HeadersReceived && state <= Completed) {
        *out = m_receivedSize.load();
        return 1;
    }
    *out = 0;
    return 0;
}

uint32_t RequestCore::GetResponseData(const uint8_t** out) {
    if (!m_body.empty()) *out = m_body.data();
    // ReceiveBody refuses to grow the body past 4 GiB - 1, so this is exact.
    return static_cast<uint32_t>(m_body.size());
}

int RequestCore::GetUrl(char* out) {
    std::memcpy(out, m_url.c_str(), m_url.size() + 1);
    return m_url.empty() ? 0 : 1;
}

int RequestCore::GetFilePath(char* out) {
    std::memcpy(out, m_filePath.c_str(), m_filePath.size() + 1);
    return m_filePath.empty() ? 0 : 1;
}

std::string RequestCore::GetContentType() const {
    const RequestState state = m_state.load();
    return state >= HeadersReceived && state <= Completed ? m_contentType : std::string();
}

// error is the failing creation's own, taken right after it.
void RequestCore::FailWithoutWorker(DWORD error) {
    FailWith(error);
    m_state = Failed;
    // Without a worker nobody else would close the target file.
    m_hFile.Close();
    if (m_hDoneEvent) SetEvent(m_hDoneEvent.get());
}

// The worker's reference, taken for it before it was created, is its last
// use of the core.
DWORD WINAPI RequestCore::ThreadEntry(LPVOID parameter) {
    RequestCore* core = static_cast<RequestCore*>(parameter);
    core->Run();
    core->Release();
    return 0;
}

void RequestCore::Run() {
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
    m_hFile.Close();
    SetEvent(m_hDoneEvent.get());
}

void RequestCore::PerformRequest() {
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
    if (m_readCertificate && (m_openFlags & INTERNET_FLAG_SECURE))
        m_certificate = m_readCertificate(m_hRequest.get(), m_url);
    ReadStatus();
    if (m_state.load() != HeadersReceived) return;
    m_state = Receiving;
    m_state = ReceiveBody() ? Completed : Failed;
}
