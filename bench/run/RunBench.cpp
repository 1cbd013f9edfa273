// Whole-run benchmark (a command, not a test). bench/run/run-bench.sh drives
// it inside the test environment; each mode prints one "key value" line per
// figure for the script to collect.
//
//   run_bench bare   URL FOLDER       bare WinINet loop, 4,096-byte reads, to a file
//   run_bench run    URL FOLDER       RunDownload in-process with the real
//                                     progress window; FOLDER stands in for
//                                     the Downloads folder
//   run_bench cancel URL FOLDER MIB   the same, the cancel button pressed once
//                                     MIB MiB are on disk
//   run_bench list   EXE              the real program: start to the filled
//                                     product list
//   run_bench small  URL FOLDER N     DownloadFiles of N small files URL000.bin
//                                     ... into FOLDER, the progress window sent
//                                     a message every 200 ms: its answer times
//
// Message boxes (the run's "setup did not start", the cancel notice) are
// answered by the watcher, so nothing waits for a person.
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "catalog/ProcessState.h"
#include "download/DownloadRun.h"
#include "res/resource.h"
#include "tests/support/Downloads.h"
#include "tests/support/MessageBoxWatcher.h"
#include "tests/support/RunSupport.h"
#include "tests/support/WindowHelpers.h"
#include "tests/support/WindowLatencyProbe.h"

namespace {

double Seconds(const FILETIME& t) {
    ULARGE_INTEGER v;
    v.LowPart = t.dwLowDateTime;
    v.HighPart = t.dwHighDateTime;
    return static_cast<double>(v.QuadPart) / 1e7;
}

double Now() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct CpuTimes {
    double thread = 0;   // user + kernel of one thread
    double process = 0;  // user + kernel of the whole process
};

CpuTimes ReadCpu(HANDLE thread) {
    CpuTimes c;
    FILETIME created, exited, kernel, user;
    if (GetThreadTimes(thread, &created, &exited, &kernel, &user)) {
        c.thread = Seconds(kernel) + Seconds(user);
    }
    if (GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) {
        c.process = Seconds(kernel) + Seconds(user);
    }
    return c;
}

uint64_t FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::string LastComponent(const std::string& url) { return url.substr(url.find_last_of('/') + 1); }

int Bare(const char* url, const std::string& folder) {
    const std::string path = folder + "bare.bin";
    const double start = Now();
    HINTERNET internet =
        InternetOpenA("MarrowZOVE", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    char host[256] = {}, object[2048] = {}, extra[1024] = {};
    URL_COMPONENTSA parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = sizeof host;
    parts.lpszUrlPath = object;
    parts.dwUrlPathLength = sizeof object;
    parts.lpszExtraInfo = extra;
    parts.dwExtraInfoLength = sizeof extra;
    InternetCrackUrlA(url, 0, 0, &parts);
    strcat(object, extra);
    HINTERNET connect = InternetConnectA(internet, host, parts.nPort, nullptr, nullptr,
                                         INTERNET_SERVICE_HTTP, 0, 0);
    const DWORD flags = parts.nScheme == INTERNET_SCHEME_HTTPS ? 0x84A03000 : 0x84200000;
    HINTERNET request =
        HttpOpenRequestA(connect, "GET", object, nullptr, nullptr, nullptr, flags, 0);
    bool ok = request != nullptr && HttpSendRequestA(request, "", 0, nullptr, 0);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    uint64_t total = 0;
    char buffer[4096];
    while (ok && file != INVALID_HANDLE_VALUE) {
        DWORD read = 0, written = 0;
        if (!InternetReadFile(request, buffer, sizeof buffer, &read)) ok = false;
        if (!ok || read == 0) break;
        if (!WriteFile(file, buffer, read, &written, nullptr) || written != read) ok = false;
        total += read;
    }
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    InternetCloseHandle(request);
    InternetCloseHandle(connect);
    InternetCloseHandle(internet);
    const double elapsed = Now() - start;
    DeleteFileA(path.c_str());
    printf("bare_ok %d\nbare_bytes %llu\nbare_seconds %.3f\n", ok ? 1 : 0,
           static_cast<unsigned long long>(total), elapsed);
    return ok ? 0 : 1;
}

// What the observer thread saw of one run.
struct RunWatch {
    bool windowSeen = false;
    double windowOpenedAt = 0, windowClosedAt = 0;
    CpuTimes cpuAtOpen, cpuAtClose;
    uint64_t bytesAtClose = 0;
    bool pressed = false;
    double pressedAt = 0;
    uint64_t bytesAtPress = 0;
};

int RunOrCancel(const char* url, const std::string& folder, uint64_t cancelAtBytes) {
    velta_test::DownloadsFolderOverride downloads(folder);
    if (!downloads.Applied()) {
        fprintf(stderr, "cannot move the Downloads folder\n");
        return 1;
    }
    const std::string filePath = folder + "VELTADL0\\" + LastComponent(url);
    HANDLE mainThread = nullptr;
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &mainThread, 0,
                    FALSE, DUPLICATE_SAME_ACCESS);
    velta_test::MessageBoxWatcher boxes;
    g_productName = "VELTA Bench";
    SelectedFileList = {url};

    RunWatch watch;
    HANDLE finished = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread observer([&] {
        HWND window = nullptr;
        while (window == nullptr) {
            if (WaitForSingleObject(finished, 1) == WAIT_OBJECT_0) return;
            window =
                velta_test::FindTopLevelWindow(velta_test::kProgressTitle, GetCurrentProcessId());
        }
        watch.windowSeen = true;
        watch.windowOpenedAt = Now();
        watch.cpuAtOpen = ReadCpu(mainThread);
        while (IsWindow(window)) {
            if (cancelAtBytes > 0 && !watch.pressed && FileSize(filePath) >= cancelAtBytes) {
                watch.bytesAtPress = FileSize(filePath);
                watch.pressedAt = Now();
                watch.pressed = velta_test::ClickButton(window, IDCANCEL);
            }
            if (WaitForSingleObject(finished, 2) == WAIT_OBJECT_0) break;
            // The file is closed when the window goes; its size then is
            // what the run received.
            const uint64_t size = FileSize(filePath);
            if (size > 0) watch.bytesAtClose = size;
        }
        watch.windowClosedAt = Now();
        watch.cpuAtClose = ReadCpu(mainThread);
    });

    const double start = Now();
    const int result = RunDownload(GetModuleHandleA(nullptr));
    const double returned = Now();
    SetEvent(finished);
    observer.join();
    CloseHandle(finished);
    CloseHandle(mainThread);

    const double transfer = watch.windowClosedAt - watch.windowOpenedAt;
    printf("run_result %d\nrun_window_seen %d\nrun_total_seconds %.3f\n", result,
           watch.windowSeen ? 1 : 0, returned - start);
    printf("run_transfer_seconds %.3f\nrun_bytes %llu\n", transfer,
           static_cast<unsigned long long>(watch.bytesAtClose));
    printf("run_main_cpu_seconds %.3f\nrun_process_cpu_seconds %.3f\n",
           watch.cpuAtClose.thread - watch.cpuAtOpen.thread,
           watch.cpuAtClose.process - watch.cpuAtOpen.process);
    printf("run_boxes %zu\n", boxes.Count());
    if (cancelAtBytes > 0) {
        printf("cancel_pressed %d\ncancel_bytes_at_press %llu\n", watch.pressed ? 1 : 0,
               static_cast<unsigned long long>(watch.bytesAtPress));
        printf("cancel_to_window_gone_ms %.1f\ncancel_to_return_ms %.1f\n",
               (watch.windowClosedAt - watch.pressedAt) * 1000.0,
               (returned - watch.pressedAt) * 1000.0);
    }
    return 0;
}

int List(const char* exe) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::string command = std::string("\"") + exe + "\"";
    const double start = Now();
    if (!CreateProcessA(exe, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        fprintf(stderr, "cannot start %s: %lu\n", exe, GetLastError());
        return 1;
    }
    double windowAt = 0, filledAt = 0;
    int items = 0;
    while (Now() - start < 60.0) {
        for (HWND window : velta_test::TopLevelWindows(process.dwProcessId)) {
            HWND combo = GetDlgItem(window, IDC_SELECTOR_PRODUCTS);
            if (combo == nullptr) continue;
            if (windowAt == 0) windowAt = Now();
            DWORD_PTR count = 0;
            if (SendMessageTimeoutA(combo, CB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 1000, &count) &&
                static_cast<int>(count) > 0) {
                items = static_cast<int>(count);
                filledAt = Now();
            }
        }
        if (filledAt != 0) break;
        Sleep(1);  // a poll of another process, not a wait the figure depends on
    }
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hThread, 10000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    printf("list_items %d\nlist_window_ms %.1f\nlist_filled_ms %.1f\n", items,
           (windowAt - start) * 1000.0, (filledAt - start) * 1000.0);
    return filledAt != 0 ? 0 : 1;
}

int Small(const char* urlPrefix, const std::string& folder, int count) {
    FileList files;
    for (int i = 0; i < count; ++i) {
        char url[2048];
        snprintf(url, sizeof url, "%s%03d.bin", urlPrefix, i);
        files.push_back(url);
    }
    velta_test::MessageBoxWatcher boxes;
    velta_test::WindowLatencyProbe probe(velta_test::kProgressTitle, 200, 30000);
    const double start = Now();
    const int result = DownloadFiles(GetModuleHandleA(nullptr), files, folder);
    const double elapsed = Now() - start;
    const velta_test::LatencyReport report = probe.Stop();
    printf("small_result %d\nsmall_files %d\nsmall_seconds %.3f\nsmall_boxes %zu\n", result, count,
           elapsed, boxes.Count());
    printf("small_window_found %d\nsmall_messages %zu\nsmall_unanswered %d\n",
           report.windowFound ? 1 : 0, report.answeredMs.size(), report.unanswered);
    printf("small_worst_ms %.1f\nsmall_median_ms %.1f\n", report.worstMs, report.medianMs);
    return result == 1 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    auto folderArg = [&](int i) {
        std::string f = argc > i ? argv[i] : "";
        if (!f.empty() && f.back() != '\\') f += '\\';
        return f;
    };
    if (mode == "bare" && argc == 4) return Bare(argv[2], folderArg(3));
    if (mode == "run" && argc == 4) return RunOrCancel(argv[2], folderArg(3), 0);
    if (mode == "cancel" && argc == 5) {
        return RunOrCancel(argv[2], folderArg(3), strtoull(argv[4], nullptr, 10) * 1048576);
    }
    if (mode == "list" && argc == 3) return List(argv[2]);
    if (mode == "small" && argc == 5) return Small(argv[2], folderArg(3), atoi(argv[4]));
    fprintf(stderr,
            "usage: run_bench bare|run URL FOLDER | cancel URL FOLDER MIB | list EXE | "
            "small URL FOLDER N\n");
    return 2;
}
