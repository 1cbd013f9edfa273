// Downloads onto a 1 MiB tmpfs that fills up. One request alone: the first
// short write ends it Failed and the file keeps every byte written. A whole
// run with Downloads on the volume: the setup arrived before the volume
// filled, so it starts whole; the file that meets the full volume and the
// one after it (the partial file holds its space until the folder goes)
// fail with the usual box; afterwards the volume has every byte back.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "FaultSupport.h"
#include "http/HttpWebRequest.h"

namespace {

using namespace velta_test;
using velta_test::HttpsUrl;

class DiskFull : public testing::Test {
protected:
    // The volume is mounted around this program by ctest; mounting needs root,
    // and without it the folder is an ordinary one on a large disk.
    void SetUp() override {
        std::replace(m_volume.begin(), m_volume.end(), '/', '\\');
        ULARGE_INTEGER total;
        if (!GetDiskFreeSpaceExA(m_volume.c_str(), &m_freeBefore, &total, nullptr) ||
            total.QuadPart > (4ull << 20)) {
            GTEST_SKIP() << "no tiny volume at " << m_volume << " (mounting the tmpfs needs root)";
        }
        ASSERT_TRUE(velta_test::Reset()) << velta_test::LastError();
    }
    uint64_t FreeNow() const {
        ULARGE_INTEGER free{}, total{};
        EXPECT_TRUE(GetDiskFreeSpaceExA(m_volume.c_str(), &free, &total, nullptr));
        return free.QuadPart;
    }

    std::string m_volume = VELTA_FAULTS_TINY_VOLUME "\\";
    ULARGE_INTEGER m_freeBefore{};
};

TEST_F(DiskFull, RequestFailsAtTheShortWriteAndTheFileKeepsWhatWasWritten) {
    constexpr int64_t kBody = 3 << 20;
    ASSERT_TRUE(velta_test::SetRoute(PatternRoute("/faults/full/request.bin", kBody)));
    const std::string path = m_volume + "request.bin";
    {
        CHttpWebRequest request(HttpsUrl("/faults/full/request.bin").c_str());
        ASSERT_EQ(request.StartToFile(path.c_str()), 1);
        EXPECT_EQ(request.Wait(60000), Failed);
        EXPECT_EQ(request.GetStatusCode(), 200u);
    }
    const std::string kept = velta_test::ReadWholeFile(path);
    // Everything up to the full volume was written and stays: the file takes
    // the space that was free, to within the volume's page of 4,096 bytes.
    EXPECT_LT(kept.size(), static_cast<size_t>(kBody));
    EXPECT_GE(kept.size() + 4096, m_freeBefore.QuadPart)
        << "free before: " << m_freeBefore.QuadPart;
    EXPECT_LT(FreeNow(), 4096u) << "the volume is full";
    EXPECT_FALSE(velta_test::FirstPatternMismatch(kept.data(), kept.size()).has_value());
    ASSERT_TRUE(DeleteFileA(path.c_str()));
    EXPECT_EQ(FreeNow(), m_freeBefore.QuadPart);
}

TEST_F(DiskFull, TheFullFileFailsTheSetupStartsAndTheSpaceComesBack) {
    WarmUp();
    const Counters before = ReadCounters();
    {
        RunHarness harness(m_volume);
        ASSERT_TRUE(harness.ready);
        for (const auto& r :
             {SetupRoute("/faults/full/setup.exe"), PatternRoute("/faults/full/big.bin", 3 << 20),
              PatternRoute("/faults/full/after.bin", 1000)}) {
            ASSERT_TRUE(velta_test::SetRoute(r));
        }
        velta_test::MessageBoxWatcher boxes;
        EXPECT_EQ(harness.Run({HttpsUrl("/faults/full/setup.exe"), HttpsUrl("/faults/full/big.bin"),
                               HttpsUrl("/faults/full/after.bin")}),
                  1)
            << "a full disk is no cancel";
        ASSERT_EQ(boxes.Count(), 2u);
        ExpectFailureBox(boxes.Box(0));
        ExpectFailureBox(boxes.Box(1));
        EXPECT_EQ(velta_test::RequestCount("/faults/full/after.bin"), 1) << "the loop went on";
        const auto saw = harness.SetupSaw();
        ASSERT_EQ(saw.count("setup.exe"), 1u) << "the setup ran";
        EXPECT_LT(saw.at("big.bin"), 3u << 20) << "cut short by the full volume";
        EXPECT_TRUE(harness.NothingLeftBehind());
    }
    EXPECT_EQ(FreeNow(), m_freeBefore.QuadPart) << "every byte of the run given back";
    ExpectCountersBack(before);
}

}  // namespace
