// The file plan against the real file system under Wine: the longest local
// path CreateFileA takes (counted in UTF-16 characters, not code page 932
// bytes) and the names the file system takes for one file. Where the plan
// and the platform disagree, the checker and the run would judge a list
// differently from what a customer's machine does.
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "download/FilePlan.h"
#include "tests/support/Files.h"

using namespace velta_test;

namespace {

std::string WithSeparator(std::string path) {
    if (path.empty() || (path.back() != '\\' && path.back() != '/')) path += '\\';
    return path;
}

// Creates (or opens) the file and closes it; the error when that fails.
DWORD TryCreate(const std::string& path, DWORD disposition) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD error = file == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return error;
}

TEST(FilePlanPlatform, TheLongestPathCreateFileATakesIsWhatThePlanAllows) {
    const ScratchFolder scratch("plan");
    // Two folders of 80 kanji each: 160 bytes apiece in code page 932. Wine
    // stores names in UTF-8 on a file system whose names hold 255 bytes,
    // so no single name may carry more than 85 such characters.
    std::string folder = WithSeparator(scratch.Path());
    for (int level = 0; level < 2; ++level) {
        for (int i = 0; i < 80; ++i) folder += "\x8A\xBF";
        ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << GetLastError();
        folder += '\\';
    }
    const std::size_t folderCharacters =
        PlanFiles({"https://h/p/x"}, folder).front().pathCharacters - 1;
    ASSERT_LT(folderCharacters + 8, 258u);
    for (std::size_t total = 256; total <= 262; ++total) {
        SCOPED_TRACE(total);
        const std::string name = std::string(total - folderCharacters - 4, 'a') + ".bin";
        const FilePlanEntry entry = PlanFiles({"https://h/p/" + name}, folder).front();
        ASSERT_EQ(entry.pathCharacters, total);
        ASSERT_GT(entry.pathBytes, total) << "the bytes alone would refuse every one of them";
        const DWORD error = TryCreate(entry.path, CREATE_ALWAYS);
        std::printf("path of %zu characters (%zu bytes): CreateFileA error %lu\n", total,
                    entry.pathBytes, error);
        if (total == kPlatformPathCharacters + 1) {
            // One character past the documented MAX_PATH: Wine takes it, Windows
            // documents it as too long, and the plan keeps to Windows.
            EXPECT_EQ(entry.fault, TargetFault::PlatformPath);
        } else {
            EXPECT_EQ(error == ERROR_SUCCESS, entry.fault == TargetFault::None)
                << "error " << error;
        }
        if (error == ERROR_SUCCESS) DeleteFileA(entry.path.c_str());
    }
}

TEST(FilePlanPlatform, NamesTheFileSystemTakesForOneFile) {
    const struct {
        const char* what;
        std::string created, opened;
    } cases[] = {
        {"ASCII case", "data.cab", "DATA.CAB"},
        {"trailing dot", "data.cab", "data.cab."},
        {"trailing blanks", "data.cab", "data.cab  "},
        {"leading blank", "data.cab", " data.cab"},
        {"full-width letters", "\x82\x60.bin", "\x82\x81.bin"},
        {"Greek letters", "\x83\x9F.bin", "\x83\xBF.bin"},
        {"Cyrillic letters", "\x84\x40.bin", "\x84\x70.bin"},
        {"hiragana and katakana", "\x82\xA0.bin", "\x83\x41.bin"},
        {"trail bytes of backslash and pipe", "\x83\x5C.bin", "\x83\x7C.bin"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ScratchFolder scratch("fold");
        const std::string folder = WithSeparator(scratch.Path());
        const std::vector<FilePlanEntry> plan =
            PlanFiles({"https://h/p/" + c.created, "https://h/q/" + c.opened}, folder);
        ASSERT_EQ(TryCreate(plan[0].path, CREATE_NEW), static_cast<DWORD>(ERROR_SUCCESS));
        const bool sameFile = TryCreate(plan[1].path, OPEN_EXISTING) == ERROR_SUCCESS;
        EXPECT_EQ(sameFile, plan[1].replaces.has_value());
    }
}

// What a device name does to the run's target: CON cannot be opened as the
// run opens its target (the loop ends); the others open, and the bytes go to
// the device, not into the folder.
TEST(FilePlanPlatform, ADeviceNameLeavesNoFileInTheFolder) {
    const ScratchFolder scratch("device");
    const std::string folder = WithSeparator(scratch.Path());
    for (const char* name : {"con.txt", "NUL", "aux.cab"}) {
        SCOPED_TRACE(name);
        const FilePlanEntry entry = PlanFiles({std::string("https://h/p/") + name}, folder).front();
        ASSERT_TRUE(entry.deviceName);
        const DWORD error = TryCreate(entry.path, CREATE_ALWAYS);
        std::printf("%s: CreateFileA error %lu\n", name, error);
        EXPECT_EQ(error != ERROR_SUCCESS, entry.endsLoop) << "error " << error;
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
        bool anyFile = false;
        if (search != INVALID_HANDLE_VALUE) {
            do {
                anyFile |= (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
            } while (FindNextFileA(search, &found));
            FindClose(search);
        }
        EXPECT_FALSE(anyFile) << "the device name made a file";
    }
}

}  // namespace
