#include "tests/support/MessageBoxWatcher.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "tests/support/WindowHelpers.h"

namespace velta_test {
namespace {

// Control ids of the message-box template of Wine's user32 (the tests run
// only under Wine): the text static and the icon static (stc1).
constexpr int kTextId = 0xFFFF;
constexpr int kIconId = 0x0440;
constexpr UINT kTimeoutMs = 2000;

const int kButtonIds[] = {IDOK,  IDCANCEL, IDABORT,    IDRETRY,   IDIGNORE,
                          IDYES, IDNO,     IDTRYAGAIN, IDCONTINUE};

struct Candidates {
    DWORD pid;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectBoxes(HWND hwnd, LPARAM param) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    auto* found = reinterpret_cast<Candidates*>(param);
    if (pid == found->pid && IsWindowVisible(hwnd) && IsMessageBoxWindow(hwnd))
        found->windows.push_back(hwnd);
    return TRUE;
}

UINT RecogniseIcon(HWND box) {
    HWND icon = GetDlgItem(box, kIconId);
    if (!icon || !IsWindowVisible(icon)) return 0;
    DWORD_PTR shown = 0;
    if (!SendMessageTimeoutW(icon, STM_GETICON, 0, 0, SMTO_NORMAL, kTimeoutMs, &shown) || !shown)
        return 0;
    // The box loads the shared system icons, so the handles compare equal
    // with the ones this process gets for the same ids.
    const struct {
        LPCSTR id;
        UINT style;
    } known[] = {{IDI_HAND, MB_ICONERROR},
                 {IDI_EXCLAMATION, MB_ICONWARNING},
                 {IDI_ASTERISK, MB_ICONINFORMATION},
                 {IDI_QUESTION, MB_ICONQUESTION}};
    for (const auto& k : known) {
        if (reinterpret_cast<DWORD_PTR>(LoadIconA(nullptr, k.id)) == shown) return k.style;
    }
    return 0;
}

}  // namespace

struct MessageBoxWatcher::State {
    State(int answer, DWORD watchedPid) : defaultAnswer(answer), pid(watchedPid) {}
    void Run();
    void Scan();
    int ChooseAnswer(const SeenMessageBox& box);

    // Guards boxes and the answer list: written by the watcher thread, read
    // by the test thread.
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::vector<SeenMessageBox> boxes;
    std::vector<int> answers;
    size_t nextAnswer = 0;
    int defaultAnswer;
    DWORD pid;
    std::atomic<bool> stop{false};
    std::thread thread;
};

bool IsMessageBoxWindow(HWND hwnd) {
    return ClassName(hwnd) == "#32770" && GetDlgItem(hwnd, kTextId) != nullptr &&
           GetDlgItem(hwnd, kIconId) != nullptr;
}

MessageBoxWatcher::MessageBoxWatcher(int answer, DWORD pid)
    : m_state(std::make_unique<State>(answer, pid ? pid : GetCurrentProcessId())) {
    State* state = m_state.get();
    m_state->thread = std::thread([state] { state->Run(); });
}

MessageBoxWatcher::~MessageBoxWatcher() {
    m_state->stop = true;
    m_state->thread.join();
    // A box the test left open would keep its thread in the modal loop for
    // good; close it so the test program can end.
    std::lock_guard<std::mutex> lock(m_state->mutex);
    for (auto& box : m_state->boxes) {
        if (box.answeredWith == 0 && IsWindow(box.hwnd)) {
            PostMessageW(box.hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            PostMessageW(box.hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        }
    }
}

void MessageBoxWatcher::SetAnswers(std::vector<int> answers) {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->answers = std::move(answers);
    m_state->nextAnswer = 0;
}

void MessageBoxWatcher::State::Run() {
    while (!stop) {
        Scan();
        Sleep(10);  // polling interval of the watcher thread, not a test wait
    }
}

int MessageBoxWatcher::State::ChooseAnswer(const SeenMessageBox& box) {
    int wanted = defaultAnswer;
    if (nextAnswer < answers.size()) wanted = answers[nextAnswer++];
    if (wanted == 0) return 0;
    for (int id : box.buttons) {
        if (id == wanted) return id;
    }
    for (int id : box.buttons) {
        if (id == IDCANCEL) return id;
    }
    return box.buttons.empty() ? IDOK : box.buttons.front();
}

void MessageBoxWatcher::State::Scan() {
    Candidates found{pid, {}};
    EnumWindows(CollectBoxes, reinterpret_cast<LPARAM>(&found));
    for (HWND hwnd : found.windows) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            bool known = false;
            for (const auto& box : boxes) {
                if (box.hwnd == hwnd) known = true;
            }
            if (known) continue;
        }
        SeenMessageBox box;
        box.hwnd = hwnd;
        box.owner = GetWindow(hwnd, GW_OWNER);
        box.ownerWasDisabled = box.owner != nullptr && !IsWindowEnabled(box.owner);
        box.caption = WindowText(hwnd);
        box.text = ControlText(hwnd, kTextId);
        for (int id : kButtonIds) {
            HWND button = GetDlgItem(hwnd, id);
            if (button && IsWindowVisible(button)) box.buttons.push_back(id);
        }
        if (pid == GetCurrentProcessId()) box.icon = RecogniseIcon(hwnd);
        std::lock_guard<std::mutex> lock(mutex);
        int answer = ChooseAnswer(box);
        if (answer != 0) {
            // Posted, not sent: the box's thread is in its own modal loop and
            // picks the command up there; the watcher never waits on it.
            PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(hwnd, answer)));
            box.answeredWith = answer;
        }
        boxes.push_back(std::move(box));
        changed.notify_all();
    }
    // Forget the handles of boxes that are gone, so a later box that is
    // given the same handle counts as a new one.
    std::lock_guard<std::mutex> lock(mutex);
    for (auto& box : boxes) {
        if (box.hwnd && !IsWindow(box.hwnd)) box.hwnd = nullptr;
    }
}

bool MessageBoxWatcher::WaitForCount(size_t n, DWORD timeoutMs) {
    std::unique_lock<std::mutex> lock(m_state->mutex);
    return m_state->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                     [&] { return m_state->boxes.size() >= n; });
}

size_t MessageBoxWatcher::Count() const {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->boxes.size();
}

SeenMessageBox MessageBoxWatcher::Box(size_t index) const {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return index < m_state->boxes.size() ? m_state->boxes[index] : SeenMessageBox();
}

std::vector<SeenMessageBox> MessageBoxWatcher::Boxes() const {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->boxes;
}

bool MessageBoxWatcher::Answer(size_t index, int button) {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    if (index >= m_state->boxes.size() || m_state->boxes[index].answeredWith != 0 ||
        !IsWindow(m_state->boxes[index].hwnd))
        return false;
    HWND hwnd = m_state->boxes[index].hwnd;
    m_state->boxes[index].answeredWith = button;
    return PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                        reinterpret_cast<LPARAM>(GetDlgItem(hwnd, button))) != FALSE;
}

}  // namespace velta_test
