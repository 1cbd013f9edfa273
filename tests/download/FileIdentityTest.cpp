// The file system's answer to "is this the setup's file?" under Wine: the
// aliases of one name that reach the same file, and names that do not.
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "download/FileIdentity.h"
#include "tests/support/Files.h"

using namespace velta_test;

namespace {

TEST(FileIdentity, EveryAliasOfANameIsTheSameFileAndNoOtherNameIs) {
    const ScratchFolder scratch("identity");
    const std::string folder = scratch.Path();
    // "ＳｅｔｕｐProgram.exe": full-width S, e, t, u, p.
    const std::string fullWidth = "\x82\x72\x82\x85\x82\x94\x82\x95\x82\x90Program.exe";
    ASSERT_TRUE(WriteWholeFile(folder + "SetupProgram.exe", "setup"));
    ASSERT_TRUE(WriteWholeFile(folder + fullWidth, "other"));
    ASSERT_TRUE(WriteWholeFile(folder + "data.cab", "data"));
    const std::string shortName = ShortFileName(folder + "SetupProgram.exe");
    const struct {
        const char* what;
        std::string created, other;
        bool same;
    } cases[] = {
        {"the name itself", "SetupProgram.exe", "SetupProgram.exe", true},
        {"case", "SetupProgram.exe", "SETUPPROGRAM.EXE", true},
        {"trailing dot", "SetupProgram.exe", "SetupProgram.exe.", true},
        {"trailing blanks", "SetupProgram.exe", "SetupProgram.exe  ", true},
        {"trailing dots and blanks", "SetupProgram.exe", "setupprogram.exe. .", true},
        // "ｓＥＴＵＰProgram.exe": the full-width name in the other case.
        {"full-width letters in the other case", fullWidth,
         "\x82\x93\x82\x64\x82\x73\x82\x74\x82\x6FProgram.exe", true},
        {"full-width letters for ASCII ones", "SetupProgram.exe", fullWidth, false},
        {"another file", "SetupProgram.exe", "data.cab", false},
        {"a leading blank", "SetupProgram.exe", " SetupProgram.exe", false},
        {"a missing file", "SetupProgram.exe", "missing.exe", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(IsSameExistingFile((folder + c.created).c_str(), (folder + c.other).c_str()),
                  c.same);
        EXPECT_EQ(IsSameExistingFile((folder + c.other).c_str(), (folder + c.created).c_str()),
                  c.same);
    }
    EXPECT_FALSE(
        IsSameExistingFile((folder + "missing.exe").c_str(), (folder + "missing.exe").c_str()))
        << "no file, no identity";
    if (shortName.empty()) GTEST_SKIP() << "this file system made no 8.3 short name";
    EXPECT_TRUE(
        IsSameExistingFile((folder + "SetupProgram.exe").c_str(), (folder + shortName).c_str()))
        << shortName;
}

// The look leaves the file as it was, also while another handle writes it.
TEST(FileIdentity, TheLookNeitherTruncatesNorWaitsForAWriter) {
    const ScratchFolder scratch("identity-open");
    const std::string path = scratch.Path() + "setup.exe";
    ASSERT_TRUE(WriteWholeFile(path, "0123456789"));
    HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE) << GetLastError();
    EXPECT_TRUE(IsSameExistingFile(path.c_str(), (scratch.Path() + "SETUP.EXE").c_str()));
    CloseHandle(writer);
    EXPECT_EQ(ReadWholeFile(path), "0123456789");
}

}  // namespace
