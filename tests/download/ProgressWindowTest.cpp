// The real progress window from template 110 of this test program, driven
// through user32 under Wine: what it shows at creation, what a refresh puts
// on screen, the cancel button and the window's absence.
#include <windows.h>
#include <commctrl.h>
#include <mmsystem.h>

#include <gtest/gtest.h>

#include <string>

#include "catalog/ProcessState.h"
#include "download/DownloadRun.h"
#include "download/ProgressWindow.h"
#include "res/resource.h"
#include "tests/support/FailureBoxes.h"
#include "tests/support/MessageBoxWatcher.h"
#include "tests/support/RunSupport.h"
#include "tests/support/Wait.h"
#include "tests/support/WindowHelpers.h"

namespace {

using velta_test::kProgressTitle;

constexpr char kFolder[] = "C:\\users\\tester\\Downloads\\VELTADL3\\";

class ProgressWindowTest : public testing::Test {
protected:
    void TearDown() override { CloseProgressWindow(m_window); }

    HWND Open() {
        m_window = OpenProgressWindow(GetModuleHandleA(nullptr), kFolder);
        return m_window;
    }

    velta_test::ProcessStateGuard m_state;
    HWND m_window = nullptr;
};

TEST_F(ProgressWindowTest, ShowsProductFolderAndTitleByMode) {
    struct Case {
        int testMode;
        std::string title;
    };
    const Case cases[] = {
        {0, kProgressTitle},
        {1, std::string(kProgressTitle) + " [社内テストモード]"},
    };
    for (const Case& c : cases) {
        g_testMode = c.testMode;
        g_productName = "VELTA 会計 2027";
        HWND window = Open();
        ASSERT_NE(window, nullptr) << GetLastError();
        EXPECT_EQ(velta_test::WindowText(window), c.title);
        EXPECT_TRUE(IsWindowVisible(window));
        EXPECT_EQ(GetWindowLongA(window, GWL_STYLE) & WS_SYSMENU, 0) << "no close box";
        EXPECT_EQ(velta_test::ControlText(window, IDC_PROGRESS_PRODUCT), "VELTA 会計 2027");
        EXPECT_EQ(velta_test::ControlText(window, IDC_PROGRESS_FOLDER), kFolder);
        EXPECT_EQ(velta_test::ControlText(window, IDC_PROGRESS_TEXT), "0.0GB/0.0GB(0.0MB/s) 00:00");
        EXPECT_EQ(velta_test::ControlText(window, IDC_PROGRESS_FILE_COUNTER), "");
        EXPECT_TRUE(velta_test::IsControlVisible(window, IDC_PROGRESS_FILE_COUNTER));

        PBRANGE range = {};
        SendDlgItemMessageA(window, IDC_PROGRESS_BAR, PBM_GETRANGE, FALSE,
                            reinterpret_cast<LPARAM>(&range));
        EXPECT_EQ(range.iLow, 0);
        EXPECT_EQ(range.iHigh, 1000);

        CloseProgressWindow(window);
        EXPECT_FALSE(IsWindow(window));
    }
}

TEST_F(ProgressWindowTest, PaintsDialogTextsAndButtonOnWhite) {
    HWND window = Open();
    ASSERT_NE(window, nullptr);
    HDC dc = GetDC(window);
    for (const UINT message : {WM_CTLCOLORDLG, WM_CTLCOLORSTATIC, WM_CTLCOLORBTN}) {
        const LRESULT brush = SendMessageA(window, message, reinterpret_cast<WPARAM>(dc),
                                           reinterpret_cast<LPARAM>(GetDlgItem(window, IDCANCEL)));
        EXPECT_EQ(reinterpret_cast<HGDIOBJ>(brush), GetStockObject(WHITE_BRUSH)) << message;
    }
    ReleaseDC(window, dc);
}

// What the real window shows: the bar position read back with PBM_GETPOS
// and the text of control 111, for the worked example and a forced refresh.
TEST_F(ProgressWindowTest, RefreshSetsBarAndTextAndHoldsBackWithinASecond) {
    HWND window = Open();
    ASSERT_NE(window, nullptr);
    TransferTally tally = {};
    tally.fileCount = 3;
    tally.fileSize = 2097152;
    tally.fileReceived = 1048576;
    RecordSpeedSample(tally, timeGetTime() - 2000, 0);

    UpdateProgress(window, tally, false);
    EXPECT_EQ(SendDlgItemMessageA(window, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0), 166);
    const std::string text = velta_test::ControlText(window, IDC_PROGRESS_TEXT);
    EXPECT_EQ(text.rfind("1.0MB / 6.0MB ( ", 0), 0u) << text;
    EXPECT_EQ(text.back(), '\n');

    // Within the second nothing changes on screen; force goes through.
    SetDlgItemTextA(window, IDC_PROGRESS_TEXT, "held");
    tally.fileReceived = 2097152;
    UpdateProgress(window, tally, false);
    EXPECT_EQ(velta_test::ControlText(window, IDC_PROGRESS_TEXT), "held");
    EXPECT_EQ(SendDlgItemMessageA(window, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0), 166);
    UpdateProgress(window, tally, true);
    EXPECT_EQ(SendDlgItemMessageA(window, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0), 333);
    EXPECT_EQ(velta_test::ControlText(window, IDC_PROGRESS_TEXT).rfind("2.0MB / 6.0MB ( ", 0), 0u);
}

TEST_F(ProgressWindowTest, CancelButtonSetsTheFlagShowsTheNoticeAndCloses) {
    HWND window = Open();
    ASSERT_NE(window, nullptr);
    velta_test::MessageBoxWatcher boxes;
    ASSERT_TRUE(velta_test::ClickButton(window, IDCANCEL));
    ASSERT_TRUE(velta_test::WaitUntil([&] { return !IsWindow(window); }, 20000, true));

    EXPECT_EQ(g_cancelRequested, 1);
    ASSERT_EQ(boxes.Count(), 1u);
    const velta_test::SeenMessageBox notice = boxes.Box(0);
    velta_test::ExpectCancelNotice(notice);
    EXPECT_EQ(notice.owner, window) << "shown before the window goes";
    EXPECT_TRUE(notice.ownerWasDisabled);
    // Already gone: closing again is harmless.
    CloseProgressWindow(window);
    CloseProgressWindow(nullptr);
}

TEST_F(ProgressWindowTest, WithoutTheTemplateTheWindowIsMissingAndEverythingStillWorks) {
    // kernel32 has no dialog 110.
    HWND window = OpenProgressWindow(GetModuleHandleA("kernel32.dll"), kFolder);
    EXPECT_EQ(window, nullptr);
    TransferTally tally = {};
    tally.fileCount = 1;
    tally.fileReceived = 10;
    UpdateProgress(window, tally, true);
    EXPECT_NE(tally.lastShownTime, 0u) << "the tally still advances";
    CloseProgressWindow(window);
}

}  // namespace
