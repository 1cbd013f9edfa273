// A run with Downloads on the 1 MiB tmpfs: the setup arrived before the
// volume filled, so it starts whole; the file that meets the full volume and
// the one after it (the partial file holds its space until the folder goes)
// fail with the usual box; afterwards the volume has every byte back.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "FaultSupport.h"

using namespace velta_test;
using velta_test::HttpsUrl;

TEST(DiskFull, TheFullFileFailsTheSetupStartsAndTheSpaceComesBack) {
    std::string volume = VELTA_FAULTS_TINY_VOLUME "\\";
    std::replace(volume.begin(), volume.end(), '/', '\\');
    ULARGE_INTEGER freeBefore, total, freeAfter;
    if (!GetDiskFreeSpaceExA(volume.c_str(), &freeBefore, &total, nullptr) || total.QuadPart > (4ull << 20)) {
        GTEST_SKIP() << "no tiny volume at " << volume;
    }
    WarmUp();
    const Counters before = ReadCounters();
    {
        RunHarness harness(volume);
        ASSERT_TRUE(harness.ready);
        for (const auto& r : {SetupRoute("/faults/full/setup.exe"), PatternRoute("/faults/full/big.bin", 3 << 20),
                              PatternRoute("/faults/full/after.bin", 1000)}) {
            ASSERT_TRUE(velta_test::SetRoute(r));
        }
        velta_test::MessageBoxWatcher boxes;
        EXPECT_EQ(harness.Run({HttpsUrl("/faults/full/setup.exe"), HttpsUrl("/faults/full/big.bin"),
                               HttpsUrl("/faults/full/after.bin")}), 1) << "a full disk is no cancel";
        ASSERT_EQ(boxes.Count(), 2u);
        ExpectFailureBox(boxes.Box(0));
        ExpectFailureBox(boxes.Box(1));
        EXPECT_EQ(velta_test::RequestCount("/faults/full/after.bin"), 1) << "the loop went on";
        const auto saw = harness.SetupSaw();
        ASSERT_EQ(saw.count("setup.exe"), 1u) << "the setup ran";
        EXPECT_LT(saw.at("big.bin"), 3u << 20) << "cut short by the full volume";
        EXPECT_TRUE(harness.NothingLeftBehind());
    }
    ASSERT_TRUE(GetDiskFreeSpaceExA(volume.c_str(), &freeAfter, &total, nullptr));
    EXPECT_EQ(freeAfter.QuadPart, freeBefore.QuadPart) << "every byte of the run given back";
    ExpectCountersBack(before);
}
