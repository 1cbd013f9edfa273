// The selection dialog as the dialog manager builds it from the resources
// linked into this test: real procedure, real controls, real painting on the
// test display. Timer ticks are held back so the catalog fetch never starts
// and the dialog stays in the state in which the customer first sees it.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "app/SelectorDialog.h"
#include "catalog/ProcessState.h"
#include "res/resource.h"
#include "tests/support/WindowHelpers.h"

namespace {

using namespace velta_test;

UINT_PTR g_heldTimer = 0;

// Forwards everything to the real procedure except the timer, whose first
// tick would fetch the catalog; the tick's id is kept for the test.
INT_PTR CALLBACK HoldTimerProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER) {
        g_heldTimer = wParam;
        return TRUE;
    }
    return DownloadSelectorProc(dialog, message, wParam, lParam);
}

INT_PTR CALLBACK InertProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

void PumpPending() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// Pumps this thread's messages until done() holds or the deadline passes.
bool PumpUntil(bool (*done)(), DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        PumpPending();
        if (done()) return true;
        if (GetTickCount64() > deadline) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

// Screen pixels of a rectangle, top-down BGR rows.
std::vector<uint8_t> CaptureScreen(const RECT& r) {
    const int w = r.right - r.left, h = r.bottom - r.top;
    std::vector<uint8_t> out(static_cast<size_t>(w) * h * 3);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, dib);
    BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    const size_t stride = (static_cast<size_t>(w) * 3 + 3) & ~size_t{3};
    for (int y = 0; y < h; ++y) {
        memcpy(out.data() + static_cast<size_t>(y) * w * 3,
               static_cast<uint8_t*>(bits) + y * stride, static_cast<size_t>(w) * 3);
    }
    SelectObject(memory, old);
    DeleteObject(dib);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return out;
}

// Child windows in creation order, which is the template's order.
std::vector<HWND> Children(HWND dialog) {
    std::vector<HWND> children;
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        children.push_back(c);
    return children;
}

RECT ChildRect(HWND dialog, HWND child) {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

class SelectorWindow : public ::testing::Test {
protected:
    void SetUp() override {
        g_testMode = 0;
        g_heldTimer = 0;
        m_dialog = CreateDialogParamA(GetModuleHandleA(nullptr), "DownloadSelector", nullptr,
                                      HoldTimerProc, 0);
        ASSERT_NE(nullptr, m_dialog) << GetLastError();
    }
    void TearDown() override {
        if (m_dialog) {
            KillTimer(m_dialog, IDT_SELECTOR_FETCH);
            DestroyWindow(m_dialog);
        }
        PumpPending();
    }
    HWND m_dialog = nullptr;
};

TEST_F(SelectorWindow, OpensWithTemplateTextsAndChoiceDisabled) {
    // Read before any message is pumped: this is the state WM_INITDIALOG left.
    EXPECT_EQ("製品のダウンロード", WindowText(m_dialog));
    const struct {
        int id;
        const char* cls;
        RECT dlu;          // x, y, x + cx, y + cy
        const char* text;  // null: not compared (a bitmap static keeps its ordinal)
        bool enabled;
    } expected[] = {
        {IDCANCEL, "Button", {304, 240, 385, 254}, "キャンセル", true},
        {IDC_SELECTOR_HEADING,
         "Static",
         {43, 160, 368, 168},
         "以下の製品がダウンロード可能です。",
         true},
        {IDC_SELECTOR_PRODUCTS, "ComboBox", {40, 199, 385, 309}, "", false},
        {IDC_SELECTOR_START,
         "Button",
         {40, 215, 385, 236},
         "選択した上記製品をダウンロードしてセットアップを開始する",
         false},
        {-1, "Static", {23, 7, 404, 69}, nullptr, true},
        {IDC_SELECTOR_USER_PAGE,
         "Button",
         {40, 240, 193, 254},
         "「VELTA ユーザー専用ページ」を開く",
         true},
        {IDC_SELECTOR_STATUS, "Static", {43, 171, 368, 187}, "", true},
        {-1,
         "Static",
         {23, 73, 404, 81},
         "VELTAダウンロードツールでは、VELTAのセットアップファイルをダウンロードします。",
         true},
    };
    const std::vector<HWND> children = Children(m_dialog);
    ASSERT_EQ(std::size(expected), children.size());
    for (size_t i = 0; i < children.size(); ++i) {
        const auto& e = expected[i];
        const HWND c = children[i];
        SCOPED_TRACE("child #" + std::to_string(i) + " id " + std::to_string(e.id));
        EXPECT_EQ(e.id, static_cast<int>(static_cast<int16_t>(GetDlgCtrlID(c))));
        EXPECT_STRCASEEQ(e.cls, ClassName(c).c_str());
        if (e.text) {
            EXPECT_EQ(e.text, WindowText(c));
        }
        EXPECT_EQ(e.enabled, IsWindowEnabled(c) != FALSE);
        EXPECT_TRUE(GetWindowLongA(c, GWL_STYLE) & WS_VISIBLE);
        // Dialog units become pixels through the template's font; origin and
        // size are scaled separately, as the dialog manager does.
        RECT origin{e.dlu.left, e.dlu.top, 0, 0};
        RECT size{0, 0, e.dlu.right - e.dlu.left, e.dlu.bottom - e.dlu.top};
        MapDialogRect(m_dialog, &origin);
        MapDialogRect(m_dialog, &size);
        const RECT got = ChildRect(m_dialog, c);
        EXPECT_EQ(origin.left, got.left);
        EXPECT_EQ(origin.top, got.top);
        EXPECT_EQ(size.right, got.right - got.left);
        // A closed drop-down list is shorter than its template height.
        if (e.id != IDC_SELECTOR_PRODUCTS) {
            EXPECT_EQ(size.bottom, got.bottom - got.top);
        }
    }
    EXPECT_EQ(0, SendMessageA(GetDlgItem(m_dialog, IDC_SELECTOR_PRODUCTS), CB_GETCOUNT, 0, 0));
    // The dialog manager loaded the banner named by the template.
    HBITMAP banner =
        reinterpret_cast<HBITMAP>(SendMessageA(children[4], STM_GETIMAGE, IMAGE_BITMAP, 0));
    ASSERT_NE(nullptr, banner);
    BITMAP bm{};
    ASSERT_EQ(static_cast<int>(sizeof bm), GetObjectA(banner, sizeof bm, &bm));
    EXPECT_EQ(537, bm.bmWidth);
    EXPECT_EQ(95, bm.bmHeight);
}

TEST_F(SelectorWindow, StartsTheFetchTimerWhenItOpens) {
    ShowWindow(m_dialog, SW_SHOW);
    // The first tick is held back by the test's procedure; its id names the
    // timer that the dialog started.
    EXPECT_TRUE(PumpUntil([] { return g_heldTimer != 0; }, 10000));
    EXPECT_EQ(static_cast<UINT_PTR>(IDT_SELECTOR_FETCH), g_heldTimer);
    EXPECT_EQ("", ControlText(m_dialog, IDC_SELECTOR_STATUS));
    EXPECT_FALSE(IsControlEnabled(m_dialog, IDC_SELECTOR_START));
}

TEST_F(SelectorWindow, PaintsBannerCentredOnWhiteAndSavesAScreenshot) {
    ShowWindow(m_dialog, SW_SHOW);
    UpdateWindow(m_dialog);
    PumpPending();
    RedrawWindow(m_dialog, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpPending();
    ASSERT_TRUE(SaveScreenshot("selector-opened.png", m_dialog));

    // Empty client area between the banner's text and the heading is white on screen.
    RECT gap{200, 120, 201, 121};
    MapDialogRect(m_dialog, &gap);
    MapWindowPoints(m_dialog, nullptr, reinterpret_cast<POINT*>(&gap), 2);
    gap.right = gap.left + 1;
    gap.bottom = gap.top + 1;
    EXPECT_EQ((std::vector<uint8_t>{255, 255, 255}), CaptureScreen(gap));

    // The banner's own pixels, centred in its static.
    HRSRC res = FindResourceA(nullptr, MAKEINTRESOURCEA(IDB_BANNER), RT_BITMAP);
    ASSERT_NE(nullptr, res);
    const auto* dib = static_cast<const uint8_t*>(LockResource(LoadResource(nullptr, res)));
    ASSERT_NE(nullptr, dib);
    const int bw = 537, bh = 95, stride = (bw * 3 + 3) & ~3;
    auto bannerPixel = [&](int x, int y) { return dib + 40 + (bh - 1 - y) * stride + x * 3; };

    HWND bannerStatic = Children(m_dialog).at(4);
    RECT client;
    GetClientRect(bannerStatic, &client);
    MapWindowPoints(bannerStatic, nullptr, reinterpret_cast<POINT*>(&client), 2);
    const int cw = client.right - client.left, ch = client.bottom - client.top;
    const std::vector<uint8_t> shown = CaptureScreen(client);
    // Rounding of the centre may differ by a pixel between implementations.
    int bestMismatch = -1;
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            const int ox = (cw - bw) / 2 + dx, oy = (ch - bh) / 2 + dy;
            int mismatch = 0, compared = 0;
            for (int y = 2; y < bh - 2; y += 3) {
                for (int x = 2; x < bw - 2; x += 5) {
                    const int sx = x + ox, sy = y + oy;
                    if (sx < 0 || sy < 0 || sx >= cw || sy >= ch) continue;
                    ++compared;
                    const uint8_t* s = shown.data() + (static_cast<size_t>(sy) * cw + sx) * 3;
                    if (memcmp(s, bannerPixel(x, y), 3) != 0) ++mismatch;
                }
            }
            if (compared > 1000 && (bestMismatch < 0 || mismatch < bestMismatch)) {
                bestMismatch = mismatch;
            }
        }
    }
    EXPECT_EQ(0, bestMismatch) << "banner not shown as drawn (static " << cw << "x" << ch << ")";
}

TEST(ProgressTemplate, ProgressBarComesFromCommonControlsSixWithoutInitialisation) {
    // Nothing here initialises the common controls. The class must come from
    // the side-by-side assembly that the manifest linked into this program
    // names; without that dependency the system's version 5 library would
    // serve it.
    HWND window = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PROGRESS),
                                     nullptr, InertProc, 0);
    ASSERT_NE(nullptr, window) << GetLastError();
    HWND bar = GetDlgItem(window, IDC_PROGRESS_BAR);
    ASSERT_NE(nullptr, bar);
    EXPECT_STRCASEEQ("msctls_progress32", ClassName(bar).c_str());
    EXPECT_TRUE(GetWindowLongA(bar, GWL_STYLE) & PBS_SMOOTH);
    SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 1000));
    SendMessageA(bar, PBM_SETPOS, 166, 0);
    EXPECT_EQ(166, SendMessageA(bar, PBM_GETPOS, 0, 0));
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ("VELTA Setup Download", WindowText(window));
    EXPECT_EQ(0, GetWindowLongA(window, GWL_STYLE) & WS_SYSMENU);

    char path[MAX_PATH] = {};
    ASSERT_NE(0u, GetModuleFileNameA(GetModuleHandleA("comctl32.dll"), path, sizeof path));
    std::string lower(path);
    for (char& ch : lower) ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
    EXPECT_NE(std::string::npos,
              lower.find("microsoft.windows.common-controls_6595b64144ccf1df_6.0"))
        << path;
    DestroyWindow(window);
}

}  // namespace
