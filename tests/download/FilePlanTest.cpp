// The run's own plan of each file-list entry: the name from the URL, the
// path in the work folder, the 512-byte buffers, the first entry as the
// setup. Nothing in it predicts the platform: a name Windows refuses or
// folds is planned like any other (the run asks the file system).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "download/FilePlan.h"

namespace {

const std::string kFolder = "C:\\Users\\a\\Downloads\\VELTADL0\\";  // 30 bytes
const std::string kBase = "https://localhost/p/";

TEST(PlanFiles, NamesPathsAndTheRunsBuffers) {
    struct Case {
        const char* what;
        std::string line;
        std::string name;
        BufferFault fault;
        std::size_t pathBytes;
    };
    const Case cases[] = {
        {"plain name", "sub/setup.exe", "setup.exe", BufferFault::None, 39},
        // Windows refuses or folds these; the plan takes them as they are.
        {"refused character", "a?b.cab", "a?b.cab", BufferFault::None, 37},
        {"trailing dot", "setup.exe.", "setup.exe.", BufferFault::None, 40},
        {"console device", "con.txt", "con.txt", BufferFault::None, 37},
        {"ends in a slash", "dir/", "", BufferFault::None, 30},
        // 511 bytes with the folder: the longest path the buffer holds.
        {"longest path", std::string(240, 'a') + "." + std::string(240, 'b'),
         std::string(240, 'a') + "." + std::string(240, 'b'), BufferFault::None, 511},
        {"one byte over the path buffer", std::string(240, 'a') + "." + std::string(241, 'b'),
         std::string(240, 'a') + "." + std::string(241, 'b'), BufferFault::PathBuffer, 512},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<FilePlanEntry> plan = PlanFiles({kBase + c.line}, kFolder);
        ASSERT_EQ(plan.size(), 1u);
        EXPECT_EQ(plan[0].url, kBase + c.line);
        EXPECT_EQ(plan[0].name, c.name);
        EXPECT_EQ(plan[0].fault, c.fault);
        EXPECT_EQ(plan[0].pathBytes, c.pathBytes);
        EXPECT_EQ(plan[0].path, c.fault == BufferFault::None ? kFolder + c.name : std::string());
    }
}

TEST(PlanFiles, TheFirstEntryIsTheSetupWhateverItsName) {
    const std::vector<FilePlanEntry> plan =
        PlanFiles({kBase + "dir/", kBase + "setup.exe", kBase + "SETUP.EXE"}, kFolder);
    ASSERT_EQ(plan.size(), 3u);
    EXPECT_TRUE(plan[0].setup);
    EXPECT_FALSE(plan[1].setup);
    EXPECT_FALSE(plan[2].setup);
    EXPECT_TRUE(PlanFiles({}, kFolder).empty());
}

}  // namespace
