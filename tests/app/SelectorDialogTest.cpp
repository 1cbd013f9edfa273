// The product selection dialog, shown modally from the test module's own
// resources on the test's main thread, while a driver thread watches it and
// clicks like a customer would. Catalog and file lists come from the loopback
// test server; message boxes are answered by the watcher. Whatever a driver
// asserts, the dialog is cancelled afterwards, so no run is left waiting.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "BuildConfig.h"
#include "app/SelectorDialog.h"
#include "catalog/ProcessState.h"
#include "res/resource.h"
#include "tests/support/Files.h"
#include "tests/support/MessageBoxWatcher.h"
#include "tests/support/Routes.h"
#include "tests/support/TestServer.h"
#include "tests/support/Wait.h"
#include "tests/support/WindowHelpers.h"

namespace {

using namespace velta_test;

const std::string kCatalogPath = "/qrnSupport/download/VELTA/veltadownloadlist.txt";
const std::string kTestCatalogPath = "/qrnSupport/download/VELTA/veltadownloadlist.test.txt";
constexpr char kTitle[] = "製品のダウンロード";
constexpr char kTestModeTitle[] = "製品のダウンロード [社内テストモード]";
constexpr char kHeading[] = "以下の製品がダウンロード可能です。";
constexpr char kPrompt[] =
    "ダウンロードしたい製品を選択し、セットアップ開始ボタンをクリックしてください。";
constexpr char kNoticeStatus[] =
    "現バージョンVELTA DLはご利用頂けません。"
    "VELTAサポートページより新しいVELTA DLをダウンロードしてご利用ください。";
constexpr char kFailedStatus[] = "ダウンロードカタログの取得に失敗しました。";
constexpr char kNoProducts[] = "ご利用頂ける製品はありません。";
constexpr char kSjisName[] = "\x83\x5C\x83\x74\x83\x67\x95\x5C\x83\x7C";
constexpr DWORD kDeadlineMs = 30000;

HWND List(HWND dialog) { return GetDlgItem(dialog, IDC_SELECTOR_PRODUCTS); }

// List 210 and start button 300 both in the given state.
bool ChoiceIs(HWND dialog, bool enabled) {
    return IsControlEnabled(dialog, IDC_SELECTOR_PRODUCTS) == enabled &&
           IsControlEnabled(dialog, IDC_SELECTOR_START) == enabled;
}
bool WaitForItems(HWND dialog, size_t count) {
    return WaitUntil([&] { return ComboItems(List(dialog)).size() == count; }, kDeadlineMs);
}
bool WaitForStatus(HWND dialog, const char* text) {
    return WaitUntil([&] { return ControlText(dialog, IDC_SELECTOR_STATUS) == text; }, kDeadlineMs);
}

// Lands in the build's screenshots folder (VELTA_SCREENSHOT_DIR).
void Screenshot(HWND dialog, const char* name) {
    RedrawWindow(dialog, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    EXPECT_TRUE(SaveScreenshot(name, dialog)) << name;
}

// Sends a message to the dialog and waits until its thread has handled it;
// false when the dialog is gone.
bool SendAndWait(HWND dialog, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutA(dialog, message, wParam, lParam, SMTO_NORMAL, kDeadlineMs,
                               &ignored) != 0;
}

// Shows the dialog modally on this thread and runs the driver on another one
// against it; returns the dialog's result.
INT_PTR RunSelector(const std::function<void(HWND)>& driver, const char* title = kTitle,
                    DLGPROC procedure = DownloadSelectorProc) {
    std::thread driverThread([&] {
        const HWND dialog =
            WaitForTopLevelWindow(title, GetCurrentProcessId(), kDeadlineMs, "#32770");
        if (dialog == nullptr) {
            ADD_FAILURE() << "selection dialog did not appear";
            return;
        }
        driver(dialog);
        if (IsWindow(dialog)) PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    const INT_PTR result =
        DialogBoxParamA(GetModuleHandleA(nullptr), "DownloadSelector", nullptr, procedure, 0);
    driverThread.join();
    return result;
}

// Delegates to the real procedure and counts the IDOK commands it is given.
std::atomic<int> g_idokSeen{0};
INT_PTR CALLBACK NotingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) ++g_idokSeen;
    return DownloadSelectorProc(dialog, message, wParam, lParam);
}

// Delegates, then queues Cancel before the timer's first tick can be generated.
INT_PTR CALLBACK CancelAtOnceProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    const INT_PTR result = DownloadSelectorProc(dialog, message, wParam, lParam);
    if (message == WM_INITDIALOG) PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    return result;
}

// Delegates; while the first tick's fetch is still running (its message box
// dispatches to the dialog), checks once whether timer 1500 still exists.
// KillTimer on the dialog's own thread answers that: it fails for a timer
// that is already gone.
std::atomic<int> g_timerDepth{0};
std::atomic<int> g_timerAliveDuringFetch{-1};
INT_PTR CALLBACK TimerProbeProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (g_timerDepth > 0 && g_timerAliveDuringFetch < 0) {
        g_timerAliveDuringFetch = KillTimer(dialog, IDT_SELECTOR_FETCH) ? 1 : 0;
    }
    if (message != WM_TIMER) return DownloadSelectorProc(dialog, message, wParam, lParam);
    ++g_timerDepth;
    const INT_PTR result = DownloadSelectorProc(dialog, message, wParam, lParam);
    --g_timerDepth;
    return result;
}

// Wine, like 64-bit Windows, swallows an exception raised in a window
// procedure that the system called back, and the dialog just carries on. A
// vectored handler sees the exception first, so every access violation on
// the dialog's thread (the test's main thread) is counted.
std::atomic<DWORD> g_dialogThread{0};
std::atomic<int> g_accessViolations{0};
LONG CALLBACK CountAccessViolations(EXCEPTION_POINTERS* info) {
    if (info->ExceptionRecord->ExceptionCode == EXCEPTION_ACCESS_VIOLATION &&
        GetCurrentThreadId() == g_dialogThread) {
        ++g_accessViolations;
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

class SelectorDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_dialogThread = GetCurrentThreadId();
        g_accessViolations = 0;
        m_faultCounter = AddVectoredExceptionHandler(1, CountAccessViolations);
        ASSERT_NE(nullptr, m_faultCounter);
        ASSERT_TRUE(Reset()) << LastError();
        g_testMode = 0;
        ProductCatalog.clear();
        SelectedFileList.clear();
        g_productName = "untouched";
        ASSERT_TRUE(Serve(kCatalogPath, "1,Alpha," + HttpsUrl("/a/") + ",20240101\r\n2," +
                                            kSjisName + "," + HttpsUrl("/b/") + "\n3,Gamma," +
                                            HttpsUrl("/c/") + "\r"));
    }
    void TearDown() override {
        g_testMode = 0;
        if (m_faultCounter) RemoveVectoredExceptionHandler(m_faultCounter);
        EXPECT_EQ(0, g_accessViolations.load()) << "the dialog faulted, unseen by the customer";
    }
    void* m_faultCounter = nullptr;
};

TEST_F(SelectorDialogTest, ListsTheCatalogInOrderWithIndexData) {
    MessageBoxWatcher boxes;
    EXPECT_EQ(0, RunSelector([&](HWND dialog) {
                  ASSERT_TRUE(WaitForItems(dialog, 3));
                  EXPECT_EQ((std::vector<std::string>{"Alpha", kSjisName, "Gamma"}),
                            ComboItems(List(dialog)));
                  EXPECT_EQ((std::vector<LRESULT>{0, 1, 2}), ComboItemData(List(dialog)));
                  EXPECT_EQ(0, ComboSelection(List(dialog)));
                  EXPECT_TRUE(ChoiceIs(dialog, true));
                  EXPECT_EQ(kPrompt, ControlText(dialog, IDC_SELECTOR_STATUS));
                  EXPECT_EQ(kHeading, ControlText(dialog, IDC_SELECTOR_HEADING));
                  Screenshot(dialog, "selector-filled.png");
              }));
    EXPECT_EQ(0u, boxes.Count());
    EXPECT_EQ(1, RequestCount(kCatalogPath));
    EXPECT_EQ("untouched", g_productName);
}

TEST_F(SelectorDialogTest, TitleAndCatalogPathFollowTheTestMode) {
    const struct {
        int testMode;
        const char* title;
        const std::string& asked;
        const std::string& untouched;
    } cases[] = {
        {0, kTitle, kCatalogPath, kTestCatalogPath},
        {1, kTestModeTitle, kTestCatalogPath, kCatalogPath},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        ASSERT_TRUE(Reset());
        ASSERT_TRUE(Serve(c.asked, "1,Listed," + HttpsUrl("/t/") + "\r\n"));
        g_testMode = c.testMode;
        MessageBoxWatcher boxes;
        EXPECT_EQ(0, RunSelector(
                         [&](HWND dialog) {
                             EXPECT_EQ(c.title, WindowText(dialog));
                             ASSERT_TRUE(WaitForItems(dialog, 1));
                             EXPECT_EQ(std::vector<std::string>{"Listed"},
                                       ComboItems(List(dialog)));
                         },
                         c.title));
        EXPECT_EQ(1, RequestCount(c.asked));
        EXPECT_EQ(0, RequestCount(c.untouched));
        EXPECT_EQ(0u, boxes.Count());
    }
}

TEST_F(SelectorDialogTest, EmptyCatalogShowsThePlaceholderAndStartDoesNothing) {
    ASSERT_TRUE(Serve(kCatalogPath, "\r\n5\r\n5,,x\r\n"));
    MessageBoxWatcher boxes;
    EXPECT_EQ(0, RunSelector([&](HWND dialog) {
                  ASSERT_TRUE(WaitForItems(dialog, 1));
                  EXPECT_EQ(std::vector<std::string>{kNoProducts}, ComboItems(List(dialog)));
                  EXPECT_EQ(0, ComboSelection(List(dialog)));
                  EXPECT_TRUE(ChoiceIs(dialog, false));
                  EXPECT_EQ(kPrompt, ControlText(dialog, IDC_SELECTOR_STATUS));
                  // The placeholder is no catalog entry: a start that arrives anyway
                  // must not look one up.
                  EXPECT_TRUE(SendAndWait(dialog, WM_COMMAND, IDC_SELECTOR_START));
                  EXPECT_TRUE(IsWindow(dialog) && ChoiceIs(dialog, false));
              }));
    EXPECT_EQ(1, RequestCount());
    EXPECT_EQ(0u, boxes.Count());
    EXPECT_EQ("untouched", g_productName);
}

// The item data is the index into the catalog; data that names no entry
// (another program's CB_SETITEMDATA, or a list out of step with the catalog)
// must not be used as an index. An entry read far outside the catalog faults,
// which the platform swallows, so the fault counter is what shows it.
TEST_F(SelectorDialogTest, StartIgnoresItemDataOutsideTheCatalog) {
    for (const LRESULT data : {LRESULT{3}, LRESULT{-1}, LRESULT{1} << 30}) {
        SCOPED_TRACE(data);
        MessageBoxWatcher boxes;
        EXPECT_EQ(0, RunSelector([&](HWND dialog) {
                      ASSERT_TRUE(WaitForItems(dialog, 3));
                      ASSERT_NE(CB_ERR, SendMessageA(List(dialog), CB_SETITEMDATA, 0, data));
                      EXPECT_TRUE(SendAndWait(dialog, WM_COMMAND, IDC_SELECTOR_START));
                      EXPECT_TRUE(IsWindow(dialog) && ChoiceIs(dialog, true));
                  }));
        EXPECT_EQ(0, g_accessViolations.exchange(0)) << "the start button read outside the catalog";
        EXPECT_EQ(0u, boxes.Count());
        EXPECT_EQ("untouched", g_productName);
        EXPECT_TRUE(SelectedFileList.empty());
    }
    EXPECT_EQ(3, RequestCount());  // the three catalogs, no file list
}

TEST_F(SelectorDialogTest, FailedFetchAndUpdateNoticeLeaveTheListEmpty) {
    const struct {
        std::string body;
        int status;
        const char* text;
        const char* shot;
    } cases[] = {
        {"!", 200, kNoticeStatus, "selector-update-notice.png"},
        {"1,Hidden,https://h/\r\n", 404, kFailedStatus, "selector-failed.png"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(Reset() && Serve(kCatalogPath, c.body, c.status));
        MessageBoxWatcher boxes;
        EXPECT_EQ(0, RunSelector([&](HWND dialog) {
                      ASSERT_TRUE(WaitForStatus(dialog, c.text));
                      EXPECT_EQ(1u, boxes.Count());
                      EXPECT_EQ("VELTA Download", boxes.Box(0).caption);
                      EXPECT_TRUE(ComboItems(List(dialog)).empty());
                      EXPECT_TRUE(ChoiceIs(dialog, false));
                      EXPECT_EQ(kHeading, ControlText(dialog, IDC_SELECTOR_HEADING));
                      EXPECT_TRUE(IsControlEnabled(dialog, IDCANCEL) &&
                                  IsControlEnabled(dialog, IDC_SELECTOR_USER_PAGE));
                      Screenshot(dialog, c.shot);
                  }));
        EXPECT_EQ(1, RequestCount(kCatalogPath));  // never retried
        EXPECT_EQ(1u, boxes.Count());
    }
}

TEST_F(SelectorDialogTest, TimerIsGoneBeforeTheFetchShowsItsBox) {
    ASSERT_TRUE(Serve(kCatalogPath, "", 404));
    g_timerDepth = 0;
    g_timerAliveDuringFetch = -1;
    MessageBoxWatcher boxes(0);  // the box stays open until answered below
    EXPECT_EQ(0, RunSelector(
                     [&](HWND dialog) {
                         ASSERT_TRUE(boxes.WaitForCount(1, kDeadlineMs));
                         // Handled inside the box's message loop, while the fetch runs.
                         EXPECT_TRUE(SendAndWait(dialog, WM_NULL));
                         EXPECT_TRUE(boxes.Answer(0, IDOK));
                         ASSERT_TRUE(WaitForStatus(dialog, kFailedStatus));
                     },
                     kTitle, TimerProbeProc));
    EXPECT_EQ(0, g_timerAliveDuringFetch.load());
    EXPECT_EQ(1, RequestCount(kCatalogPath));
    EXPECT_EQ(1u, boxes.Count());
}

TEST_F(SelectorDialogTest, StartWithAFailingListReenablesAndKeepsTheName) {
    ASSERT_TRUE(Serve("/b/downloadlist.txt", "setup.exe\r\n", 404));
    SelectedFileList = {"stale"};
    MessageBoxWatcher boxes;
    EXPECT_EQ(0, RunSelector([&](HWND dialog) {
                  ASSERT_TRUE(WaitForItems(dialog, 3));
                  ASSERT_NE(CB_ERR, SendMessageA(List(dialog), CB_SETCURSEL, 1, 0));
                  ASSERT_TRUE(ClickButton(dialog, IDC_SELECTOR_START));
                  ASSERT_TRUE(boxes.WaitForCount(1, kDeadlineMs));
                  EXPECT_EQ("Download", boxes.Box(0).caption);
                  EXPECT_EQ(nullptr, boxes.Box(0).owner);
                  EXPECT_TRUE(WaitUntil([&] { return ChoiceIs(dialog, true); }, kDeadlineMs));
                  EXPECT_EQ(1, ComboSelection(List(dialog)));
              }));
    EXPECT_EQ(kSjisName, g_productName);
    EXPECT_TRUE(SelectedFileList.empty());
    EXPECT_EQ(1, RequestCount("/b/downloadlist.txt"));
}

TEST_F(SelectorDialogTest, CancelWhileTheListFailureIsShownEndsAfterTheFetch) {
    ASSERT_TRUE(Serve("/a/downloadlist.txt", "", 404));
    MessageBoxWatcher boxes(0);  // the box stays open until answered below
    EXPECT_EQ(0, RunSelector([&](HWND dialog) {
                  ASSERT_TRUE(WaitForItems(dialog, 3));
                  ASSERT_TRUE(ClickButton(dialog, IDC_SELECTOR_START));
                  ASSERT_TRUE(boxes.WaitForCount(1, kDeadlineMs));
                  // The box has no owner, so the dialog still takes the click; it takes
                  // effect once the fetch's handling has run to its end. No second
                  // fetch can start meanwhile: the start button is disabled.
                  EXPECT_TRUE(IsControlEnabled(dialog, IDCANCEL));
                  EXPECT_TRUE(ChoiceIs(dialog, false));
                  ASSERT_TRUE(ClickButton(dialog, IDCANCEL, Click::Send));
                  EXPECT_TRUE(IsWindow(dialog));
                  EXPECT_TRUE(boxes.Answer(0, IDOK));
                  EXPECT_TRUE(WaitForWindowGone(dialog, kDeadlineMs));
              }));
    EXPECT_EQ("Alpha", g_productName);
    EXPECT_TRUE(SelectedFileList.empty());
    EXPECT_EQ(1u, boxes.Count());
    EXPECT_EQ(1, RequestCount("/a/downloadlist.txt"));
}

TEST_F(SelectorDialogTest, StartWithAnEmptyListStaysOpenWithoutMessage) {
    ASSERT_TRUE(Serve("/a/downloadlist.txt", "\r\n\r\n"));
    SelectedFileList = {"stale"};
    MessageBoxWatcher boxes;
    EXPECT_EQ(0, RunSelector([&](HWND dialog) {
                  ASSERT_TRUE(WaitForItems(dialog, 3));
                  ASSERT_TRUE(ClickButton(dialog, IDC_SELECTOR_START));
                  ASSERT_TRUE(WaitUntil([] { return RequestCount("/a/downloadlist.txt") == 1; },
                                        kDeadlineMs));
                  // Handled after the click: a dialog that had ended with 1 would not
                  // be there to take it.
                  EXPECT_TRUE(SendAndWait(dialog, WM_NULL));
                  EXPECT_TRUE(IsWindow(dialog));
                  EXPECT_TRUE(ChoiceIs(dialog, true));
                  EXPECT_EQ(0, ComboSelection(List(dialog)));
                  EXPECT_EQ(kPrompt, ControlText(dialog, IDC_SELECTOR_STATUS));
              }));
    EXPECT_EQ("Alpha", g_productName);
    EXPECT_TRUE(SelectedFileList.empty());
    EXPECT_EQ(0u, boxes.Count());
}

TEST_F(SelectorDialogTest, StartWithFilesEndsWithOneAndStoresThem) {
    ASSERT_TRUE(Serve("/c/downloadlist.txt", "setup.exe\r\ndata.cab\r\n"));
    MessageBoxWatcher boxes;
    EXPECT_EQ(1, RunSelector([&](HWND dialog) {
                  ASSERT_TRUE(WaitForItems(dialog, 3));
                  ASSERT_NE(CB_ERR, SendMessageA(List(dialog), CB_SETCURSEL, 2, 0));
                  ASSERT_TRUE(ClickButton(dialog, IDC_SELECTOR_START));
                  EXPECT_TRUE(WaitForWindowGone(dialog, kDeadlineMs));
              }));
    EXPECT_EQ("Gamma", g_productName);
    const std::string base = HttpsUrl("/c/");
    EXPECT_EQ((FileList{base + "setup.exe", base + "data.cab"}), SelectedFileList);
    EXPECT_EQ(0u, boxes.Count());
}

TEST_F(SelectorDialogTest, EmptyBaseUrlMakesStartDoNothing) {
    ASSERT_TRUE(Serve(kCatalogPath, "1,NoBase\r\n2,Other," + HttpsUrl("/o/") + "\r\n"));
    MessageBoxWatcher boxes;
    EXPECT_EQ(0, RunSelector([&](HWND dialog) {
                  ASSERT_TRUE(WaitForItems(dialog, 2));
                  ASSERT_TRUE(ClickButton(dialog, IDC_SELECTOR_START, Click::Send));
                  EXPECT_TRUE(IsWindow(dialog) && ChoiceIs(dialog, true));
              }));
    EXPECT_EQ("untouched", g_productName);
    EXPECT_EQ(1, RequestCount());
    EXPECT_EQ(0u, boxes.Count());
}

TEST_F(SelectorDialogTest, EnterIsIgnoredAndEscapeEndsWithZero) {
    ASSERT_TRUE(Serve("/a/downloadlist.txt", "setup.exe\r\n"));
    g_idokSeen = 0;
    EXPECT_EQ(0, RunSelector(
                     [&](HWND dialog) {
                         ASSERT_TRUE(WaitForItems(dialog, 3));
                         ASSERT_TRUE(PressKey(dialog, VK_RETURN));
                         ASSERT_TRUE(WaitUntil([] { return g_idokSeen.load() >= 1; }, kDeadlineMs));
                         ASSERT_TRUE(PostCommand(dialog, IDOK));
                         ASSERT_TRUE(WaitUntil([] { return g_idokSeen.load() >= 2; }, kDeadlineMs));
                         EXPECT_TRUE(IsWindow(dialog));
                         PressKey(dialog, VK_ESCAPE);
                         EXPECT_TRUE(WaitForWindowGone(dialog, kDeadlineMs));
                     },
                     kTitle, NotingProc));
    EXPECT_EQ(0, RequestCount("/a/downloadlist.txt"));
    EXPECT_EQ("untouched", g_productName);
}

// The runner's own Cancel goes only to a dialog still open, so each row's
// way out is the one that ended the dialog.
TEST_F(SelectorDialogTest, EscapeCancelAndTheCloseBoxEachEndWithZero) {
    const struct {
        const char* way;
        std::function<void(HWND)> close;
    } cases[] = {
        {"Esc", [](HWND dialog) { PressKey(dialog, VK_ESCAPE); }},
        {"close box", [](HWND dialog) { PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }},
        {"Cancel button", [](HWND dialog) { ClickButton(dialog, IDCANCEL); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.way);
        ASSERT_TRUE(Serve("/a/downloadlist.txt", "setup.exe\r\n"));
        MessageBoxWatcher boxes;
        EXPECT_EQ(0, RunSelector([&](HWND dialog) {
                      ASSERT_TRUE(WaitForItems(dialog, 3));
                      c.close(dialog);
                      EXPECT_TRUE(WaitForWindowGone(dialog, kDeadlineMs));
                  }));
        EXPECT_EQ(0u, boxes.Count());
        EXPECT_EQ("untouched", g_productName);
    }
    EXPECT_EQ(0, RequestCount("/a/downloadlist.txt"));
}

TEST_F(SelectorDialogTest, CancelBeforeTheFirstTickMakesNoRequest) {
    MessageBoxWatcher boxes;
    EXPECT_EQ(0, DialogBoxParamA(GetModuleHandleA(nullptr), "DownloadSelector", nullptr,
                                 CancelAtOnceProc, 0));
    EXPECT_EQ(0, RequestCount());
    EXPECT_TRUE(ProductCatalog.empty());
    EXPECT_EQ(0u, boxes.Count());
}

TEST_F(SelectorDialogTest, PaintsOnWhiteWithADarkGreenHeading) {
    RunSelector([&](HWND dialog) {
        ASSERT_TRUE(WaitForItems(dialog, 3));
        const HDC dc = CreateCompatibleDC(nullptr);
        ASSERT_NE(nullptr, dc);
        const DWORD_PTR white = reinterpret_cast<DWORD_PTR>(GetStockObject(WHITE_BRUSH));
        const COLORREF marker = RGB(1, 2, 3);
        // Only the heading changes the text colour; every static and the
        // dialog itself get the white stock brush.
        const struct {
            UINT message;
            HWND control;
            COLORREF colour;
        } cases[] = {
            {WM_CTLCOLORSTATIC, GetDlgItem(dialog, IDC_SELECTOR_HEADING), RGB(0, 64, 0)},
            {WM_CTLCOLORSTATIC, GetDlgItem(dialog, IDC_SELECTOR_STATUS), marker},
            {WM_CTLCOLORDLG, dialog, marker},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(GetDlgCtrlID(c.control));
            SetTextColor(dc, marker);
            DWORD_PTR brush = 0;
            ASSERT_NE(0, SendMessageTimeoutA(dialog, c.message, reinterpret_cast<WPARAM>(dc),
                                             reinterpret_cast<LPARAM>(c.control), SMTO_NORMAL,
                                             kDeadlineMs, &brush));
            EXPECT_EQ(white, brush);
            EXPECT_EQ(c.colour, GetTextColor(dc));
        }
        DeleteDC(dc);
    });
}

// Points this prefix's https protocol at a command for the object's lifetime
// and puts back afterwards exactly what was there: the previous command, or
// no value, or no key.
class HttpsHandlerOverride {
public:
    explicit HttpsHandlerOverride(const std::string& command) {
        m_before = Read();
        for (const char* key : {"https", "https\\shell", "https\\shell\\open", kKey}) {
            if (!KeyExists(key)) {
                m_firstCreated = key;
                break;
            }
        }
        m_ok = RegSetKeyValueA(HKEY_CLASSES_ROOT, kKey, nullptr, REG_SZ, command.c_str(),
                               static_cast<DWORD>(command.size() + 1)) == ERROR_SUCCESS;
    }
    ~HttpsHandlerOverride() {
        if (!m_firstCreated.empty()) {
            RegDeleteTreeA(HKEY_CLASSES_ROOT, m_firstCreated.c_str());
        } else if (m_before.has_value()) {
            RegSetKeyValueA(HKEY_CLASSES_ROOT, kKey, nullptr, REG_SZ, m_before->c_str(),
                            static_cast<DWORD>(m_before->size() + 1));
        } else {
            RegDeleteKeyValueA(HKEY_CLASSES_ROOT, kKey, nullptr);
        }
    }
    bool ok() const { return m_ok; }

    // The command now registered, if any.
    static std::optional<std::string> Read() {
        char value[2048] = {};
        DWORD size = sizeof value;
        if (RegGetValueA(HKEY_CLASSES_ROOT, kKey, nullptr,
                         RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, value,
                         &size) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        return std::string(value);
    }

private:
    static constexpr const char* kKey = "https\\shell\\open\\command";
    static bool KeyExists(const char* key) {
        HKEY opened = nullptr;
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key, 0, KEY_READ, &opened) != ERROR_SUCCESS)
            return false;
        RegCloseKey(opened);
        return true;
    }
    std::optional<std::string> m_before;
    std::string m_firstCreated;
    bool m_ok = false;
};

// The recorder stands in for the browser as this prefix's https handler.
TEST_F(SelectorDialogTest, UserPageButtonAsksTheShellToOpenTheUserPage) {
    const std::string folder = ProgramFolder();
    const std::string recorder = "\"" + folder + "app_url_recorder.exe\"";
    const std::string record = folder + "user-page-record.txt";
    DeleteFileA(record.c_str());
    ASSERT_TRUE(SetEnvironmentVariableA("VELTA_URL_RECORD", record.c_str()));
    const std::optional<std::string> handlerBefore = HttpsHandlerOverride::Read();
    {
        HttpsHandlerOverride handler(recorder + " \"%1\"");
        ASSERT_TRUE(handler.ok());
        ASSERT_TRUE(Serve(kCatalogPath, "!"));  // the button works in the failed state too
        MessageBoxWatcher boxes;
        EXPECT_EQ(
            0, RunSelector([&](HWND dialog) {
                ASSERT_TRUE(WaitForStatus(dialog, kNoticeStatus));
                ASSERT_TRUE(ClickButton(dialog, IDC_SELECTOR_USER_PAGE));
                EXPECT_TRUE(WaitUntil([&] { return !ReadWholeFile(record).empty(); }, kDeadlineMs));
                EXPECT_TRUE(IsWindow(dialog));
                EXPECT_EQ(kNoticeStatus, ControlText(dialog, IDC_SELECTOR_STATUS));
            }));
    }
    EXPECT_EQ(handlerBefore, HttpsHandlerOverride::Read()) << "the prefix's handler is put back";
    EXPECT_EQ(recorder + " \"https://" VELTA_USER_PAGE_HOST "/zeva/new_support_login.asp\"\n",
              ReadWholeFile(record));
    DeleteFileA(record.c_str());
    SetEnvironmentVariableA("VELTA_URL_RECORD", nullptr);
}

}  // namespace
