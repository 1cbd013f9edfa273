// download_bench <url> <target file> <bare|bare-poll|class>
// Downloads the URL into the file once, either through a bare WinINet loop
// with 4,096-byte reads (the platform's bound for that read size), the same
// loop polling an event before each read as the class does (to see what
// that poll costs), or through CHttpWebRequest::StartToFile; prints one line:
//   <way> bytes=<n> seconds=<s> mbps=<MB/s> private_before=<KiB> private_max=<KiB>
//   peak_commit=<KiB>
// private_* are PROCESS_MEMORY_COUNTERS_EX.PrivateUsage (the working set
// where the platform reports no private usage) sampled while the download
// runs; peak_commit is PeakPagefileUsage at the end.
#include <windows.h>
#include <wininet.h>
#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "http/HttpWebRequest.h"

namespace {

// PrivateUsage where the platform fills it in; Wine 8 leaves it 0, and the
// working set is the nearest figure it does report.
uint64_t PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof(counters));
    return counters.PrivateUsage ? counters.PrivateUsage : counters.WorkingSetSize;
}

uint64_t PeakCommit() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof(counters));
    return counters.PeakPagefileUsage;
}

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

// The same calls and flags the class makes, without its thread, events,
// locks or bookkeeping: what remains is the cost of WinINet itself.
bool BareLoop(const char* url, const char* path, uint64_t* bytes, uint64_t* privateMax,
              HANDLE pollEvent) {
    HINTERNET internet =
        InternetOpenA("MarrowZOVE", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!internet) return false;
    char host[256] = {}, object[2048] = {}, extra[1024] = {};
    URL_COMPONENTSA parts{};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host;
    parts.dwHostNameLength = sizeof(host);
    parts.lpszUrlPath = object;
    parts.dwUrlPathLength = sizeof(object);
    parts.lpszExtraInfo = extra;
    parts.dwExtraInfoLength = sizeof(extra);
    InternetCrackUrlA(url, 0, 0, &parts);
    std::strcat(object, extra);
    HINTERNET connect = InternetConnectA(internet, host, parts.nPort, nullptr, nullptr,
                                         INTERNET_SERVICE_HTTP, 0, 0);
    HINTERNET request =
        connect
            ? HttpOpenRequestA(connect, "GET", object, nullptr, nullptr, nullptr,
                               parts.nScheme == INTERNET_SCHEME_HTTPS ? 0x84A03000 : 0x84200000, 0)
            : nullptr;
    bool ok = request && HttpSendRequestA(request, "", 0, nullptr, 0);
    HANDLE file =
        CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ok = ok && file != INVALID_HANDLE_VALUE;
    char buffer[4096];
    unsigned polls = 0;
    while (ok) {
        if (pollEvent && WaitForSingleObject(pollEvent, 0) == WAIT_OBJECT_0) break;
        DWORD read = 0;
        if (!InternetReadFile(request, buffer, sizeof(buffer), &read)) {
            ok = false;
            break;
        }
        if (!read) break;
        DWORD written = 0;
        if (!WriteFile(file, buffer, read, &written, nullptr) || written != read) ok = false;
        *bytes += read;
        // Sampling every read would measure the sampler; every 256th is enough.
        if ((++polls & 255) == 0) {
            const uint64_t now = PrivateBytes();
            if (now > *privateMax) *privateMax = now;
        }
    }
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    if (request) InternetCloseHandle(request);
    if (connect) InternetCloseHandle(connect);
    InternetCloseHandle(internet);
    return ok;
}

bool ClassDownload(const char* url, const char* path, uint64_t* bytes, uint64_t* privateMax) {
    CHttpWebRequest request(url);
    if (!request.StartToFile(path)) return false;
    RequestState state;
    // The way the download run uses it: 100 ms waits, reading the progress.
    while ((state = request.Wait(100)) != Completed && state != Failed) {
        const uint64_t now = PrivateBytes();
        if (now > *privateMax) *privateMax = now;
    }
    request.GetReceivedSize(bytes);
    return state == Completed;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: download_bench <url> <target file> <bare|bare-poll|class>\n");
        return 2;
    }
    const std::string way = argv[3];
    uint64_t bytes = 0;
    const uint64_t before = PrivateBytes();
    uint64_t privateMax = before;
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    HANDLE pollEvent = way == "bare-poll" ? CreateEventA(nullptr, TRUE, FALSE, nullptr) : nullptr;
    const bool ok = way.rfind("bare", 0) == 0
                        ? BareLoop(argv[1], argv[2], &bytes, &privateMax, pollEvent)
                        : ClassDownload(argv[1], argv[2], &bytes, &privateMax);
    QueryPerformanceCounter(&end);
    if (!ok) {
        std::fprintf(stderr, "download_bench: %s download failed after %llu bytes\n", way.c_str(),
                     static_cast<unsigned long long>(bytes));
        return 1;
    }
    const double seconds = Seconds(start, end);
    std::printf(
        "%s bytes=%llu seconds=%.3f mbps=%.1f private_before=%llu private_max=%llu "
        "peak_commit=%llu\n",
        way == "bare"        ? "bare-wininet-4096"
        : way == "bare-poll" ? "bare-wininet-4096+event-poll"
                             : "CHttpWebRequest",
        static_cast<unsigned long long>(bytes), seconds, bytes / seconds / 1e6,
        static_cast<unsigned long long>(before / 1024),
        static_cast<unsigned long long>(privateMax / 1024),
        static_cast<unsigned long long>(PeakCommit() / 1024));
    return 0;
}
