#pragma once
// Everything of one request that its worker thread touches: the network
// handles, the state and the results, the body, the target file, the mutex
// and the events. It is reference-counted, held by the request object and by
// its worker, so that a worker still blocked in a network call when its
// request is destroyed can finish that call on its own: it then finds the
// stop set and the target file closed, cleans up, and frees the core.
// (Wine interrupts none of those calls, and under Wine a connection that is
// never accepted holds one for over two minutes.)
//
// Threads: the owner (through CHttpWebRequest) constructs, adds form parts,
// starts, waits, reads back and stops; the worker runs the steps and ends
// with the request. m_hMutex guards m_startRequested and m_body only.
// m_state and m_receivedSize are read by the owner while the worker writes
// them; the status, Last-Modified, Content-Length and Content-Type are
// stored before the state is published as HeadersReceived, so a reader that
// sees states 2..4 also sees them.
#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/UniqueHandle.h"
#include "http/FormPart.h"
#include "http/IHttpWebRequest.h"
#include "http/ServerCertificate.h"
#include "http/StopEvent.h"
#include "http/TargetFile.h"

class RequestCore {
public:
    explicit RequestCore(const char* url);
    ~RequestCore();
    RequestCore(const RequestCore&) = delete;
    RequestCore& operator=(const RequestCore&) = delete;

    // The request object holds one reference from construction; its worker
    // takes one before it is created and drops it as its last act.
    void AddRef() noexcept { m_references.fetch_add(1, std::memory_order_relaxed); }
    void Release() noexcept {
        if (m_references.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
    }

    static DWORD WINAPI ThreadEntry(LPVOID parameter);

private:
    friend class CHttpWebRequest;
    friend struct HttpWebRequestProbe;  // test access to the private steps

    void Run();
    void PerformRequest();
    bool Connect();
    bool SendGet();
    bool OpenRequest(const char* verb);
    void ReadStatus();
    bool ReceiveBody();
    bool SendMultipart();
    std::string BuildPartHeader(const FormPart& part) const;
    size_t ReadPartChunk(const FormPart& part, uint64_t offset, uint8_t* buffer);
    const FormPart* FindFormPart(const char* name) const;
    bool WriteBodyPiece(const void* bytes, size_t count);
    void FailWithoutWorker(DWORD error);

    // Owner side of the interface, called through CHttpWebRequest.
    int OpenTarget(const char* path);
    void TakeStart();
    RequestState Wait(uint32_t milliseconds);
    int GetLastModified(SYSTEMTIME* out);
    int GetContentLength(int64_t* out);
    int GetReceivedSize(uint64_t* out);
    uint32_t GetResponseData(const uint8_t** out);
    int GetUrl(char* out);
    int GetFilePath(char* out);
    int AddFormField(const char* name, const char* value);
    int AddFormFile(const char* name, const char* fileName, const char* path,
                    const char* contentType);
    int AddFormData(const char* name, const char* fileName, const void* data, uint64_t length,
                    const char* contentType);
    std::string GetContentType() const;

    // Keeps error as the request's last error and answers false, the failure
    // of every step (0 for the ones that count). A platform failure passes
    // GetLastError() straight from its failing call.
    bool FailWith(DWORD error) {
        m_lastError = error;
        return false;
    }

    std::atomic<long> m_references{1};
    UniqueInternetHandle m_hInternet;
    UniqueInternetHandle m_hConnect;
    UniqueInternetHandle m_hRequest;
    uint32_t m_openFlags = 0;
    UniqueHandle m_hMutex;
    UniqueHandle m_hStartEvent;
    UniqueHandle m_hDoneEvent;
    StopEvent m_hStopEvent;
    std::atomic<RequestState> m_state{Idle};
    uint32_t m_lastError = 0;
    uint32_t m_statusCode = 0;
    SYSTEMTIME m_lastModified{};
    int32_t m_startRequested = 0;
    std::string m_url;
    std::vector<uint8_t> m_body;
    std::string m_filePath;
    int64_t m_contentLength = 0;
    // The length the body is held to, read from the same Content-Length
    // header as m_contentLength when that header is a plain number.
    std::optional<int64_t> m_announcedLength;
    std::string m_contentType;  // stored before HeadersReceived, like the length
    std::atomic<uint64_t> m_receivedSize{0};
    // Not wanted when the body goes to memory.
    TargetFile m_hFile;
    FormPartList m_formParts;
    std::string m_objectName;
    // Set by the owner before the start when it wants the server's
    // certificate; the worker fills m_certificate after a send over TLS.
    ServerCertificate (*m_readCertificate)(HINTERNET, const std::string&) = nullptr;
    ServerCertificate m_certificate;
};
