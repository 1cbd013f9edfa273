#pragma once
// Shared helpers of the request tests, and the probe that reaches what the
// platform offers no outside view of (open flags, stored parts, the body's
// reserved memory, one chunk read of a disk part).
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "http/HttpWebRequest.h"
#include "tests/support/TestServer.h"

struct HttpWebRequestProbe {
    static bool Connect(CHttpWebRequest& r) { return r.Connect(); }
    static uint32_t OpenFlags(const CHttpWebRequest& r) { return r.m_openFlags; }
    static const std::string& ObjectName(const CHttpWebRequest& r) { return r.m_objectName; }
    static const FormPart* Find(const CHttpWebRequest& r, const char* name) { return r.FindFormPart(name); }
    static size_t PartCount(const CHttpWebRequest& r) { return r.m_formParts.size(); }
    static size_t BodyCapacity(const CHttpWebRequest& r) { return r.m_body.capacity(); }
    static size_t ReadPartChunk(CHttpWebRequest& r, const FormPart& part, uint64_t offset, uint8_t* buffer) {
        return r.ReadPartChunk(part, offset, buffer);
    }
};

namespace http_test {

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(velta_test::Reset()) << velta_test::LastError(); }
};

inline velta_test::Route MakeRoute(const std::string& target, const std::string& body = "") {
    velta_test::Route route;
    route.target = target;
    route.body = body;
    return route;
}

// Bounded, so that a hanging request fails the test instead of blocking it.
inline RequestState WaitEnd(IHttpWebRequest& r) { return r.Wait(60000); }

inline std::string Body(IHttpWebRequest& r) {
    const uint8_t* data = nullptr;
    const uint32_t size = r.GetResponseData(&data);
    return std::string(reinterpret_cast<const char*>(data), size);
}

inline std::string ScratchFolder() {
    static int counter = 0;
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + "velta-http-" + std::to_string(GetCurrentProcessId()) + "-" +
                               std::to_string(counter++) + "\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

// Writes the bytes; a larger size extends the file with a hole (no disk space).
inline bool MakeFile(const std::string& path, const std::string& bytes, int64_t size = 0) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    if (ok && size) ok = SetFilePointerEx(file, LARGE_INTEGER{.QuadPart = size}, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    return ok && written == bytes.size();
}

inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Share mode 0 succeeds only if nobody holds the file open.
inline bool NobodyHoldsOpen(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    return file != INVALID_HANDLE_VALUE && CloseHandle(file);
}

// (<chrono> cannot be used: its micro sign has no code page 932 form.)
inline bool WaitUntil(const std::function<bool()>& condition, uint32_t deadlineMs = 20000) {
    for (const ULONGLONG end = GetTickCount64() + deadlineMs; !condition(); Sleep(1))
        if (GetTickCount64() > end) return false;
    return true;
}

}  // namespace http_test
