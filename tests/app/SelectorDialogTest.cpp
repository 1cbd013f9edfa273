// The product selection dialog, shown modally on the test's main thread while
// a driver thread clicks like a customer; the dialog is cancelled afterwards
// whatever the driver asserted, so no run is left waiting.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

#include "BuildConfig.h"
#include "app/ProcessState.h"
#include "app/SelectorDialog.h"
#include "res/resource.h"
#include "tests/support/MessageBoxWatcher.h"
#include "tests/support/TestServer.h"
#include "tests/support/WindowHelpers.h"

namespace {

using namespace velta_test;

const std::string kCatalogPath = "/qrnSupport/download/VELTA/veltadownloadlist.txt";
constexpr char kNoticeStatus[] = "現バージョンVELTA DLはご利用頂けません。VELTAサポートページより新しいVELTA DLをダウンロードしてご利用ください。";
constexpr char kSjisName[] = "\x83\x5C\x83\x74\x83\x67\x95\x5C\x83\x7C";
constexpr DWORD kDeadlineMs = 30000;

bool Serve(const std::string& target, const std::string& body, int status = 200) {
    Route route;
    route.target = target, route.status = status, route.body = body;
    return SetRoute(route);
}

bool WaitUntil(const std::function<bool()>& condition) {
    const ULONGLONG deadline = GetTickCount64() + kDeadlineMs;
    while (!condition() && GetTickCount64() < deadline) Sleep(5);
    return condition();
}

HWND List(HWND dialog) { return GetDlgItem(dialog, IDC_SELECTOR_PRODUCTS); }
bool ChoiceIs(HWND dialog, bool on) {
    return IsControlEnabled(dialog, IDC_SELECTOR_PRODUCTS) == on && IsControlEnabled(dialog, IDC_SELECTOR_START) == on;
}
bool WaitForItems(HWND dialog, size_t count) { return WaitUntil([&] { return ComboItems(List(dialog)).size() == count; }); }

INT_PTR RunSelector(const std::function<void(HWND)>& driver, DLGPROC procedure = DownloadSelectorProc) {
    std::thread driverThread([&] {
        const HWND dialog = WaitForTopLevelWindow("製品のダウンロード", GetCurrentProcessId(), kDeadlineMs, "#32770");
        if (dialog == nullptr) return ADD_FAILURE() << "selection dialog did not appear", void();
        driver(dialog);
        if (IsWindow(dialog)) PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    const INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), "DownloadSelector", nullptr, procedure, 0);
    return driverThread.join(), result;
}

// Counts the IDOK commands the real procedure is given.
std::atomic<int> g_idokSeen{0};
INT_PTR CALLBACK NotingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) ++g_idokSeen;
    return DownloadSelectorProc(dialog, message, wParam, lParam);
}

// Queues Cancel before the timer's first tick can be generated.
INT_PTR CALLBACK CancelAtOnceProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    const INT_PTR result = DownloadSelectorProc(dialog, message, wParam, lParam);
    if (message == WM_INITDIALOG) PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    return result;
}

class SelectorDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Reset()) << LastError();
        ProductCatalog.clear();
        SelectedFileList.clear();
        g_productName = "untouched";
        ASSERT_TRUE(Serve(kCatalogPath, "1,Alpha," + HttpsUrl("/a/") + ",20240101\r\n2," + kSjisName + "," +
                                            HttpsUrl("/b/") + "\n3,Gamma," + HttpsUrl("/c/") + "\r"));
    }
};

TEST_F(SelectorDialogTest, ListsTheCatalogInOrderWithIndexData) {
    MessageBoxWatcher boxes;
    EXPECT_EQ(0, RunSelector([&](HWND dialog) {
        ASSERT_TRUE(WaitForItems(dialog, 3));
        EXPECT_EQ((std::vector<std::string>{"Alpha", kSjisName, "Gamma"}), ComboItems(List(dialog)));
        EXPECT_EQ((std::vector<LRESULT>{0, 1, 2}), ComboItemData(List(dialog)));
        EXPECT_EQ(0, ComboSelection(List(dialog)));
        EXPECT_TRUE(ChoiceIs(dialog, true));
        EXPECT_EQ("ダウンロードしたい製品を選択し、セットアップ開始ボタンをクリックしてください。", ControlText(dialog, IDC_SELECTOR_STATUS));
        EXPECT_EQ("以下の製品がダウンロード可能です。", ControlText(dialog, IDC_SELECTOR_HEADING));
    }));
    EXPECT_EQ(0u, boxes.Count());
    EXPECT_EQ("untouched", g_productName);
}

TEST_F(SelectorDialogTest, EmptyCatalogShowsThePlaceholderAndStartDoesNothing) {
    ASSERT_TRUE(Serve(kCatalogPath, "\r\n5\r\n5,,x\r\n"));
    EXPECT_EQ(0, RunSelector([&](HWND dialog) {
        ASSERT_TRUE(WaitForItems(dialog, 1));
        EXPECT_EQ(std::vector<std::string>{"ご利用頂ける製品はありません。"}, ComboItems(List(dialog)));
        EXPECT_TRUE(ChoiceIs(dialog, false));
        // The placeholder is no catalog entry: a start that arrives anyway must not look one up.
        DWORD_PTR ignored = 0;
        EXPECT_NE(0, SendMessageTimeoutA(dialog, WM_COMMAND, IDC_SELECTOR_START, 0, SMTO_NORMAL, kDeadlineMs, &ignored));
        EXPECT_TRUE(IsWindow(dialog) && ChoiceIs(dialog, false));
    }));
    EXPECT_EQ("untouched", g_productName);
}

TEST_F(SelectorDialogTest, FailedFetchAndUpdateNoticeLeaveTheListEmpty) {
    const struct { std::string body; int status; const char* text; } cases[] = {
        {"!", 200, kNoticeStatus}, {"1,Hidden,https://h/\r\n", 404, "ダウンロードカタログの取得に失敗しました。"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(Reset() && Serve(kCatalogPath, c.body, c.status));
        MessageBoxWatcher boxes;
        EXPECT_EQ(0, RunSelector([&](HWND dialog) {
            ASSERT_TRUE(WaitUntil([&] { return ControlText(dialog, IDC_SELECTOR_STATUS) == c.text; }));
            EXPECT_TRUE(ComboItems(List(dialog)).empty());
            EXPECT_TRUE(ChoiceIs(dialog, false));
            EXPECT_TRUE(IsControlEnabled(dialog, IDCANCEL) && IsControlEnabled(dialog, IDC_SELECTOR_USER_PAGE));
        }));
        EXPECT_EQ(1, RequestCount(kCatalogPath));  // never retried
        EXPECT_EQ(1u, boxes.Count());
    }
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
        EXPECT_TRUE(WaitUntil([&] { return ChoiceIs(dialog, true); }));
    }));
    EXPECT_EQ(kSjisName, g_productName);
    EXPECT_TRUE(SelectedFileList.empty());
}

TEST_F(SelectorDialogTest, EmptyBaseUrlMakesStartDoNothing) {
    ASSERT_TRUE(Serve(kCatalogPath, "1,NoBase\r\n2,Other," + HttpsUrl("/o/") + "\r\n"));
    EXPECT_EQ(0, RunSelector([&](HWND dialog) {
        ASSERT_TRUE(WaitForItems(dialog, 2));
        ASSERT_TRUE(ClickButton(dialog, IDC_SELECTOR_START, Click::Send));
        EXPECT_TRUE(IsWindow(dialog) && ChoiceIs(dialog, true));
    }));
    EXPECT_EQ("untouched", g_productName);
    EXPECT_EQ(1, RequestCount());
}

TEST_F(SelectorDialogTest, EnterIsIgnoredAndEscapeEndsWithZero) {
    ASSERT_TRUE(Serve("/a/downloadlist.txt", "setup.exe\r\n"));
    g_idokSeen = 0;
    EXPECT_EQ(0, RunSelector([&](HWND dialog) {
        ASSERT_TRUE(WaitForItems(dialog, 3));
        ASSERT_TRUE(PressKey(dialog, VK_RETURN));
        ASSERT_TRUE(WaitUntil([] { return g_idokSeen.load() >= 1; }));
        ASSERT_TRUE(PostCommand(dialog, IDOK));
        ASSERT_TRUE(WaitUntil([] { return g_idokSeen.load() >= 2; }));
        EXPECT_TRUE(IsWindow(dialog));
        PressKey(dialog, VK_ESCAPE);
        EXPECT_TRUE(WaitForWindowGone(dialog, kDeadlineMs));
    }, NotingProc));
    EXPECT_EQ(0, RequestCount("/a/downloadlist.txt"));
    EXPECT_EQ("untouched", g_productName);
}

TEST_F(SelectorDialogTest, CancelBeforeTheFirstTickMakesNoRequest) {
    EXPECT_EQ(0, DialogBoxParamA(GetModuleHandleA(nullptr), "DownloadSelector", nullptr, CancelAtOnceProc, 0));
    EXPECT_EQ(0, RequestCount());
    EXPECT_TRUE(ProductCatalog.empty());
}

std::string ReadWholeFile(const std::string& path) {
    std::string content(4096, '\0');
    FILE* file = fopen(path.c_str(), "rb");
    content.resize(file ? fread(content.data(), 1, content.size(), file) : 0);
    if (file) fclose(file);
    return content;
}

// The recorder stands in for the browser as this prefix's https handler.
TEST_F(SelectorDialogTest, UserPageButtonAsksTheShellToOpenTheUserPage) {
    char self[MAX_PATH] = {};
    std::string folder(self, GetModuleFileNameA(nullptr, self, sizeof self));
    folder.resize(folder.find_last_of('\\') + 1);
    const std::string recorder = "\"" + folder + "app_url_recorder.exe\"";
    const std::string record = folder + "user-page-record.txt";
    DeleteFileA(record.c_str());
    ASSERT_TRUE(SetEnvironmentVariableA("VELTA_URL_RECORD", record.c_str()));
    const std::string cmd = recorder + " \"%1\"";
    ASSERT_EQ(0, RegSetKeyValueA(HKEY_CLASSES_ROOT, "https\\shell\\open\\command", nullptr, REG_SZ, cmd.c_str(), cmd.size() + 1));
    ASSERT_TRUE(Serve(kCatalogPath, "!"));  // the button works in the failed state too
    MessageBoxWatcher boxes;
    EXPECT_EQ(0, RunSelector([&](HWND dialog) {
        ASSERT_TRUE(WaitUntil([&] { return ControlText(dialog, IDC_SELECTOR_STATUS) == kNoticeStatus; }));
        ASSERT_TRUE(ClickButton(dialog, IDC_SELECTOR_USER_PAGE));
        EXPECT_TRUE(WaitUntil([&] { return !ReadWholeFile(record).empty(); }));
        EXPECT_TRUE(IsWindow(dialog));
    }));
    EXPECT_EQ(recorder + " \"https://" VELTA_USER_PAGE_HOST "/zeva/new_support_login.asp\"\n", ReadWholeFile(record));
    DeleteFileA(record.c_str());
}

}  // namespace
