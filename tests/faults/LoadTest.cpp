// Load: many requests in one process must not accumulate handles, threads
// or memory; a product of many small files must arrive whole through the
// real run. Figures are printed, never asserted against a clock.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "ProcessCounters.h"
#include "RunHarness.h"
#include "http/HttpWebRequest.h"

namespace {

using fault_test::PatternRoute;
using fault_test::ProcessCounters;
using fault_test::RunHarness;
using velta_test::HttpsUrl;

TEST(Load, FiveHundredRequestsInARowKeepTheProcessFlat) {
    ASSERT_TRUE(velta_test::Reset());
    fault_test::WarmUp();
    ASSERT_TRUE(velta_test::SetRoute(PatternRoute("/faults/load/item.bin", 20000)));
    const std::string url = HttpsUrl("/faults/load/item.bin");

    ProcessCounters first;
    ProcessCounters peak;
    int completed = 0;
    const DWORD start = GetTickCount();
    for (int i = 1; i <= 500; ++i) {
        {
            std::unique_ptr<IHttpWebRequest> request(new CHttpWebRequest(url.c_str()));
            request->Start();
            if (request->Wait(30000) == Completed) {
                const uint8_t* data = nullptr;
                const uint32_t size = request->GetResponseData(&data);
                if (size == 20000 && !velta_test::FirstPatternMismatch(data, size)) ++completed;
            }
        }
        const ProcessCounters now = fault_test::ReadCounters();
        if (i == 1) first = peak = now;
        peak.handles = std::max(peak.handles, now.handles);
        peak.threads = std::max(peak.threads, now.threads);
        peak.privateBytes = std::max(peak.privateBytes, now.privateBytes);
        if (i == 1 || i % 100 == 0) {
            printf("[ load ] after %3d requests: %s\n", i, fault_test::Describe(now).c_str());
        }
    }
    const DWORD elapsed = GetTickCount() - start;
    ProcessCounters last;
    const bool back = fault_test::WaitForCountersBack(first, fault_test::Slack{}, 20000, &last);
    last = fault_test::ReadCounters();
    printf("[ load ] 500 requests in %lu ms; peak %s; settled %s\n",
           static_cast<unsigned long>(elapsed), fault_test::Describe(peak).c_str(),
           fault_test::Describe(last).c_str());

    EXPECT_EQ(completed, 500);
    EXPECT_EQ(velta_test::RequestCount("/faults/load/item.bin"), 500);
    EXPECT_TRUE(back) << "first: " << fault_test::Describe(first);
    // One leaked handle per request would be 500; WinINet's pool breathes
    // by a few.
    EXPECT_LT(peak.handles, first.handles + 50);
    // 500 bodies of 20000 bytes are 10 MB; a leak of them would show.
    EXPECT_LT(last.privateBytes, first.privateBytes + 8ull * 1048576);
}

// 200 files: the setup first, then 199 of different sizes. The setup, when
// it runs, lists what is beside it in the work folder.
TEST(Load, TwoHundredSmallFilesArriveThroughTheRun) {
    ASSERT_TRUE(velta_test::Reset());
    RunHarness harness;
    ASSERT_TRUE(harness.Ready());
    ASSERT_TRUE(velta_test::SetRoute(harness.SetupRoute("/faults/many/setup.exe")));
    FileList files = {HttpsUrl("/faults/many/setup.exe")};
    std::map<std::string, uint64_t> expected = {{"setup.exe", harness.SetupBytes().size()}};
    for (int i = 1; i < 200; ++i) {
        const std::string name = "part" + std::to_string(i) + ".cab";
        ASSERT_TRUE(velta_test::SetRoute(PatternRoute("/faults/many/" + name, 1000 + 37 * i)));
        files.push_back(HttpsUrl("/faults/many/" + name));
        expected[name] = 1000 + 37 * i;
    }
    velta_test::MessageBoxWatcher boxes;

    DWORD elapsed = 0;
    const int result = harness.Run(files, &elapsed);

    printf("[ load ] 200 files through the run in %lu ms (%.1f ms a file); the 100 ms pause after"
           " each completed file accounts for 20000 ms of it\n",
           static_cast<unsigned long>(elapsed), elapsed / 200.0);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(boxes.Count(), 0u);
    const fault_test::SetupRecord record = harness.ReadRecord();
    ASSERT_TRUE(record.exists);
    EXPECT_EQ(record.files, expected);
    EXPECT_EQ(velta_test::RequestCount(), 200) << "each file asked once";
    EXPECT_TRUE(harness.NothingLeftBehind());
}

}  // namespace
