#include "ProcessCounters.h"

#include <tlhelp32.h>

#include <cstdio>
#include <algorithm>
#include <memory>
#include <vector>

#include "http/HttpWebRequest.h"
#include "tests/support/MessageBoxWatcher.h"
#include "tests/support/TestServer.h"

namespace fault_test {

namespace {

DWORD CountOwnThreads() {
    const DWORD pid = GetCurrentProcessId();
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    DWORD count = 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    if (Thread32First(snapshot, &entry)) {
        do {
            if (entry.th32OwnerProcessID == pid) ++count;
            entry.dwSize = sizeof entry;
        } while (Thread32Next(snapshot, &entry));
    }
    CloseHandle(snapshot);
    return count;
}

// Wine answers GetProcessHandleCount with 0, so the handles are counted in
// the system's handle table, which Wine fills from its server.
DWORD CountOwnHandles() {
    using QueryFn = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    static const auto query = reinterpret_cast<QueryFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"),
                                               "NtQuerySystemInformation")));
    if (query == nullptr) return 0;
    struct Entry {
        ULONG pid;
        BYTE type;
        BYTE flags;
        USHORT handle;
        PVOID object;
        ACCESS_MASK access;
    };
    constexpr ULONG kSystemHandleInformation = 16;
    std::vector<BYTE> buffer(1 << 20);
    for (int attempt = 0; attempt < 6; ++attempt) {
        ULONG needed = 0;
        const LONG status = query(kSystemHandleInformation, buffer.data(),
                                  static_cast<ULONG>(buffer.size()), &needed);
        if (status == 0) {
            const ULONG count = *reinterpret_cast<const ULONG*>(buffer.data());
            const Entry* entries = reinterpret_cast<const Entry*>(buffer.data() + sizeof(void*));
            const DWORD pid = GetCurrentProcessId();
            DWORD own = 0;
            for (ULONG i = 0; i < count; ++i) {
                if (entries[i].pid == pid) ++own;
            }
            return own;
        }
        buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 65536));
    }
    return 0;
}

// Wine's process memory counters leave the private usage at 0; committed
// private pages from a walk of the address space are what the heap holds.
uint64_t CountPrivateBytes() {
    uint64_t total = 0;
    MEMORY_BASIC_INFORMATION info;
    const BYTE* address = nullptr;
    while (VirtualQuery(address, &info, sizeof info) == sizeof info) {
        if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) total += info.RegionSize;
        const BYTE* next = static_cast<const BYTE*>(info.BaseAddress) + info.RegionSize;
        if (next <= address) break;
        address = next;
    }
    return total;
}

}  // namespace

ProcessCounters ReadCounters() {
    ProcessCounters c;
    c.handles = CountOwnHandles();
    c.threads = CountOwnThreads();
    c.privateBytes = CountPrivateBytes();
    return c;
}

std::string Describe(const ProcessCounters& c) {
    char text[128];
    snprintf(text, sizeof text, "handles %lu, threads %lu, private %.1f MiB",
             static_cast<unsigned long>(c.handles), static_cast<unsigned long>(c.threads),
             static_cast<double>(c.privateBytes) / 1048576.0);
    return text;
}

bool WaitForCountersBack(const ProcessCounters& baseline, const Slack& slack, DWORD timeoutMs,
                         ProcessCounters* last) {
    const DWORD start = GetTickCount();
    for (;;) {
        const ProcessCounters now = ReadCounters();
        if (last != nullptr) *last = now;
        if (now.handles <= baseline.handles + slack.handles &&
            now.threads <= baseline.threads + slack.threads) {
            return true;
        }
        if (Since(start) >= timeoutMs) return false;
        // A poll against the deadline; nothing waits on this interval.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

void WarmUp() {
    velta_test::Route route;
    route.target = "/faults/warmup.bin";
    route.pattern = 100000;
    velta_test::SetRoute(route);
    for (const std::string& url :
         {velta_test::HttpsUrl(route.target), velta_test::HttpUrl(route.target)}) {
        std::unique_ptr<IHttpWebRequest> request(new CHttpWebRequest(url.c_str()));
        request->Start();
        request->Wait(30000);
    }
    velta_test::MessageBoxWatcher boxes;
    velta_test::RequestCount(route.target);
}

}  // namespace fault_test
