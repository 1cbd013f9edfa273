#pragma once
// The request object behind IHttpWebRequest: one HTTP or HTTPS exchange over
// synchronous WinINet, carried out by a worker thread owned by the object.
//
// Threads: the owner constructs, adds form parts, starts, waits, reads back
// and destroys; the worker (created by the first start) runs the steps and
// ends with the request. m_hMutex guards m_startRequested and m_body only.
// m_state and m_receivedSize are read by the owner while the worker writes
// them; the status, Last-Modified and Content-Length are stored before the
// state is published as HeadersReceived, so a reader that sees states 2..4
// also sees them.
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
#include "http/StopEvent.h"

class CHttpWebRequest : public IHttpWebRequest {
public:
    explicit CHttpWebRequest(const char* url);
    ~CHttpWebRequest() override;
    CHttpWebRequest(const CHttpWebRequest&) = delete;
    CHttpWebRequest& operator=(const CHttpWebRequest&) = delete;

    int SetContext(void* pointer, uint64_t value) override;
    int Start() override;
    int StartToFile(const char* path) override;
    RequestState Wait(uint32_t milliseconds) override;
    int GetLastModified(SYSTEMTIME* out) override;
    int GetContentLength(int64_t* out) override;
    int GetReceivedSize(uint64_t* out) override;
    uint32_t GetResponseData(const uint8_t** out) override;
    int GetUrl(char* out) override;
    int GetFilePath(char* out) override;
    uint32_t GetStatusCode() override;
    int AddFormField(const char* name, const char* value) override;
    int AddFormFile(const char* name, const char* fileName, const char* path,
                    const char* contentType) override;
    int AddFormData(const char* name, const char* fileName, const void* data, uint64_t length,
                    const char* contentType) override;

    // The system error of the last failed platform call (223 for an upload
    // file that is too large). Not part of the interface: for diagnostics
    // and tests, meaningful once the request has ended.
    uint32_t GetLastErrorCode() const { return m_lastError; }
    // The Content-Type header of a 200 answer (empty when none was sent);
    // empty until the headers have arrived. Not part of the interface: for
    // the site checker.
    std::string GetContentType() const {
        const RequestState state = m_state.load();
        return state >= HeadersReceived && state <= Completed ? m_contentType : std::string();
    }

private:
    friend struct HttpWebRequestProbe;  // test access to the private steps

    static DWORD WINAPI ThreadEntry(LPVOID parameter);
    int EnsureWorker();
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

    // Keeps error as the request's last error and answers false, the failure
    // of every step (0 for the ones that count). A platform failure passes
    // GetLastError() straight from its failing call.
    bool FailWith(DWORD error) {
        m_lastError = error;
        return false;
    }

    UniqueInternetHandle m_hInternet;
    UniqueInternetHandle m_hConnect;
    UniqueInternetHandle m_hRequest;
    uint32_t m_openFlags = 0;
    UniqueHandle m_hMutex;
    UniqueHandle m_hThread;
    uint32_t m_threadId = 0;
    UniqueHandle m_hStartEvent;
    UniqueHandle m_hDoneEvent;
    StopEvent m_hStopEvent;
    uint64_t m_contextValue = 0;
    void* m_contextPointer = nullptr;
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
    // Null (not INVALID_HANDLE_VALUE) when the body goes to memory.
    UniqueHandle m_hFile;
    FormPartList m_formParts;
    std::string m_objectName;
};
