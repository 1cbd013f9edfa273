#include <gtest/gtest.h>

#include <thread>

#include "tests/support/MessageBoxWatcher.h"

using namespace velta_test;

TEST(MessageBoxWatcherTest, SeesAndAnswersBoxesShownOnTheMainThread) {
    struct Case {
        UINT style;
        int answer;
        std::vector<int> buttons;
        UINT icon;
    } cases[] = {
        {MB_OK | MB_ICONERROR, IDOK, {IDOK}, MB_ICONERROR},
        {MB_OK | MB_ICONWARNING, IDOK, {IDOK}, MB_ICONWARNING},
        {MB_OKCANCEL | MB_ICONINFORMATION, IDCANCEL, {IDOK, IDCANCEL}, MB_ICONINFORMATION},
        {MB_YESNO | MB_ICONQUESTION, IDNO, {IDYES, IDNO}, MB_ICONQUESTION},
        {MB_OK, IDOK, {IDOK}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.style);
        MessageBoxWatcher watcher(c.answer);
        // Blocks this thread in the box's modal loop until the watcher answers.
        EXPECT_EQ(c.answer, MessageBoxA(nullptr, "接続できませんでした。\r\n表示", "VELTA 見出し", c.style));
        ASSERT_EQ(1u, watcher.Count());
        SeenMessageBox box = watcher.Box(0);
        EXPECT_EQ("VELTA \x8C\xA9\x8F\x6F\x82\xB5", box.caption);
        EXPECT_EQ("接続できませんでした。\r\n\x95\x5C示", box.text);
        EXPECT_EQ(c.buttons, box.buttons);
        EXPECT_EQ(c.icon, box.icon);
        EXPECT_EQ(nullptr, box.owner);
        EXPECT_EQ(c.answer, box.answeredWith);
    }
}

TEST(MessageBoxWatcherTest, RecordsOwnerAndAnswersInTurn) {
    HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200, 100, nullptr,
                                 nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, owner);
    MessageBoxWatcher watcher;
    watcher.SetAnswers({IDCANCEL, IDRETRY});
    EXPECT_EQ(IDCANCEL, MessageBoxA(owner, "one", "c", MB_OKCANCEL));
    EXPECT_EQ(IDRETRY, MessageBoxA(owner, "two", "c", MB_RETRYCANCEL));
    EXPECT_EQ(IDOK, MessageBoxA(nullptr, "three", "c", MB_OKCANCEL));  // list used up: default answer
    ASSERT_EQ(3u, watcher.Count());
    EXPECT_EQ(owner, watcher.Box(0).owner);
    EXPECT_TRUE(watcher.Box(0).ownerWasDisabled);
    EXPECT_EQ("two", watcher.Box(1).text);
    EXPECT_EQ(nullptr, watcher.Box(2).owner);
    EXPECT_TRUE(IsWindowEnabled(owner));
    DestroyWindow(owner);
}

namespace {

INT_PTR CALLBACK PlainDialogProc(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG; }

// An ordinary dialog with a static of id -1 (0xFFFF), as resource scripts
// write IDC_STATIC: the watcher must not take it for a message box.
HWND CreatePlainDialog() {
    alignas(4) static WORD tmpl[64] = {};
    WORD* p = tmpl;
    auto* dt = reinterpret_cast<DLGTEMPLATE*>(p);
    dt->style = WS_POPUP | WS_CAPTION | WS_VISIBLE | DS_MODALFRAME;
    dt->cdit = 1;
    dt->cx = 120;
    dt->cy = 40;
    p = reinterpret_cast<WORD*>(dt + 1);
    *p++ = 0;  // menu
    *p++ = 0;  // class
    *p++ = 0;  // title
    p = reinterpret_cast<WORD*>((reinterpret_cast<ULONG_PTR>(p) + 3) & ~ULONG_PTR(3));
    auto* it = reinterpret_cast<DLGITEMTEMPLATE*>(p);
    it->style = WS_CHILD | WS_VISIBLE;
    it->x = 5;
    it->y = 5;
    it->cx = 100;
    it->cy = 10;
    it->id = 0xFFFF;
    p = reinterpret_cast<WORD*>(it + 1);
    *p++ = 0xFFFF;
    *p++ = 0x0082;  // static
    *p++ = L'x';
    *p++ = 0;
    *p++ = 0;  // creation data
    return CreateDialogIndirectParamA(nullptr, dt, nullptr, PlainDialogProc, 0);
}

}  // namespace

TEST(MessageBoxWatcherTest, IgnoresOrdinaryDialogs) {
    HWND dialog = CreatePlainDialog();
    ASSERT_NE(nullptr, dialog);
    EXPECT_FALSE(IsMessageBoxWindow(dialog));
    MessageBoxWatcher watcher;
    // The watcher scans all windows on each pass, so by the time it has
    // found the box it has looked at the dialog too.
    MessageBoxA(nullptr, "real", "box", MB_OK);
    ASSERT_EQ(1u, watcher.Count());
    EXPECT_EQ("real", watcher.Box(0).text);
    EXPECT_TRUE(IsWindow(dialog));
    DestroyWindow(dialog);
}

TEST(MessageBoxWatcherTest, BoxLeftOpenCanBeInspectedThenAnswered) {
    MessageBoxWatcher watcher(0);
    int result = 0;
    // The box needs a thread that stays in its loop while this one checks it.
    std::thread shower([&] { result = MessageBoxA(nullptr, "wait", "open", MB_YESNO); });
    ASSERT_TRUE(watcher.WaitForCount(1));
    SeenMessageBox box = watcher.Box(0);
    EXPECT_TRUE(IsWindowVisible(box.hwnd));
    EXPECT_EQ(0, box.answeredWith);
    EXPECT_TRUE(watcher.Answer(0, IDYES));
    shower.join();
    EXPECT_EQ(IDYES, result);
    EXPECT_FALSE(watcher.Answer(0, IDNO));
}

TEST(MessageBoxWatcherTest, WatchesTheBoxesOfAnotherProcess) {
    // The child role lives in WindowHelpersTest.cpp: this executable shows
    // one box and exits with the button that closed it.
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    SetEnvironmentVariableA("VELTA_SUPPORT_CHILD", "box");
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    BOOL started = CreateProcessA(self, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    SetEnvironmentVariableA("VELTA_SUPPORT_CHILD", nullptr);
    ASSERT_TRUE(started) << GetLastError();
    {
        MessageBoxWatcher mine;  // boxes of this process only: must see nothing
        MessageBoxWatcher theirs(IDCANCEL, pi.dwProcessId);
        ASSERT_TRUE(theirs.WaitForCount(1, 30000));
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pi.hProcess, 30000));
        SeenMessageBox box = theirs.Box(0);
        EXPECT_EQ("VELTA Download", box.caption);
        EXPECT_EQ("別プロセスの箱", box.text);
        EXPECT_EQ((std::vector<int>{IDOK, IDCANCEL}), box.buttons);
        EXPECT_EQ(0u, mine.Count());
    }
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    EXPECT_EQ(static_cast<DWORD>(IDCANCEL), code);
    TerminateProcess(pi.hProcess, 99);  // no-op once it has ended
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}
