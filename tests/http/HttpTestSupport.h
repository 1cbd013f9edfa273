#pragma once
// Shared helpers of the request tests: scratch files, deadlines, and the
// probe that reaches the request's private steps.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "http/HttpWebRequest.h"

// Friend of CHttpWebRequest: lets the tests drive one step in isolation
// where the platform offers no outside view of it (the open flags, the
// per-chunk reads of a disk part).
struct HttpWebRequestProbe {
    static bool Connect(CHttpWebRequest& r) { return r.Connect(); }
    static uint32_t OpenFlags(const CHttpWebRequest& r) { return r.m_openFlags; }
    static const std::string& ObjectName(const CHttpWebRequest& r) { return r.m_objectName; }
    static const FormPart* Find(const CHttpWebRequest& r, const char* name) { return r.FindFormPart(name); }
    static size_t ReadPartChunk(CHttpWebRequest& r, const FormPart& part, uint64_t offset, uint8_t* buffer) {
        return r.ReadPartChunk(part, offset, buffer);
    }
    static size_t PartCount(const CHttpWebRequest& r) { return r.m_formParts.size(); }
    static size_t BodyCapacity(const CHttpWebRequest& r) { return r.m_body.capacity(); }
};

namespace http_test {

// A fresh, empty scratch folder for one test (under the Wine temp folder).
std::string ScratchFolder();
bool WriteWholeFile(const std::string& path, const std::string& bytes);
std::string ReadWholeFile(const std::string& path);
// A file of the given size whose content is a hole: costs no disk space.
bool MakeSparseFile(const std::string& path, uint64_t size);
// The file can be opened with share mode 0, i.e. nobody holds it open.
bool NobodyHoldsOpen(const std::string& path);

// Polls the condition until it holds or the generous deadline has passed.
// (<chrono> cannot be used: its micro sign has no code page 932 form.)
bool WaitUntil(const std::function<bool()>& condition, uint32_t deadlineMs = 20000);

// Waits without limit but fails the test instead of hanging for ever.
RequestState WaitEnd(IHttpWebRequest& request, uint32_t deadlineMs = 60000);

}  // namespace http_test
