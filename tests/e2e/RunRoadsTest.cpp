// The road of one run, and its failure roads, as the customer sees them:
// the real program in its own process against the loopback server.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/e2e/E2eHarness.h"
#include "tests/support/TestServer.h"
#include "tests/support/WindowHelpers.h"

namespace {

using e2e::Program;
using e2e::Sandbox;
using velta_test::Route;

constexpr DWORD kExitFailure = 0xFFFFFFFFu;
const std::string kCatalog = "/qrnSupport/download/VELTA/veltadownloadlist.txt";
const std::string kTestCatalog = "/qrnSupport/download/VELTA/veltadownloadlist.test.txt";
const std::string kSelectorTitle = "製品のダウンロード";
const std::string kProgressTitle = "VELTA Setup Download";
const std::string kTestSuffix = " [社内テストモード]";
const std::string kSetupCaption = "VELTA デモ セットアップ";
const std::string kProductA = "VELTA 会計 2027 スタンダード";
const std::string kProductB = "VELTA 給与 2027 ソフトウェア更新版";

void Serve(const std::string& target, const std::string& body) {
    Route r;
    r.target = target;
    r.body = body;
    ASSERT_TRUE(velta_test::SetRoute(r)) << velta_test::LastError();
}

void ServePattern(const std::string& target, int64_t size, int64_t rate = 0) {
    Route r;
    r.target = target;
    r.pattern = size;
    r.rate = rate;
    r.chunkSize = 16384;
    ASSERT_TRUE(velta_test::SetRoute(r)) << velta_test::LastError();
}

std::string DemoSetupBytes() {
    return e2e::ReadWholeFile(e2e::WindowsPathOfUnix(VELTA_E2E_DEMO_SETUP));
}

// Two products; B has the setup and two data files, the second one paced so
// that the progress window stays up long enough to be read.
void ServeTwoProductSite(const std::string& catalogTarget, int64_t pacedRate = 1 << 20) {
    const std::string a = velta_test::HttpsUrl("/e2e/a/");
    const std::string b = velta_test::HttpsUrl("/e2e/b/");
    Serve(catalogTarget, "1," + kProductA + "," + a + ",20261201\r\n2," + kProductB + "," + b +
                             ",20261115\r\n");
    Serve("/e2e/a/downloadlist.txt", "setup.exe\r\n");
    Serve("/e2e/a/setup.exe", DemoSetupBytes());
    Serve("/e2e/b/downloadlist.txt", "setup.exe\r\nkyuyo1.cab\r\nkyuyo2.cab\r\n");
    Serve("/e2e/b/setup.exe", DemoSetupBytes());
    ServePattern("/e2e/b/kyuyo1.cab", 3 << 20);
    ServePattern("/e2e/b/kyuyo2.cab", 2 << 20, pacedRate);
}

HWND WaitForSelectorReady(const Program& program, const std::string& title = kSelectorTitle) {
    HWND dialog = velta_test::WaitForTopLevelWindow(title, program.Pid(), 30000);
    if (!dialog) return nullptr;
    const bool enabled = e2e::WaitUntil(
        [&] { return velta_test::IsControlEnabled(dialog, IDC_SELECTOR_START); }, 30000);
    return enabled ? dialog : nullptr;
}

// The window is shown before the folder text is set, so poll for it.
std::string WorkFolderShownIn(HWND progress) {
    std::string folder;
    e2e::WaitUntil([&] {
        folder = velta_test::ControlText(progress, IDC_PROGRESS_FOLDER);
        return !folder.empty() && folder != "ユーザーダウンロード先";
    }, 10000);
    return folder;
}

class RunRoads : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(velta_test::Reset()) << velta_test::LastError(); }
};

TEST_F(RunRoads, ChosenProductIsDownloadedSetUpAndCleanedAway) {
    Sandbox sandbox("happy");
    ServeTwoProductSite(kCatalog);
    Program program(sandbox, "VELTADL.exe");
    ASSERT_TRUE(program.Start());

    HWND dialog = WaitForSelectorReady(program);
    ASSERT_NE(nullptr, dialog);
    HWND list = GetDlgItem(dialog, IDC_SELECTOR_PRODUCTS);
    EXPECT_EQ((std::vector<std::string>{kProductA, kProductB}), velta_test::ComboItems(list));
    EXPECT_EQ(0, velta_test::ComboSelection(list));
    EXPECT_EQ("ダウンロードしたい製品を選択し、セットアップ開始ボタンをクリックしてください。",
              velta_test::ControlText(dialog, IDC_SELECTOR_STATUS));
    velta_test::SaveScreenshot("e2e-selector.png");

    SendMessageTimeoutW(list, CB_SETCURSEL, 1, 0, SMTO_NORMAL, 5000, nullptr);
    velta_test::ClickButton(dialog, IDC_SELECTOR_START);

    HWND progress = velta_test::WaitForTopLevelWindow(kProgressTitle, program.Pid(), 30000);
    ASSERT_NE(nullptr, progress) << "progress window never appeared";
    EXPECT_EQ(kProductB, velta_test::ControlText(progress, IDC_PROGRESS_PRODUCT));
    const std::string workFolder = WorkFolderShownIn(progress);
    EXPECT_EQ(sandbox.Downloads() + "\\VELTADL0\\", workFolder);
    EXPECT_FALSE(IsWindow(dialog)) << "the selection dialog must be gone during the download";
    velta_test::SaveScreenshot("e2e-progress.png");

    // The setup runs from the work folder while all files are there.
    e2e::ForeignBox setupBox = e2e::WaitForBox(kSetupCaption, 0, 60000);
    ASSERT_NE(nullptr, setupBox.hwnd) << "the setup program did not start";
    EXPECT_FALSE(IsWindow(progress)) << "no window of the tool may be open while the setup runs";
    EXPECT_EQ(3u << 20, e2e::FileSize(workFolder + "kyuyo1.cab"));
    EXPECT_EQ(2u << 20, e2e::FileSize(workFolder + "kyuyo2.cab"));
    EXPECT_TRUE(velta_test::FileMatchesPattern(workFolder + "kyuyo1.cab", 3 << 20));
    const std::string marker = e2e::ReadWholeFile(sandbox.Marker());
    EXPECT_NE(std::string::npos, marker.find("program=" + workFolder + "setup.exe")) << marker;
    EXPECT_NE(std::string::npos, marker.find("commandline=" + workFolder + "setup.exe \r\n"))
        << marker;
    EXPECT_NE(std::string::npos, marker.find("currentfolder=" + program.CurrentFolder()))
        << marker;
    velta_test::SaveScreenshot("e2e-setup.png");
    ASSERT_TRUE(e2e::PressOk(setupBox.hwnd));

    EXPECT_EQ(0u, program.WaitForExit());
    EXPECT_FALSE(e2e::DirectoryExists(workFolder));
    EXPECT_TRUE(e2e::FolderEntries(sandbox.Downloads()).empty());

    // Every file was asked for exactly once, with the tool's user agent, and
    // product A's files were not touched.
    for (const char* target : {"/e2e/b/downloadlist.txt", "/e2e/b/setup.exe", "/e2e/b/kyuyo1.cab",
                               "/e2e/b/kyuyo2.cab"}) {
        const auto seen = velta_test::RecordedRequests(target);
        ASSERT_EQ(1u, seen.size()) << target;
        EXPECT_EQ("MarrowZOVE", seen[0].Header("User-Agent").value_or("")) << target;
    }
    EXPECT_EQ(0, velta_test::RequestCount("/e2e/a/downloadlist.txt"));
}

TEST_F(RunRoads, CancelInTheDialogEndsWithoutAnyDownload) {
    Sandbox sandbox("cancel-dialog");
    ServeTwoProductSite(kCatalog);
    Program program(sandbox, "VELTADL.exe");
    ASSERT_TRUE(program.Start());
    HWND dialog = WaitForSelectorReady(program);
    ASSERT_NE(nullptr, dialog);

    velta_test::ClickButton(dialog, IDCANCEL);
    EXPECT_EQ(kExitFailure, program.WaitForExit());
    EXPECT_TRUE(e2e::FolderEntries(sandbox.Downloads()).empty());
    EXPECT_EQ(0, velta_test::RequestCount("/e2e/a/downloadlist.txt"));
    EXPECT_EQ(0, velta_test::RequestCount("/e2e/b/downloadlist.txt"));
}

TEST_F(RunRoads, CancelDuringTheDownloadStopsItAndRemovesTheFolder) {
    Sandbox sandbox("cancel-download");
    // 2 MiB at 64 KiB/s: half a minute, far longer than the test needs.
    ServeTwoProductSite(kCatalog, 64 << 10);
    Program program(sandbox, "VELTADL.exe");
    ASSERT_TRUE(program.Start());
    HWND dialog = WaitForSelectorReady(program);
    ASSERT_NE(nullptr, dialog);
    SendMessageTimeoutW(GetDlgItem(dialog, IDC_SELECTOR_PRODUCTS), CB_SETCURSEL, 1, 0,
                        SMTO_NORMAL, 5000, nullptr);
    velta_test::ClickButton(dialog, IDC_SELECTOR_START);

    HWND progress = velta_test::WaitForTopLevelWindow(kProgressTitle, program.Pid(), 30000);
    ASSERT_NE(nullptr, progress);
    const std::string workFolder = WorkFolderShownIn(progress);
    ASSERT_FALSE(workFolder.empty());
    // Wait until the paced file is on its way, then press the abort button.
    ASSERT_TRUE(e2e::WaitUntil([&] { return velta_test::RequestCount("/e2e/b/kyuyo2.cab") == 1; },
                               30000));
    velta_test::ClickButton(progress, IDCANCEL);

    e2e::ForeignBox notice = e2e::WaitForBox("ダウンロード中止", program.Pid());
    ASSERT_NE(nullptr, notice.hwnd);
    EXPECT_EQ("ダウンロードを中止しました。", notice.text);
    EXPECT_EQ(progress, notice.owner);
    velta_test::SaveScreenshot("e2e-cancel-notice.png");
    e2e::PressOk(notice.hwnd);

    EXPECT_EQ(kExitFailure, program.WaitForExit());
    EXPECT_FALSE(e2e::DirectoryExists(workFolder));
    EXPECT_TRUE(e2e::FolderEntries(sandbox.Downloads()).empty());
    EXPECT_FALSE(e2e::FileExists(sandbox.Marker())) << "the setup must not run after a cancel";
}

TEST_F(RunRoads, UpdateNoticeIsShownAndNothingIsListed) {
    Sandbox sandbox("notice");
    Serve(kCatalog, "!new version available");
    Program program(sandbox, "VELTADL.exe");
    ASSERT_TRUE(program.Start());

    const std::string notice =
        "現バージョンVELTA DLはご利用頂けません。VELTAサポートページより新しいVELTA "
        "DLをダウンロードしてご利用ください。";
    e2e::ForeignBox box = e2e::WaitForBox("VELTA Download", program.Pid(), 30000);
    ASSERT_NE(nullptr, box.hwnd);
    EXPECT_EQ(notice, box.text);
    EXPECT_EQ(nullptr, box.owner);
    e2e::PressOk(box.hwnd);

    HWND dialog = velta_test::WaitForTopLevelWindow(kSelectorTitle, program.Pid());
    ASSERT_NE(nullptr, dialog);
    ASSERT_TRUE(e2e::WaitUntil(
        [&] { return velta_test::ControlText(dialog, IDC_SELECTOR_STATUS) == notice; }));
    EXPECT_FALSE(velta_test::IsControlEnabled(dialog, IDC_SELECTOR_PRODUCTS));
    EXPECT_FALSE(velta_test::IsControlEnabled(dialog, IDC_SELECTOR_START));
    EXPECT_TRUE(velta_test::ComboItems(GetDlgItem(dialog, IDC_SELECTOR_PRODUCTS)).empty());
    velta_test::SaveScreenshot("e2e-update-notice.png");
    velta_test::ClickButton(dialog, IDCANCEL);
    EXPECT_EQ(kExitFailure, program.WaitForExit());
}

TEST_F(RunRoads, CatalogFailureIsReportedAndTheDialogStaysUsable) {
    Sandbox sandbox("catalog-404");
    Route missing;
    missing.target = kCatalog;
    missing.status = 404;
    ASSERT_TRUE(velta_test::SetRoute(missing));
    Program program(sandbox, "VELTADL.exe");
    ASSERT_TRUE(program.Start());

    e2e::ForeignBox box = e2e::WaitForBox("VELTA Download", program.Pid(), 30000);
    ASSERT_NE(nullptr, box.hwnd);
    EXPECT_EQ("ダウンロードカタログを取得中に、サーバーとの通信でエラーが発生しました。"
              "インターネットが正しく接続されてるか確認してください。",
              box.text);
    e2e::PressOk(box.hwnd);

    HWND dialog = velta_test::WaitForTopLevelWindow(kSelectorTitle, program.Pid());
    ASSERT_NE(nullptr, dialog);
    ASSERT_TRUE(e2e::WaitUntil([&] {
        return velta_test::ControlText(dialog, IDC_SELECTOR_STATUS) ==
               "ダウンロードカタログの取得に失敗しました。";
    }));
    EXPECT_FALSE(velta_test::IsControlEnabled(dialog, IDC_SELECTOR_START));
    EXPECT_TRUE(velta_test::IsControlEnabled(dialog, IDCANCEL));
    velta_test::SaveScreenshot("e2e-catalog-failure.png");
    velta_test::ClickButton(dialog, IDCANCEL);
    EXPECT_EQ(kExitFailure, program.WaitForExit());
    EXPECT_TRUE(e2e::FolderEntries(sandbox.Downloads()).empty());
}

TEST_F(RunRoads, SetupThatCannotStartIsReportedAndTheFolderRemoved) {
    Sandbox sandbox("no-setup");
    const std::string base = velta_test::HttpsUrl("/e2e/t/");
    Serve(kCatalog, "1," + kProductA + "," + base + ",20261201\r\n");
    Serve("/e2e/t/downloadlist.txt", "readme.txt\r\n");
    Serve("/e2e/t/readme.txt", "This is a text file, not a program.\r\n");
    Program program(sandbox, "VELTADL.exe");
    ASSERT_TRUE(program.Start());
    HWND dialog = WaitForSelectorReady(program);
    ASSERT_NE(nullptr, dialog);
    velta_test::ClickButton(dialog, IDC_SELECTOR_START);

    e2e::ForeignBox box = e2e::WaitForBox("実行失敗", program.Pid(), 30000);
    ASSERT_NE(nullptr, box.hwnd);
    EXPECT_EQ("ダウンロードファイルの実行に失敗しました。", box.text);
    EXPECT_EQ(nullptr, box.owner);
    e2e::PressOk(box.hwnd);
    EXPECT_EQ(kExitFailure, program.WaitForExit());
    EXPECT_TRUE(e2e::FolderEntries(sandbox.Downloads()).empty());
}

TEST_F(RunRoads, TestModeNameUsesTheTestCatalogAndMarksBothTitles) {
    Sandbox sandbox("test-mode");
    ServeTwoProductSite(kTestCatalog);
    Program program(sandbox, "VELTADL_qrntest.exe");
    ASSERT_TRUE(program.Start());
    HWND dialog = WaitForSelectorReady(program, kSelectorTitle + kTestSuffix);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(1, velta_test::RequestCount(kTestCatalog));
    EXPECT_EQ(0, velta_test::RequestCount(kCatalog));

    SendMessageTimeoutW(GetDlgItem(dialog, IDC_SELECTOR_PRODUCTS), CB_SETCURSEL, 1, 0,
                        SMTO_NORMAL, 5000, nullptr);
    velta_test::ClickButton(dialog, IDC_SELECTOR_START);
    HWND progress =
        velta_test::WaitForTopLevelWindow(kProgressTitle + kTestSuffix, program.Pid(), 30000);
    EXPECT_NE(nullptr, progress);
    e2e::ForeignBox setupBox = e2e::WaitForBox(kSetupCaption, 0, 60000);
    ASSERT_NE(nullptr, setupBox.hwnd);
    e2e::PressOk(setupBox.hwnd);
    EXPECT_EQ(0u, program.WaitForExit());
    EXPECT_TRUE(e2e::FolderEntries(sandbox.Downloads()).empty());
}

}  // namespace
