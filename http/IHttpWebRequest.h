#pragma once
// One HTTP or HTTPS request, run on a worker thread of its own. Created on
// the heap, started once, waited on, read back, destroyed through the virtual
// destructor (which also stops a transfer still running). The slot order of
// the virtual table is part of the interface.
#include <windows.h>

#include <cstdint>

// Result code of Wait: the request's state. The progress order is
// Idle, Connecting, Sending, HeadersReceived, Receiving, Completed.
enum RequestState : int32_t {
    Failed = -1,
    Idle = 0,
    Connecting = 1,
    HeadersReceived = 2,
    Receiving = 3,
    Completed = 4,
    Sending = 5,
};

class IHttpWebRequest {
public:
    virtual int SetContext(void* pointer, uint64_t value) = 0;          // slot 0
    virtual int Start() = 0;                                            // slot 1
    virtual int StartToFile(const char* path) = 0;                      // slot 2
    virtual RequestState Wait(uint32_t milliseconds) = 0;               // slot 3
    virtual int GetLastModified(SYSTEMTIME* out) = 0;                   // slot 4
    virtual int GetContentLength(int64_t* out) = 0;                     // slot 5
    virtual int GetReceivedSize(uint64_t* out) = 0;                     // slot 6
    virtual uint32_t GetResponseData(const uint8_t** out) = 0;          // slot 7
    virtual int GetUrl(char* out) = 0;                                  // slot 8
    virtual int GetFilePath(char* out) = 0;                             // slot 9
    virtual uint32_t GetStatusCode() = 0;                               // slot 10
    virtual ~IHttpWebRequest() = default;                               // slot 11
    virtual int AddFormField(const char* name, const char* value) = 0;  // slot 12
    virtual int AddFormFile(const char* name, const char* fileName, const char* path,
                            const char* contentType) = 0;  // slot 13
    virtual int AddFormData(const char* name, const char* fileName, const void* data,
                            uint64_t length, const char* contentType) = 0;  // slot 14
};

// Wait's "no time limit".
constexpr uint32_t kWaitForever = 0xFFFFFFFFu;
