// The whole run against the loopback test server: real WinINet, window and
// boxes, a work folder below a Downloads folder moved per test, and a
// fixture program served as the setup that really runs from that folder.
#include <winsock2.h>
#include <windows.h>
#include <mmsystem.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "catalog/ProcessState.h"
#include "download/DownloadRun.h"
#include "download/ProgressWindow.h"
#include "download/SetupLauncherSeam.h"
#include "res/resource.h"
#include "tests/support/Downloads.h"
#include "tests/support/FailureBoxes.h"
#include "tests/support/Files.h"
#include "tests/support/MessageBoxWatcher.h"
#include "tests/support/Routes.h"
#include "tests/support/RunSupport.h"
#include "tests/support/TestServer.h"
#include "tests/support/Wait.h"
#include "tests/support/WindowHelpers.h"

namespace {

using namespace velta_test;

// A loopback port that is bound but never listens, held for the whole test
// program: connecting to it is refused, and nobody else can take it.
int UnreachablePort() {
    static const int port = [] {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        const SOCKET holder = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return 0;
        int length = sizeof address;
        getsockname(holder, reinterpret_cast<sockaddr*>(&address), &length);
        return static_cast<int>(ntohs(address.sin_port));
    }();
    return port;
}

std::string UnreachableUrl(const std::string& target) {
    return "https://127.0.0.1:" + std::to_string(UnreachablePort()) + target;
}

// Counts the starts the launcher attempts and passes each on to the
// platform. A setup that cannot run (empty, cut short) fails to start either
// way; only the attempt shows whether the run meant to start it.
int g_startAttempts = 0;

BOOL WINAPI CountedStart(LPCSTR application, LPSTR commandLine, LPSECURITY_ATTRIBUTES process,
                         LPSECURITY_ATTRIBUTES thread, BOOL inherit, DWORD flags,
                         LPVOID environment, LPCSTR folder, LPSTARTUPINFOA startup,
                         LPPROCESS_INFORMATION information) {
    ++g_startAttempts;
    return CreateProcessA(application, commandLine, process, thread, inherit, flags, environment,
                          folder, startup, information);
}

struct CountedStarts {
    CountedStarts() {
        g_startAttempts = 0;
        g_createProcess = CountedStart;
    }
    ~CountedStarts() { g_createProcess = CreateProcessA; }
};

std::string FixtureBytes() { return ReadWholeFile(ProgramFolder() + "download_setup_fixture.exe"); }

// The 8.3 short name the file system gives a file of this long name (Wine
// derives it from the name alone), or empty when it gives none.
std::string ShortNameOfAFileNamed(const std::string& longName) {
    const ScratchFolder scratch("short");
    const std::string path = scratch.Path() + longName;
    return WriteWholeFile(path, "") ? ShortFileName(path) : std::string();
}

// One file, or the loop over a list, into a scratch folder.
class DownloadLoopTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Reset()) << LastError();
        m_folder = std::make_unique<ScratchFolder>("loop");
    }

    const std::string& Folder() const { return m_folder->Path(); }

    ProcessStateGuard m_state;
    std::unique_ptr<ScratchFolder> m_folder;
};

TEST_F(DownloadLoopTest, OneFileOutcomeFollowsTheResponse) {
    struct Case {
        const char* what;
        Route route;
        bool reachable;
        int result;
        int64_t fileSize;      // the tally's fileSize after the download
        int64_t fileReceived;  // and its fileReceived
        bool failureBox;
    };
    Route noLength = PatternRoute("/loop/nolength.bin", 300000);
    noLength.length = Length::None;
    Route truncated = PatternRoute("/loop/truncated.bin", 300000);
    truncated.closeAfter = 100000;
    const Case cases[] = {
        {"complete", PatternRoute("/loop/complete.bin", 300000), true, 1, 300000, 300000, false},
        {"no Content-Length", noLength, true, 1, -1, 300000, false},
        {"empty", PatternRoute("/loop/empty.bin", 0), true, 1, 0, 0, false},
        {"404", StatusRoute("/loop/missing.bin", 404), true, 404, -2, -2, true},
        {"500", StatusRoute("/loop/broken.bin", 500), true, 500, -2, -2, true},
        // Whether a poll saw it receiving before it failed is up to timing.
        {"body broken off", truncated, true, 200, -2, -2, true},
        {"no connection", PatternRoute("/loop/unreachable.bin", 10), false, 0, 0, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(SetRoute(c.route)) << LastError();
        HWND window = OpenProgressWindow(GetModuleHandleA(nullptr), Folder().c_str());
        ASSERT_NE(window, nullptr);
        MessageBoxWatcher boxes;

        TransferTally tally = {};
        tally.fileCount = 1;
        tally.doneBytes = 1234;
        const std::string path = Folder() + "target.bin";
        const std::string url =
            c.reachable ? HttpsUrl(c.route.target) : UnreachableUrl(c.route.target);
        const int result = DownloadOneFile(window, url.c_str(), path.c_str(), tally);

        EXPECT_EQ(result, c.result);
        if (c.fileSize != -2) {
            EXPECT_EQ(tally.fileSize, c.fileSize);
        }
        if (c.fileReceived != -2) {
            EXPECT_EQ(tally.fileReceived, c.fileReceived);
        }
        EXPECT_EQ(tally.doneBytes, 1234) << "finished files are the caller's to count";
        EXPECT_NE(tally.sampleTime[0], 0u) << "the file's start is a speed sample";
        EXPECT_EQ(tally.sampleBytes[0], 1234);
        if (c.result == 1) {
            EXPECT_TRUE(FileMatchesPattern(path, static_cast<uint64_t>(c.fileReceived)));
        }
        if (c.failureBox) {
            ASSERT_EQ(boxes.Count(), 1u);
            ExpectFailureBox(boxes.Box(0), c.what);
            EXPECT_EQ(boxes.Box(0).owner, window);
        } else {
            EXPECT_EQ(boxes.Count(), 0u);
        }
        CloseProgressWindow(window);
        DeleteFileA(path.c_str());
    }
}

// Counts the messages it receives; lives on the main thread like the loop.
// Counts the messages it is handed, and of them those handed while the file
// was still arriving (the loop writes the received count into the tally
// before it dispatches).
struct QueueProbe {
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_APP) {
            ++dispatched;
            if (tally != nullptr && tally->fileReceived < fileSize) ++duringTransfer;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }
    static inline int dispatched = 0;
    static inline int duringTransfer = 0;
    static inline const TransferTally* tally = nullptr;
    static inline int64_t fileSize = 0;
};

TEST_F(DownloadLoopTest, EachPollOfATransferDispatchesOneMessageAndThePauseAfterItTheRest) {
    // About 1.5 s of transfer: a loop that drained the queue would deliver
    // all 200 messages at its first poll.
    constexpr int64_t kSize = 196608;
    Route slow = PatternRoute("/loop/slow.bin", kSize);
    slow.rate = 131072;
    slow.chunkSize = 4096;
    ASSERT_TRUE(SetRoute(slow));
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = QueueProbe::Proc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "VeltaRunQueueProbe";
    RegisterClassA(&windowClass);
    HWND probe = CreateWindowA("VeltaRunQueueProbe", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(probe, nullptr);
    constexpr int kQueued = 200;
    for (int i = 0; i < kQueued; ++i) ASSERT_TRUE(PostMessageA(probe, WM_APP, i, 0));

    TransferTally tally = {};
    tally.fileCount = 1;
    QueueProbe::dispatched = 0;
    QueueProbe::duringTransfer = 0;
    QueueProbe::tally = &tally;
    QueueProbe::fileSize = kSize;
    const std::string path = Folder() + "slow.bin";
    const DWORD start = timeGetTime();
    EXPECT_EQ(DownloadOneFile(nullptr, HttpsUrl("/loop/slow.bin").c_str(), path.c_str(), tally), 1);
    const DWORD elapsed = timeGetTime() - start;
    QueueProbe::tally = nullptr;

    // While bytes arrive, every poll waits its 100 ms and then takes one
    // message, so the transfer never starves; the pause after the completed
    // file has no transfer to starve and takes everything that is left, so
    // the window answers at once there.
    EXPECT_GE(QueueProbe::duringTransfer, 1) << "the loop pumps";
    EXPECT_LE(QueueProbe::duringTransfer, static_cast<int>(elapsed / 90) + 2) << elapsed << " ms";
    EXPECT_EQ(kQueued, QueueProbe::dispatched);
    EXPECT_GE(elapsed, 100u) << "a completed file stays on screen for a moment";
    DestroyWindow(probe);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
}

TEST_F(DownloadLoopTest, FailureWithoutWindowHasNoOwner) {
    ASSERT_TRUE(SetRoute(StatusRoute("/loop/nowindow.bin", 404)));
    MessageBoxWatcher boxes;
    TransferTally tally = {};
    tally.fileCount = 1;
    const std::string path = Folder() + "nowindow.bin";
    EXPECT_EQ(DownloadOneFile(nullptr, HttpsUrl("/loop/nowindow.bin").c_str(), path.c_str(), tally),
              404);
    ASSERT_EQ(boxes.Count(), 1u);
    const SeenMessageBox box = boxes.Box(0);
    EXPECT_EQ(box.text, "ダウンロードに失敗しました。");
    EXPECT_EQ(box.caption, "接続エラー");
    EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(box.owner, nullptr) << "no window, no owner";
}

TEST_F(DownloadLoopTest, ReadOnlyHiddenFileOfTheSameNameIsReplaced) {
    ASSERT_TRUE(SetRoute(PatternRoute("/loop/replace.bin", 5000)));
    const std::string path = Folder() + "replace.bin";
    ASSERT_TRUE(WriteWholeFile(path, std::string(20000, 'x')));
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    if (!KeepsAttributes(path, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN)) {
        GTEST_SKIP() << "this file system keeps no read-only or hidden bit on files";
    }

    TransferTally tally = {};
    tally.fileCount = 1;
    EXPECT_EQ(DownloadOneFile(nullptr, HttpsUrl("/loop/replace.bin").c_str(), path.c_str(), tally),
              1);
    EXPECT_TRUE(FileMatchesPattern(path, 5000));
    EXPECT_EQ(GetFileAttributesA(path.c_str()) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
              0u);
}

TEST_F(DownloadLoopTest, CancelAlreadySetReturnsAtOnceWithoutMessage) {
    ASSERT_TRUE(SetRoute(PatternRoute("/loop/cancelled.bin", 5000)));
    MessageBoxWatcher boxes;
    g_cancelRequested = 1;
    TransferTally tally = {};
    tally.fileCount = 1;
    const std::string path = Folder() + "cancelled.bin";
    EXPECT_EQ(
        DownloadOneFile(nullptr, HttpsUrl("/loop/cancelled.bin").c_str(), path.c_str(), tally), 0);
    EXPECT_EQ(tally.fileReceived, 0);
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(DownloadLoopTest, LaterEntryOfTheSameNameReplacesTheEarlierFile) {
    ASSERT_TRUE(SetRoute(PatternRoute("/loop/a/same.bin", 9000)));
    ASSERT_TRUE(SetRoute(PatternRoute("/loop/b/same.bin", 5000)));
    MessageBoxWatcher boxes;
    const FileList files = {HttpsUrl("/loop/a/same.bin"), HttpsUrl("/loop/b/same.bin")};
    bool setupComplete = false;
    EXPECT_EQ(DownloadFiles(GetModuleHandleA(nullptr), files, Folder(), &setupComplete), 1);
    EXPECT_TRUE(FileMatchesPattern(Folder() + "same.bin", 5000));
    EXPECT_TRUE(setupComplete);
    EXPECT_EQ(RequestCount("/loop/a/same.bin"), 1);
    EXPECT_EQ(RequestCount("/loop/b/same.bin"), 1);
    EXPECT_EQ(boxes.Count(), 0u);
    EXPECT_EQ(FindTopLevelWindow(kProgressTitle, GetCurrentProcessId(), nullptr, true), nullptr)
        << "the window is gone when the loop ends";
}

TEST_F(DownloadLoopTest, EntryWithoutUsableLocalNameFailsWithoutRequestAndEndsTheLoop) {
    struct Case {
        const char* what;
        std::string target;
    };
    const Case cases[] = {
        {"ends in a slash", "/loop/dir/"},
        {"directory part of 256 bytes", "/" + std::string(254, 'd') + "/file.bin"},
        // 255 + 255 bytes of name fit the name buffer but not the local path.
        {"local path beyond 512 bytes",
         "/loop/" + std::string(255, 'n') + "." + std::string(254, 'e')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(Reset());
        ASSERT_TRUE(SetRoute(PatternRoute("/loop/first.bin", 3000)));
        ASSERT_TRUE(SetRoute(PatternRoute(c.target, 3000)));
        ASSERT_TRUE(SetRoute(PatternRoute("/loop/third.bin", 3000)));
        MessageBoxWatcher boxes;
        const FileList files = {HttpsUrl("/loop/first.bin"), HttpsUrl(c.target),
                                HttpsUrl("/loop/third.bin")};
        bool setupComplete = false;
        EXPECT_EQ(DownloadFiles(GetModuleHandleA(nullptr), files, Folder(), &setupComplete), 1);
        EXPECT_TRUE(setupComplete);
        EXPECT_TRUE(FileMatchesPattern(Folder() + "first.bin", 3000));
        EXPECT_EQ(RequestCount(c.target), 0) << "the target could not be created";
        EXPECT_EQ(RequestCount("/loop/third.bin"), 0) << "no status ends the loop";
        ASSERT_EQ(boxes.Count(), 1u);
        ExpectFailureBox(boxes.Box(0), c.what);
    }
}

// The whole run, from the Downloads folder to the removed work folder.
class RunDownloadTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Reset()) << LastError();
        m_downloads = std::make_unique<ScratchFolder>("downloads");
        m_records = std::make_unique<ScratchFolder>("records");
        m_override = std::make_unique<DownloadsFolderOverride>(m_downloads->Path());
        ASSERT_TRUE(m_override->Applied());
        m_recordPath = m_records->Path() + "setup.txt";
        SetEnvironmentVariableA("VELTA_RUN_SETUP_RECORD", m_recordPath.c_str());
        m_fixture = FixtureBytes();
        ASSERT_FALSE(m_fixture.empty()) << "download_setup_fixture.exe beside the tests";
        g_productName = "VELTA テスト製品";
    }

    void TearDown() override {
        SetEnvironmentVariableA("VELTA_RUN_SETUP_RECORD", nullptr);
        // Nothing of the run may stay behind in the Downloads folder.
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((m_downloads->Path() + "VELTADL*").c_str(), &found);
        EXPECT_EQ(search, INVALID_HANDLE_VALUE) << "left behind: " << found.cFileName;
        if (search != INVALID_HANDLE_VALUE) FindClose(search);
    }

    Route SetupRoute(const std::string& target) const { return BodyRoute(target, m_fixture); }

    std::string WorkFolder() const { return m_downloads->Path() + "VELTADL0\\"; }

    int Run(const FileList& files) {
        SelectedFileList = files;
        return RunDownload(GetModuleHandleA(nullptr));
    }

    ProcessStateGuard m_state;
    std::unique_ptr<ScratchFolder> m_downloads;
    std::unique_ptr<ScratchFolder> m_records;
    std::unique_ptr<DownloadsFolderOverride> m_override;
    std::string m_recordPath;
    std::string m_fixture;
};

TEST_F(RunDownloadTest, ThreeFilesArriveAndTheSetupRunsFromTheWorkFolder) {
    ASSERT_TRUE(SetRoute(SetupRoute("/run/all/setup.exe")));
    ASSERT_TRUE(SetRoute(PatternRoute("/run/all/data1.cab", 200000)));
    ASSERT_TRUE(SetRoute(PatternRoute("/run/all/data2.cab", 700000)));
    MessageBoxWatcher boxes;

    EXPECT_EQ(Run({HttpsUrl("/run/all/setup.exe"), HttpsUrl("/run/all/data1.cab"),
                   HttpsUrl("/run/all/data2.cab")}),
              1)
        << "started, whatever its exit code (7)";

    const SetupRecord record = ReadSetupRecord(m_recordPath);
    ASSERT_TRUE(record.exists);
    const std::string setupPath = WorkFolder() + "setup.exe";
    EXPECT_EQ(record.path, setupPath);
    EXPECT_EQ(record.command, setupPath + " ");
    EXPECT_NE(record.current + "\\", WorkFolder()) << "the tool's own current folder";
    const std::map<std::string, uint64_t> expected = {
        {"setup.exe", m_fixture.size()}, {"data1.cab", 200000}, {"data2.cab", 700000}};
    EXPECT_EQ(record.files, expected) << "every file is there while the setup runs";

    EXPECT_FALSE(DirectoryExists(WorkFolder())) << "removed after the setup ended";
    EXPECT_EQ(boxes.Count(), 0u);
    for (const char* target : {"/run/all/setup.exe", "/run/all/data1.cab", "/run/all/data2.cab"}) {
        EXPECT_EQ(RequestCount(target), 1) << target;
    }
}

// A Downloads folder named in 80 two-byte characters and a file named in 40:
// the local path is over 255 bytes but well under the platform's 260
// characters, so the file arrives and the setup sees it, and the removal
// must take it too. Each component stays under 85 two-byte characters,
// which Wine keeps in the 255 bytes of a Linux name.
TEST_F(RunDownloadTest, FileWhosePathIsLongInBytesButNotInCharactersIsRemovedWithTheFolder) {
    const std::string component = "ダウンロード用フォルダ";  // 11 characters
    std::string first, second;
    for (int i = 0; i < 4; ++i) first += component;
    for (int i = 0; i < 4; ++i) second += "ソフトウェア更新版のファ";
    first = first.substr(0, 80);    // 40 characters
    second = second.substr(0, 80);  // 40 characters
    const std::string downloads = m_downloads->Path() + first + "\\" + second;
    ASSERT_TRUE(MakeDirectory(m_downloads->Path() + first));
    ASSERT_TRUE(MakeDirectory(downloads));
    std::string name;
    for (int i = 0; i < 4; ++i) name += "給与計算データ更新用";  // 10 characters
    name += ".cab";
    const std::string workFolder = downloads + "\\VELTADL0\\";
    const std::string localPath = workFolder + name;
    ASSERT_GT(localPath.size(), 255u) << "long in bytes";
    ASSERT_LT(FromCp932(localPath).size(), static_cast<size_t>(MAX_PATH)) << "short in characters";
    ASSERT_LT((workFolder + "setup.exe").size(), static_cast<size_t>(MAX_PATH))
        << "the stand-in setup records its path in MAX_PATH bytes";

    ASSERT_TRUE(SetRoute(SetupRoute("/run/long/setup.exe")));
    ASSERT_TRUE(SetRoute(PatternRoute("/run/long/" + name, 300000)));
    MessageBoxWatcher boxes;
    int result = 0;
    {
        DownloadsFolderOverride moved(downloads);
        ASSERT_TRUE(moved.Applied());
        result = Run({HttpsUrl("/run/long/setup.exe"), HttpsUrl("/run/long/" + name)});
    }

    EXPECT_EQ(result, 1);
    EXPECT_EQ(RequestCount("/run/long/" + name), 1);
    const SetupRecord record = ReadSetupRecord(m_recordPath);
    ASSERT_TRUE(record.exists);
    EXPECT_EQ(record.path, workFolder + "setup.exe");
    const std::map<std::string, uint64_t> expected = {{"setup.exe", m_fixture.size()},
                                                      {name, 300000}};
    EXPECT_EQ(record.files, expected) << "the long-named file is there while the setup runs";
    EXPECT_EQ(boxes.Count(), 0u);
    EXPECT_EQ(FolderEntries(downloads), std::vector<std::string>{})
        << "nothing of the work folder stays";
}

TEST_F(RunDownloadTest, SecondFileMissingIsReportedOnceAndTheRunGoesOn) {
    ASSERT_TRUE(SetRoute(SetupRoute("/run/404/setup.exe")));
    ASSERT_TRUE(SetRoute(StatusRoute("/run/404/data1.cab", 404)));
    ASSERT_TRUE(SetRoute(PatternRoute("/run/404/data2.cab", 300000)));
    MessageBoxWatcher boxes;

    EXPECT_EQ(Run({HttpsUrl("/run/404/setup.exe"), HttpsUrl("/run/404/data1.cab"),
                   HttpsUrl("/run/404/data2.cab")}),
              1);

    ASSERT_EQ(boxes.Count(), 1u);
    ExpectFailureBox(boxes.Box(0), "404");
    EXPECT_EQ(RequestCount("/run/404/data1.cab"), 1) << "never requested again";
    EXPECT_EQ(RequestCount("/run/404/data2.cab"), 1);
    const SetupRecord record = ReadSetupRecord(m_recordPath);
    ASSERT_TRUE(record.exists) << "the setup still starts";
    EXPECT_EQ(record.files.at("data2.cab"), 300000u);
    EXPECT_FALSE(DirectoryExists(WorkFolder()));
}

TEST_F(RunDownloadTest, NoConnectionForTheFirstFileEndsTheLoopAndNothingStarts) {
    ASSERT_TRUE(SetRoute(PatternRoute("/run/down/data1.cab", 1000)));
    MessageBoxWatcher boxes;

    EXPECT_EQ(Run({UnreachableUrl("/run/down/setup.exe"), HttpsUrl("/run/down/data1.cab")}), 0);

    ASSERT_EQ(boxes.Count(), 2u);
    ExpectFailureBox(boxes.Box(0), "no connection");
    ExpectLaunchFailureBox(boxes.Box(1), "no connection");
    EXPECT_EQ(RequestCount(), 0) << "no further file requested";
    EXPECT_FALSE(ReadSetupRecord(m_recordPath).exists);
    EXPECT_FALSE(DirectoryExists(WorkFolder()));
}

// A setup whose own download did not complete is never started, even when
// its bytes on disk would run.
TEST_F(RunDownloadTest, SetupWhoseDownloadDidNotCompleteIsNotStarted) {
    struct Case {
        const char* what;
        std::vector<Route> routes;
        FileList files;
        size_t failureBoxes;
        bool started;
    };
    const std::string s = "/run/incomplete/";
    // The whole program arrives but the response announced more: a broken
    // transfer, though the file would start.
    Route overAnnounced = SetupRoute(s + "a/setup.exe");
    overAnnounced.length = Length::Literal;
    overAnnounced.lengthText = std::to_string(m_fixture.size() + 4096);
    overAnnounced.close = true;
    Route cutShort = SetupRoute(s + "b/setup.exe");
    cutShort.closeAfter = static_cast<int64_t>(m_fixture.size() / 2);
    Route empty = PatternRoute(s + "c/setup.exe", 0);
    Route later = SetupRoute(s + "d/setup.exe");
    Route laterBroken = SetupRoute(s + "e/setup.exe");
    laterBroken.closeAfter = 1000;
    Route missing = StatusRoute(s + "f/setup.exe", 404);
    // The file system drops a name's trailing dots and blanks: these land on
    // setup.exe too.
    Route laterDot = SetupRoute(s + "g/Setup.exe.");
    Route laterBlankBroken = SetupRoute(s + "h/setup.exe ");
    laterBlankBroken.closeAfter = 1000;
    // Other names the file system gives the setup's file: case, full-width
    // letters in the other case, the 8.3 short name of a long name.
    Route upperBroken = SetupRoute(s + "i/SETUP.EXE");
    upperBroken.closeAfter = 1000;
    Route fullWidth = SetupRoute(s + "j/ｓｅｔｕｐ.exe");
    Route fullWidthBroken = SetupRoute(s + "k/ＳＥＴＵＰ.exe");
    fullWidthBroken.closeAfter = 1000;
    const std::string longName = "VeltaSetupProgram.exe";
    const std::string shortName = ShortNameOfAFileNamed(longName);
    Route longSetup = SetupRoute(s + "l/" + longName);
    Route shortBroken = SetupRoute(s + "m/" + shortName);
    shortBroken.closeAfter = 1000;
    Route shortComplete = SetupRoute(s + "o/" + shortName);
    const Route data = PatternRoute(s + "data.cab", 4000);

    std::vector<Case> cases = {
        {"more announced than sent",
         {overAnnounced, data},
         {HttpsUrl(s + "a/setup.exe"), HttpsUrl(s + "data.cab")},
         1,
         false},
        {"broken off",
         {cutShort, data},
         {HttpsUrl(s + "b/setup.exe"), HttpsUrl(s + "data.cab")},
         1,
         false},
        {"empty", {empty, data}, {HttpsUrl(s + "c/setup.exe"), HttpsUrl(s + "data.cab")}, 0, false},
        // A later entry of the same name replaces the setup on disk.
        {"replaced by a broken download",
         {later, laterBroken, data},
         {HttpsUrl(s + "d/setup.exe"), HttpsUrl(s + "data.cab"), HttpsUrl(s + "e/setup.exe")},
         1,
         false},
        {"replaced by a complete download",
         {missing, later, data},
         {HttpsUrl(s + "f/setup.exe"), HttpsUrl(s + "data.cab"), HttpsUrl(s + "d/setup.exe")},
         1,
         true},
        {"replaced by a complete download named with a trailing dot",
         {missing, laterDot, data},
         {HttpsUrl(s + "f/setup.exe"), HttpsUrl(s + "data.cab"), HttpsUrl(s + "g/Setup.exe.")},
         1,
         true},
        {"replaced by a broken download named with a trailing blank",
         {later, laterBlankBroken, data},
         {HttpsUrl(s + "d/setup.exe"), HttpsUrl(s + "data.cab"), HttpsUrl(s + "h/setup.exe ")},
         1,
         false},
        {"replaced by a broken download named in upper case",
         {later, upperBroken, data},
         {HttpsUrl(s + "d/setup.exe"), HttpsUrl(s + "data.cab"), HttpsUrl(s + "i/SETUP.EXE")},
         1,
         false},
        {"replaced by a broken download named in full-width letters of the other case",
         {fullWidth, fullWidthBroken, data},
         {HttpsUrl(s + "j/ｓｅｔｕｐ.exe"), HttpsUrl(s + "data.cab"),
          HttpsUrl(s + "k/ＳＥＴＵＰ.exe")},
         1,
         false},
    };
    if (!shortName.empty()) {
        cases.push_back({"replaced by a broken download named by its short name",
                         {longSetup, shortBroken, data},
                         {HttpsUrl(s + "l/" + longName), HttpsUrl(s + "data.cab"),
                          HttpsUrl(s + "m/" + shortName)},
                         1,
                         false});
        // The download first removes the setup's file; the short name then
        // names nothing, and the new file takes it as its own long name.
        cases.push_back({"replaced by a complete download named by its short name",
                         {longSetup, shortComplete, data},
                         {HttpsUrl(s + "l/" + longName), HttpsUrl(s + "data.cab"),
                          HttpsUrl(s + "o/" + shortName)},
                         0,
                         false});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(Reset());
        for (const Route& route : c.routes) ASSERT_TRUE(SetRoute(route));
        DeleteFileA(m_recordPath.c_str());
        MessageBoxWatcher boxes;
        CountedStarts starts;

        EXPECT_EQ(Run(c.files), c.started ? 1 : 0);

        EXPECT_EQ(g_startAttempts, c.started ? 1 : 0) << "a start attempted";
        EXPECT_EQ(ReadSetupRecord(m_recordPath).exists, c.started);
        EXPECT_EQ(RequestCount(s + "data.cab"), 1) << "the other files still download";
        const size_t expectedBoxes = c.failureBoxes + (c.started ? 0 : 1);
        EXPECT_FALSE(DirectoryExists(WorkFolder()));
        // Every row runs, so that each one shows what it guards.
        EXPECT_EQ(boxes.Count(), expectedBoxes);
        if (boxes.Count() != expectedBoxes) continue;
        for (size_t i = 0; i < c.failureBoxes; ++i) ExpectFailureBox(boxes.Box(i), c.what);
        if (!c.started) ExpectLaunchFailureBox(boxes.Box(expectedBoxes - 1), c.what);
    }
    if (shortName.empty())
        GTEST_SKIP() << "the file system made no 8.3 short name: its rows did not run";
}

// The setup's name is empty: its local path is the work folder itself,
// which cannot be a file, so nothing is requested and nothing starts.
TEST_F(RunDownloadTest, FirstEntryEndingInSlashGivesNoSetup) {
    ASSERT_TRUE(SetRoute(PatternRoute("/run/slash/data.cab", 1000)));
    MessageBoxWatcher boxes;
    CountedStarts starts;
    EXPECT_EQ(Run({HttpsUrl("/run/slash/"), HttpsUrl("/run/slash/data.cab")}), 0);
    EXPECT_EQ(g_startAttempts, 0) << "the work folder itself is no setup";
    ASSERT_EQ(boxes.Count(), 2u);
    ExpectFailureBox(boxes.Box(0), "slash");
    ExpectLaunchFailureBox(boxes.Box(1), "slash");
    EXPECT_EQ(RequestCount(), 0);
}

// A second thread watches the window while RunDownload runs here, then
// presses cancel during the second file.
TEST_F(RunDownloadTest, CancelDuringTheSecondFileStopsEverything) {
    ASSERT_TRUE(SetRoute(SetupRoute("/run/cancel/setup.exe")));
    // 6 MB at 128 KB/s: about 48 s unless the cancel stops it.
    Route trickle = PatternRoute("/run/cancel/data1.cab", 6 * 1048576);
    trickle.rate = 131072;
    trickle.chunkSize = 4096;
    ASSERT_TRUE(SetRoute(trickle));
    ASSERT_TRUE(SetRoute(PatternRoute("/run/cancel/data2.cab", 1000)));
    MessageBoxWatcher boxes;
    g_testMode = 1;
    const std::string title = std::string(kProgressTitle) + " [社内テストモード]";
    const std::string counter = "2番目のファイルをダウンロド中 / 全3件";
    std::string product, folder;
    bool counterSeen = false, clicked = false;
    DWORD clickedAt = 0;
    std::thread observer([&] {
        HWND window = nullptr;
        WaitUntil(
            [&] {
                window = FindTopLevelWindow(title, GetCurrentProcessId());
                return window != nullptr;
            },
            30000);
        if (window == nullptr) return;
        counterSeen = WaitUntil(
            [&] { return ControlText(window, IDC_PROGRESS_FILE_COUNTER) == counter; }, 30000);
        product = ControlText(window, IDC_PROGRESS_PRODUCT);
        folder = ControlText(window, IDC_PROGRESS_FOLDER);
        clickedAt = GetTickCount();
        clicked = ClickButton(window, IDCANCEL);
    });
    const int result = Run({HttpsUrl("/run/cancel/setup.exe"), HttpsUrl("/run/cancel/data1.cab"),
                            HttpsUrl("/run/cancel/data2.cab")});
    const DWORD returnedAt = GetTickCount();
    observer.join();

    EXPECT_EQ(result, 0);
    EXPECT_TRUE(counterSeen);
    EXPECT_EQ(product, "VELTA テスト製品");
    EXPECT_EQ(folder, WorkFolder());
    ASSERT_TRUE(clicked);
    EXPECT_LT(returnedAt - clickedAt, 20000u) << "the transfer stopped long before its end";
    EXPECT_EQ(g_cancelRequested, 1);
    ASSERT_EQ(boxes.Count(), 1u) << "the notice only";
    EXPECT_EQ(boxes.Box(0).text, "ダウンロードを中止しました。");
    EXPECT_EQ(boxes.Box(0).caption, "ダウンロード中止");
    EXPECT_EQ(boxes.Box(0).icon, static_cast<UINT>(MB_ICONWARNING));
    EXPECT_NE(boxes.Box(0).owner, nullptr);
    EXPECT_EQ(RequestCount("/run/cancel/data2.cab"), 0);
    EXPECT_FALSE(ReadSetupRecord(m_recordPath).exists);
    EXPECT_FALSE(DirectoryExists(WorkFolder()));
}

}  // namespace
