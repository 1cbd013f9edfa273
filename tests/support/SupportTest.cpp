// Harness guards: if these fail, no GUI or network test result can be trusted.
#include <gtest/gtest.h>

#include "tests/support/MessageBoxWatcher.h"
#include "tests/support/TestServer.h"

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
        EXPECT_EQ(c.answer, MessageBoxA(nullptr, "接続できませんでした。\r\n表示", "VELTA 見出し", c.style));
        ASSERT_EQ(1u, watcher.Count());
        SeenMessageBox box = watcher.Box(0);
        EXPECT_EQ("VELTA \x8C\xA9\x8F\x6F\x82\xB5", box.caption);
        EXPECT_EQ("接続できませんでした。\r\n\x95\x5C示", box.text);
        EXPECT_EQ(c.buttons, box.buttons);
        EXPECT_EQ(c.icon, box.icon);
        EXPECT_EQ(nullptr, box.owner);
    }
}

namespace {
std::string Get(const std::string& target) {
    RawExchangeResult r = RawExchange(PortNumber(Port::Http),
                                      "GET " + target + " HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n");
    EXPECT_TRUE(r.ok) << r.error;
    return r.received;
}
}  // namespace

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
                          "Last-Modified: Wed, 21 Oct 2015 07:28:00 GMT\r\n\r\n") + r.body,
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
