// The portable path rules of the work folder: which folders creation walks
// through, the bounded splitter, the candidate's format and bound, the
// bounded join of local paths, the long-path form of the removal.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "download/FileName.h"
#include "download/WorkFolderPath.h"

namespace {

std::vector<std::string> Prefixes(const std::string& path) {
    const std::size_t kept = FolderPartLength(path.c_str());
    std::vector<std::string> out;
    for (const std::size_t n : FolderPrefixLengths(path.c_str(), kept))
        out.push_back(path.substr(0, n));
    return out;
}

using Strings = std::vector<std::string>;

TEST(WorkFolderPath, CreatesEveryAncestorAndTheFolderButNoBareDrive) {
    EXPECT_EQ((Strings{"C:\\Users", "C:\\Users\\a", "C:\\Users\\a\\VELTADL0",
                       "C:\\Users\\a\\VELTADL0\\"}),
              Prefixes("C:\\Users\\a\\VELTADL0\\"));
}

TEST(WorkFolderPath, LastComponentWithoutSeparatorIsNotCreated) {
    EXPECT_EQ((Strings{"C:\\a", "C:\\a\\b", "C:\\a\\b\\"}), Prefixes("C:\\a\\b\\setup.exe"));
    EXPECT_TRUE(Prefixes("setup.exe").empty());
}

TEST(WorkFolderPath, SlashSeparatesLikeBackslash) {
    EXPECT_EQ((Strings{"C:/x", "C:/x/y", "C:/x/y/"}), Prefixes("C:/x/y/"));
}

TEST(WorkFolderPath, TrailByte5CIsNeverASeparator) {
    // "C:\<so>\d\" - the 0x5C inside the character must not end a prefix.
    const std::string path = "C:\\\x83\x5C\\d\\";
    EXPECT_EQ((Strings{"C:\\\x83\x5C", "C:\\\x83\x5C\\d", path}), Prefixes(path));
    // A name ending in <so>: the splitter keeps the folder before it only.
    EXPECT_EQ((Strings{"C:\\a", "C:\\a\\"}), Prefixes("C:\\a\\\x83\x5C"));
    // A relative path starting with <so>: its trail byte is the second byte.
    EXPECT_EQ((Strings{"\x83\x5Cx", "\x83\x5Cx\\"}), Prefixes("\x83\x5Cx\\"));
}

TEST(WorkFolderPath, LeadByteBeforeOrdinaryByteIsTwoSingles) {
    // 0x83 followed by a blank is no character: the backslash after it counts.
    EXPECT_EQ((Strings{"C:\\\x83 ", "C:\\\x83 \\"}), Prefixes("C:\\\x83 \\"));
}

TEST(WorkFolderPath, PartsOver255BytesCreateNothing) {
    const std::string dir255 = std::string(254, 'd') + "\\";
    EXPECT_EQ(2u + 255u, FolderPartLength(("C:" + dir255).c_str()));
    EXPECT_EQ(0u, FolderPartLength(("C:x" + dir255).c_str()));
    // Without a drive the directory part starts at the first byte.
    EXPECT_EQ(0u, FolderPartLength(("x" + dir255).c_str()));
    // A long base name or extension empties the directory part too.
    EXPECT_EQ(3u, FolderPartLength(("C:\\" + std::string(255, 'n') + ".e").c_str()));
    EXPECT_EQ(0u, FolderPartLength(("C:\\" + std::string(256, 'n')).c_str()));
    EXPECT_EQ(0u, FolderPartLength(("C:\\n." + std::string(255, 'e')).c_str()));
    // The extension starts at the last dot of the last component only: a
    // dot in a folder name must not make "extension" span the separator.
    const std::string dotted = "C:\\f." + std::string(200, 'e') + "\\" + std::string(100, 'x');
    EXPECT_EQ(2u + 204u, FolderPartLength(dotted.c_str()));
}

TEST(WorkFolderPath, CandidateIsBaseCounterAndBackslashWithin259Bytes) {
    char out[260];
    ASSERT_TRUE(FormatWorkFolderCandidate(out, sizeof out, "C:\\Users\\a\\Downloads\\", 0));
    EXPECT_STREQ("C:\\Users\\a\\Downloads\\VELTADL0\\", out);
    ASSERT_TRUE(FormatWorkFolderCandidate(out, sizeof out, "T\\", 4294967295u));
    EXPECT_STREQ("T\\VELTADL4294967295\\", out);

    // "VELTADL0\" adds 9 bytes: a 250-byte base gives exactly 259.
    const std::string base250(250, 'b');
    ASSERT_TRUE(FormatWorkFolderCandidate(out, sizeof out, base250.c_str(), 0));
    EXPECT_EQ(259u, std::strlen(out));
    EXPECT_FALSE(FormatWorkFolderCandidate(out, sizeof out, base250.c_str(), 10));
    EXPECT_STREQ("", out);
    EXPECT_FALSE(FormatWorkFolderCandidate(out, sizeof out, std::string(511, 'b').c_str(), 0));
}

// The run joins every local path through the one bounded join; a path that
// does not fit is refused whole, never cut, and the buffer is left as it was.
TEST(WorkFolderPath, RemovalJoinFitsExactlyOrIsRefusedWhole) {
    char out[8];
    std::memset(out, '#', sizeof out);
    ASSERT_TRUE(JoinLocalPath("abc", "defg", out, sizeof out));
    EXPECT_STREQ("abcdefg", out);
    std::memset(out, '#', sizeof out);
    EXPECT_FALSE(JoinLocalPath("abcd", "efgh", out, sizeof out));
    EXPECT_EQ(std::string(sizeof out, '#'), std::string(out, sizeof out));
    EXPECT_FALSE(JoinLocalPath("", "", out, 0));
}

// The removal reaches every entry through the long-path form; a share or a
// path already in a device form must keep naming the same place.
TEST(WorkFolderPath, LongPathFormKeepsNamingTheSamePlace) {
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"C:\\users\\a\\VELTADL0\\", L"\\\\?\\C:\\users\\a\\VELTADL0\\"},
        {L"\\\\server\\share\\VELTADL0\\", L"\\\\?\\UNC\\server\\share\\VELTADL0\\"},
        {L"\\\\?\\C:\\a\\", L"\\\\?\\C:\\a\\"},
        {L"\\\\?\\UNC\\s\\x\\", L"\\\\?\\UNC\\s\\x\\"},
        {L"\\\\.\\C:\\a\\", L"\\\\.\\C:\\a\\"},
    };
    for (const auto& [full, expected] : cases) EXPECT_EQ(expected, LongPathForm(full));
}

}  // namespace
