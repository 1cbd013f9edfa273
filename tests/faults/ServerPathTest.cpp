// What a file location from the server can become on disk: only a name
// inside the work folder. These are the claims made in docs/SECURITY.md.
#include <gtest/gtest.h>

#include <string>

#include "download/FileName.h"

namespace {

std::string NameOf(const std::string& url) {
    char name[512] = "\x01unchanged";
    return FileNameOfPath(url.c_str(), name, sizeof name) ? name : "<refused>";
}

TEST(ServerPath, ReducedToTheLastComponent) {
    const std::string h = "https://dl.example/", l255(255, 'a'), l256(256, 'a');
    const std::pair<std::string, std::string> cases[] = {
        {h + "p/setup.exe", "setup.exe"},
        // Climbing out: the dots are the last component or stay in front of it.
        {h + "p/../../../Windows/win.ini", "win.ini"}, {h + "p/..\\..\\evil.exe", "evil.exe"},
        {h + "p/..", ".."}, {h + "p/.", "."},
        {h + "p/%2e%2e%5cevil.exe", "%2e%2e%5cevil.exe"},  // no URL decoding
        // A drive or absolute path after the last '/' keeps only its last part.
        {h + "p/C:\\Windows\\System32\\evil.dll", "evil.dll"}, {h + "p/C:evil.exe", "C:evil.exe"},
        {"C:\\Windows\\evil.exe", "evil.exe"}, {"C:evil.exe", "evil.exe"},
        {"\\\\server\\share\\evil.exe", "evil.exe"},
        {h + "p/", ""}, {h + "p\\", ""}, {"", ""},
        // Query and fragment are part of the name (nothing strips them).
        {h + "p/setup.exe?x=1/y", "y"}, {h + "p/setup.exe?x=1", "setup.exe?x=1"},
        {h + "p/\x83\x5C.exe", "\x83\x5C.exe"},  // a trail byte 0x5C is no separator
        // 255 bytes per part are kept, 256 empty every part.
        {h + l255, l255}, {h + l256, ""}, {h + "p/" + l255 + ".exe", l255 + ".exe"},
        {h + "p/a." + l256, ""}, {"/" + std::string(254, 'd') + "/x.exe", ""},
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
