// A file of the document root as the directory reader takes it: its kind,
// its size and no more of its bytes than asked for.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "sitecheck/DiskFile.h"
#include "sitecheck/Sites.h"
#include "SiteFixture.h"

namespace {

using sitecheck::DiskFileKind;

TEST(DiskFile, KindSizeAndHeadOfEachThingAPathCanName) {
    const sitecheck_test::SiteFolder folder(
        sitecheck_test::SiteFiles{{"a.bin", "0123456789"}, {"empty", ""}, {"dir/inside", "x"}});
    struct Case {
        const char* relative;
        std::size_t headBytes;
        DiskFileKind kind;
        uint64_t size;
        std::string head;
    };
    const std::vector<Case> cases = {
        {"a.bin", 4, DiskFileKind::Regular, 10, "0123"},
        {"a.bin", 64, DiskFileKind::Regular, 10, "0123456789"},
        {"a.bin", std::string::npos, DiskFileKind::Regular, 10, "0123456789"},
        {"a.bin", 0, DiskFileKind::Regular, 10, ""},
        {"empty", 512, DiskFileKind::Regular, 0, ""},
        {"none", 512, DiskFileKind::Missing, 0, ""},
        {"a.bin/under", 512, DiskFileKind::Missing, 0, ""},
        {"dir", 512, DiskFileKind::NotAFile, 0, ""},
    };
    for (const Case& c : cases) {
        const sitecheck::DiskFile file =
            sitecheck::ReadDiskFile(sitecheck::DiskPath(folder.Path(), c.relative), c.headBytes);
        EXPECT_EQ(file.kind, c.kind) << c.relative;
        EXPECT_EQ(file.size, c.size) << c.relative;
        EXPECT_EQ(file.head, c.head) << c.relative << " " << c.headBytes;
    }
}

#ifndef _WIN32
// Opening a pipe for reading waits for a writer: the reader must not.
TEST(DiskFile, PipeIsNotAFileAndDoesNotHoldTheRead) {
    const sitecheck_test::SiteFolder folder(sitecheck_test::SiteFiles{{"setup.exe", "x"}});
    const std::string pipe = folder.Path() + "/data.cab";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    const sitecheck::DiskFile file = sitecheck::ReadDiskFile(pipe, 512);
    EXPECT_EQ(file.kind, DiskFileKind::NotAFile);
}
#endif

}  // namespace
