// The work folder through the real file system under Wine: the choice of
// base folder and counter (the known-folder call replaced where Wine cannot
// fail it), creation below a name with a trail byte 0x5C, and the removal:
// read-only and hidden files, nested folders, entry paths of any length and
// names outside code page 932, a file held open, directory links never
// entered.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "download/WorkFolder.h"
#include "download/WorkFolderSeam.h"
#include "tests/support/MessageBoxWatcher.h"
#include "tests/support/Downloads.h"
#include "tests/support/Files.h"
#include "tests/support/Links.h"
#include "tests/support/Paths.h"
#include "tests/support/Wait.h"
#include "tests/support/WindowHelpers.h"

using namespace velta_test;

namespace {

// What the replaced known-folder call answers. The text is code page 932 and
// is handed out as the shell does: a CoTaskMemAlloc'd wide copy.
HRESULT g_fakeResult = S_OK;
std::wstring g_fakeFolder;
int g_fakeCalls = 0;

HRESULT WINAPI FakeKnownFolder(REFKNOWNFOLDERID id, DWORD flags, HANDLE token, PWSTR* path) {
    ++g_fakeCalls;
    static const GUID downloads = {
        0x374DE290, 0x123F, 0x4565, {0x91, 0x64, 0x39, 0xC4, 0x92, 0x5E, 0x46, 0x7B}};
    EXPECT_TRUE(IsEqualGUID(downloads, id));
    EXPECT_EQ(0u, flags);
    EXPECT_EQ(nullptr, token);
    // Like the shell, hand out memory on failure as well: the caller frees it.
    const size_t bytes = (g_fakeFolder.size() + 1) * sizeof(wchar_t);
    *path = static_cast<PWSTR>(CoTaskMemAlloc(bytes));
    memcpy(*path, g_fakeFolder.c_str(), bytes);
    return g_fakeResult;
}

std::string Env(const char* name) {
    char value[4096] = {};
    const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n > 0 && n < sizeof value ? value : "";
}

// Each test chooses what the shell and the temporary folder answer; both are
// put back afterwards.
class WorkFolderChoice : public ::testing::Test {
protected:
    void SetUp() override {
        m_savedTmp = Env("TMP");
        m_savedTemp = Env("TEMP");
        m_downloads = m_scratch.Path() + "Downloads\\";
        ASSERT_TRUE(MakeDirectory(m_downloads)) << m_downloads;
        m_temp = m_scratch.Path() + "tmp\\";
        ASSERT_TRUE(MakeDirectory(m_temp)) << m_temp;
        SetTemp(m_temp);
        UseDownloads(m_downloads.substr(0, m_downloads.size() - 1));
        g_getKnownFolderPath = FakeKnownFolder;
        g_fakeCalls = 0;
    }
    void TearDown() override {
        EXPECT_EQ(m_expectedBoxes, m_boxes.Count()) << "first: " << m_boxes.Box(0).text;
        g_getKnownFolderPath = SHGetKnownFolderPath;
        SetEnvironmentVariableA("TMP", m_savedTmp.empty() ? nullptr : m_savedTmp.c_str());
        SetEnvironmentVariableA("TEMP", m_savedTemp.empty() ? nullptr : m_savedTemp.c_str());
    }
    static void UseDownloads(const std::string& folder, HRESULT result = S_OK) {
        g_fakeFolder = FromCp932(folder);
        g_fakeResult = result;
    }
    static void SetTemp(const std::string& folder) {
        SetEnvironmentVariableA("TMP", folder.c_str());
        SetEnvironmentVariableA("TEMP", folder.c_str());
    }

    // Answers every box with OK, so a regression never waits for a person.
    velta_test::MessageBoxWatcher m_boxes;
    size_t m_expectedBoxes = 0;
    ScratchFolder m_scratch;
    std::string m_downloads;
    std::string m_temp;
    std::string m_savedTmp;
    std::string m_savedTemp;
};

TEST_F(WorkFolderChoice, TakesFirstNameThatIsNoDirectoryAndLeavesOthersAlone) {
    struct Case {
        std::vector<int> existingFolders;
        bool fileNamedVeltadl0;
        int expected;
    };
    const Case cases[] = {
        {{}, false, 0},     {{0, 1}, false, 2}, {{0, 2}, false, 1},
        {{1, 2}, false, 0}, {{}, true, 0},      {{1}, true, 0},
    };
    for (const Case& c : cases) {
        const std::string name = "VELTADL" + std::to_string(c.expected) + "\\";
        SCOPED_TRACE(name + (c.fileNamedVeltadl0 ? " with a file VELTADL0" : ""));
        RemoveTree(m_downloads);
        ASSERT_TRUE(MakeDirectory(m_downloads)) << m_downloads;
        for (const int k : c.existingFolders) {
            const std::string old = m_downloads + "VELTADL" + std::to_string(k) + "\\";
            ASSERT_TRUE(MakeDirectory(old)) << old;
            ASSERT_TRUE(WriteWholeFile(old + "left.txt", "from an earlier run"));
        }
        if (c.fileNamedVeltadl0) {
            ASSERT_TRUE(WriteWholeFile(m_downloads + "VELTADL0", "not a folder"));
        }
        g_fakeCalls = 0;
        std::string workFolder;
        ASSERT_TRUE(PrepareWorkFolder(workFolder));
        EXPECT_EQ(1, g_fakeCalls);
        EXPECT_EQ(m_downloads + name, workFolder);
        if (c.fileNamedVeltadl0) {
            // Taken but not creatable: the downloads of this run will fail.
            EXPECT_EQ("not a folder", ReadWholeFile(m_downloads + "VELTADL0"));
            EXPECT_FALSE(DirectoryExists(workFolder));
        } else {
            EXPECT_TRUE(DirectoryExists(workFolder));
            EXPECT_TRUE(FolderEntries(workFolder).empty());
        }
        for (const int k : c.existingFolders) {
            EXPECT_EQ("from an earlier run",
                      ReadWholeFile(m_downloads + "VELTADL" + std::to_string(k) + "\\left.txt"));
        }
    }
}

TEST_F(WorkFolderChoice, TemporaryFolderWhenShellFails) {
    UseDownloads("C:\\should\\not\\be\\used", E_FAIL);
    ASSERT_TRUE(MakeDirectory(m_temp + "VELTADL0")) << m_temp + "VELTADL0";
    std::string workFolder;
    ASSERT_TRUE(PrepareWorkFolder(workFolder));
    EXPECT_EQ(m_temp + "VELTADL1\\", workFolder);
    EXPECT_TRUE(DirectoryExists(workFolder));
    EXPECT_FALSE(PathExists("C:\\should"));
}

TEST_F(WorkFolderChoice, UnusableDownloadsPathsFallBackToTemporaryFolder) {
    // 250 + "\" + "VELTADL0\" would be 260 bytes: no room for the terminator.
    const std::string tooLong = "C:\\" + std::string(247, 'l');
    // U+0100 has no code page 932 form: its best-fit substitute would name
    // another folder, which does not exist.
    const std::string unconvertible = m_scratch.Path() + "x";
    for (const std::wstring& downloads : {FromCp932(tooLong), FromCp932(unconvertible) + L"\u0100",
                                          FromCp932("C:\\" + std::string(600, 'w'))}) {
        g_fakeFolder = downloads;
        g_fakeResult = S_OK;
        std::string workFolder;
        ASSERT_TRUE(PrepareWorkFolder(workFolder));
        EXPECT_EQ(m_temp + "VELTADL0\\", workFolder);
        RemoveDirectoryA(workFolder.c_str());
    }
    // One byte shorter fits exactly: 259 bytes.
    const std::string longest = m_scratch.Path() + std::string(249 - m_scratch.Path().size(), 'f');
    UseDownloads(longest);
    std::string workFolder;
    ASSERT_TRUE(PrepareWorkFolder(workFolder));
    EXPECT_EQ(259u, workFolder.size());
    EXPECT_EQ(longest + "\\VELTADL0\\", workFolder);
}

// Each base buffer holds a path, its one backslash and the terminator,
// counted in code page 932 bytes: the path that fills it exactly and the one
// a byte longer, in single- and in two-byte characters. The candidate's own
// 259 bytes hide these bounds from PrepareWorkFolder, so the bases are read
// directly.
std::string Repeated(const std::string& text, size_t times) {
    std::string out;
    for (size_t i = 0; i < times; ++i) out += text;
    return out;
}

TEST_F(WorkFolderChoice, DownloadsBaseFillsItsBufferExactlyOrIsRefused) {
    struct Case {
        const char* what;
        std::string path;
        bool fits;
    };
    // 510 bytes, a backslash and the terminator fill the 512 bytes.
    const Case cases[] = {
        {"510 bytes", "C:\\" + std::string(507, 'a'), true},
        {"511 bytes", "C:\\" + std::string(508, 'a'), false},
        {"510 bytes in 257 characters", "C:\\a" + Repeated("あ", 253), true},
        {"511 bytes in 257 characters", "C:\\" + Repeated("あ", 254), false},
    };
    static_assert(kWorkFolderBaseCapacity == 512);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        UseDownloads(c.path);
        char base[kWorkFolderBaseCapacity];
        std::memset(base, '#', sizeof base);
        EXPECT_EQ(c.fits, DownloadsBase(base));
        if (c.fits) EXPECT_EQ(c.path + "\\", std::string(base));
    }
}

TEST_F(WorkFolderChoice, TemporaryBaseFillsItsBufferExactlyOrIsRefused) {
    // The platform is asked with room for 256 bytes: 255 and the terminator.
    // Two-byte folders go in components of at most 60 characters, which
    // Wine keeps whole.
    const auto folderOf = [&](size_t bytes, bool twoByte) {
        std::string path = m_scratch.Path();
        size_t left = bytes - path.size() - 1;  // the last component, before its backslash
        while (twoByte && left > 121) {
            path += Repeated("あ", 60) + "\\";
            left -= 121;
        }
        path += twoByte ? Repeated("あ", left / 2) + std::string(left % 2, 'x')
                        : std::string(left, 'x');
        return path + "\\";
    };
    struct Case {
        const char* what;
        size_t bytes;
        bool twoByte;
        bool fits;
    };
    const Case cases[] = {
        {"255 bytes", 255, false, true},
        {"256 bytes", 256, false, false},
        {"255 bytes of two-byte characters", 255, true, true},
        {"256 bytes of two-byte characters", 256, true, false},
    };
    for (const Case& c : cases) {
        const std::string folder = folderOf(c.bytes, c.twoByte);
        SCOPED_TRACE(std::string(c.what) + ": " + folder);
        ASSERT_EQ(c.bytes, folder.size());
        CreateFolderPath(folder.c_str());
        ASSERT_TRUE(DirectoryExists(folder));
        SetTemp(folder);
        char base[kWorkFolderBaseCapacity];
        std::memset(base, '#', sizeof base);
        EXPECT_EQ(c.fits, TempBase(base));
        if (c.fits) EXPECT_EQ(folder, std::string(base));
    }
}

TEST_F(WorkFolderChoice, NoDestinationTellsUserAndCreatesNothing) {
    UseDownloads("", E_FAIL);
    // Over MAX_PATH the platform answers 0; between 256 and MAX_PATH it
    // answers the length it needs and leaves the buffer unfilled.
    const size_t lengths[] = {300, 257};
    for (const size_t length : lengths) {
        const std::string longTemp =
            m_scratch.Path() + std::string(length - 1 - m_scratch.Path().size(), 't') + "\\";
        SetTemp(longTemp);
        std::string workFolder = "unchanged";
        EXPECT_FALSE(PrepareWorkFolder(workFolder)) << length;
        EXPECT_EQ("unchanged", workFolder);
    }
    ASSERT_TRUE(m_boxes.WaitForCount(2));
    for (const velta_test::SeenMessageBox& box : m_boxes.Boxes()) {
        EXPECT_EQ("ダウンロード失敗", box.caption);
        EXPECT_EQ("ダウンロード先の取得に失敗しました。", box.text);
        EXPECT_EQ(nullptr, box.owner);
        EXPECT_EQ(std::vector<int>{IDOK}, box.buttons);
        EXPECT_EQ(0u, box.icon);
    }
    m_expectedBoxes = 2;
    EXPECT_EQ((std::vector<std::string>{"Downloads", "tmp"}), [&] {
        auto names = FolderEntries(m_scratch.Path());
        std::sort(names.begin(), names.end());
        return names;
    }());
    EXPECT_TRUE(FolderEntries(m_temp).empty());
    EXPECT_TRUE(FolderEntries(m_downloads).empty());
}

// Through the real shell: Downloads moved to a folder named with "so"
// (0x83 0x5C), for the one call only, since other tests use the real one.
TEST(WorkFolderRealDownloads, FolderBelowTrailByte5CIsCreatedWhole) {
    ASSERT_EQ(932u, GetACP()) << "the tests need the code page 932 locale";
    ScratchFolder scratch("so");
    const std::string so = scratch.Path() + "ソ";
    ASSERT_EQ("\x83\x5C", so.substr(so.size() - 2));
    const std::string downloads = so + "\\Downloads";
    ASSERT_TRUE(MakeDirectory(so));
    ASSERT_TRUE(MakeDirectory(downloads));

    std::string workFolder;
    bool prepared = false;
    {
        DownloadsFolderOverride moved(downloads);
        ASSERT_TRUE(moved.Applied());
        prepared = PrepareWorkFolder(workFolder);
    }
    ASSERT_TRUE(prepared);
    EXPECT_EQ(downloads + "\\VELTADL0\\", workFolder);
    EXPECT_TRUE(DirectoryExists(workFolder));
    // A folder made at the trail byte would be named by the lead byte alone.
    EXPECT_EQ(std::vector<std::string>{"ソ"}, FolderEntries(scratch.Path()));
    EXPECT_EQ(std::vector<std::string>{"VELTADL0"}, FolderEntries(downloads));
    RemoveFolderTree(workFolder.c_str());
    EXPECT_FALSE(PathExists(workFolder));
}

// Creation itself, through the real file system.
TEST(WorkFolderCreation, CreatesMissingAncestorsNeverSplittingTrailByte5C) {
    ScratchFolder scratch;
    const std::string so = scratch.Path() + "ソ";
    CreateFolderPath((so + "\\a\\ソ\\b\\").c_str());
    EXPECT_TRUE(DirectoryExists(so + "\\a\\ソ\\b"));
    // A wrong split at the trail byte would leave a folder named by the
    // lead byte alone next to the right one.
    EXPECT_EQ(std::vector<std::string>{"ソ"}, FolderEntries(scratch.Path()));
    EXPECT_EQ(std::vector<std::string>{"ソ"}, FolderEntries(so + "\\a\\"));
    EXPECT_TRUE(FolderEntries(so + "\\a\\ソ\\b\\").empty());

    // The last component without separator is a file name, not a folder.
    CreateFolderPath((scratch.Path() + "f\\setup.exe").c_str());
    EXPECT_TRUE(DirectoryExists(scratch.Path() + "f"));
    EXPECT_FALSE(PathExists(scratch.Path() + "f\\setup.exe"));

    // Existing folders are fine; a part of 256 bytes creates nothing at all.
    CreateFolderPath((so + "\\a\\").c_str());
    EXPECT_TRUE(DirectoryExists(so + "\\a"));
    CreateFolderPath((scratch.Path() + "n\\" + std::string(256, 'x') + "\\").c_str());
    EXPECT_FALSE(PathExists(scratch.Path() + "n"));
    CreateFolderPath(nullptr);
}

TEST(WorkFolderRemoval, RemovesReadOnlyHiddenAndNestedEntries) {
    ScratchFolder scratch;
    const std::string root = scratch.Path() + "work\\";
    ASSERT_TRUE(MakeDirectory(root)) << root;
    ASSERT_TRUE(MakeDirectory(root + "one")) << root + "one";
    ASSERT_TRUE(MakeDirectory(root + "one\\two")) << root + "one\\two";
    ASSERT_TRUE(MakeDirectory(root + "empty")) << root + "empty";
    ASSERT_TRUE(WriteWholeFile(root + "plain.bin", "p")) << root + "plain.bin";
    ASSERT_TRUE(WriteWholeFile(root + "ro.bin", "r", FILE_ATTRIBUTE_READONLY)) << root + "ro.bin";
    ASSERT_TRUE(WriteWholeFile(root + "one\\hidden.bin", "h", FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(WriteWholeFile(root + "one\\two\\both.bin", "b",
                               FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(WriteWholeFile(root + "one\\two\\ソ.bin", "s",
                               FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
    ASSERT_TRUE(WriteWholeFile(scratch.Path() + "sibling.bin", "stays"));
    if (!KeepsAttributes(root + "one\\two\\both.bin",
                         FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN)) {
        GTEST_SKIP() << "this file system keeps no read-only or hidden bit on files";
    }

    RemoveFolderTree(root.c_str());
    EXPECT_FALSE(PathExists(root));
    EXPECT_EQ(std::vector<std::string>{"sibling.bin"}, FolderEntries(scratch.Path()));

    // Either separator ends the argument; without one nothing is misjoined.
    ASSERT_TRUE(MakeDirectory(scratch.Path() + "slash")) << scratch.Path() + "slash";
    ASSERT_TRUE(WriteWholeFile(scratch.Path() + "slash\\f", "f")) << scratch.Path() + "slash\\f";
    RemoveFolderTree((scratch.Path() + "slash/").c_str());
    EXPECT_FALSE(PathExists(scratch.Path() + "slash"));
    RemoveFolderTree("");
    RemoveFolderTree(nullptr);
    RemoveFolderTree((scratch.Path() + "missing\\").c_str());
    EXPECT_EQ("stays", ReadWholeFile(scratch.Path() + "sibling.bin"));
}

// Entries made through the long-path form, as a setup may make them: the
// removal must reach every one, and the folders holding them, whatever the
// length of the path and whatever the name holds.
std::wstring LongForm(const std::wstring& path) { return L"\\\\?\\" + path; }

bool MakeLongFile(const std::wstring& path, DWORD attributes) {
    for (size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1)) {
        const std::wstring folder = LongForm(path.substr(0, at));
        if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
            return false;
        }
    }
    HANDLE file = CreateFileW(LongForm(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool filled = WriteFile(file, "x", 1, &written, nullptr) && written == 1;
    CloseHandle(file);
    return filled &&
           (attributes == 0 || SetFileAttributesW(LongForm(path).c_str(), attributes) != FALSE);
}

bool LongPathExists(const std::wstring& path) {
    return GetFileAttributesW(LongForm(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

TEST(WorkFolderRemoval, EntriesOfAnyPathLengthOrNameGoWithTheirFolders) {
    ScratchFolder scratch;
    const std::string root = scratch.Path() + "w\\";
    // Code page 932 text of exactly n bytes: two-byte characters in
    // components of 60 (Wine keeps a name in 255 bytes of UTF-8), then
    // single bytes.
    const auto bytesLong = [&](size_t n) {
        std::string path = root;
        for (int inComponent = 0; path.size() + 2 < n;) {
            if (inComponent == 60) {
                path += "\\";
                inComponent = 0;
            } else {
                path += "あ";
                ++inComponent;
            }
        }
        return path + std::string(n - path.size(), 'z');
    };
    std::string deep = root;
    for (int i = 0; i < 300; ++i) deep += "d\\";
    struct Case {
        const char* what;
        std::wstring path;
        DWORD attributes;
    };
    const Case cases[] = {
        {"255 bytes", FromCp932(root + std::string(255 - root.size(), 'a')), 0},
        {"256 bytes", FromCp932(root + std::string(256 - root.size(), 'b')), 0},
        {"511 bytes, the longest local path of a run", FromCp932(bytesLong(511)), 0},
        {"600 bytes", FromCp932(bytesLong(600)), 0},
        {"over MAX_PATH characters, read-only and hidden",
         FromCp932(root + std::string(200, 'p') + "\\" + std::string(200, 'q') + "\\f.bin"),
         FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN},
        {"three hundred folders deep", FromCp932(deep + "f.bin"), FILE_ATTRIBUTE_READONLY},
        {"a character outside code page 932", FromCp932(root) + L"x\u0100y.bin", 0},
        {"a name ending in a dot and a blank", FromCp932(root) + L"end. ", 0},
    };
    ASSERT_TRUE(WriteWholeFile(scratch.Path() + "sibling.bin", "stays"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(MakeLongFile(c.path, c.attributes)) << GetLastError();
        ASSERT_TRUE(LongPathExists(c.path));
        RemoveFolderTree(root.c_str());
        EXPECT_FALSE(LongPathExists(c.path));
        EXPECT_FALSE(PathExists(root));
    }
    // The last separator may be missing: one is added, never a name joined
    // to the folder's own.
    ASSERT_TRUE(MakeLongFile(FromCp932(root + "inner.bin"), 0));
    ASSERT_TRUE(WriteWholeFile(scratch.Path() + "winner.bin", "stays"));
    RemoveFolderTree((scratch.Path() + "w").c_str());
    EXPECT_FALSE(PathExists(root));
    EXPECT_EQ("stays", ReadWholeFile(scratch.Path() + "winner.bin"));
    EXPECT_EQ("stays", ReadWholeFile(scratch.Path() + "sibling.bin"));
}

// The file is held without sharing, as a program that still runs from the
// folder holds it; the handle is this test's own, since the file system
// refuses the delete the same way whoever holds it.
TEST(WorkFolderRemoval, OpenFileAndItsFoldersStayEverythingElseGoes) {
    ScratchFolder scratch;
    const std::string root = scratch.Path() + "work\\";
    ASSERT_TRUE(MakeDirectory(root)) << root;
    ASSERT_TRUE(MakeDirectory(root + "busy")) << root + "busy";
    ASSERT_TRUE(MakeDirectory(root + "idle")) << root + "idle";
    ASSERT_TRUE(WriteWholeFile(root + "a.bin", "a")) << root + "a.bin";
    ASSERT_TRUE(WriteWholeFile(root + "busy\\held.bin", "held")) << root + "busy\\held.bin";
    ASSERT_TRUE(WriteWholeFile(root + "busy\\free.bin", "f", FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(WriteWholeFile(root + "idle\\x.bin", "x")) << root + "idle\\x.bin";
    HANDLE held = CreateFileA((root + "busy\\held.bin").c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    velta_test::MessageBoxWatcher boxes;

    RemoveFolderTree(root.c_str());
    EXPECT_EQ(0u, boxes.Count()) << "removal is silent, but showed: " << boxes.Box(0).text;
    EXPECT_EQ(std::vector<std::string>{"busy"}, FolderEntries(root));
    EXPECT_EQ(std::vector<std::string>{"held.bin"}, FolderEntries(root + "busy\\"));
    // Once the file is let go, the next removal finishes the job.
    CloseHandle(held);
    RemoveFolderTree(root.c_str());
    EXPECT_FALSE(PathExists(root));
}

TEST(WorkFolderRemoval, NeverDescendsIntoALinkAndKeepsItsTarget) {
    ScratchFolder scratch;
    const std::string outside = scratch.Path() + "outside\\";
    ASSERT_TRUE(MakeDirectory(outside)) << outside;
    ASSERT_TRUE(MakeDirectory(outside + "deep")) << outside + "deep";
    ASSERT_TRUE(WriteWholeFile(outside + "keep.bin", "keep")) << outside + "keep.bin";
    ASSERT_TRUE(WriteWholeFile(outside + "deep\\keep2.bin", "keep2", FILE_ATTRIBUTE_READONLY));
    const std::string root = scratch.Path() + "work\\";
    // Declared after the scratch folder, so it runs first, on every exit.
    struct LinkCleanUp {
        std::string folder;
        ~LinkCleanUp() { RemoveUnixLinks(folder, {"link", "link2"}); }
    } cleanUp{root};
    ASSERT_TRUE(MakeDirectory(root)) << root;
    ASSERT_TRUE(MakeDirectory(root + "sub")) << root + "sub";
    ASSERT_TRUE(WriteWholeFile(root + "a.bin", "a")) << root + "a.bin";
    ASSERT_TRUE(WriteWholeFile(root + "sub\\b.bin", "b")) << root + "sub\\b.bin";
    // An empty target is the harder case: removing "the link" must not be
    // a removal of the empty folder it leads to.
    const std::string emptyTarget = scratch.Path() + "empty target";
    ASSERT_TRUE(MakeDirectory(emptyTarget)) << emptyTarget;
    std::string how;
    ASSERT_TRUE(MakeDirectoryLink(root + "link", scratch.Path() + "outside", how))
        << "no directory link could be made here";
    ASSERT_TRUE(MakeDirectoryLink(root + "link2", emptyTarget, how));
    ASSERT_EQ("keep", ReadWholeFile(root + "link\\keep.bin"))
        << "the link does not lead to the target";

    RemoveFolderTree(root.c_str());

    EXPECT_EQ("keep", ReadWholeFile(outside + "keep.bin"));
    EXPECT_EQ("keep2", ReadWholeFile(outside + "deep\\keep2.bin"));
    EXPECT_TRUE(DirectoryExists(emptyTarget));
    EXPECT_FALSE(PathExists(root + "a.bin"));
    EXPECT_FALSE(PathExists(root + "sub"));
    // Windows removes the links; Wine 8 cannot strip a Unix directory link,
    // so there they stay, and the folder with them.
    if (PathExists(root)) {
        std::vector<std::string> left = FolderEntries(root);
        std::sort(left.begin(), left.end());
        EXPECT_EQ((std::vector<std::string>{"link", "link2"}), left);
    }
}

}  // namespace
