// Harness guards: if these fail, no GUI or network test result can be trusted.
#include <gtest/gtest.h>
#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <string>
#include <thread>

#include "tests/support/Downloads.h"
#include "tests/support/Files.h"
#include "tests/support/Links.h"
#include "tests/support/MessageBoxWatcher.h"
#include "tests/support/TestServer.h"
#include "tests/support/Wait.h"

using namespace velta_test;

TEST(MessageBoxWatcherTest, SeesAndAnswersBoxesShownOnTheMainThread) {
    struct Case {
        UINT style;
        int answer;
        std::vector<int> buttons;
        UINT icon;
    } cases[] = {
        {MB_OK | MB_ICONERROR, IDOK, {IDOK}, MB_ICONERROR},
        {MB_OKCANCEL | MB_ICONINFORMATION, IDCANCEL, {IDOK, IDCANCEL}, MB_ICONINFORMATION},
        {MB_YESNO | MB_ICONQUESTION, IDNO, {IDYES, IDNO}, MB_ICONQUESTION},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.style);
        MessageBoxWatcher watcher(c.answer);
        EXPECT_EQ(c.answer,
                  MessageBoxA(nullptr, "接続できませんでした。\r\n表示", "VELTA 見出し", c.style));
        ASSERT_EQ(1u, watcher.Count());
        SeenMessageBox box = watcher.Box(0);
        EXPECT_EQ("VELTA \x8C\xA9\x8F\x6F\x82\xB5", box.caption);
        EXPECT_EQ("接続できませんでした。\r\n\x95\x5C示", box.text);
        EXPECT_EQ(c.buttons, box.buttons);
        EXPECT_EQ(c.icon, box.icon);
        EXPECT_EQ(nullptr, box.owner);
    }
}

TEST(MessageBoxWatcherTest, RecordsOwnerAndAnswersInTurn) {
    HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10,
                                 200, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, owner);
    MessageBoxWatcher watcher;
    watcher.SetAnswers({IDCANCEL, IDRETRY});
    EXPECT_EQ(IDCANCEL, MessageBoxA(owner, "one", "c", MB_OKCANCEL));
    EXPECT_EQ(IDRETRY, MessageBoxA(owner, "two", "c", MB_RETRYCANCEL));
    EXPECT_EQ(IDOK,
              MessageBoxA(nullptr, "three", "c", MB_OKCANCEL));  // list used up: default answer
    ASSERT_EQ(3u, watcher.Count());
    EXPECT_EQ(owner, watcher.Box(0).owner);
    EXPECT_TRUE(watcher.Box(0).ownerWasDisabled);
    EXPECT_EQ("two", watcher.Box(1).text);
    EXPECT_EQ(nullptr, watcher.Box(2).owner);
    EXPECT_TRUE(IsWindowEnabled(owner));
    DestroyWindow(owner);
}

// A folder named with a character whose second byte is 0x5C (\x83\x5C)
// ends in that byte; taken for a separator, the folder was never entered
// and its scratch copies piled up in the prefix's Temp folder.
TEST(FilesTest, RemoveTreeTakesAFolderWhoseNameEndsInTheTrailByte5C) {
    ScratchFolder scratch("trail");
    for (const std::string ending : {"", "\\"}) {
        SCOPED_TRACE(ending.empty() ? "without a final backslash" : "with a final backslash");
        const std::string folder = scratch.Path() + "\x83\x5C";
        ASSERT_TRUE(MakeDirectory(folder + "\\"));
        ASSERT_TRUE(WriteWholeFile(folder + "\\inner.bin", "x"));
        RemoveTree(folder + ending);
        EXPECT_FALSE(PathExists(folder));
    }
}

namespace {

INT_PTR CALLBACK PlainDialogProc(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG; }

// An ordinary dialog with a static of id -1 (0xFFFF), as resource scripts
// write IDC_STATIC: the watcher must not take it for a message box.
HWND CreatePlainDialog() {
    alignas(4) static WORD tmpl[64] = {};
    WORD* p = tmpl;
    auto* dt = reinterpret_cast<DLGTEMPLATE*>(p);
    dt->style = WS_POPUP | WS_CAPTION | WS_VISIBLE | DS_MODALFRAME;
    dt->cdit = 1;
    dt->cx = 120;
    dt->cy = 40;
    p = reinterpret_cast<WORD*>(dt + 1);
    *p++ = 0;  // menu
    *p++ = 0;  // class
    *p++ = 0;  // title
    p = reinterpret_cast<WORD*>((reinterpret_cast<ULONG_PTR>(p) + 3) & ~ULONG_PTR(3));
    auto* it = reinterpret_cast<DLGITEMTEMPLATE*>(p);
    it->style = WS_CHILD | WS_VISIBLE;
    it->x = 5;
    it->y = 5;
    it->cx = 100;
    it->cy = 10;
    it->id = 0xFFFF;
    p = reinterpret_cast<WORD*>(it + 1);
    *p++ = 0xFFFF;
    *p++ = 0x0082;  // static
    *p++ = L'x';
    *p++ = 0;
    *p++ = 0;  // creation data
    return CreateDialogIndirectParamA(nullptr, dt, nullptr, PlainDialogProc, 0);
}

}  // namespace

TEST(MessageBoxWatcherTest, IgnoresOrdinaryDialogs) {
    HWND dialog = CreatePlainDialog();
    ASSERT_NE(nullptr, dialog);
    EXPECT_FALSE(IsMessageBoxWindow(dialog));
    MessageBoxWatcher watcher;
    // The watcher scans all windows on each pass, so by the time it has
    // found the box it has looked at the dialog too.
    MessageBoxA(nullptr, "real", "box", MB_OK);
    ASSERT_EQ(1u, watcher.Count());
    EXPECT_EQ("real", watcher.Box(0).text);
    EXPECT_TRUE(IsWindow(dialog));
    DestroyWindow(dialog);
}

TEST(MessageBoxWatcherTest, BoxLeftOpenCanBeInspectedThenAnswered) {
    MessageBoxWatcher watcher(0);
    int result = 0;
    // The box needs a thread that stays in its loop while this one checks it.
    std::thread shower([&] { result = MessageBoxA(nullptr, "wait", "open", MB_YESNO); });
    ASSERT_TRUE(watcher.WaitForCount(1));
    SeenMessageBox box = watcher.Box(0);
    EXPECT_TRUE(IsWindowVisible(box.hwnd));
    EXPECT_EQ(0, box.answeredWith);
    EXPECT_TRUE(watcher.Answer(0, IDYES));
    shower.join();
    EXPECT_EQ(IDYES, result);
    EXPECT_FALSE(watcher.Answer(0, IDNO));
}

namespace {
std::string Get(const std::string& target) {
    RawExchangeResult r =
        RawExchange(PortNumber(Port::Http),
                    "GET " + target + " HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n");
    EXPECT_TRUE(r.ok) << r.error;
    return r.received;
}
}  // namespace

namespace {
std::string BodyOf(const std::string& response) {
    const size_t end = response.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : response.substr(end + 4);
}
}  // namespace

TEST(TestServerTest, LengthPoliciesAndPatternBodies) {
    struct Case {
        const char* name;
        Length length;
        const char* text;
        std::optional<int64_t> pattern;
        const char* wantHeader;  // expected framing header line, nullptr: no Content-Length
        bool wantClose;
    } cases[] = {
        {"auto", Length::Auto, "", std::nullopt, "Content-Length: 5\r\n", false},
        {"none", Length::None, "", std::nullopt, nullptr, true},
        {"literal", Length::Literal, "abc", std::nullopt, "Content-Length: abc\r\n", false},
        {"pattern", Length::Auto, "", 300000, "Content-Length: 300000\r\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Route r;
        r.target = std::string("/len/") + c.name;
        r.length = c.length;
        r.lengthText = c.text;
        r.body = "hello";
        r.pattern = c.pattern;
        ASSERT_TRUE(SetRoute(r)) << LastError();
        std::string got = Get(r.target);
        std::string head = got.substr(0, got.find("\r\n\r\n") + 2);
        if (c.wantHeader) {
            EXPECT_NE(std::string::npos, head.find(c.wantHeader)) << head;
        } else {
            EXPECT_EQ(std::string::npos, head.find("Content-Length")) << head;
        }
        EXPECT_EQ(c.wantClose, head.find("Connection: close\r\n") != std::string::npos) << head;
        std::string body = BodyOf(got);
        if (c.pattern) {
            ASSERT_EQ(static_cast<size_t>(*c.pattern), body.size());
            EXPECT_EQ(std::nullopt, FirstPatternMismatch(body.data(), body.size()));
        } else {
            EXPECT_EQ("hello", body);
        }
    }
}

TEST(TestServerTest, ChunkedValidAndBrokenFraming) {
    ASSERT_TRUE(Reset()) << LastError();
    Route r;
    r.target = "/chunked";
    r.chunked = Chunked::Valid;
    r.chunkSize = 4;
    r.body = "0123456789";
    ASSERT_TRUE(SetRoute(r)) << LastError();
    EXPECT_EQ("4\r\n0123\r\n4\r\n4567\r\n2\r\n89\r\n0\r\n\r\n", BodyOf(Get("/chunked")));
    r.chunked = Chunked::Broken;
    ASSERT_TRUE(SetRoute(r)) << LastError();
    EXPECT_EQ("4\r\n0123\r\nzz\r\nthis is not a chunk\r\n", BodyOf(Get("/chunked")));
}

TEST(TestServerTest, ResetAndCloseCutTheBodyAtTheGivenByte) {
    ASSERT_TRUE(Reset()) << LastError();
    Route r;
    r.target = "/cut";
    r.pattern = 1 << 20;
    r.resetAfter = 5000;
    ASSERT_TRUE(SetRoute(r)) << LastError();
    const std::string request = "GET /cut HTTP/1.1\r\nHost: localhost\r\n\r\n";
    RawExchangeResult reset = RawExchange(PortNumber(Port::Http), request);
    // Under Wine a reset reaches recv as WSAECONNRESET or as an orderly end,
    // and bytes still unread when it arrives may be dropped: a reset can cut
    // a body short but never lengthen it or change its content.
    if (!reset.ok) {
        EXPECT_EQ("recv failed, WSA error 10054", reset.error);
    }
    std::string cut = BodyOf(reset.received);
    EXPECT_LE(cut.size(), 5000u);
    EXPECT_EQ(std::nullopt, FirstPatternMismatch(cut.data(), cut.size()));

    r.resetAfter.reset();
    r.closeAfter = 7000;
    ASSERT_TRUE(SetRoute(r)) << LastError();
    RawExchangeResult closed = RawExchange(PortNumber(Port::Http), request);
    EXPECT_TRUE(closed.ok) << closed.error;
    std::string body = BodyOf(closed.received);
    EXPECT_EQ(7000u, body.size());
    EXPECT_EQ(std::nullopt, FirstPatternMismatch(body.data(), body.size()));
}

TEST(TestServerTest, StalledAnswerIsReleasedByReset) {
    ASSERT_TRUE(Reset()) << LastError();
    Route r;
    r.target = "/stall";
    r.pattern = 1000;
    r.stallAfter = 10;
    ASSERT_TRUE(SetRoute(r)) << LastError();
    RawExchangeResult result;
    std::thread client([&] {
        result = RawExchange(PortNumber(Port::Http),
                             "GET /stall HTTP/1.1\r\nHost: localhost\r\n\r\n", 60000);
    });
    const bool asked = WaitUntil([] { return RequestCount("/stall") >= 1; });
    ASSERT_TRUE(Reset()) << LastError();
    client.join();
    ASSERT_TRUE(asked);
    EXPECT_TRUE(result.ok) << result.error;
    const std::string body = BodyOf(result.received);
    EXPECT_EQ(10u, body.size());
    EXPECT_EQ(std::nullopt, FirstPatternMismatch(body.data(), body.size()));
}

TEST(TestServerTest, RouteAnswersExactlyAndRequestsAreRecorded) {
    ASSERT_TRUE(Reset()) << LastError();
    Route r;
    r.target = "/exact?x=1&y=%41";
    r.status = 203;
    r.reason = "Fine Enough";
    r.headers = {{"Last-Modified", "Wed, 21 Oct 2015 07:28:00 GMT"}};
    r.body = std::string("line\r\n\0\x83\x5C\xFF", 10);
    ASSERT_TRUE(SetRoute(r)) << LastError();
    EXPECT_EQ(std::string("HTTP/1.1 203 Fine Enough\r\nContent-Length: 10\r\n"
                          "Last-Modified: Wed, 21 Oct 2015 07:28:00 GMT\r\n\r\n") +
                  r.body,
              Get("/exact?x=1&y=%41"));
    EXPECT_EQ(0u, Get("/exact?x=1").find("HTTP/1.1 404 "));  // another query is another route
    auto seen = RecordedRequests("/exact?x=1&y=%41");
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ("GET /exact?x=1&y=%41 HTTP/1.1", seen[0].RequestLine());
    EXPECT_EQ(std::optional<std::string>("close"), seen[0].Header("connection"));
    EXPECT_EQ(std::nullopt, seen[0].Header("X-Absent"));
    EXPECT_EQ(2, RequestCount());
    ASSERT_TRUE(Reset()) << LastError();
    EXPECT_EQ(0, RequestCount());
}

TEST(PatternTest, MismatchIsLocated) {
    std::string a(600, '\0');
    for (size_t i = 0; i < a.size(); ++i) a[i] = static_cast<char>(i % 251);
    EXPECT_EQ(std::nullopt, FirstPatternMismatch(a.data() + 100, 500, 100));
    a[517] ^= 1;
    EXPECT_EQ(std::optional<uint64_t>(517), FirstPatternMismatch(a.data(), a.size()));
}

// Every test's clean-up goes through RemoveTree: it must never reach what a
// directory link points to, an empty target included.
TEST(FilesTest, RemoveTreeNeverReachesThroughADirectoryLink) {
    ScratchFolder scratch("links");
    const std::string outside = scratch.Path() + "outside\\", empty = scratch.Path() + "empty";
    const std::string tree = scratch.Path() + "tree\\";
    ASSERT_TRUE(MakeDirectory(outside) && MakeDirectory(empty) && MakeDirectory(tree));
    ASSERT_TRUE(WriteWholeFile(outside + "keep.bin", "keep", FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(WriteWholeFile(tree + "own.bin", "own", FILE_ATTRIBUTE_HIDDEN));
    struct LinkCleanUp {
        std::string folder;
        ~LinkCleanUp() { RemoveUnixLinks(folder, {"full", "empty"}); }
    } cleanUp{tree};
    std::string how;
    ASSERT_TRUE(MakeDirectoryLink(tree + "full", scratch.Path() + "outside", how));
    ASSERT_TRUE(MakeDirectoryLink(tree + "empty", empty, how));
    ASSERT_EQ("keep", ReadWholeFile(tree + "full\\keep.bin"))
        << how << " does not lead to the target";

    RemoveTree(tree);

    EXPECT_EQ("keep", ReadWholeFile(outside + "keep.bin"));
    EXPECT_TRUE(DirectoryExists(empty));
    EXPECT_FALSE(PathExists(tree + "own.bin"));
}

namespace {

// The value as the registry holds it, or "(none)".
std::string DownloadsValueOf(const char* key) {
    char data[1024] = {};
    DWORD size = sizeof data - 1;
    if (RegGetValueA(HKEY_CURRENT_USER, key, "{374DE290-123F-4565-9164-39C4925E467B}",
                     RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, data,
                     &size) != ERROR_SUCCESS) {
        return "(none)";
    }
    return data;
}

std::string ResolvedDownloads() {
    PWSTR wide = nullptr;
    if (FAILED(SHGetKnownFolderPath(FOLDERID_Downloads, 0, nullptr, &wide))) return "";
    char narrow[1024] = {};
    WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, sizeof narrow, nullptr, nullptr);
    CoTaskMemFree(wide);
    return narrow;
}

}  // namespace

// Every test that moves the Downloads folder must leave the prefix as it
// found it, the shell's cached copy of the folder included; otherwise later
// tests and programs of the same prefix see a sandbox that no longer exists.
TEST(DownloadsFolderOverrideTest, MovesTheKnownFolderAndPutsBothShellValuesBack) {
    const char* keys[] = {
        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
    };
    // Resolving first lets the shell refresh its cache before it is compared.
    const std::string original = ResolvedDownloads();
    const std::string before[] = {DownloadsValueOf(keys[0]), DownloadsValueOf(keys[1])};
    {
        ScratchFolder scratch("downloads");
        DownloadsFolderOverride moved(scratch.Path());
        ASSERT_TRUE(moved.Applied());
        std::string wanted = scratch.Path();
        wanted.pop_back();
        EXPECT_EQ(wanted, ResolvedDownloads());
    }
    EXPECT_EQ(before[0], DownloadsValueOf(keys[0]));
    EXPECT_EQ(before[1], DownloadsValueOf(keys[1]));
    EXPECT_EQ(original, ResolvedDownloads());
}

TEST(WineEnvironmentTest, CrashingProgramEndsWithoutWaitingForAPerson) {
    // Left to winedbg's dialog, a crash in any test program would hold the
    // run until ctest's time-out; the environment turns that dialog off.
    std::string command = "\"" + ProgramFolder() + "CrashNow.exe\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &process))
        << GetLastError();
    CloseHandle(process.hThread);
    const DWORD waited = WaitForSingleObject(process.hProcess, 60000);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    if (waited != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hProcess);
    EXPECT_EQ(waited, static_cast<DWORD>(WAIT_OBJECT_0)) << "the crashed program is still waiting";
    EXPECT_NE(code, 0u);
}
