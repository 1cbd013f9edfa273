#pragma once
// What a fault may leak from this process: kernel handles, threads and
// private memory, read through the platform rather than from our own books.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

namespace fault_test {

struct ProcessCounters {
    DWORD handles = 0;
    DWORD threads = 0;
    uint64_t privateBytes = 0;
};

ProcessCounters ReadCounters();
std::string Describe(const ProcessCounters& c);

// WinINet under Wine keeps a helper thread of its own while it holds
// pooled connections (measured: the thread count moves between 2 and 3
// after a warm-up request), and a few handles come and go with the pool.
// Leak checks allow this much above a baseline taken after a warm-up;
// one leaked worker thread more than that fails them.
struct Slack {
    DWORD handles = 4;
    DWORD threads = 1;
};

// Polls until handles and threads are back within slack of baseline (the
// helper threads end on their own time) or the deadline passes; the last
// reading is stored in last.
bool WaitForCountersBack(const ProcessCounters& baseline, const Slack& slack, DWORD timeoutMs,
                         ProcessCounters* last);

// One complete HTTPS download into memory, so that WinINet, TLS, the test
// server client and the message-box watcher have made their one-time
// allocations before a baseline is taken.
void WarmUp();

// Milliseconds since start, in the 32-bit tick arithmetic.
inline DWORD Since(DWORD start) { return GetTickCount() - start; }

}  // namespace fault_test
