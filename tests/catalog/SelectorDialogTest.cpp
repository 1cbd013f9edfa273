// The product selection dialog, shown modally from the test module's own
// resources on the test's main thread, while a driver thread watches it and
// clicks like a customer would. Catalog and file lists come from the loopback
// test server; message boxes are answered by the watcher. Whatever a driver
// asserts, the dialog is cancelled afterwards so no run is left waiting.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "BuildConfig.h"
#include "app/ProcessState.h"
#include "app/SelectorDialog.h"
#include "res/resource.h"
#include "tests/support/MessageBoxWatcher.h"
#include "tests/support/TestServer.h"
#include "tests/support/WindowHelpers.h"

namespace {

using velta_test::ComboItemData;
using velta_test::ComboItems;
using velta_test::ComboSelection;
using velta_test::ControlText;
using velta_test::IsControlEnabled;
using velta_test::MessageBoxWatcher;

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
constexpr DWORD kDeadlineMs = 30000;

bool Serve(const std::string& target, const std::string& body, int status = 200) {
    velta_test::Route route;
    route.target = target;
    route.status = status;
    route.body = body;
    return velta_test::SetRoute(route);
}

// Polls a condition against a generous deadline.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = kDeadlineMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!condition()) {
        if (GetTickCount64() > deadline) return false;
        Sleep(5);
    }
    return true;
}

HWND List(HWND dialog) { return GetDlgItem(dialog, IDC_SELECTOR_PRODUCTS); }

bool ChoiceEnabled(HWND dialog) {
    return IsControlEnabled(dialog, IDC_SELECTOR_PRODUCTS) &&
           IsControlEnabled(dialog, IDC_SELECTOR_START);
}
bool ChoiceDisabled(HWND dialog) {
    return !IsControlEnabled(dialog, IDC_SELECTOR_PRODUCTS) &&
           !IsControlEnabled(dialog, IDC_SELECTOR_START);
}

bool WaitForItems(HWND dialog, size_t count) {
    return WaitUntil([&] { return ComboItems(List(dialog)).size() == count; });
}
bool WaitForStatus(HWND dialog, const char* text) {
    return WaitUntil([&] { return ControlText(dialog, IDC_SELECTOR_STATUS) == text; });
}

// Lands in the build's screenshots folder (VELTA_SCREENSHOT_DIR).
void Screenshot(HWND dialog, const char* name) {
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    EXPECT_TRUE(velta_test::SaveScreenshot(name, dialog)) << name;
}

// Shows the dialog modally on this thread and runs the driver on another
// one against it; returns the dialog's result.
INT_PTR RunSelector(const std::function<void(HWND)>& driver, const char* title = kTitle,
                    DLGPROC procedure = DownloadSelectorProc) {
    std::thread driverThread([&] {
        const HWND dialog =
            velta_test::WaitForTopLevelWindow(title, GetCurrentProcessId(), kDeadlineMs, "#32770");
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

// Delegates to the real procedure and notes the command ids it was given.
std::atomic<int> g_idokSeen{0};
INT_PTR CALLBACK NotingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) ++g_idokSeen;
    return DownloadSelectorProc(dialog, message, wParam, lParam);
}

// Delegates, then presses Cancel at once: the press is queued before the
// timer's first tick can be generated.
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

class SelectorDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(velta_test::Reset()) << velta_test::LastError();
        g_testMode = 0;
        ProductCatalog.clear();
        SelectedFileList.clear();
        g_productName = "untouched";
    }
    void TearDown() override { g_testMode = 0; }

    std::string ThreeProducts() {
        return "1,Alpha," + velta_test::HttpsUrl("/a/") + ",20240101\r\n" +
               "2,\x83\x5C\x83\x74\x83\x67\x95\x5C\x83\x7C," + velta_test::HttpsUrl("/b/") + "\n" +
               "3,Gamma," + velta_test::HttpsUrl("/c/") + "\r";
    }
};

TEST_F(SelectorDialogTest, ListsTheCatalogInOrderWithIndexData) {
    ASSERT_TRUE(Serve(kCatalogPath, ThreeProducts()));
    MessageBoxWatcher boxes;
    const INT_PTR result = RunSelector([&](HWND dialog) {
        ASSERT_TRUE(WaitForItems(dialog, 3));
        const std::vector<std::string> names = {"Alpha", "\x83\x5C\x83\x74\x83\x67\x95\x5C\x83\x7C",
                                                "Gamma"};
        EXPECT_EQ(names, ComboItems(List(dialog)));
        EXPECT_EQ((std::vector<LRESULT>{0, 1, 2}), ComboItemData(List(dialog)));
        EXPECT_EQ(0, ComboSelection(List(dialog)));
        EXPECT_TRUE(ChoiceEnabled(dialog));
        EXPECT_EQ(kPrompt, ControlText(dialog, IDC_SELECTOR_STATUS));
        EXPECT_EQ(kHeading, ControlText(dialog, IDC_SELECTOR_HEADING));
        Screenshot(dialog, "selector-filled.png");
    });
    EXPECT_EQ(0, result);
    EXPECT_EQ(0u, boxes.Count());
    EXPECT_EQ(1, velta_test::RequestCount(kCatalogPath));
    EXPECT_EQ("untouched", g_productName);
}

TEST_F(SelectorDialogTest, TestModeExtendsTheTitleAndAsksForTheTestCatalog) {
    ASSERT_TRUE(Serve(kTestCatalogPath, "1,Tested," + velta_test::HttpsUrl("/t/") + "\r\n"));
    g_testMode = 1;
    MessageBoxWatcher boxes;
    const INT_PTR result = RunSelector(
        [&](HWND dialog) {
            EXPECT_EQ(kTestModeTitle, velta_test::WindowText(dialog));
            ASSERT_TRUE(WaitForItems(dialog, 1));
            EXPECT_EQ(std::vector<std::string>{"Tested"}, ComboItems(List(dialog)));
        },
        kTestModeTitle);
    EXPECT_EQ(0, result);
    EXPECT_EQ(1, velta_test::RequestCount(kTestCatalogPath));
    EXPECT_EQ(0, velta_test::RequestCount(kCatalogPath));
}

TEST_F(SelectorDialogTest, EmptyCatalogShowsThePlaceholderAndStartDoesNothing) {
    ASSERT_TRUE(Serve(kCatalogPath, "\r\n5\r\n5,,x\r\n"));
    MessageBoxWatcher boxes;
    const INT_PTR result = RunSelector([&](HWND dialog) {
        ASSERT_TRUE(WaitForItems(dialog, 1));
        EXPECT_EQ(std::vector<std::string>{kNoProducts}, ComboItems(List(dialog)));
        EXPECT_EQ(0, ComboSelection(List(dialog)));
        EXPECT_TRUE(ChoiceDisabled(dialog));
        EXPECT_EQ(kPrompt, ControlText(dialog, IDC_SELECTOR_STATUS));
        // The placeholder is no catalog entry: a start command that reaches
        // the dialog anyway must not look one up.
        DWORD_PTR ignored = 0;
        EXPECT_NE(0, SendMessageTimeoutA(dialog, WM_COMMAND, IDC_SELECTOR_START, 0, SMTO_NORMAL,
                                         kDeadlineMs, &ignored));
        EXPECT_TRUE(IsWindow(dialog));
        EXPECT_TRUE(ChoiceDisabled(dialog));
    });
    EXPECT_EQ(0, result);
    EXPECT_EQ(1, velta_test::RequestCount());
    EXPECT_EQ(0u, boxes.Count());
    EXPECT_EQ("untouched", g_productName);
}

TEST_F(SelectorDialogTest, FailedFetchAndUpdateNoticeLeaveTheListEmpty) {
    struct Case {
        const char* label;
        std::string body;
        int status;
        const char* status201;
        const char* shot;
    };
    const Case cases[] = {
        {"update notice", "!", 200, kNoticeStatus, "selector-update-notice.png"},
        {"status 404", "1,Hidden,https://h/\r\n", 404, kFailedStatus, "selector-failed.png"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ASSERT_TRUE(velta_test::Reset());
        ASSERT_TRUE(Serve(kCatalogPath, c.body, c.status));
        MessageBoxWatcher boxes;
        const INT_PTR result = RunSelector([&](HWND dialog) {
            ASSERT_TRUE(WaitForStatus(dialog, c.status201));
            EXPECT_EQ(1u, boxes.Count());
            EXPECT_EQ("VELTA Download", boxes.Box(0).caption);
            EXPECT_TRUE(ComboItems(List(dialog)).empty());
            EXPECT_TRUE(ChoiceDisabled(dialog));
            EXPECT_EQ(kHeading, ControlText(dialog, IDC_SELECTOR_HEADING));
            EXPECT_TRUE(IsControlEnabled(dialog, IDCANCEL));
            EXPECT_TRUE(IsControlEnabled(dialog, IDC_SELECTOR_USER_PAGE));
            Screenshot(dialog, c.shot);
        });
        EXPECT_EQ(0, result);
        // The fetch is never retried.
        EXPECT_EQ(1, velta_test::RequestCount(kCatalogPath));
        EXPECT_EQ(1u, boxes.Count());
    }
}

TEST_F(SelectorDialogTest, TimerIsGoneBeforeTheFetchShowsItsBox) {
    ASSERT_TRUE(Serve(kCatalogPath, "", 404));
    g_timerDepth = 0;
    g_timerAliveDuringFetch = -1;
    MessageBoxWatcher boxes(0);  // the box stays open until answered below
    const INT_PTR result = RunSelector(
        [&](HWND dialog) {
            ASSERT_TRUE(boxes.WaitForCount(1, kDeadlineMs));
            // Handled inside the box's message loop, while the fetch runs.
            DWORD_PTR ignored = 0;
            EXPECT_NE(0, SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, kDeadlineMs,
                                             &ignored));
            EXPECT_TRUE(boxes.Answer(0, IDOK));
            ASSERT_TRUE(WaitForStatus(dialog, kFailedStatus));
        },
        kTitle, TimerProbeProc);
    EXPECT_EQ(0, result);
    EXPECT_EQ(0, g_timerAliveDuringFetch.load());
    EXPECT_EQ(1, velta_test::RequestCount(kCatalogPath));
}

TEST_F(SelectorDialogTest, StartWithAFailingListReenablesAndKeepsTheName) {
    ASSERT_TRUE(Serve(kCatalogPath, ThreeProducts()));
    ASSERT_TRUE(Serve("/b/downloadlist.txt", "setup.exe\r\n", 404));
    SelectedFileList = {"stale"};
    MessageBoxWatcher boxes;
    const INT_PTR result = RunSelector([&](HWND dialog) {
        ASSERT_TRUE(WaitForItems(dialog, 3));
        ASSERT_NE(CB_ERR, SendMessageA(List(dialog), CB_SETCURSEL, 1, 0));
        ASSERT_TRUE(velta_test::ClickButton(dialog, IDC_SELECTOR_START));
        ASSERT_TRUE(boxes.WaitForCount(1, kDeadlineMs));
        EXPECT_EQ("Download", boxes.Box(0).caption);
        EXPECT_EQ(nullptr, boxes.Box(0).owner);
        EXPECT_TRUE(WaitUntil([&] { return ChoiceEnabled(dialog); }));
        EXPECT_EQ(1, ComboSelection(List(dialog)));
    });
    EXPECT_EQ(0, result);
    EXPECT_EQ("\x83\x5C\x83\x74\x83\x67\x95\x5C\x83\x7C", g_productName);
    EXPECT_TRUE(SelectedFileList.empty());
    EXPECT_EQ(1, velta_test::RequestCount("/b/downloadlist.txt"));
}

TEST_F(SelectorDialogTest, CancelWhileTheListFailureIsShownEndsAfterTheFetch) {
    ASSERT_TRUE(Serve(kCatalogPath, ThreeProducts()));
    ASSERT_TRUE(Serve("/a/downloadlist.txt", "", 404));
    MessageBoxWatcher boxes(0);  // the box stays open until answered below
    const INT_PTR result = RunSelector([&](HWND dialog) {
        ASSERT_TRUE(WaitForItems(dialog, 3));
        ASSERT_TRUE(velta_test::ClickButton(dialog, IDC_SELECTOR_START));
        ASSERT_TRUE(boxes.WaitForCount(1, kDeadlineMs));
        // The box has no owner, so the dialog still takes the click; it
        // takes effect once the fetch's handling has run to its end.
        EXPECT_TRUE(IsControlEnabled(dialog, IDCANCEL));
        EXPECT_TRUE(ChoiceDisabled(dialog));
        ASSERT_TRUE(velta_test::ClickButton(dialog, IDCANCEL, velta_test::Click::Send));
        EXPECT_TRUE(boxes.Answer(0, IDOK));
        EXPECT_TRUE(velta_test::WaitForWindowGone(dialog, kDeadlineMs));
    });
    EXPECT_EQ(0, result);
    EXPECT_EQ("Alpha", g_productName);
    EXPECT_TRUE(SelectedFileList.empty());
    EXPECT_EQ(1u, boxes.Count());
}

TEST_F(SelectorDialogTest, StartWithAnEmptyListStaysOpenWithoutMessage) {
    ASSERT_TRUE(Serve(kCatalogPath, ThreeProducts()));
    ASSERT_TRUE(Serve("/a/downloadlist.txt", "\r\n\r\n"));
    MessageBoxWatcher boxes;
    const INT_PTR result = RunSelector([&](HWND dialog) {
        ASSERT_TRUE(WaitForItems(dialog, 3));
        ASSERT_TRUE(velta_test::ClickButton(dialog, IDC_SELECTOR_START));
        ASSERT_TRUE(WaitUntil([] { return velta_test::RequestCount("/a/downloadlist.txt") == 1; }));
        EXPECT_TRUE(WaitUntil([&] { return ChoiceEnabled(dialog); }));
        // Queued behind the click: a dialog that ended with 1 would not see it.
        velta_test::PostCommand(dialog, IDCANCEL);
        EXPECT_TRUE(velta_test::WaitForWindowGone(dialog, kDeadlineMs));
    });
    EXPECT_EQ(0, result);
    EXPECT_EQ("Alpha", g_productName);
    EXPECT_TRUE(SelectedFileList.empty());
    EXPECT_EQ(0u, boxes.Count());
}

TEST_F(SelectorDialogTest, StartWithFilesEndsWithOneAndStoresThem) {
    ASSERT_TRUE(Serve(kCatalogPath, ThreeProducts()));
    ASSERT_TRUE(Serve("/c/downloadlist.txt", "setup.exe\r\ndata.cab\r\n"));
    MessageBoxWatcher boxes;
    const INT_PTR result = RunSelector([&](HWND dialog) {
        ASSERT_TRUE(WaitForItems(dialog, 3));
        ASSERT_NE(CB_ERR, SendMessageA(List(dialog), CB_SETCURSEL, 2, 0));
        ASSERT_TRUE(velta_test::ClickButton(dialog, IDC_SELECTOR_START));
        EXPECT_TRUE(velta_test::WaitForWindowGone(dialog, kDeadlineMs));
    });
    EXPECT_EQ(1, result);
    EXPECT_EQ("Gamma", g_productName);
    const std::string base = velta_test::HttpsUrl("/c/");
    EXPECT_EQ((FileList{base + "setup.exe", base + "data.cab"}), SelectedFileList);
    EXPECT_EQ(0u, boxes.Count());
}

TEST_F(SelectorDialogTest, EmptyBaseUrlMakesStartDoNothing) {
    ASSERT_TRUE(Serve(kCatalogPath, "1,NoBase\r\n2,Other," + velta_test::HttpsUrl("/o/") + "\r\n"));
    MessageBoxWatcher boxes;
    const INT_PTR result = RunSelector([&](HWND dialog) {
        ASSERT_TRUE(WaitForItems(dialog, 2));
        ASSERT_TRUE(velta_test::ClickButton(dialog, IDC_SELECTOR_START, velta_test::Click::Send));
        EXPECT_TRUE(IsWindow(dialog));
        EXPECT_TRUE(ChoiceEnabled(dialog));
    });
    EXPECT_EQ(0, result);
    EXPECT_EQ("untouched", g_productName);
    EXPECT_EQ(1, velta_test::RequestCount());
    EXPECT_EQ(0u, boxes.Count());
}

TEST_F(SelectorDialogTest, EnterIsIgnored) {
    ASSERT_TRUE(Serve(kCatalogPath, ThreeProducts()));
    ASSERT_TRUE(Serve("/a/downloadlist.txt", "setup.exe\r\n"));
    g_idokSeen = 0;
    MessageBoxWatcher boxes;
    const INT_PTR result = RunSelector(
        [&](HWND dialog) {
            ASSERT_TRUE(WaitForItems(dialog, 3));
            ASSERT_TRUE(velta_test::PressKey(dialog, VK_RETURN));
            ASSERT_TRUE(WaitUntil([] { return g_idokSeen.load() >= 1; }));
            ASSERT_TRUE(velta_test::PostCommand(dialog, IDOK));
            ASSERT_TRUE(WaitUntil([] { return g_idokSeen.load() >= 2; }));
            EXPECT_TRUE(IsWindow(dialog));
        },
        kTitle, NotingProc);
    EXPECT_EQ(0, result);
    EXPECT_EQ(0, velta_test::RequestCount("/a/downloadlist.txt"));
    EXPECT_EQ("untouched", g_productName);
}

TEST_F(SelectorDialogTest, EscapeAndTheCloseBoxEndWithZero) {
    ASSERT_TRUE(Serve(kCatalogPath, ThreeProducts()));
    const std::function<void(HWND)> ways[] = {
        [](HWND dialog) { velta_test::PressKey(dialog, VK_ESCAPE); },
        [](HWND dialog) { PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); },
        [](HWND dialog) { velta_test::ClickButton(dialog, IDCANCEL); },
    };
    int way = 0;
    for (const auto& close : ways) {
        SCOPED_TRACE(way++);
        MessageBoxWatcher boxes;
        const INT_PTR result = RunSelector([&](HWND dialog) {
            ASSERT_TRUE(WaitForItems(dialog, 3));
            close(dialog);
            EXPECT_TRUE(velta_test::WaitForWindowGone(dialog, kDeadlineMs));
        });
        EXPECT_EQ(0, result);
    }
}

TEST_F(SelectorDialogTest, CancelBeforeTheFirstTickMakesNoRequest) {
    ASSERT_TRUE(Serve(kCatalogPath, ThreeProducts()));
    MessageBoxWatcher boxes;
    const INT_PTR result =
        DialogBoxParamA(GetModuleHandleA(nullptr), "DownloadSelector", nullptr, CancelAtOnceProc, 0);
    EXPECT_EQ(0, result);
    EXPECT_EQ(0, velta_test::RequestCount());
    EXPECT_TRUE(ProductCatalog.empty());
    EXPECT_EQ(0u, boxes.Count());
}

TEST_F(SelectorDialogTest, PaintsOnWhiteWithADarkGreenHeading) {
    ASSERT_TRUE(Serve(kCatalogPath, ThreeProducts()));
    MessageBoxWatcher boxes;
    RunSelector([&](HWND dialog) {
        ASSERT_TRUE(WaitForItems(dialog, 3));
        const HDC dc = CreateCompatibleDC(nullptr);
        ASSERT_NE(nullptr, dc);
        const LRESULT white = reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
        struct Case {
            int id;
            COLORREF expected;
        };
        const COLORREF marker = RGB(1, 2, 3);
        const Case cases[] = {
            {IDC_SELECTOR_HEADING, RGB(0, 64, 0)},
            {IDC_SELECTOR_STATUS, marker},
        };
        for (const Case& c : cases) {
            SetTextColor(dc, marker);
            DWORD_PTR brush = 0;
            ASSERT_NE(0, SendMessageTimeoutA(dialog, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                             reinterpret_cast<LPARAM>(GetDlgItem(dialog, c.id)),
                                             SMTO_NORMAL, kDeadlineMs, &brush));
            EXPECT_EQ(white, static_cast<LRESULT>(brush)) << c.id;
            EXPECT_EQ(c.expected, GetTextColor(dc)) << c.id;
        }
        DWORD_PTR brush = 0;
        ASSERT_NE(0, SendMessageTimeoutA(dialog, WM_CTLCOLORDLG, reinterpret_cast<WPARAM>(dc),
                                         reinterpret_cast<LPARAM>(dialog), SMTO_NORMAL,
                                         kDeadlineMs, &brush));
        EXPECT_EQ(white, static_cast<LRESULT>(brush));
        DeleteDC(dc);
    });
}

// Points the https protocol of this prefix at the recorder for the lifetime
// of the object, and puts the previous handler back afterwards.
class HttpsHandlerOverride {
public:
    explicit HttpsHandlerOverride(const std::string& command) {
        char previous[1024] = {};
        DWORD size = sizeof previous;
        m_hadPrevious = RegGetValueA(HKEY_CLASSES_ROOT, kKey, nullptr, RRF_RT_REG_SZ, nullptr,
                                     previous, &size) == ERROR_SUCCESS;
        m_previous = previous;
        m_ok = Set(command);
    }
    ~HttpsHandlerOverride() {
        if (m_hadPrevious) Set(m_previous);
    }
    bool ok() const { return m_ok; }

private:
    static constexpr const char* kKey = "https\\shell\\open\\command";
    static bool Set(const std::string& value) {
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_CLASSES_ROOT, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                            nullptr) != ERROR_SUCCESS) {
            return false;
        }
        const LONG set = RegSetValueExA(key, nullptr, 0, REG_SZ,
                                        reinterpret_cast<const BYTE*>(value.c_str()),
                                        static_cast<DWORD>(value.size() + 1));
        RegCloseKey(key);
        return set == ERROR_SUCCESS;
    }
    bool m_hadPrevious = false;
    bool m_ok = false;
    std::string m_previous;
};

std::string ReadWholeFile(const std::string& path) {
    std::string content;
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr) return content;
    char buffer[4096];
    size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0) content.append(buffer, n);
    fclose(file);
    return content;
}

TEST_F(SelectorDialogTest, UserPageButtonAsksTheShellToOpenTheUserPage) {
    char self[MAX_PATH] = {};
    ASSERT_NE(0u, GetModuleFileNameA(nullptr, self, sizeof self));
    std::string folder = self;
    folder.resize(folder.find_last_of('\\') + 1);
    const std::string recorder = folder + "catalog_url_recorder.exe";
    const std::string record = folder + "user-page-record.txt";
    DeleteFileA(record.c_str());
    ASSERT_TRUE(SetEnvironmentVariableA("VELTA_URL_RECORD", record.c_str()));
    HttpsHandlerOverride handler("\"" + recorder + "\" \"%1\"");
    ASSERT_TRUE(handler.ok());

    ASSERT_TRUE(Serve(kCatalogPath, "!"));  // the button works in the failed state too
    MessageBoxWatcher boxes;
    const INT_PTR result = RunSelector([&](HWND dialog) {
        ASSERT_TRUE(WaitForStatus(dialog, kNoticeStatus));
        ASSERT_TRUE(velta_test::ClickButton(dialog, IDC_SELECTOR_USER_PAGE));
        EXPECT_TRUE(WaitUntil([&] { return !ReadWholeFile(record).empty(); }));
        EXPECT_TRUE(IsWindow(dialog));
        EXPECT_EQ(kNoticeStatus, ControlText(dialog, IDC_SELECTOR_STATUS));
    });
    EXPECT_EQ(0, result);
    const std::string expected = "\"" + recorder + "\" \"https://" VELTA_USER_PAGE_HOST
                                 "/zeva/new_support_login.asp\"\n";
    EXPECT_EQ(expected, ReadWholeFile(record));
    DeleteFileA(record.c_str());
}

}  // namespace
