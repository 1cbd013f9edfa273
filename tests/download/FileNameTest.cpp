// File names from URLs and paths: the bounded splitter's limits, separators,
// double-byte characters and the caller's capacity; what a file location from
// the server can become on disk (only a name inside the work folder, the
// claims of docs/SECURITY.md); the joined local path; same-name matching.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

#include "download/FileName.h"

namespace {

std::string NameOf(const std::string& path, size_t capacity = 512) {
    char buffer[1024];
    memset(buffer, '#', sizeof buffer);
    if (!FileNameOfPath(path.c_str(), buffer, capacity)) return "<refused>";
    return buffer;
}

TEST(FileNameOfPath, NameIsTheLastComponentWithoutDecoding) {
    struct Case {
        std::string path;
        std::string name;
    };
    const Case cases[] = {
        {"https://localhost:19001/VELTA/Setup/setup.exe", "setup.exe"},
        {"https://localhost/dir/", ""},
        {"https://localhost/dir/a%20b.cab", "a%20b.cab"},  // no URL decoding
        {"https://localhost/dir/archive.tar.gz", "archive.tar.gz"},
        {"https://localhost/dir.d/noext", "noext"},
        {"https://localhost/dir/.hidden", ".hidden"},
        {"https://localhost/dir/setup.exe?x=1/y", "y"},
        {"C:\\Users\\a\\Downloads\\VELTADL0\\data1.cab", "data1.cab"},
        {"C:data.cab", "data.cab"},
        {"dir/sub\\mixed.bin", "mixed.bin"},
        {"plain", "plain"},
        {"", ""},
        {"/", ""},
        // 0x83 0x5C is one character; its trail byte is no separator.
        {"dir/\x83\x5C"
         "file.exe",
         "\x83\x5C"
         "file.exe"},
        {"dir\\\x83\x5C\\x.exe", "x.exe"},
        // A lead byte without a trail byte is a single byte.
        {"dir/a\x83", "a\x83"},
        {"dir/\x83/b", "b"},
    };
    for (const Case& c : cases) EXPECT_EQ(NameOf(c.path), c.name) << c.path;
}

TEST(FileNameOfPath, PartsOver255BytesEmptyTheName) {
    const std::string host = "http://h/";  // 9 bytes of directory part
    struct Case {
        const char* what;
        std::string path;
        std::string name;
    };
    const Case cases[] = {
        {"directory 255", host + std::string(245, 'd') + "/f.exe", "f.exe"},
        {"directory 256", host + std::string(246, 'd') + "/f.exe", ""},
        {"base 255", host + std::string(255, 'b') + ".exe", std::string(255, 'b') + ".exe"},
        {"base 256", host + std::string(256, 'b') + ".exe", ""},
        {"extension 255", host + "s." + std::string(254, 'e'), "s." + std::string(254, 'e')},
        {"extension 256", host + "s." + std::string(255, 'e'), ""},
        {"no extension 255", host + std::string(255, 'n'), std::string(255, 'n')},
        {"no extension 256", host + std::string(256, 'n'), ""},
        // The drive is a part of its own; it does not count against the
        // directory's 255 bytes.
        {"drive + directory 255", "C:\\" + std::string(253, 'd') + "\\f", "f"},
        {"drive + directory 256", "C:\\" + std::string(254, 'd') + "\\f", ""},
        {"base and extension 255 each", host + std::string(255, 'b') + "." + std::string(254, 'e'),
         std::string(255, 'b') + "." + std::string(254, 'e')},
    };
    for (const Case& c : cases) EXPECT_EQ(NameOf(c.path), c.name) << c.what;
}

TEST(FileNameOfPath, CapacityIsTheNameAndItsTerminator) {
    const std::string longName = std::string(255, 'b') + "." + std::string(254, 'e');  // 510
    struct Case {
        std::string path;
        size_t capacity;
        bool fits;
    };
    const Case cases[] = {
        {"a/abc", 4, true}, {"a/abc", 3, false},          {"a/", 1, true},
        {"a/", 0, false},   {"a/" + longName, 511, true}, {"a/" + longName, 510, false},
    };
    for (const Case& c : cases) {
        char buffer[600];
        memset(buffer, '#', sizeof buffer);
        buffer[sizeof buffer - 1] = '\0';
        const bool fits = FileNameOfPath(c.path.c_str(), buffer, c.capacity);
        EXPECT_EQ(fits, c.fits) << c.path.size() << " / " << c.capacity;
        if (fits) {
            EXPECT_LT(strlen(buffer), c.capacity);
        } else {
            EXPECT_EQ(buffer[0], '#') << "buffer left unchanged";
        }
    }
    EXPECT_FALSE(FileNameOfPath("a/b", nullptr, 10));
}

TEST(JoinLocalPath, RefusesWhatWouldNotFitAndLeavesTheBuffer) {
    const std::string folder = "C:\\w\\VELTADL0\\";  // 14 bytes
    struct Case {
        std::string name;
        size_t capacity;
        bool fits;
    };
    const Case cases[] = {
        {"setup.exe", 24, true},  // 14 + 9 + terminator
        {"setup.exe", 23, false},
        {"", 15, true},
        {"", 14, false},
        {std::string(497, 'n'), 512, true},
        {std::string(498, 'n'), 512, false},
    };
    for (const Case& c : cases) {
        char buffer[600];
        memset(buffer, '#', sizeof buffer);
        const bool fits = JoinLocalPath(folder.c_str(), c.name.c_str(), buffer, c.capacity);
        EXPECT_EQ(fits, c.fits) << c.name.size() << " / " << c.capacity;
        if (fits) {
            EXPECT_EQ(std::string(buffer), folder + c.name);
        } else {
            EXPECT_EQ(buffer[0], '#') << "buffer left unchanged";
        }
    }
}

// A file location from the server is reduced to a name inside the work folder.
TEST(ServerPath, ReducedToTheLastComponent) {
    const std::string h = "https://dl.example/", l255(255, 'a'), l256(256, 'a');
    const std::pair<std::string, std::string> cases[] = {
        {h + "p/setup.exe", "setup.exe"},
        // Climbing out: the dots are the last component or stay in front of it.
        {h + "p/../../../Windows/win.ini", "win.ini"},
        {h + "p/..\\..\\evil.exe", "evil.exe"},
        {h + "p/..", ".."},
        {h + "p/.", "."},
        {h + "p/%2e%2e%5cevil.exe", "%2e%2e%5cevil.exe"},  // no URL decoding
        // A drive or absolute path after the last '/' keeps only its last part.
        {h + "p/C:\\Windows\\System32\\evil.dll", "evil.dll"},
        {h + "p/C:evil.exe", "C:evil.exe"},
        {"C:\\Windows\\evil.exe", "evil.exe"},
        {"C:evil.exe", "evil.exe"},
        {"\\\\server\\share\\evil.exe", "evil.exe"},
        {h + "p/", ""},
        {h + "p\\", ""},
        {"", ""},
        // Query and fragment are part of the name (nothing strips them).
        {h + "p/setup.exe?x=1/y", "y"},
        {h + "p/setup.exe?x=1", "setup.exe?x=1"},
        {h + "p/\x83\x5C.exe", "\x83\x5C.exe"},  // a trail byte 0x5C is no separator
        // 255 bytes per part are kept, 256 empty every part.
        {h + l255, l255},
        {h + l256, ""},
        {h + "p/" + l255 + ".exe", l255 + ".exe"},
        {h + "p/a." + l256, ""},
        {"/" + std::string(254, 'd') + "/x.exe", ""},
    };
    for (const auto& [url, name] : cases) EXPECT_EQ(NameOf(url), name) << url.substr(0, 80);
}

// A name that does not fit the caller's buffer is refused and the buffer
// kept, so the run never joins a cut name to the work folder.
TEST(ServerPath, NameLongerThanTheBufferIsRefused) {
    char small[8] = "keep", joined[16] = "keep";
    EXPECT_FALSE(FileNameOfPath("https://dl.example/p/12345678.exe", small, sizeof small));
    EXPECT_STREQ(small, "keep");
    EXPECT_TRUE(FileNameOfPath("https://dl.example/p/1234567", small, sizeof small));
    EXPECT_STREQ(small, "1234567");
    EXPECT_FALSE(JoinLocalPath("C:\\work\\", "12345678", joined, sizeof joined));
    EXPECT_STREQ(joined, "keep");
    EXPECT_TRUE(JoinLocalPath("C:\\work\\", "1234567", joined, sizeof joined));
    EXPECT_STREQ(joined, "C:\\work\\1234567");
}

}  // namespace
