#pragma once
// Measures how quickly a window of this process answers while its thread is
// busy elsewhere: one thread sends it a message at a fixed interval through
// SendMessageTimeout and times each answer, a second one keeps reading the
// progress bar and text so the last values shown can be checked. The window
// is found without sending it anything, so a window that never answers is
// still found and measured. Shared by the progress-window tests and the run
// benchmark.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace velta_test {

struct LatencyReport {
    bool windowFound = false;
    std::vector<double> answeredMs;  // one entry per answered message, in order
    int unanswered = 0;              // messages that timed out
    double worstMs = 0;              // longest wait for an answer or for the window to close
    double medianMs = 0;             // of the answered messages
    int lastBarPosition = -1;        // last PBM_GETPOS answer; -1 if none
    std::string lastProgressText;    // last text read from the progress text, code page 932
};

class WindowLatencyProbe {
public:
    // title: exact title of the top-level window of this process to watch.
    WindowLatencyProbe(const std::string& title, DWORD intervalMs = 200,
                       DWORD answerTimeoutMs = 10000);
    ~WindowLatencyProbe();  // stops and joins
    WindowLatencyProbe(const WindowLatencyProbe&) = delete;
    WindowLatencyProbe& operator=(const WindowLatencyProbe&) = delete;

    // Stops both threads (each ends after its current message at the latest)
    // and answers what they saw.
    LatencyReport Stop();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// "N messages, worst W ms, median M ms, unanswered U" for test output.
std::string Describe(const LatencyReport& report);

}  // namespace velta_test
