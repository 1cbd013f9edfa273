#pragma once
// Shared helpers of the request tests, and the probe that reaches what the
// platform offers no outside view of (open flags, stored parts, the body's
// reserved memory, one chunk read of a disk part).
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "http/HttpWebRequest.h"
#include "tests/support/Files.h"
#include "tests/support/TestServer.h"
#include "tests/support/Wait.h"

struct HttpWebRequestProbe {
    static bool Connect(CHttpWebRequest& r) { return r.m_core->Connect(); }
    static uint32_t OpenFlags(const CHttpWebRequest& r) { return r.m_core->m_openFlags; }
    static const std::string& ObjectName(const CHttpWebRequest& r) {
        return r.m_core->m_objectName;
    }
    static const FormPart* Find(const CHttpWebRequest& r, const char* name) {
        return r.m_core->FindFormPart(name);
    }
    static size_t PartCount(const CHttpWebRequest& r) { return r.m_core->m_formParts.size(); }
    static size_t BodyCapacity(const CHttpWebRequest& r) { return r.m_core->m_body.capacity(); }
    static size_t ReadPartChunk(CHttpWebRequest& r, const FormPart& part, uint64_t offset,
                                uint8_t* buffer) {
        return r.m_core->ReadPartChunk(part, offset, buffer);
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

// A fresh folder that lives, and is removed, with the test program.
inline std::string ScratchFolder() {
    static std::vector<std::unique_ptr<velta_test::ScratchFolder>> folders;
    folders.push_back(std::make_unique<velta_test::ScratchFolder>("http"));
    return folders.back()->Path();
}

// Writes the bytes; a larger size extends the file with a hole (no disk space).
inline bool MakeFile(const std::string& path, const std::string& bytes, int64_t size = 0) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    if (ok && size)
        ok = SetFilePointerEx(file, LARGE_INTEGER{.QuadPart = size}, nullptr, FILE_BEGIN) &&
             SetEndOfFile(file);
    CloseHandle(file);
    return ok && written == bytes.size();
}

using velta_test::ReadWholeFile;
using velta_test::WaitUntil;

// Share mode 0 succeeds only if nobody holds the file open.
inline bool NobodyHoldsOpen(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              0, nullptr);
    return file != INVALID_HANDLE_VALUE && CloseHandle(file);
}

}  // namespace http_test
