// The checker's model of Windows against the real file system under Wine:
// the longest local path CreateFileA takes (counted in UTF-16 characters,
// not code page 932 bytes), which names the file system takes for one file
// (every character code page 932 holds, created in one folder), which
// single-byte characters it refuses, and what a device name does. Where
// the model and the platform disagree, the checker would judge a list
// differently from what a customer's machine does.
#include <windows.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sitecheck/Cp932.h"
#include "sitecheck/model/Cp932.h"
#include "sitecheck/model/FileModel.h"
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

TEST(FileModelPlatform, TheLongestPathCreateFileATakesIsWhatTheModelAllows) {
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
        ModelFiles({"https://h/p/x"}, folder).front().pathCharacters - 1;
    ASSERT_LT(folderCharacters + 8, 258u);
    for (std::size_t total = 256; total <= 262; ++total) {
        SCOPED_TRACE(total);
        const std::string name = std::string(total - folderCharacters - 4, 'a') + ".bin";
        const ModelledFile entry = ModelFiles({"https://h/p/" + name}, folder).front();
        ASSERT_EQ(entry.pathCharacters, total);
        ASSERT_GT(entry.pathBytes, total) << "the bytes alone would refuse every one of them";
        const DWORD error = TryCreate(entry.path, CREATE_ALWAYS);
        std::printf("path of %zu characters (%zu bytes): CreateFileA error %lu\n", total,
                    entry.pathBytes, error);
        if (total == kPlatformPathCharacters + 1) {
            // One character past the documented MAX_PATH: Wine takes it, Windows
            // documents it as too long, and the model keeps to Windows.
            EXPECT_EQ(entry.fault, TargetFault::PlatformPath);
        } else {
            EXPECT_EQ(error == ERROR_SUCCESS, entry.fault == TargetFault::None)
                << "error " << error;
        }
        if (error == ERROR_SUCCESS) DeleteFileA(entry.path.c_str());
    }
}

TEST(FileModelPlatform, NamesTheFileSystemTakesForOneFile) {
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
        const std::vector<ModelledFile> plan =
            ModelFiles({"https://h/p/" + c.created, "https://h/q/" + c.opened}, folder);
        ASSERT_EQ(TryCreate(plan[0].path, CREATE_NEW), static_cast<DWORD>(ERROR_SUCCESS));
        const bool sameFile = TryCreate(plan[1].path, OPEN_EXISTING) == ERROR_SUCCESS;
        EXPECT_EQ(sameFile, plan[1].replaces.has_value());
    }
}

// Every character code page 932 holds that can have case, each in a name of
// its own, created in one folder: the file system puts a name on an earlier
// file exactly when the model gives both the same key. Every pair of them is
// compared this way: the cased letters (ASCII, Greek, Cyrillic, Roman
// numerals, full-width Latin), every symbol beside them, and the characters
// with two codes. Left out are the scripts without case in Unicode, whose
// names only ever meet their own second codes: ideographs, kana and the
// private use area (about 9,000 of the table's characters; each file costs
// Wine milliseconds).
TEST(FileModelPlatform, EveryCharacterThatCanHaveCaseIsOneFileExactlyWhenTheKeysAgree) {
    auto caseless = [](char16_t c) {
        return (c >= 0x3040 && c <= 0x30FF) || (c >= 0x4E00 && c <= 0x9FFF) ||
               (c >= 0xE000 && c <= 0xFAFF) || (c >= 0xFF61 && c <= 0xFF9F);
    };
    std::vector<std::string> characters;
    for (int b = 1; b < 0x100; ++b) {
        const std::string one(1, static_cast<char>(b));
        if (!sitecheck::FirstUndecodableByte(one) && !caseless(cp932::Cp932ToUtf16(one)[0])) {
            characters.push_back(one);
        }
    }
    for (int lead = 0x81; lead < 0x100; ++lead) {
        for (int trail = 0x40; trail < 0x100; ++trail) {
            const std::string pair{static_cast<char>(lead), static_cast<char>(trail)};
            const std::u16string text = cp932::Cp932ToUtf16(pair);
            if (!sitecheck::FirstUndecodableByte(pair) && text.size() == 1 && !caseless(text[0])) {
                characters.push_back(pair);
            }
        }
    }
    const ScratchFolder scratch("cases");
    const std::string folder = WithSeparator(scratch.Path());
    std::map<std::u16string, ULONGLONG> fileOfKey;
    std::map<ULONGLONG, std::string> firstOfFile;
    int created = 0, folded = 0, sameCharacter = 0;
    std::string differences;
    for (const std::string& character : characters) {
        const std::string name = "_" + character + "_";
        if (RefusedCharacter(name)) continue;
        HANDLE file = CreateFileA((folder + name).c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        const DWORD error = GetLastError();
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << sitecheck::Cp932ToUtf8(name) << ": " << error;
        BY_HANDLE_FILE_INFORMATION information;
        const BOOL known = GetFileInformationByHandle(file, &information);
        CloseHandle(file);
        ASSERT_TRUE(known);
        const ULONGLONG index =
            (static_cast<ULONGLONG>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
        const bool existed = error == ERROR_ALREADY_EXISTS;
        const std::u16string key = FileSystemKey(name);
        const auto modelled = fileOfKey.find(key);
        if (!existed) {
            ++created;
            firstOfFile[index] = name;
            if (modelled != fileOfKey.end()) {
                differences += sitecheck::Cp932ToUtf8(name) + ": two files, one key\n";
            }
            fileOfKey[key] = index;
            continue;
        }
        const std::string& earlier = firstOfFile[index];
        if (modelled == fileOfKey.end() || modelled->second != index) {
            differences += sitecheck::Cp932ToUtf8(name) + ": the file of " +
                           sitecheck::Cp932ToUtf8(earlier) + ", another key\n";
        }
        if (cp932::Cp932ToUtf16(earlier) == cp932::Cp932ToUtf16(name)) {
            ++sameCharacter;
        } else {
            ++folded;
        }
    }
    std::printf(
        "%zu characters of code page 932 in one folder: %d files; %d names on an earlier "
        "file by case, %d by another code of the same character\n",
        characters.size(), created, folded, sameCharacter);
    EXPECT_EQ(differences, "");
    EXPECT_GT(folded, 0) << "no case folded at all: the folder is no case-insensitive one";
}

// Every single-byte character 0x01-0x7F inside a name: CreateFileA refuses
// it exactly when the model does, but for the one difference listed.
TEST(FileModelPlatform, EverySingleByteCharacterIsRefusedExactlyWhenTheModelRefusesIt) {
    // Wine creates "a:b" (it keeps no file streams). Windows takes it on NTFS
    // as the stream "b" of a file "a" and refuses it on FAT; either way no
    // file of that name lands in the folder, and the model refuses it as FAT
    // does.
    const int kWineTakesTheModelRefuses = ':';
    const ScratchFolder scratch("refused");
    const std::string folder = WithSeparator(scratch.Path());
    std::string refused, differences;
    bool listedDifferenceShows = false;
    for (int b = 1; b < 0x80; ++b) {
        const std::string name = std::string("a") + static_cast<char>(b) + "b";
        const std::string path = folder + name;
        const DWORD error = TryCreate(path, CREATE_NEW);
        if (error == ERROR_SUCCESS) {
            DeleteFileA(path.c_str());
        } else {
            char text[16];
            std::snprintf(text, sizeof text, " %02X(%lu)", b, error);
            refused += text;
        }
        if ((error != ERROR_SUCCESS) != RefusedCharacter(name).has_value()) {
            if (b == kWineTakesTheModelRefuses) {
                listedDifferenceShows = true;
                continue;
            }
            char text[64];
            std::snprintf(text, sizeof text, "byte %02X: platform error %lu\n", b, error);
            differences += text;
        }
    }
    std::printf("refused bytes (error):%s\n", refused.c_str());
    EXPECT_EQ(differences, "");
    EXPECT_TRUE(listedDifferenceShows) << "the listed difference no longer shows";
}

// What a device name does to the run's target: CON cannot be opened as the
// run opens its target (the loop ends); the others open, and the bytes go to
// the device, not into the folder.
TEST(FileModelPlatform, ADeviceNameLeavesNoFileInTheFolder) {
    const ScratchFolder scratch("device");
    const std::string folder = WithSeparator(scratch.Path());
    for (const char* name : {"con.txt", "NUL", "aux.cab"}) {
        SCOPED_TRACE(name);
        const ModelledFile entry = ModelFiles({std::string("https://h/p/") + name}, folder).front();
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
