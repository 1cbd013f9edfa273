// Whole download runs that meet a fault, and load: one failure box per
// faulty file, the loop going on or stopping as the status decides, the
// setup started, the work folder removed, handles and threads given back.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>

#include "FaultSupport.h"
#include "catalog/ProcessState.h"
#include "download/DownloadRun.h"
#include "http/HttpWebRequest.h"
#include "tests/support/WindowHelpers.h"

namespace {

using namespace velta_test;

class RunFaults : public testing::Test {
protected:
    static void SetUpTestSuite() { WarmUp(); }
    void SetUp() override { ASSERT_TRUE(velta_test::Reset()) << velta_test::LastError(); }
};

// setup.exe, the faulty middle file, then a tail: a failure after a status
// lets the loop go on, one without a status ends it.
TEST_F(RunFaults, OneFaultyFileInTheMiddle) {
    const std::string t = "/faults/run/middle.bin";
    auto closedAfter = [&](int64_t bytes, bool announced) {
        Route r = PatternRoute(t, 300000);
        r.closeAfter = bytes;
        if (!announced) r.length = velta_test::Length::None;
        return r;
    };
    Route reset = PatternRoute(t, 300000), resetNow = reset, dropped = reset;
    reset.resetAfter = 100000;
    resetNow.resetNow = true;
    dropped.drop = true;
    Route e500 = PatternRoute(t, 3000), e503 = e500, bigHead = e500, garbage;
    e500.status = 500;
    e503.status = 503;
    bigHead.headers = {{"X-Filler", std::string(1048576, 'b')}};
    garbage.target = t;
    garbage.raw = true;
    garbage.body = "HTTP/1.1 abc OK\r\nContent-Length: 2\r\n\r\nok";
    const struct {
        const char* what;
        Route route;
        bool fails, tailAsked;
        int maxAsked;  // with no answer at all WinINet itself resends the GET once
    } cases[] = {
        {"closed at 0 of a known length", closedAfter(0, true), true, true, 1},
        {"closed at 4096 of a known length", closedAfter(4096, true), true, true, 1},
        {"closed at 4097 of a known length", closedAfter(4097, true), true, true, 1},
        {"closed in the middle of a known length", closedAfter(150000, true), true, true, 1},
        {"closed at 4097 without a length", closedAfter(4097, false), false, true, 1},
        {"reset after 100000 bytes", reset, true, true, 1},
        {"reset instead of an answer", resetNow, true, false, 2},
        {"closed instead of an answer", dropped, true, false, 2},
        {"500", e500, true, true, 1},
        {"503", e503, true, true, 1},
        {"status code not a number", garbage, true, false, 1},
        {"one header of 1 MiB", bigHead, false, true, 1},
    };
    // One baseline for the table, so that small leaks add up.
    const Counters before = ReadCounters();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(velta_test::Reset());
        {
            RunHarness harness;
            ASSERT_TRUE(harness.ready);
            for (const Route& r : {SetupRoute("/faults/run/setup.exe"), c.route,
                                   PatternRoute("/faults/run/tail.bin", 5000)}) {
                ASSERT_TRUE(velta_test::SetRoute(r));
            }
            velta_test::MessageBoxWatcher boxes;
            EXPECT_EQ(harness.Run({HttpsUrl("/faults/run/setup.exe"), HttpsUrl(t),
                                   HttpsUrl("/faults/run/tail.bin")}),
                      1);
            ASSERT_EQ(boxes.Count(), c.fails ? 1u : 0u);
            if (c.fails) ExpectFailureBox(boxes.Box(0), c.what);
            EXPECT_GE(velta_test::RequestCount(t), 1);
            EXPECT_LE(velta_test::RequestCount(t), c.maxAsked);
            EXPECT_EQ(velta_test::RequestCount("/faults/run/tail.bin"), c.tailAsked ? 1 : 0);
            const auto saw = harness.SetupSaw();
            EXPECT_EQ(saw.count("setup.exe"), 1u) << "the setup ran";
            EXPECT_EQ(saw.count("tail.bin"), c.tailAsked ? 1u : 0u);
            EXPECT_TRUE(harness.NothingLeftBehind());
        }
        ExpectCountersBack(before);
    }
}

// Presses the progress window's cancel button from a second thread once the
// file has brought `bytes` onto disk; notes when.
struct CancelPress {
    bool pressed = false;
    DWORD pressedAt = 0;
    uint64_t bytesAtPress = 0;
};

std::thread PressCancelWhen(const std::string& filePath, uint64_t bytes, CancelPress& press) {
    return std::thread([filePath, bytes, &press] {
        HWND window = nullptr;
        const bool ready = WaitUntil(
            [&] {
                window = FindTopLevelWindow(kProgressTitle, GetCurrentProcessId());
                WIN32_FILE_ATTRIBUTE_DATA data;
                if (window == nullptr ||
                    !GetFileAttributesExA(filePath.c_str(), GetFileExInfoStandard, &data)) {
                    return false;
                }
                press.bytesAtPress = (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
                return press.bytesAtPress >= bytes;
            },
            60000);
        if (!ready) return;
        press.pressedAt = GetTickCount();
        press.pressed = ClickButton(window, IDCANCEL);
    });
}

// A body that never ends, to a file: only the cancel button ends the run,
// with the notice alone and nothing left on disk.
TEST_F(RunFaults, CancelEndsAnEndlessFileDownload) {
    const Counters before = ReadCounters();
    {
        RunHarness harness;
        ASSERT_TRUE(harness.ready);
        const Route endless = PatternRoute("/faults/endless/endless.bin", -1);
        for (const Route& r : {SetupRoute("/faults/endless/setup.exe"), endless,
                               PatternRoute("/faults/endless/tail.bin", 5000)}) {
            ASSERT_TRUE(velta_test::SetRoute(r));
        }
        velta_test::MessageBoxWatcher boxes;
        CancelPress press;
        std::thread presser =
            PressCancelWhen(harness.downloads + "VELTADL0\\endless.bin", 16 << 20, press);
        const int result =
            harness.Run({HttpsUrl("/faults/endless/setup.exe"), HttpsUrl(endless.target),
                         HttpsUrl("/faults/endless/tail.bin")});
        const DWORD returnedAt = GetTickCount();
        presser.join();

        ASSERT_TRUE(press.pressed) << "the file never grew to 16 MiB";
        std::printf("[ cancel ] endless body: pressed at %.1f MiB, run returned %lu ms later\n",
                    static_cast<double>(press.bytesAtPress) / 1048576.0,
                    static_cast<unsigned long>(returnedAt - press.pressedAt));
        EXPECT_EQ(result, 0);
        EXPECT_EQ(g_cancelRequested, 1);
        EXPECT_LT(returnedAt - press.pressedAt, 10000u);
        ASSERT_EQ(boxes.Count(), 1u) << "the notice only";
        ExpectCancelNotice(boxes.Box(0));
        EXPECT_EQ(velta_test::RequestCount("/faults/endless/tail.bin"), 0);
        EXPECT_TRUE(harness.SetupSaw().empty()) << "no setup after a cancel";
        EXPECT_TRUE(harness.NothingLeftBehind());
    }
    ExpectCountersBack(before);
}

// The loop sees the cancel at once, and destroying the request does not wait
// for the read the stall holds (only the request's 30 s receive limit would
// end it): the file is closed as the request goes, so the folder goes too.
TEST_F(RunFaults, CancelEndsAStalledDownload) {
    RunHarness harness;
    ASSERT_TRUE(harness.ready);
    Route stalled = PatternRoute("/faults/stall/stalled.bin", 10 << 20);
    stalled.stallAfter = 100000;
    ASSERT_TRUE(velta_test::SetRoute(SetupRoute("/faults/stall/setup.exe")));
    ASSERT_TRUE(velta_test::SetRoute(stalled));
    velta_test::MessageBoxWatcher boxes;
    CancelPress press;
    std::thread presser =
        PressCancelWhen(harness.downloads + "VELTADL0\\stalled.bin", 98304, press);
    int result = -1;
    WithSafetyNet([&] {
        result = harness.Run({HttpsUrl("/faults/stall/setup.exe"), HttpsUrl(stalled.target)});
    });
    const DWORD returnedAt = GetTickCount();
    presser.join();
    ASSERT_TRUE(press.pressed);
    EXPECT_EQ(result, 0);
    std::printf("[ cancel   ] the run ended %lu ms after the cancel button\n",
                returnedAt - press.pressedAt);
    EXPECT_LT(returnedAt - press.pressedAt, 5000u) << "waited for the stalled read";
    ASSERT_EQ(boxes.Count(), 1u) << "the cancel notice only";
    ExpectCancelNotice(boxes.Box(0));
    EXPECT_TRUE(harness.NothingLeftBehind());
}

// A last component ".." names Downloads itself: the entry fails like a
// target that cannot be created, the loop ends, and nothing there is
// touched, attributes included (Windows marks Downloads read-only; Wine
// keeps no read-only bit on folders, so the hidden bit stands in).
TEST_F(RunFaults, DotDotEntryTouchesNothingOutsideTheWorkFolder) {
    RunHarness harness;
    ASSERT_TRUE(harness.ready);
    const std::string& downloads = harness.downloads;
    ASSERT_TRUE(WriteWholeFile(downloads + "keep.txt", "mine"));
    ASSERT_TRUE(SetFileAttributesA(downloads.c_str(), FILE_ATTRIBUTE_HIDDEN));
    const DWORD attributes = GetFileAttributesA(downloads.c_str());
    if (!KeepsAttributes(downloads, FILE_ATTRIBUTE_HIDDEN)) {
        GTEST_SKIP() << "this file system keeps no hidden bit on folders";
    }
    ASSERT_TRUE(velta_test::SetRoute(SetupRoute("/faults/dots/setup.exe")));
    velta_test::MessageBoxWatcher boxes;
    EXPECT_EQ(harness.Run({HttpsUrl("/faults/dots/setup.exe"), HttpsUrl("/faults/dots/.."),
                           HttpsUrl("/faults/dots/tail.bin")}),
              1);
    EXPECT_EQ(GetFileAttributesA(downloads.c_str()), attributes);
    SetFileAttributesA(downloads.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_EQ(boxes.Count(), 1u);
    ExpectFailureBox(boxes.Box(0), "..");
    EXPECT_EQ(velta_test::RequestCount("/faults/dots/tail.bin"), 0) << "no status ends the loop";
    EXPECT_EQ(ReadWholeFile(downloads + "keep.txt"), "mine");
    EXPECT_TRUE(harness.NothingLeftBehind());
}

TEST_F(RunFaults, FiveHundredRequestsInARowKeepTheProcessFlat) {
    ASSERT_TRUE(velta_test::SetRoute(PatternRoute("/faults/load/item.bin", 20000)));
    Counters first, peak;
    int completed = 0;
    for (int i = 1; i <= 500; ++i) {
        {
            CHttpWebRequest request(HttpsUrl("/faults/load/item.bin").c_str());
            request.Start();
            const uint8_t* data = nullptr;
            completed += request.Wait(30000) == Completed &&
                         request.GetResponseData(&data) == 20000 &&
                         !velta_test::FirstPatternMismatch(data, 20000);
        }
        const Counters now = ReadCounters();
        if (i == 1) first = peak = now;
        peak = {std::max(peak.handles, now.handles), std::max(peak.threads, now.threads), 0};
    }
    ExpectCountersBack(first);
    EXPECT_EQ(completed, 500);
    EXPECT_EQ(velta_test::RequestCount("/faults/load/item.bin"), 500);
    EXPECT_LT(peak.handles, first.handles + 50) << "one leaked handle a request would be 500";
    EXPECT_LT(ReadCounters().privateBytes, first.privateBytes + (8ull << 20))
        << "500 bodies are 10 MB";
}

TEST_F(RunFaults, TwoHundredSmallFilesArriveThroughTheRun) {
    RunHarness harness;
    ASSERT_TRUE(harness.ready);
    ASSERT_TRUE(velta_test::SetRoute(SetupRoute("/faults/many/setup.exe")));
    FileList files = {HttpsUrl("/faults/many/setup.exe")};
    std::map<std::string, uint64_t> expected = {
        {"setup.exe", velta_test::ReadWholeFile(VELTA_FAULTS_SETUP_FIXTURE).size()}};
    for (int i = 1; i < 200; ++i) {
        const std::string name = "part" + std::to_string(i) + ".cab";
        ASSERT_TRUE(velta_test::SetRoute(
            PatternRoute("/faults/many/" + name, expected[name] = 1000 + 37 * i)));
        files.push_back(HttpsUrl("/faults/many/" + name));
    }
    velta_test::MessageBoxWatcher boxes;
    EXPECT_EQ(harness.Run(files), 1);
    EXPECT_EQ(boxes.Count(), 0u);
    EXPECT_EQ(harness.SetupSaw(), expected) << "the setup saw every file whole";
    EXPECT_EQ(velta_test::RequestCount(), 200) << "each file asked once";
    EXPECT_TRUE(harness.NothingLeftBehind());
}

}  // namespace
