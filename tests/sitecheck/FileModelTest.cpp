// The checker's model of what Windows does with each file-list entry: which
// entries the platform or the run's buffers refuse (path limits counted as
// the platform counts them), which end the loop, which land on an earlier
// entry's file as the file system folds names, and which is the setup.
// Shift-JIS bytes are written as escapes so the native build stays ASCII.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sitecheck/model/FileModel.h"

namespace {

const std::string kFolder = "C:\\Users\\a\\Downloads\\VELTADL0\\";  // 30 bytes
const std::string kBase = "https://localhost/p/";

std::string Repeat(const std::string& piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += piece;
    return out;
}

TEST(ModelFiles, TargetsThePlatformOrTheBuffersRefuse) {
    const std::string kanji = "\x8A\xBF";  // one character, two bytes
    struct Case {
        const char* what;
        std::string folder;
        std::string line;
        TargetFault fault;
        std::size_t characters;
    };
    // 128 characters in 243 bytes.
    const std::string kanjiFolder = "C:\\" + Repeat(kanji, 115) + "\\VELTADL0\\";
    const Case cases[] = {
        {"plain name", kFolder, "setup.exe", TargetFault::None, 39},
        // 128 + 131 = 259 characters in 501 bytes: the platform takes it.
        {"259 characters, far over 259 bytes", kanjiFolder, Repeat(kanji, 127) + ".cab",
         TargetFault::None, 259},
        {"260 characters", kanjiFolder, Repeat(kanji, 127) + ".cabx", TargetFault::PlatformPath,
         260},
        {"259 ASCII characters", kFolder, std::string(225, 'a') + ".cab", TargetFault::None, 259},
        {"260 ASCII characters", kFolder, std::string(226, 'a') + ".cab", TargetFault::PlatformPath,
         260},
        // Name 501 bytes: fits the split, not the 512-byte path buffer.
        {"path over the run's buffer", kFolder, std::string(250, 'a') + "." + std::string(250, 'b'),
         TargetFault::PathBuffer, 0},
        {"ends in a slash", kFolder, "dir/", TargetFault::EmptyName, 30},
        {"base name over 255 bytes", kFolder, std::string(256, 'a'), TargetFault::EmptyName, 30},
        {"dot dot", kFolder, "sub/..", TargetFault::FolderName, 32},
        {"only dots and blanks", kFolder, "sub/. .", TargetFault::FolderName, 33},
        {"question mark", kFolder, "a?b.cab", TargetFault::RefusedCharacter, 37},
        {"console device", kFolder, "Con.txt", TargetFault::ConsoleName, 37},
        {"control character", kFolder, "a\tb.cab", TargetFault::RefusedCharacter, 37},
        // Trail bytes 0x7C and 0x5C are no '|' and no separator.
        {"trail bytes of pipe and backslash", kFolder, "\x83\x7C\x83\x5C.cab", TargetFault::None,
         36},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<ModelledFile> plan = ModelFiles({kBase + c.line}, c.folder);
        ASSERT_EQ(plan.size(), 1u);
        EXPECT_EQ(plan[0].fault, c.fault);
        EXPECT_EQ(plan[0].pathCharacters, c.characters);
        EXPECT_EQ(plan[0].endsLoop, c.fault != TargetFault::None);
        EXPECT_TRUE(plan[0].setup);
    }
}

TEST(ModelFiles, EntriesOnOneLocalFileAsTheFileSystemComparesNames) {
    struct Case {
        const char* what;
        std::vector<std::string> lines;
        // Per entry: the index it replaces (-1: none).
        std::vector<int> replaces;
    };
    const Case cases[] = {
        {"different names", {"setup.exe", "data.cab"}, {-1, -1}},
        {"ASCII case", {"setup.exe", "a/SETUP.EXE"}, {-1, 0}},
        {"trailing dot and blank", {"setup.exe", "data.cab", "b/data.cab. ."}, {-1, -1, 1}},
        // Full-width A (0x8260) and a (0x8281).
        {"full-width letters", {"setup.exe", "\x82\x60.bin", "x/\x82\x81.bin"}, {-1, -1, 1}},
        // Greek Alpha (0x839F) and alpha (0x83BF); Cyrillic A (0x8440) and a (0x8470).
        {"Greek and Cyrillic letters",
         {"setup.exe", "\x83\x9F.bin", "x/\x83\xBF.bin", "\x84\x40.bin", "y/\x84\x70.bin"},
         {-1, -1, 1, -1, 3}},
        // Hiragana and katakana have no case: two files.
        {"kana stay apart", {"setup.exe", "\x82\xA0.bin", "\x83\x41.bin"}, {-1, -1, -1}},
        // The latest earlier file is the one on disk.
        {"three of one name", {"a.bin", "b/A.BIN", "c/a.bin"}, {-1, 0, 1}},
        // An entry that ends the loop creates no file and replaces none.
        {"after a refused entry", {"setup.exe", "x?/..", "data.cab"}, {-1, -1, -1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FileList files;
        for (const std::string& line : c.lines) files.push_back(kBase + line);
        const std::vector<ModelledFile> plan = ModelFiles(files, kFolder);
        ASSERT_EQ(plan.size(), c.lines.size());
        for (std::size_t i = 0; i < plan.size(); ++i) {
            SCOPED_TRACE(c.lines[i]);
            EXPECT_EQ(plan[i].replaces ? static_cast<int>(*plan[i].replaces) : -1, c.replaces[i]);
        }
    }
}

TEST(ModelFiles, AnEntryWithoutAFileEndsTheLoopForEveryLaterEntry) {
    const std::vector<ModelledFile> plan = ModelFiles(
        {kBase + "setup.exe", kBase + "dir/", kBase + "data.cab", kBase + "con.txt"}, kFolder);
    ASSERT_EQ(plan.size(), 4u);
    EXPECT_TRUE(plan[0].reached);
    EXPECT_EQ(plan[0].path, kFolder + "setup.exe");
    EXPECT_TRUE(plan[1].reached);
    EXPECT_TRUE(plan[1].endsLoop);
    EXPECT_EQ(plan[1].path, kFolder);
    EXPECT_FALSE(plan[2].reached);
    EXPECT_FALSE(plan[2].endsLoop);
    EXPECT_FALSE(plan[3].reached);
    EXPECT_TRUE(plan[3].deviceName);
}

TEST(FileSystemKey, FoldsAsNtfsComparesNames) {
    const struct {
        std::string a, b;
        bool same;
    } cases[] = {
        {"Setup.EXE", "setup.exe", true},
        {"data.cab", "data.cab...", true},
        {"data.cab", "data.cab  ", true},
        {"data.cab", " data.cab", false},  // leading blanks stay
        {"\x82\x60", "\x82\x81", true},    // full-width A, a
        {"\x82\x79", "\x82\x9A", true},    // full-width Z, z
        {"\x87\x54", "\xFA\x40", true},    // Roman numeral one, small roman numeral one
        {"\x83\x5C", "\x83\x7C", false},   // two katakana, trail bytes of backslash and pipe
        {"\xA0", "\xFD", false},           // U+F8F0 and U+F8F1 in Microsoft's table
        {"a", "b", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.a + " / " + c.b);
        EXPECT_EQ(FileSystemKey(c.a) == FileSystemKey(c.b), c.same);
    }
}

}  // namespace
