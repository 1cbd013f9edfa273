// The run and its failure roads as the customer sees them: the real program in
// its own process against the loopback server.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "res/resource.h"
#include "tests/support/Downloads.h"
#include "tests/support/Files.h"
#include "tests/support/Paths.h"
#include "tests/support/TestServer.h"
#include "tests/support/Wait.h"
#include "tests/support/WindowHelpers.h"

namespace {

using namespace velta_test;

constexpr DWORD kExitFailure = 0xFFFFFFFFu;
const std::string kCatalog = "/qrnSupport/download/VELTA/veltadownloadlist.txt";
const std::string kTestCatalog = "/qrnSupport/download/VELTA/veltadownloadlist.test.txt";
const std::string kSelectorTitle = "製品のダウンロード";
const std::string kSetupCaption = "VELTA デモ セットアップ";
const std::string kProductA = "VELTA 会計 2027 スタンダード";
const std::string kProductB = "VELTA 給与 2027 ソフトウェア更新版";
const std::string kUpdateNotice =
    "現バージョンVELTA DLはご利用頂けません。VELTAサポートページより新しいVELTA "
    "DLをダウンロードしてご利用ください。";

void Serve(const Route& route) { ASSERT_TRUE(SetRoute(route)) << LastError(); }
void Serve(const std::string& target, const std::string& body) {
    Serve(Route{.target = target, .body = body});
}

// Product B's second data file is paced so that the progress window stays up.
void ServeTwoProductSite(const std::string& catalog, int64_t pacedRate = 1 << 20) {
    const std::string setup = ReadWholeFile(WindowsPathOfUnix(VELTA_E2E_DEMO_SETUP));
    Serve(catalog, "1," + kProductA + "," + HttpsUrl("/e2e/a/") + ",20261201\r\n2," + kProductB +
                       "," + HttpsUrl("/e2e/b/") + ",20261115\r\n");
    Serve("/e2e/a/downloadlist.txt", "setup.exe\r\n");
    Serve("/e2e/a/setup.exe", setup);
    Serve("/e2e/b/downloadlist.txt", "setup.exe\r\nkyuyo1.cab\r\nkyuyo2.cab\r\n");
    Serve("/e2e/b/setup.exe", setup);
    Serve({.target = "/e2e/b/kyuyo1.cab", .pattern = 3 << 20, .chunkSize = 16384});
    Serve(
        {.target = "/e2e/b/kyuyo2.cab", .pattern = 2 << 20, .chunkSize = 16384, .rate = pacedRate});
}

class RunRoads : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Reset()) << LastError(); }

    // Starts a copy of the program under this file name (which decides the
    // test mode) with the demo setup's marker path in the environment that
    // the program passes on to the setup.
    bool Launch(const std::string& name, const std::string& exe = "VELTADL.exe") {
        sandbox.reset();  // a sandbox of the same name removes its folder as it goes
        sandbox = std::make_unique<Sandbox>(name);
        const std::string exePath = sandbox->Root() + exe;
        currentFolder = sandbox->Root() + "cwd";
        CreateDirectoryA(currentFolder.c_str(), nullptr);
        CopyFileA(WindowsPathOfUnix(VELTA_E2E_PROGRAM).c_str(), exePath.c_str(), FALSE);
        SetEnvironmentVariableA("VELTA_DEMO_MARKER", sandbox->Marker().c_str());
        STARTUPINFOA si{sizeof si};
        std::string commandLine = "\"" + exePath + "\"";
        const BOOL ok = CreateProcessA(exePath.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                                       0, nullptr, currentFolder.c_str(), &si, &pi);
        SetEnvironmentVariableA("VELTA_DEMO_MARKER", nullptr);
        return ok;
    }

    void TearDown() override { EndProcess(); }  // before the sandbox goes

    // The last program started, ended if it still runs, and its handles closed.
    void EndProcess() {
        if (!pi.hProcess) return;
        if (WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi.hProcess, 99);
        WaitForSingleObject(pi.hProcess, 10000);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
        pi = {};
    }

    // The selection dialog once its start button is enabled.
    HWND ReadySelector(const std::string& suffix = "") {
        HWND dialog = WaitForTopLevelWindow(kSelectorTitle + suffix, pi.dwProcessId, 30000);
        const auto ready = [&] { return IsControlEnabled(dialog, IDC_SELECTOR_START); };
        return dialog && WaitUntil(ready, 30000) ? dialog : nullptr;
    }

    // Chooses product B and starts; the progress window.
    HWND StartDownload(HWND dialog, const std::string& suffix = "") {
        SendMessageTimeoutW(GetDlgItem(dialog, IDC_SELECTOR_PRODUCTS), CB_SETCURSEL, 1, 0,
                            SMTO_NORMAL, 5000, nullptr);
        ClickButton(dialog, IDC_SELECTOR_START);
        return WaitForTopLevelWindow("VELTA Setup Download" + suffix, pi.dwProcessId, 30000);
    }

    // Expects a box with this caption, text and owner, and presses OK.
    void AnswerBox(const std::string& caption, const std::string& text, HWND owner = nullptr) {
        HWND box = WaitForTopLevelWindow(caption, pi.dwProcessId, 30000, "#32770");
        ASSERT_NE(nullptr, box) << caption;
        EXPECT_EQ(owner, GetWindow(box, GW_OWNER));
        // The static may get its text a moment after the box appears.
        WaitUntil([&] { return ControlText(box, 0xFFFF) == text; }, 5000);
        EXPECT_EQ(text, ControlText(box, 0xFFFF));
        ClickButton(box, IDOK);
    }

    // After a failed catalog the dialog stays, empty, with its status and no start.
    void ExpectFailedSelectorThenCancel(const std::string& status) {
        HWND dialog = WaitForTopLevelWindow(kSelectorTitle, pi.dwProcessId);
        ASSERT_NE(nullptr, dialog);
        ASSERT_TRUE(WaitUntil([&] { return ControlText(dialog, IDC_SELECTOR_STATUS) == status; }));
        EXPECT_TRUE(ComboItems(GetDlgItem(dialog, IDC_SELECTOR_PRODUCTS)).empty());
        EXPECT_FALSE(IsControlEnabled(dialog, IDC_SELECTOR_PRODUCTS));
        EXPECT_FALSE(IsControlEnabled(dialog, IDC_SELECTOR_START));
        EXPECT_TRUE(IsControlEnabled(dialog, IDCANCEL));
        ClickButton(dialog, IDCANCEL);
    }

    void ExpectExitAndNothingLeft(DWORD code) {
        DWORD exitCode = STILL_ACTIVE;
        if (WaitForSingleObject(pi.hProcess, 30000) == WAIT_OBJECT_0)
            GetExitCodeProcess(pi.hProcess, &exitCode);
        EXPECT_EQ(code, exitCode);
        EXPECT_TRUE(FolderEntries(sandbox->Downloads()).empty());
    }

    // The window is shown before the folder text is set, so poll for it.
    static std::string WorkFolderShownIn(HWND progress) {
        std::string folder;
        WaitUntil(
            [&] {
                folder = ControlText(progress, IDC_PROGRESS_FOLDER);
                return !folder.empty() && folder != "ユーザーダウンロード先";
            },
            10000);
        return folder;
    }

    std::unique_ptr<Sandbox> sandbox;
    std::string currentFolder;
    PROCESS_INFORMATION pi{};
};

// The happy road, and the same under the test-mode name with its own catalog.
struct Mode {
    const char* exe;
    std::string catalog, otherCatalog, suffix;
};
class HappyRoad : public RunRoads, public ::testing::WithParamInterface<Mode> {};
INSTANTIATE_TEST_SUITE_P(
    RunRoads, HappyRoad,
    ::testing::Values(Mode{"VELTADL.exe", kCatalog, kTestCatalog, ""},
                      Mode{"VELTADL_qrntest.exe", kTestCatalog, kCatalog, " [社内テストモード]"}),
    [](const auto& info) { return info.param.suffix.empty() ? "Normal" : "TestMode"; });

TEST_P(HappyRoad, ChosenProductIsDownloadedSetUpAndCleanedAway) {
    const Mode& mode = GetParam();
    ServeTwoProductSite(mode.catalog);
    ASSERT_TRUE(Launch(mode.suffix.empty() ? "happy" : "test-mode", mode.exe));
    HWND dialog = ReadySelector(mode.suffix);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(1, RequestCount(mode.catalog));
    EXPECT_EQ(0, RequestCount(mode.otherCatalog));
    HWND list = GetDlgItem(dialog, IDC_SELECTOR_PRODUCTS);
    EXPECT_EQ((std::vector<std::string>{kProductA, kProductB}), ComboItems(list));
    EXPECT_EQ(0, ComboSelection(list));
    EXPECT_EQ("ダウンロードしたい製品を選択し、セットアップ開始ボタンをクリックしてください。",
              ControlText(dialog, IDC_SELECTOR_STATUS));

    HWND progress = StartDownload(dialog, mode.suffix);
    ASSERT_NE(nullptr, progress);
    EXPECT_EQ(kProductB, ControlText(progress, IDC_PROGRESS_PRODUCT));
    const std::string workFolder = WorkFolderShownIn(progress);
    EXPECT_EQ(sandbox->Downloads() + "\\VELTADL0\\", workFolder);
    EXPECT_FALSE(IsWindow(dialog));

    // The setup runs from the work folder, all files there, no window of ours open.
    HWND setupBox = WaitForTopLevelWindow(kSetupCaption, 0, 60000, "#32770");
    ASSERT_NE(nullptr, setupBox);
    EXPECT_FALSE(IsWindow(progress));
    EXPECT_TRUE(FileMatchesPattern(workFolder + "kyuyo1.cab", 3 << 20));
    EXPECT_TRUE(FileMatchesPattern(workFolder + "kyuyo2.cab", 2 << 20));
    const std::string marker = ReadWholeFile(sandbox->Marker());
    for (const std::string& line :
         {"program=" + workFolder + "setup.exe", "commandline=" + workFolder + "setup.exe \r\n",
          "currentfolder=" + currentFolder}) {
        EXPECT_NE(std::string::npos, marker.find(line)) << marker;
    }
    ClickButton(setupBox, IDOK);
    ExpectExitAndNothingLeft(0);

    // Each file asked for once, with the tool's user agent; product A untouched.
    for (const char* target : {"/e2e/b/downloadlist.txt", "/e2e/b/setup.exe", "/e2e/b/kyuyo1.cab",
                               "/e2e/b/kyuyo2.cab"}) {
        const auto seen = RecordedRequests(target);
        ASSERT_EQ(1u, seen.size()) << target;
        EXPECT_EQ("MarrowZOVE", seen[0].Header("User-Agent").value_or("")) << target;
    }
    EXPECT_EQ(0, RequestCount("/e2e/a/downloadlist.txt"));
}

TEST_F(RunRoads, CancelInTheDialogEndsWithoutAnyDownload) {
    ServeTwoProductSite(kCatalog);
    ASSERT_TRUE(Launch("cancel-dialog"));
    HWND dialog = ReadySelector();
    ASSERT_NE(nullptr, dialog);
    ClickButton(dialog, IDCANCEL);
    ExpectExitAndNothingLeft(kExitFailure);
    EXPECT_EQ(0, RequestCount("/e2e/a/downloadlist.txt") + RequestCount("/e2e/b/downloadlist.txt"));
}

// A cancel ends the run, whatever the server does with the file in
// progress: a request held by a silent server is not waited for, its file
// is closed when the request goes, so the folder goes and the process ends
// soon after the customer's OK (the time is printed).
TEST_F(RunRoads, CancelDuringTheDownloadStopsItAndRemovesTheFolder) {
    const struct {
        const char* what;
        Route file;
    } cases[] = {
        {"paced", {.pattern = 2 << 20, .chunkSize = 16384, .rate = 64 << 10}},  // half a minute
        {"stalled after 100000 bytes", {.pattern = 2 << 20, .stallAfter = 100000}},
        {"silent after the request", {.pattern = 2 << 20, .delayStatusMs = 600000}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(Reset());
        ServeTwoProductSite(kCatalog);
        Route file = c.file;
        file.target = "/e2e/b/kyuyo2.cab";
        Serve(file);
        EndProcess();
        ASSERT_TRUE(Launch("cancel-download"));
        HWND dialog = ReadySelector();
        ASSERT_NE(nullptr, dialog);
        HWND progress = StartDownload(dialog);
        ASSERT_NE(nullptr, progress);
        const std::string workFolder = WorkFolderShownIn(progress);
        ASSERT_FALSE(workFolder.empty());
        ASSERT_TRUE(WaitUntil([] { return RequestCount("/e2e/b/kyuyo2.cab") == 1; }, 30000));
        ClickButton(progress, IDCANCEL);
        AnswerBox("ダウンロード中止", "ダウンロードを中止しました。", progress);
        const ULONGLONG answered = GetTickCount64();
        ExpectExitAndNothingLeft(kExitFailure);
        std::printf("[ cancel   ] %-28s process ended %llu ms after the OK\n", c.what,
                    GetTickCount64() - answered);
        EXPECT_LT(GetTickCount64() - answered, 5000u) << "waited for the stalled request";
        EXPECT_FALSE(DirectoryExists(workFolder));
        EXPECT_FALSE(FileExists(sandbox->Marker())) << "the setup must not run after a cancel";
    }
}

// The catalog's message comes within its 5,000 ms wait (and the request's
// short grace) of the dialog's first tick, also when the connection is never
// accepted or its TLS handshake never comes, calls that Wine does not end
// before about 135 s or at all; the dialog then stays usable, and the
// process ends at once although the request's worker is still held.
TEST_F(RunRoads, CatalogServerThatNeverAnswersIsReportedWithinTheWait) {
    const struct {
        const char* what;
        Listening how;
        int held;
    } cases[] = {
        {"connection never accepted", Listening::Unaccepted, 0},
        {"TLS handshake never comes", Listening::Silent, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(Reset());
        Serve(kCatalog, "1," + kProductA + "," + HttpsUrl("/e2e/a/") + ",20261201\r\n");
        ASSERT_TRUE(SetListening(Port::Https, c.how)) << LastError();
        EndProcess();
        ASSERT_TRUE(Launch("catalog-stall"));
        ASSERT_NE(nullptr, WaitForTopLevelWindow(kSelectorTitle, pi.dwProcessId, 30000));
        const ULONGLONG opened = GetTickCount64();
        HWND box = WaitForTopLevelWindow("VELTA Download", pi.dwProcessId, 200000, "#32770");
        const ULONGLONG shown = GetTickCount64() - opened;
        std::printf("[ catalog  ] %-28s message %llu ms after the dialog\n", c.what, shown);
        ASSERT_NE(nullptr, box);
        EXPECT_LT(shown, 7000u) << "the message waited for the request's worker";
        AnswerBox("VELTA Download",
                  "ダウンロードカタログを取得で、サーバーからの応答がありません。"
                  "インターネットが正しく接続されてるか確認してください。");
        ExpectFailedSelectorThenCancel("ダウンロードカタログの取得に失敗しました。");
        const ULONGLONG cancelled = GetTickCount64();
        ExpectExitAndNothingLeft(kExitFailure);
        std::printf("[ catalog  ] %-28s process ended %llu ms after the cancel\n", c.what,
                    GetTickCount64() - cancelled);
        EXPECT_LT(GetTickCount64() - cancelled, 5000u);
        EXPECT_EQ(0, RequestCount(kCatalog));
        EXPECT_EQ(c.held, HeldCount()) << "one connection, never retried";
    }
}

TEST_F(RunRoads, UpdateNoticeIsShownAndNothingIsListed) {
    Serve(kCatalog, "!new version available");
    ASSERT_TRUE(Launch("notice"));
    AnswerBox("VELTA Download", kUpdateNotice);
    ExpectFailedSelectorThenCancel(kUpdateNotice);
    ExpectExitAndNothingLeft(kExitFailure);
}

TEST_F(RunRoads, CatalogFailureIsReportedAndTheDialogStaysUsable) {
    Serve({.target = kCatalog, .status = 404});
    ASSERT_TRUE(Launch("catalog-404"));
    AnswerBox("VELTA Download",
              "ダウンロードカタログを取得中に、サーバーとの通信でエラーが発生しました。"
              "インターネットが正しく接続されてるか確認してください。");
    ExpectFailedSelectorThenCancel("ダウンロードカタログの取得に失敗しました。");
    ExpectExitAndNothingLeft(kExitFailure);
}

TEST_F(RunRoads, SetupThatCannotStartIsReportedAndTheFolderRemoved) {
    Serve(kCatalog, "1," + kProductA + "," + HttpsUrl("/e2e/t/") + ",20261201\r\n");
    Serve("/e2e/t/downloadlist.txt", "readme.txt\r\n");
    Serve("/e2e/t/readme.txt", "This is a text file, not a program.\r\n");
    ASSERT_TRUE(Launch("no-setup"));
    HWND dialog = ReadySelector();
    ASSERT_NE(nullptr, dialog);
    ClickButton(dialog, IDC_SELECTOR_START);
    AnswerBox("実行失敗", "ダウンロードファイルの実行に失敗しました。");
    ExpectExitAndNothingLeft(kExitFailure);
}

}  // namespace
