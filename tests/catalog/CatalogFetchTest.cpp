// The catalog and file-list fetches through the real request class against
// the loopback test server; their real message boxes are answered by the watcher.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "catalog/CatalogFetch.h"
#include "catalog/ProcessState.h"
#include "tests/support/MessageBoxWatcher.h"
#include "tests/support/Routes.h"
#include "tests/support/TestServer.h"
#include "tests/support/WindowHelpers.h"

namespace {

using namespace velta_test;

const std::string kCatalogPath = "/qrnSupport/download/VELTA/veltadownloadlist.txt";
const std::string kTestCatalogPath = "/qrnSupport/download/VELTA/veltadownloadlist.test.txt";
constexpr char kInternetHint[] = "インターネットが正しく接続されてるか確認してください。";

// Caption, text, an OK button only, no icon and no owner window.
void ExpectPlainBox(MessageBoxWatcher& boxes, const std::string& caption, const std::string& text) {
    ASSERT_EQ(1u, boxes.Count());
    const SeenMessageBox box = boxes.Box(0);
    EXPECT_EQ(caption, box.caption);
    EXPECT_EQ(text, box.text);
    EXPECT_EQ(std::vector<int>{IDOK}, box.buttons);
    EXPECT_EQ(0u, box.icon);
    EXPECT_EQ(nullptr, box.owner);
}

// The icon a box shows in the icon static (0x0440) of the system template:
// null for a box without icon. Read with a time limit, so a box whose thread
// is blocked fails the check instead of hanging the test.
DWORD_PTR BoxIcon(HWND box) {
    DWORD_PTR icon = 0;
    if (!SendMessageTimeoutW(GetDlgItem(box, 0x0440), STM_GETICON, 0, 0, SMTO_NORMAL, 30000,
                             &icon)) {
        return ~DWORD_PTR{0};
    }
    return icon;
}

std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (const CatalogEntry& entry : ProductCatalog) names.push_back(entry.name);
    return names;
}

class CatalogFetchTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Reset()) << LastError();
        g_testMode = 0;
        ProductCatalog.clear();
    }
    void TearDown() override { g_testMode = 0; }
    // A good catalog first: a later fetch must not leave it behind.
    void FetchEarlier() {
        ASSERT_TRUE(Serve(kCatalogPath, "1,Earlier,https://h/e/\r\n"));
        ASSERT_EQ(0, FetchCatalog());
        ASSERT_EQ(1u, ProductCatalog.size());
    }
};

TEST_F(CatalogFetchTest, PathFollowsTheTestMode) {
    for (const int testMode : {0, 1}) {
        ASSERT_TRUE(Reset() && Serve(kCatalogPath, "1,Normal,https://h/n/\r\n") &&
                    Serve(kTestCatalogPath, "2,Tested,https://h/t/\r\n"));
        MessageBoxWatcher boxes;
        g_testMode = testMode;
        EXPECT_EQ(0, FetchCatalog());
        const std::string& path = testMode ? kTestCatalogPath : kCatalogPath;
        const auto seen = RecordedRequests(path);
        ASSERT_EQ(1u, seen.size());
        EXPECT_EQ("GET " + path + " HTTP/1.1", seen[0].RequestLine());
        EXPECT_EQ(0, RequestCount(testMode ? kCatalogPath : kTestCatalogPath));
        EXPECT_EQ(PortNumber(Port::Https), seen[0].port);
        EXPECT_EQ(std::vector<std::string>{testMode ? "Tested" : "Normal"}, Names());
        EXPECT_EQ(0u, boxes.Count());
    }
}

TEST_F(CatalogFetchTest, OnlyALeadingBangIsTheUpdateNotice) {
    const struct {
        std::string body;
        int result;
        std::vector<std::string> names;
    } cases[] = {
        {"!", -1, {}},
        {"!1,A,B,C\r\n2,D", -1, {}},
        {" !,A", 0, {"A"}},
        {"\r\n!,B", 0, {"B"}},
        {"", 0, {}},
        {std::string("1,A,x\n\0"
                     "2,B,y\n",
                     13),
         0,
         {"A"}},
        {std::string("\0!", 2), 0, {}},
        {"1,\x83\x5C\x83\x7C,https://h/\x95\x5C/\r\n", 0, {"\x83\x5C\x83\x7C"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        FetchEarlier();
        ASSERT_TRUE(Serve(kCatalogPath, c.body));
        MessageBoxWatcher boxes;
        EXPECT_EQ(c.result, FetchCatalog());
        EXPECT_EQ(c.names, Names());
        if (c.result == -1) {
            ExpectPlainBox(
                boxes, "VELTA Download",
                "現バージョンVELTA DLはご利用頂けません。VELTAサポートページより新しいVELTA "
                "DLをダウンロードしてご利用ください。");
        } else {
            EXPECT_EQ(0u, boxes.Count());
        }
    }
}

// Every failure gets its message within the catalog's 5,000 ms wait and the
// short grace the request gives a worker to stop; a worker still held by the
// server (which Wine does not interrupt) is not waited for. The time from
// the call to the box is printed.
TEST_F(CatalogFetchTest, FailureShowsItsReasonAndLeavesTheCatalogEmpty) {
    Route notFound, slow, silentAfterRequest, silentAfterHeaders, reset, resetInBody;
    notFound.status = 404;
    notFound.body = "1,Stale,https://h/s/\r\n";
    slow.body = "1,Late,https://h/l/\r\n";
    slow.delayStatusMs = 7000;
    silentAfterRequest.body = slow.body;
    silentAfterRequest.delayStatusMs = 600000;
    silentAfterHeaders.body = slow.body;
    silentAfterHeaders.delayHeadersMs = 600000;
    reset.resetNow = true;
    resetInBody.body = std::string(20000, 'x');
    resetInBody.resetAfter = 5000;
    const std::string communication =
        std::string("ダウンロードカタログを取得中に、サーバーとの通信でエラーが発生しました。") +
        kInternetHint;
    const std::string noResponse =
        std::string("ダウンロードカタログを取得で、サーバーからの応答がありません。") +
        kInternetHint;
    const struct {
        const char* label;
        Route route;
        std::string text;
        int requests;  // on the wire, at most
    } cases[] = {
        {"status 404", notFound, communication, 1},
        {"answering after 7 s", slow, noResponse, 1},
        {"silent after the request", silentAfterRequest, noResponse, 1},
        {"silent after the headers", silentAfterHeaders, noResponse, 1},
        // WinINet sends once more, on a new connection, when a connection it
        // kept from an earlier fetch is reset before any answer.
        {"connection reset", reset, communication, 2},
        {"connection reset inside the body", resetInBody, communication, 1},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.label);
        FetchEarlier();
        const int earlier = RequestCount(kCatalogPath);
        c.route.target = kCatalogPath;
        ASSERT_TRUE(SetRoute(c.route));
        // Read while open: after five silent seconds the fetching thread counts
        // as hung, and reads that give up on hung windows would see an empty box.
        MessageBoxWatcher boxes(0);
        int result = 0;
        const ULONGLONG start = GetTickCount64();
        std::thread fetch([&] { result = FetchCatalog(); });
        ASSERT_TRUE(boxes.WaitForCount(1, 60000));
        const ULONGLONG shown = GetTickCount64() - start;
        std::printf("[ catalog  ] %-34s message after %llu ms\n", c.label, shown);
        EXPECT_LT(shown, 6500u) << "the message waited for the request's worker";
        const SeenMessageBox box = boxes.Box(0);
        const ULONGLONG deadline = GetTickCount64() + 30000;
        while (ControlText(box.hwnd, 0xFFFF) != c.text && GetTickCount64() < deadline) Sleep(5);
        EXPECT_EQ(c.text, ControlText(box.hwnd, 0xFFFF));
        EXPECT_EQ("VELTA Download", WindowText(box.hwnd));
        EXPECT_EQ(std::vector<int>{IDOK}, box.buttons);
        EXPECT_EQ(0u, BoxIcon(box.hwnd));
        EXPECT_EQ(nullptr, box.owner);
        EXPECT_TRUE(boxes.Answer(0, IDOK));
        fetch.join();
        EXPECT_EQ(-2, result);
        EXPECT_TRUE(ProductCatalog.empty());
        EXPECT_EQ(1u, boxes.Count());
        const int requests = RequestCount(kCatalogPath) - earlier;
        EXPECT_TRUE(requests >= 1 && requests <= c.requests) << requests << " requests";
    }
}

TEST_F(CatalogFetchTest, FileListIsBaseUrlPlusEachLineAndAFailureShowsOneBox) {
    const std::string lines = "setup.exe\r\n\r\ndata 1.cab\rsub/\x83\x5C.bin\n\n";
    const std::vector<std::string> files = {"setup.exe", "data 1.cab", "sub/\x83\x5C.bin"};
    const struct {
        std::string base, target, body;
        int status;
        std::vector<std::string> files;
        bool box;
    } cases[] = {
        {"/prod/a/", "/prod/a/downloadlist.txt", lines, 200, files, false},
        {"/prod/b", "/prod/bdownloadlist.txt", lines, 200, files, false},
        {"/p/", "/p/downloadlist.txt", "", 200, {}, false},
        {"/p/", "/p/downloadlist.txt", "\r\n\n\r", 200, {}, false},
        {"/p/", "/p/downloadlist.txt", "setup.exe\r\n", 404, {}, true},
        {"/p/",
         "/p/downloadlist.txt",
         std::string(1023, 'y') + "\r\n",
         200,
         {std::string(1023, 'y')},
         false},
        {"/p/",
         "/p/downloadlist.txt",
         "setup.exe\r\n" + std::string(1024, 'x') + "\r\nlast.cab\r\n",
         200,
         {},
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body.size());
        ASSERT_TRUE(Reset() && Serve(c.target, c.body, c.status));
        MessageBoxWatcher boxes;
        FileList expected;
        for (const std::string& file : c.files) expected.push_back(HttpsUrl(c.base) + file);
        EXPECT_EQ(expected, FetchFileList(HttpsUrl(c.base)));
        const auto seen = RecordedRequests();
        ASSERT_EQ(1u, seen.size());
        EXPECT_EQ("GET " + c.target + " HTTP/1.1", seen[0].RequestLine());
        if (c.box)
            ExpectPlainBox(boxes, "Download", "ダウンロードファイルリストが取得できませんでした。");
        else
            EXPECT_EQ(0u, boxes.Count());
    }
}

}  // namespace
