#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <thread>

#include "tests/support/WindowHelpers.h"

using namespace velta_test;

namespace {

int g_commands = 0;
int g_lastCommand = 0;

LRESULT CALLBACK ParentProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_COMMAND) {
        ++g_commands;
        g_lastCommand = LOWORD(wp);
        return 0;
    }
    if (msg == WM_ERASEBKGND) {
        RECT r;
        GetClientRect(hwnd, &r);
        HBRUSH brush = CreateSolidBrush(RGB(0x12, 0xA4, 0xE8));
        FillRect(reinterpret_cast<HDC>(wp), &r, brush);
        DeleteObject(brush);
        return 1;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

HWND CreateParent(const char* title) {
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = ParentProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "VeltaSupportTestParent";
        RegisterClassA(&wc);
        registered = true;
    }
    return CreateWindowExA(0, "VeltaSupportTestParent", title, WS_POPUP | WS_VISIBLE, 40, 60, 240, 160, nullptr,
                           nullptr, GetModuleHandleA(nullptr), nullptr);
}

// Runs this thread's message loop until the condition holds or the deadline.
template <typename Done>
bool PumpUntil(Done done, DWORD timeoutMs = 10000) {
    DWORD start = GetTickCount();
    MSG msg;
    while (!done()) {
        if (GetTickCount() - start >= timeoutMs) return false;
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        } else {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        }
    }
    return true;
}

}  // namespace

TEST(WindowHelpersTest, FindsWindowsByJapaneseTitleAndReadsCp932Text) {
    const char* title = "製品一覧 [社内テストモード]";
    HWND w = CreateParent(title);
    ASSERT_NE(nullptr, w);
    HWND label = CreateWindowExA(0, "STATIC", "表示\x83\x5C", WS_CHILD | WS_VISIBLE, 0, 0, 100, 20, w,
                                 reinterpret_cast<HMENU>(201), nullptr, nullptr);
    ASSERT_NE(nullptr, label);
    EXPECT_EQ(w, FindTopLevelWindow(title));
    EXPECT_EQ(w, FindTopLevelWindow(title, GetCurrentProcessId(), "VeltaSupportTestParent"));
    EXPECT_EQ(nullptr, FindTopLevelWindow(title, GetCurrentProcessId() + 4));
    EXPECT_EQ(nullptr, FindTopLevelWindow("製品一覧"));  // exact titles only
    EXPECT_EQ(w, WaitForTopLevelWindow(title, 0, 1000));
    EXPECT_EQ("\x90\xBB\x95\x69一覧 [社内テストモード]", WindowText(w));
    EXPECT_EQ("\x95\x5C\x8E\xA6\x83\x5C", ControlText(w, 201));
    EXPECT_EQ("", ControlText(w, 999));
    DestroyWindow(w);
    EXPECT_TRUE(WaitForWindowGone(w, 1000));
}

TEST(WindowHelpersTest, ReadsComboItemsDataAndSelection) {
    HWND w = CreateParent("combo host");
    HWND combo = CreateWindowExA(0, "COMBOBOX", "", WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST, 0, 0, 200, 200, w,
                                 reinterpret_cast<HMENU>(210), nullptr, nullptr);
    ASSERT_NE(nullptr, combo);
    const char* names[] = {"VELTA 会計", "VELTA 給与\x83\x5C", ""};
    for (int i = 0; i < 3; ++i) {
        LRESULT at = SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(names[i]));
        SendMessageA(combo, CB_SETITEMDATA, at, 100 + i);
    }
    SendMessageA(combo, CB_SETCURSEL, 1, 0);
    EXPECT_EQ((std::vector<std::string>{"VELTA \x89\xEF\x8C\x76", "VELTA \x8B\x8B\x97\x5E\x83\x5C", ""}),
              ComboItems(combo));
    EXPECT_EQ((std::vector<LRESULT>{100, 101, 102}), ComboItemData(combo));
    EXPECT_EQ(1, ComboSelection(combo));
    EXPECT_TRUE(IsControlEnabled(w, 210));
    EnableWindow(combo, FALSE);
    EXPECT_FALSE(IsControlEnabled(w, 210));
    EXPECT_TRUE(IsControlVisible(w, 210));
    EXPECT_FALSE(IsControlVisible(w, 211));
    DestroyWindow(w);
}

TEST(WindowHelpersTest, ClickReachesTheParentSentOrPosted) {
    HWND w = CreateParent("click host");
    HWND button = CreateWindowExA(0, "BUTTON", "start", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 0, 0, 80, 24, w,
                                  reinterpret_cast<HMENU>(300), nullptr, nullptr);
    ASSERT_NE(nullptr, button);
    g_commands = 0;
    EXPECT_TRUE(ClickButton(w, 300, Click::Send));
    EXPECT_EQ(1, g_commands);
    EXPECT_EQ(300, g_lastCommand);

    EXPECT_TRUE(ClickButton(w, 300));
    EXPECT_EQ(1, g_commands) << "a posted click waits for the message loop";
    EXPECT_TRUE(PumpUntil([] { return g_commands >= 2; }));
    EXPECT_EQ(2, g_commands);

    EXPECT_TRUE(PostCommand(w, 400));
    EXPECT_TRUE(PumpUntil([] { return g_commands >= 3; }));
    EXPECT_EQ(400, g_lastCommand);
    EXPECT_FALSE(ClickButton(w, 301));
    DestroyWindow(w);
}

namespace {

// Inflates the stored-block zlib stream WritePng produces and returns the
// RGB pixel at (x, y); fails the test on any structural error.
bool PixelOfPng(const std::string& path, int x, int y, int& width, int& height, uint8_t rgb[3]) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    std::string png;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) png.append(buf, n);
    std::fclose(f);
    if (png.compare(0, 8, "\x89PNG\r\n\x1A\n") != 0) return false;
    auto be32 = [&](size_t at) {
        return (uint32_t(uint8_t(png[at])) << 24) | (uint32_t(uint8_t(png[at + 1])) << 16) |
               (uint32_t(uint8_t(png[at + 2])) << 8) | uint8_t(png[at + 3]);
    };
    std::string idat;
    size_t pos = 8;
    while (pos + 12 <= png.size()) {
        uint32_t len = be32(pos);
        std::string type = png.substr(pos + 4, 4);
        if (type == "IHDR") {
            width = static_cast<int>(be32(pos + 8));
            height = static_cast<int>(be32(pos + 12));
        } else if (type == "IDAT") {
            idat += png.substr(pos + 8, len);
        }
        pos += 12 + len;
    }
    std::string raw;
    size_t p = 2;
    for (;;) {
        if (p + 5 > idat.size()) return false;
        bool last = idat[p] & 1;
        size_t len = uint8_t(idat[p + 1]) | (size_t(uint8_t(idat[p + 2])) << 8);
        raw += idat.substr(p + 5, len);
        p += 5 + len;
        if (last) break;
    }
    size_t row = static_cast<size_t>(width) * 3 + 1;
    if (raw.size() != row * height) return false;
    std::memcpy(rgb, raw.data() + y * row + 1 + x * 3, 3);
    return true;
}

}  // namespace

TEST(WindowHelpersTest, ScreenshotCapturesWhatIsOnScreen) {
    HWND w = CreateParent("shot host");
    ASSERT_NE(nullptr, w);
    UpdateWindow(w);
    RedrawWindow(w, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_UPDATENOW);
    GdiFlush();
    ASSERT_TRUE(SaveScreenshot("support-window.png", w));
    int width = 0, height = 0;
    uint8_t rgb[3] = {};
    ASSERT_TRUE(PixelOfPng(ScreenshotPath("support-window.png"), 120, 80, width, height, rgb));
    EXPECT_EQ(240, width);
    EXPECT_EQ(160, height);
    EXPECT_EQ(0x12, rgb[0]);
    EXPECT_EQ(0xA4, rgb[1]);
    EXPECT_EQ(0xE8, rgb[2]);

    ASSERT_TRUE(SaveScreenshot("support-screen.png"));
    ASSERT_TRUE(PixelOfPng(ScreenshotPath("support-screen.png"), 40 + 120, 60 + 80, width, height, rgb));
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), width);
    EXPECT_EQ(0xA4, rgb[1]);
    DestroyWindow(w);
}

namespace {

// Child role for the cross-process test: this same executable, started with
// VELTA_SUPPORT_CHILD set, shows a window with a label, a combo box and a
// button, and exits with the id of the command it receives. It runs from a
// static initializer so that gtest never starts in the child.
LRESULT CALLBACK ChildProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_COMMAND && LOWORD(wp) >= 300) {
        PostQuitMessage(LOWORD(wp));
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

int RunChildIfAsked() {
    char role[32] = {};
    if (GetEnvironmentVariableA("VELTA_SUPPORT_CHILD", role, sizeof role) == 0) return 0;
    if (std::strcmp(role, "box") == 0) {
        ExitProcess(static_cast<UINT>(
            MessageBoxA(nullptr, "別プロセスの箱", "VELTA Download", MB_OKCANCEL | MB_ICONWARNING)));
    }
    WNDCLASSA wc{};
    wc.lpfnWndProc = ChildProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VeltaSupportChild";
    RegisterClassA(&wc);
    HWND w = CreateWindowExA(0, "VeltaSupportChild", "別プロセスの窓 [社内テストモード]", WS_POPUP | WS_VISIBLE, 300,
                             300, 260, 160, nullptr, nullptr, wc.hInstance, nullptr);
    CreateWindowExA(0, "STATIC", "ダウンロード先:\x83\x5C", WS_CHILD | WS_VISIBLE, 0, 0, 200, 20, w,
                    reinterpret_cast<HMENU>(201), nullptr, nullptr);
    HWND combo = CreateWindowExA(0, "COMBOBOX", "", WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST, 0, 30, 200, 200, w,
                                 reinterpret_cast<HMENU>(210), nullptr, nullptr);
    const char* items[] = {"VELTA 会計 2026", "VELTA 表計算"};
    for (int i = 0; i < 2; ++i) {
        LRESULT at = SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(items[i]));
        SendMessageA(combo, CB_SETITEMDATA, at, 7 + i);
    }
    SendMessageA(combo, CB_SETCURSEL, 0, 0);
    CreateWindowExA(0, "BUTTON", "開始", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 0, 60, 80, 24, w,
                    reinterpret_cast<HMENU>(300), nullptr, nullptr);
    SetTimer(nullptr, 0, 60000, nullptr);  // nobody drives us: give up after a minute
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER) break;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    ExitProcess(msg.message == WM_QUIT ? static_cast<UINT>(msg.wParam) : 1);
}

const int g_childRole = RunChildIfAsked();

}  // namespace

TEST(WindowHelpersTest, ReadsAndDrivesAWindowOfAnotherProcess) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    SetEnvironmentVariableA("VELTA_SUPPORT_CHILD", "window");
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    BOOL started = CreateProcessA(self, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    SetEnvironmentVariableA("VELTA_SUPPORT_CHILD", nullptr);
    ASSERT_TRUE(started) << GetLastError();

    const std::string title = "別プロセスの窓 [社内テストモード]";
    EXPECT_EQ(nullptr, FindTopLevelWindow(title, GetCurrentProcessId()));
    HWND w = WaitForTopLevelWindow(title, pi.dwProcessId, 30000);
    ASSERT_NE(nullptr, w);
    EXPECT_EQ("\x83\x5F\x83\x45\x83\x93\x83\x8D\x81\x5B\x83\x68\x90\xE6:\x83\x5C", ControlText(w, 201));
    HWND combo = GetDlgItem(w, 210);
    EXPECT_EQ((std::vector<std::string>{"VELTA \x89\xEF\x8C\x76 2026", "VELTA \x95\x5C\x8C\x76\x8E\x5A"}),
              ComboItems(combo));
    EXPECT_EQ((std::vector<LRESULT>{7, 8}), ComboItemData(combo));
    EXPECT_EQ(0, ComboSelection(combo));
    EXPECT_EQ(1u, TopLevelWindows(pi.dwProcessId).size());

    EXPECT_TRUE(ClickButton(w, 300));
    DWORD waited = WaitForSingleObject(pi.hProcess, 30000);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    if (waited != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 99);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    EXPECT_EQ(WAIT_OBJECT_0, waited);
    EXPECT_EQ(300u, code);
}

namespace {

constexpr int kGiveUp = 999;

INT_PTR CALLBACK KeyDialogProc(HWND dlg, UINT msg, WPARAM wp, LPARAM) {
    if (msg == WM_INITDIALOG) return TRUE;
    if (msg == WM_COMMAND && (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL || LOWORD(wp) == kGiveUp)) {
        EndDialog(dlg, LOWORD(wp));
        return TRUE;
    }
    return FALSE;
}

// A titled dialog with a default OK button, built in memory.
const DLGTEMPLATE* KeyDialogTemplate() {
    alignas(4) static WORD tmpl[128] = {};
    WORD* p = tmpl;
    auto* dt = reinterpret_cast<DLGTEMPLATE*>(p);
    dt->style = WS_POPUP | WS_CAPTION | WS_VISIBLE | DS_MODALFRAME;
    dt->cdit = 1;
    dt->cx = 120;
    dt->cy = 50;
    p = reinterpret_cast<WORD*>(dt + 1);
    *p++ = 0;  // menu
    *p++ = 0;  // class
    for (const wchar_t* t = L"key dialog"; *t; ++t) *p++ = static_cast<WORD>(*t);
    *p++ = 0;
    p = reinterpret_cast<WORD*>((reinterpret_cast<ULONG_PTR>(p) + 3) & ~ULONG_PTR(3));
    auto* it = reinterpret_cast<DLGITEMTEMPLATE*>(p);
    it->style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON;
    it->x = 10;
    it->y = 10;
    it->cx = 50;
    it->cy = 14;
    it->id = IDOK;
    p = reinterpret_cast<WORD*>(it + 1);
    *p++ = 0xFFFF;
    *p++ = 0x0080;  // button
    *p++ = L'O';
    *p++ = L'K';
    *p++ = 0;
    *p++ = 0;  // creation data
    return dt;
}

}  // namespace

TEST(WindowHelpersTest, EnterAndEscapeReachAModalDialog) {
    for (UINT vk : {VK_RETURN, VK_ESCAPE}) {
        SCOPED_TRACE(vk);
        bool pressed = false;
        // The dialog's modal loop runs on this thread; the keys come from
        // another one, as from a test steering the program.
        std::thread presser([&] {
            HWND dlg = WaitForTopLevelWindow("key dialog", GetCurrentProcessId(), 20000);
            if (!dlg) return;
            pressed = PressKey(dlg, vk);
            // A key that goes astray must fail the test, not leave it hanging.
            if (!WaitForWindowGone(dlg, 10000)) PostMessageW(dlg, WM_COMMAND, kGiveUp, 0);
        });
        INT_PTR result = DialogBoxIndirectParamA(GetModuleHandleA(nullptr), KeyDialogTemplate(), nullptr,
                                                 KeyDialogProc, 0);
        presser.join();
        EXPECT_TRUE(pressed);
        EXPECT_EQ(vk == VK_RETURN ? IDOK : IDCANCEL, result);
    }
}
