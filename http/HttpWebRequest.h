#pragma once
// The request object behind IHttpWebRequest: one HTTP or HTTPS exchange over
// synchronous WinINet, carried out by a worker thread owned by the object.
//
// What the worker touches lives in a RequestCore that the object and its
// worker share (see RequestCore.h); the object itself keeps what only its
// owner uses: the worker's thread handle and id and the caller's context.
// Destroying the object stops the request; see the destructor for how long
// that waits.
#include <windows.h>

#include <cstdint>
#include <string>

#include "common/UniqueHandle.h"
#include "http/IHttpWebRequest.h"
#include "http/RequestCore.h"

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
    uint32_t GetLastErrorCode() const { return m_core->m_lastError; }
    // The Content-Type header of a 200 answer (empty when none was sent);
    // empty until the headers have arrived. Not part of the interface: for
    // the site checker.
    std::string GetContentType() const { return m_core->GetContentType(); }
    // Asked before the start: read the certificate the server shows this
    // request over TLS. GetServerCertificate answers once the status has
    // been read or the request has ended (an empty record before, over
    // plain HTTP, or when the send failed). Not part of the interface: for
    // the site checker.
    void KeepServerCertificate();
    ServerCertificate GetServerCertificate() const;

private:
    friend struct HttpWebRequestProbe;  // test access to the private steps

    int EnsureWorker();

    RequestCore* m_core;  // one reference, dropped by the destructor
    UniqueHandle m_hThread;
    uint32_t m_threadId = 0;
    uint64_t m_contextValue = 0;
    void* m_contextPointer = nullptr;
};
