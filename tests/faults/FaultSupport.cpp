#include "FaultSupport.h"

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "catalog/ProcessState.h"
#include "download/DownloadRun.h"
#include "http/HttpWebRequest.h"

namespace velta_test {
namespace {

const std::string& Fixture() {
    static const std::string bytes = ReadWholeFile(VELTA_FAULTS_SETUP_FIXTURE);
    return bytes;
}

DWORD CountOwnThreads() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    DWORD count = 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL ok = Thread32First(snapshot, &entry); ok; ok = Thread32Next(snapshot, &entry)) {
        count += entry.th32OwnerProcessID == GetCurrentProcessId();
    }
    CloseHandle(snapshot);
    return count;
}

// Wine answers GetProcessHandleCount with 0; its system handle table is real.
DWORD CountOwnHandles() {
    using QueryFn = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    static const auto query = reinterpret_cast<QueryFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    struct Entry {
        ULONG pid;
        BYTE type, flags;
        USHORT handle;
        PVOID object;
        ACCESS_MASK access;
    };
    std::vector<BYTE> buffer(1 << 20);
    ULONG needed = 0;
    while (query(16 /* SystemHandleInformation */, buffer.data(), buffer.size(), &needed) != 0) {
        buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 65536));
    }
    const auto* entries = reinterpret_cast<const Entry*>(buffer.data() + sizeof(void*));
    return std::count_if(entries, entries + *reinterpret_cast<const ULONG*>(buffer.data()),
                         [](const Entry& e) { return e.pid == GetCurrentProcessId(); });
}

}  // namespace

std::ostream& operator<<(std::ostream& out, const Counters& c) {
    return out << c.handles << " handles, " << c.threads << " threads, " << (c.privateBytes >> 20)
               << " MiB private";
}

Counters ReadCounters() {
    // Wine leaves the private usage counter at 0; committed private pages are real.
    uint64_t privateBytes = 0;
    MEMORY_BASIC_INFORMATION info;
    for (const BYTE* at = nullptr; VirtualQuery(at, &info, sizeof info) == sizeof info;) {
        if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) privateBytes += info.RegionSize;
        const BYTE* next = static_cast<const BYTE*>(info.BaseAddress) + info.RegionSize;
        if (next <= at) break;
        at = next;
    }
    return {CountOwnHandles(), CountOwnThreads(), privateBytes};
}

void ExpectCountersBack(const Counters& baseline) {
    Counters now;
    EXPECT_TRUE(WaitUntil(
        [&] {
            now = ReadCounters();
            return now.handles <= baseline.handles + 4 && now.threads <= baseline.threads + 1;
        },
        20000))
        << "before: " << baseline << "; after: " << now;
}

void WarmUp() {
    Reset();
    SetRoute(PatternRoute("/faults/warm.bin", 100000));
    for (const std::string& url : {HttpsUrl("/faults/warm.bin"), HttpUrl("/faults/warm.bin")}) {
        CHttpWebRequest request(url.c_str());
        request.Start();
        request.Wait(30000);
    }
    RunHarness harness;
    SetRoute(SetupRoute("/faults/warm/setup.exe"));
    MessageBoxWatcher boxes;
    harness.Run({HttpsUrl("/faults/warm/setup.exe")});
}

DWORD WithSafetyNet(const std::function<void()>& f) {
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread net([done] {
        if (WaitForSingleObject(done, 65000) == WAIT_TIMEOUT) Reset();
    });
    const DWORD start = GetTickCount();
    f();
    const DWORD elapsed = GetTickCount() - start;
    SetEvent(done);
    net.join();
    CloseHandle(done);
    return elapsed;
}

Route SetupRoute(const std::string& target) { return BodyRoute(target, Fixture()); }

RunHarness::RunHarness(const std::string& folder)
    : downloads(folder.empty() ? scratch.Path() : folder), override(downloads) {
    SetEnvironmentVariableA("VELTA_RUN_SETUP_RECORD", (records.Path() + "setup.txt").c_str());
    g_productName = "VELTA 障害テスト";
    ready = override.Applied() && !Fixture().empty();
}

RunHarness::~RunHarness() { SetEnvironmentVariableA("VELTA_RUN_SETUP_RECORD", nullptr); }

bool RunHarness::NothingLeftBehind() const {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((downloads + "VELTADL*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return true;
    FindClose(search);
    return false;
}

int RunHarness::Run(const FileList& files) {
    DeleteFileA((records.Path() + "setup.txt").c_str());
    g_cancelRequested = 0;
    SelectedFileList = files;
    return RunDownload(GetModuleHandleA(nullptr));
}

std::map<std::string, uint64_t> RunHarness::SetupSaw() const {
    return ReadSetupRecord(records.Path() + "setup.txt").files;
}

}  // namespace velta_test
