// A download onto a volume that fills up: the file being written fails,
// what arrived before it stays whole, the run still ends normally and the
// work folder gives all its space back. The volume is a 1 MiB tmpfs
// mounted around these tests (tiny-volume.sh).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "ProcessCounters.h"
#include "RunHarness.h"
#include "download/DownloadRun.h"

namespace {

using fault_test::PatternRoute;
using velta_test::HttpsUrl;

std::string TinyVolume() {
    std::string path = VELTA_FAULTS_TINY_VOLUME;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path + "\\";
}

// Free bytes of the volume, or nothing when it is not the tiny one.
bool TinyVolumeFree(ULONGLONG* free) {
    ULARGE_INTEGER available, total;
    if (!GetDiskFreeSpaceExA(TinyVolume().c_str(), &available, &total, nullptr)) return false;
    *free = available.QuadPart;
    return total.QuadPart <= 4ull * 1048576;
}

class DiskFull : public testing::Test {
protected:
    static void SetUpTestSuite() { fault_test::WarmUpRun(); }

    void SetUp() override {
        ULONGLONG free = 0;
        if (!TinyVolumeFree(&free)) GTEST_SKIP() << "no tiny volume at " << TinyVolume();
        ASSERT_TRUE(velta_test::Reset()) << velta_test::LastError();
        m_freeBefore = free;
    }

    ULONGLONG m_freeBefore = 0;
};

// The loop itself, into a folder on the full volume, so the files can be
// read back: the file before the full one is whole, the full one holds a
// correct beginning, and the failure is the usual box with the loop going
// on. The partial file keeps its space until the folder goes, so the small
// file after it finds the volume still full and fails the same way.
TEST_F(DiskFull, TheFileThatMeetsAFullVolumeFailsAndTheOneBeforeStaysWhole) {
    run_test::ProcessStateGuard state;
    const std::string folder = TinyVolume() + "loop\\";
    run_test::RemoveTree(folder);
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    ASSERT_TRUE(velta_test::SetRoute(PatternRoute("/faults/full/before.bin", 300000)));
    ASSERT_TRUE(velta_test::SetRoute(PatternRoute("/faults/full/big.bin", 3 * 1048576)));
    ASSERT_TRUE(velta_test::SetRoute(PatternRoute("/faults/full/after.bin", 1000)));
    velta_test::MessageBoxWatcher boxes;

    const int result = DownloadFiles(GetModuleHandleA(nullptr),
                                     {HttpsUrl("/faults/full/before.bin"),
                                      HttpsUrl("/faults/full/big.bin"),
                                      HttpsUrl("/faults/full/after.bin")},
                                     folder);

    EXPECT_EQ(result, 1) << "a full disk is not a cancel";
    ASSERT_EQ(boxes.Count(), 2u);
    fault_test::ExpectFailureBox(boxes.Box(0), "big.bin");
    fault_test::ExpectFailureBox(boxes.Box(1), "after.bin");
    EXPECT_TRUE(velta_test::FileMatchesPattern(folder + "before.bin", 300000));
    const std::string partial = run_test::ReadWholeFile(folder + "big.bin");
    EXPECT_GT(partial.size(), 0u);
    EXPECT_LT(partial.size(), 3u * 1048576);
    EXPECT_FALSE(velta_test::FirstPatternMismatch(partial.data(), partial.size()).has_value());
    EXPECT_EQ(velta_test::RequestCount("/faults/full/after.bin"), 1) << "the loop went on";
    run_test::RemoveTree(folder);
}

// The whole run with the Downloads folder on the full volume: the setup
// arrived before the volume filled, so it starts and sees itself whole;
// afterwards the work folder is gone and the volume has all its space back.
TEST_F(DiskFull, TheRunStartsTheSetupAndGivesTheSpaceBack) {
    const fault_test::ProcessCounters before = fault_test::ReadCounters();
    {
        fault_test::RunHarness harness(TinyVolume());
        ASSERT_TRUE(harness.Ready());
        ASSERT_TRUE(velta_test::SetRoute(harness.SetupRoute("/faults/fullrun/setup.exe")));
        ASSERT_TRUE(velta_test::SetRoute(PatternRoute("/faults/fullrun/big.bin", 3 * 1048576)));
        velta_test::MessageBoxWatcher boxes;

        const int result = harness.Run(
            {HttpsUrl("/faults/fullrun/setup.exe"), HttpsUrl("/faults/fullrun/big.bin")});

        EXPECT_EQ(result, 1);
        ASSERT_EQ(boxes.Count(), 1u);
        fault_test::ExpectFailureBox(boxes.Box(0), "big.bin");
        const fault_test::SetupRecord record = harness.ReadRecord();
        ASSERT_TRUE(record.exists);
        EXPECT_EQ(record.files.at("setup.exe"), harness.SetupBytes().size());
        EXPECT_LT(record.files.at("big.bin"), 3u * 1048576) << "cut short by the full volume";
        EXPECT_TRUE(harness.NothingLeftBehind());
    }
    ULONGLONG freeAfter = 0;
    ASSERT_TRUE(TinyVolumeFree(&freeAfter));
    EXPECT_EQ(freeAfter, m_freeBefore) << "every byte of the run given back";
    fault_test::ProcessCounters after;
    EXPECT_TRUE(fault_test::WaitForCountersBack(before, fault_test::Slack{}, 20000, &after))
        << fault_test::Describe(before) << " / " << fault_test::Describe(after);
}

}  // namespace
