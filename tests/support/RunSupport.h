#pragma once
// A download run inside a test program: the process-wide run state put back,
// the progress window's title, and what the served stand-in setup
// (tests/download/DownloadRunSetupFixture.cpp) recorded while it ran.
#include <cstdint>
#include <map>
#include <string>

#include "catalog/ProcessState.h"
#include "download/DownloadRun.h"

namespace velta_test {

// The template title of the progress window.
inline constexpr char kProgressTitle[] = "VELTA Setup Download";

// Resets the process-wide run state now and on destruction.
class ProcessStateGuard {
public:
    ProcessStateGuard() { Reset(); }
    ~ProcessStateGuard() { Reset(); }
    ProcessStateGuard(const ProcessStateGuard&) = delete;
    ProcessStateGuard& operator=(const ProcessStateGuard&) = delete;

private:
    static void Reset() {
        g_cancelRequested = 0;
        g_testMode = 0;
        g_productName.clear();
        SelectedFileList.clear();
    }
};

// The stand-in setup's record; exists only when it ran to its end.
struct SetupRecord {
    bool exists = false;
    std::string path;
    std::string command;
    std::string current;
    std::map<std::string, uint64_t> files;       // name -> size, beside the setup
    std::map<std::string, std::string> digests;  // name -> DigestOf its bytes (ContentDigest.h)
};
SetupRecord ReadSetupRecord(const std::string& recordPath);

}  // namespace velta_test
