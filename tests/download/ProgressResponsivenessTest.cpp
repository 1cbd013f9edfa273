// The progress window during a run of small files: each file completes
// within one poll, so the run spends its time between polls and in the
// pause after each file. The window must keep answering messages there, and
// its cancel button must keep working.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "catalog/ProcessState.h"
#include "download/DownloadRun.h"
#include "res/resource.h"
#include "tests/support/Downloads.h"
#include "tests/support/Files.h"
#include "tests/support/MessageBoxWatcher.h"
#include "tests/support/RunSupport.h"
#include "tests/support/TestServer.h"
#include "tests/support/Wait.h"
#include "tests/support/WindowHelpers.h"
#include "tests/support/WindowLatencyProbe.h"

namespace {

constexpr int kFileCount = 40;
// Messages go to the window this often; each must be answered well within
// the time after which Windows shows a window as not responding (5 s).
constexpr DWORD kPingIntervalMs = 200;
constexpr double kAnswerBoundMs = 1000.0;

// Files of 1,024 to 2,038 bytes, each completing within a single poll.
int64_t SmallFileSize(int index) { return 1024 + 26 * index; }

std::string SmallTarget(const std::string& run, int index) {
    char target[96];
    snprintf(target, sizeof target, "/small/%s/part%02d.bin", run.c_str(), index);
    return target;
}

FileList SmallProduct(const std::string& run) {
    FileList files;
    for (int i = 0; i < kFileCount; ++i) {
        velta_test::Route route;
        route.target = SmallTarget(run, i);
        route.pattern = SmallFileSize(i);
        EXPECT_TRUE(velta_test::SetRoute(route)) << velta_test::LastError();
        files.push_back(velta_test::HttpsUrl(route.target));
    }
    return files;
}

class SmallFilesRunTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(velta_test::Reset()) << velta_test::LastError();
        g_productName = "VELTA 小ファイル製品";
    }

    velta_test::ProcessStateGuard m_state;
};

TEST_F(SmallFilesRunTest, WindowAnswersEveryMessageAndShowsTheEnd) {
    const FileList files = SmallProduct("answer");
    velta_test::ScratchFolder folder("small");
    velta_test::MessageBoxWatcher boxes;

    velta_test::WindowLatencyProbe probe(velta_test::kProgressTitle, kPingIntervalMs);
    const int result = DownloadFiles(GetModuleHandleA(nullptr), files, folder.Path());
    const velta_test::LatencyReport report = probe.Stop();

    printf("[ figures  ] %d small files: %s\n", kFileCount, velta_test::Describe(report).c_str());
    EXPECT_EQ(result, 1);
    EXPECT_EQ(boxes.Count(), 0u);
    int64_t total = 0;
    for (int i = 0; i < kFileCount; ++i) {
        const std::string name = SmallTarget("answer", i);
        EXPECT_TRUE(velta_test::FileMatchesPattern(folder.Path() + name.substr(name.rfind('/') + 1),
                                                   static_cast<uint64_t>(SmallFileSize(i))))
            << name;
        EXPECT_EQ(velta_test::RequestCount(name), 1) << name;
        total += SmallFileSize(i);
    }

    ASSERT_TRUE(report.windowFound);
    // The run lasts at least the pauses after its files, 40 x 100 ms.
    EXPECT_GE(report.answeredMs.size() + report.unanswered, 10u);
    EXPECT_EQ(report.unanswered, 0);
    EXPECT_LT(report.worstMs, kAnswerBoundMs);

    // The forced refresh of the last file: everything arrived, nothing left.
    EXPECT_EQ(report.lastBarPosition, 1000);
    char sizes[64];
    snprintf(sizes, sizeof sizes, "%.1fMB / %.1fMB ( ", total / 1048576.0, total / 1048576.0);
    EXPECT_EQ(report.lastProgressText.rfind(sizes, 0), 0u) << report.lastProgressText;
    const std::string end = "  00:00\n";
    ASSERT_GE(report.lastProgressText.size(), end.size());
    EXPECT_EQ(report.lastProgressText.substr(report.lastProgressText.size() - end.size()), end);
}

// The cancel is pressed while the counter names a file in the middle; the
// run ends with the notice and no file after the next one is ever asked for.
TEST_F(SmallFilesRunTest, CancelInTheMiddleStopsAtTheNextFileAtTheLatest) {
    const FileList files = SmallProduct("cancel");
    velta_test::ScratchFolder downloads("small-downloads");
    velta_test::DownloadsFolderOverride override(downloads.Path());
    ASSERT_TRUE(override.Applied());
    velta_test::MessageBoxWatcher boxes;

    constexpr int kPressAt = 12;  // 1-based, as the counter shows it
    char counter[128];
    snprintf(counter, sizeof counter, "%d番目のファイルをダウンロド中 / 全%d件", kPressAt,
             kFileCount);
    bool counterSeen = false, clicked = false;
    std::thread observer([&] {
        HWND window = nullptr;
        if (!velta_test::WaitUntil(
                [&] {
                    window = velta_test::FindTopLevelWindow(velta_test::kProgressTitle,
                                                            GetCurrentProcessId());
                    return window != nullptr;
                },
                30000)) {
            return;
        }
        counterSeen = velta_test::WaitUntil(
            [&] { return velta_test::ControlText(window, IDC_PROGRESS_FILE_COUNTER) == counter; },
            30000);
        if (counterSeen) clicked = velta_test::ClickButton(window, IDCANCEL);
    });
    SelectedFileList = files;
    const int result = RunDownload(GetModuleHandleA(nullptr));
    observer.join();

    EXPECT_EQ(result, 0);
    ASSERT_TRUE(counterSeen) << "the window did not answer while the counter passed " << kPressAt;
    ASSERT_TRUE(clicked);
    EXPECT_EQ(g_cancelRequested, 1);
    ASSERT_EQ(boxes.Count(), 1u) << "the notice only";
    EXPECT_EQ(boxes.Box(0).text, "ダウンロードを中止しました。");
    EXPECT_EQ(boxes.Box(0).caption, "ダウンロード中止");

    std::string requested;
    for (int i = 0; i < kFileCount; ++i) {
        const int count = velta_test::RequestCount(SmallTarget("cancel", i));
        requested += std::to_string(count);
        // Files before the one shown at the press had finished; the one
        // shown or the next may have been started; nothing after that.
        if (i + 1 < kPressAt) {
            EXPECT_EQ(count, 1) << "file " << i + 1;
        } else if (i + 1 > kPressAt + 1) {
            EXPECT_EQ(count, 0) << "file " << i + 1;
        }
    }
    printf("[ figures  ] requests per file, cancel pressed at file %d: %s\n", kPressAt,
           requested.c_str());
    EXPECT_FALSE(velta_test::DirectoryExists(downloads.Path() + "VELTADL0\\"));
}

}  // namespace
