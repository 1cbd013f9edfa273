#include "tests/support/WindowLatencyProbe.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <thread>

#include "res/resource.h"
#include "tests/support/WindowHelpers.h"

namespace velta_test {

namespace {

double NowMs() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// FindWindowEx compares the title the window manager keeps, without sending
// WM_GETTEXT, so a window whose thread never pumps is found all the same.
HWND FindOwnWindow(const std::wstring& title) {
    HWND candidate = nullptr;
    while ((candidate = FindWindowExW(nullptr, candidate, nullptr, title.c_str())) != nullptr) {
        DWORD pid = 0;
        GetWindowThreadProcessId(candidate, &pid);
        if (pid == GetCurrentProcessId()) return candidate;
    }
    return nullptr;
}

}  // namespace

struct WindowLatencyProbe::State {
    std::wstring title;
    DWORD intervalMs = 0;
    DWORD answerTimeoutMs = 0;
    HANDLE stop = nullptr;
    std::mutex lock;
    HWND window = nullptr;
    LatencyReport report;
    std::thread pinger;
    std::thread reader;

    // Polls for the window until it exists or the probe stops.
    HWND AwaitWindow() {
        for (;;) {
            {
                std::lock_guard<std::mutex> hold(lock);
                if (window != nullptr) return window;
                window = FindOwnWindow(title);
                if (window != nullptr) {
                    report.windowFound = true;
                    return window;
                }
            }
            if (WaitForSingleObject(stop, 5) == WAIT_OBJECT_0) return nullptr;
        }
    }

    void Ping() {
        const HWND target = AwaitWindow();
        if (target == nullptr) return;
        for (;;) {
            if (!IsWindow(target)) return;
            const double sent = NowMs();
            DWORD_PTR ignored = 0;
            const bool answered = SendMessageTimeoutW(target, WM_NULL, 0, 0, SMTO_NORMAL,
                                                      answerTimeoutMs, &ignored) != 0;
            const double waited = NowMs() - sent;
            {
                std::lock_guard<std::mutex> hold(lock);
                // A message that timed out went unanswered. One whose window
                // was closed while it waited counts with the time it waited
                // (a window that never answers is only left when it closes);
                // one refused at once because the window had just gone
                // measures nothing.
                const bool gone = !IsWindow(target);
                if (answered) {
                    report.answeredMs.push_back(waited);
                } else if (!gone || waited >= answerTimeoutMs) {
                    report.unanswered += 1;
                }
                if (answered || !gone || waited >= 1.0) {
                    report.worstMs = std::max(report.worstMs, waited);
                }
            }
            // The next message goes out one interval after this one was sent.
            const double next = sent + intervalMs;
            const double now = NowMs();
            const DWORD wait = now >= next ? 0 : static_cast<DWORD>(next - now);
            if (WaitForSingleObject(stop, wait) == WAIT_OBJECT_0) return;
        }
    }

    void Read() {
        const HWND target = AwaitWindow();
        if (target == nullptr) return;
        while (IsWindow(target)) {
            // Looked up each time: the window may be found while its
            // controls are still being created.
            const HWND bar = GetDlgItem(target, IDC_PROGRESS_BAR);
            DWORD_PTR position = 0;
            const bool gotBar = SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_NORMAL,
                                                    answerTimeoutMs, &position) != 0;
            const std::string text = velta_test::ControlText(target, IDC_PROGRESS_TEXT);
            {
                std::lock_guard<std::mutex> hold(lock);
                if (bar != nullptr && gotBar && IsWindow(target))
                    report.lastBarPosition = static_cast<int>(position);
                if (!text.empty()) report.lastProgressText = text;
            }
            if (WaitForSingleObject(stop, 5) == WAIT_OBJECT_0) return;
        }
    }
};

WindowLatencyProbe::WindowLatencyProbe(const std::string& title, DWORD intervalMs,
                                       DWORD answerTimeoutMs)
    : m_state(std::make_unique<State>()) {
    m_state->title = velta_test::FromCp932(title);
    m_state->intervalMs = intervalMs;
    m_state->answerTimeoutMs = answerTimeoutMs;
    m_state->stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    m_state->pinger = std::thread([this] { m_state->Ping(); });
    m_state->reader = std::thread([this] { m_state->Read(); });
}

WindowLatencyProbe::~WindowLatencyProbe() {
    Stop();
    CloseHandle(m_state->stop);
}

LatencyReport WindowLatencyProbe::Stop() {
    SetEvent(m_state->stop);
    if (m_state->pinger.joinable()) m_state->pinger.join();
    if (m_state->reader.joinable()) m_state->reader.join();
    std::lock_guard<std::mutex> hold(m_state->lock);
    LatencyReport report = m_state->report;
    if (!report.answeredMs.empty()) {
        std::vector<double> sorted = report.answeredMs;
        std::sort(sorted.begin(), sorted.end());
        report.medianMs = sorted[sorted.size() / 2];
    }
    return report;
}

std::string Describe(const LatencyReport& report) {
    char line[200];
    snprintf(line, sizeof line,
             "%zu messages answered, worst %.1f ms, median %.1f ms, unanswered %d",
             report.answeredMs.size(), report.worstMs, report.medianMs, report.unanswered);
    return line;
}

}  // namespace velta_test
