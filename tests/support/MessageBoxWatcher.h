#pragma once
// Finds and answers the message boxes of this process (or of another one)
// while a test runs. A background thread polls the top-level windows; the box's
// modal loop runs on the thread that called MessageBoxA, so the watcher only
// reads it with timed messages and answers with PostMessage.
#include <windows.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace velta_test {

struct SeenMessageBox {
    HWND hwnd = nullptr;
    HWND owner = nullptr;           // GetWindow(GW_OWNER); nullptr for an unowned box
    bool ownerWasDisabled = false;  // the owner was disabled while the box was up (modal to it)
    std::string caption;            // code page 932
    std::string text;               // the 0xFFFF static, code page 932
    std::vector<int> buttons;       // IDOK, IDCANCEL, IDYES ... that the box shows
    UINT icon = 0;                  // MB_ICONERROR / MB_ICONWARNING / MB_ICONINFORMATION /
                                    // MB_ICONQUESTION, 0 if none or not recognised
    int answeredWith = 0;           // the button the watcher pressed, 0 if left open
};

class MessageBoxWatcher {
public:
    // answer: button to press on each box (IDOK by default; 0 leaves boxes
    // open for the test to inspect and Answer()). A box without that button
    // gets IDCANCEL if it has it, else its first button.
    // pid: the process whose boxes to watch (0: this one). Across processes
    // the icon is not recognised (icon handles are per process under Wine).
    explicit MessageBoxWatcher(int answer = IDOK, DWORD pid = 0);
    ~MessageBoxWatcher();  // stops watching; boxes left open are answered
    MessageBoxWatcher(const MessageBoxWatcher&) = delete;
    MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

    // Buttons for the next boxes in turn; after the list runs out the
    // constructor's answer applies again.
    void SetAnswers(std::vector<int> answers);

    // Waits until at least n boxes have been seen; false on timeout.
    bool WaitForCount(size_t n, DWORD timeoutMs = 15000);
    size_t Count() const;
    SeenMessageBox Box(size_t index) const;  // empty record when out of range
    std::vector<SeenMessageBox> Boxes() const;
    // Presses a button on a box that was left open (answer 0).
    bool Answer(size_t index, int button);

private:
    // Kept out of the header: <condition_variable> pulls in <chrono>, which
    // does not compile with the code-page-932 execution charset of the tests.
    struct State;
    std::unique_ptr<State> m_state;
};

// True when hwnd looks like a box made by MessageBox (dialog class, the
// 0xFFFF text static and the icon static of the system template).
bool IsMessageBoxWindow(HWND hwnd);

}  // namespace velta_test
