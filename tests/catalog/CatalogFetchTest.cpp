// The catalog and file-list fetches through the real request class against
// the loopback test server; their message boxes are real and answered by the
// watcher.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "app/ProcessState.h"
#include "catalog/CatalogFetch.h"
#include "tests/support/MessageBoxWatcher.h"
#include "tests/support/TestServer.h"
#include "tests/support/WindowHelpers.h"

namespace {

using velta_test::MessageBoxWatcher;
using velta_test::Route;
using velta_test::SeenMessageBox;

const std::string kCatalogPath = "/qrnSupport/download/VELTA/veltadownloadlist.txt";
const std::string kTestCatalogPath = "/qrnSupport/download/VELTA/veltadownloadlist.test.txt";

constexpr char kCommunicationError[] =
    "ダウンロードカタログを取得中に、サーバーとの通信でエラーが発生しました。"
    "インターネットが正しく接続されてるか確認してください。";
constexpr char kNoResponse[] =
    "ダウンロードカタログを取得で、サーバーからの応答がありません。"
    "インターネットが正しく接続されてるか確認してください。";
constexpr char kUpdateNotice[] =
    "現バージョンVELTA DLはご利用頂けません。"
    "VELTAサポートページより新しいVELTA DLをダウンロードしてご利用ください。";
constexpr char kFileListFailure[] = "ダウンロードファイルリストが取得できませんでした。";

bool Serve(const std::string& target, const std::string& body, int status = 200) {
    Route route;
    route.target = target;
    route.status = status;
    route.body = body;
    return velta_test::SetRoute(route);
}

// Caption, text, an OK button only, no icon and no owner window.
void ExpectPlainBox(const SeenMessageBox& box, const char* caption, const char* text) {
    EXPECT_EQ(caption, box.caption);
    EXPECT_EQ(text, box.text);
    EXPECT_EQ(std::vector<int>{IDOK}, box.buttons);
    EXPECT_EQ(0u, box.icon);
    EXPECT_EQ(nullptr, box.owner);
    EXPECT_EQ(IDOK, box.answeredWith);
}

// The icon a box shows in the icon static (0x0440) of the system template,
// null for a box without icon.
DWORD_PTR BoxIcon(HWND box) {
    DWORD_PTR icon = 0;
    if (!SendMessageTimeoutW(GetDlgItem(box, 0x0440), STM_GETICON, 0, 0, SMTO_NORMAL, 30000, &icon)) {
        return ~DWORD_PTR{0};
    }
    return icon;
}

// Polls the text of an open box until it reads as expected.
bool WaitUntilRead(HWND box, const std::string& expected) {
    const ULONGLONG deadline = GetTickCount64() + 30000;
    while (velta_test::ControlText(box, 0xFFFF) != expected) {
        if (GetTickCount64() > deadline) return false;
        Sleep(5);
    }
    return true;
}

class CatalogFetchTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(velta_test::Reset()) << velta_test::LastError();
        g_testMode = 0;
        ProductCatalog.clear();
    }
    void TearDown() override { g_testMode = 0; }
};

TEST_F(CatalogFetchTest, PathFollowsTheTestMode) {
    struct Case {
        int testMode;
        const std::string& requested;
        const std::string& untouched;
        const char* name;
    };
    const Case cases[] = {
        {0, kCatalogPath, kTestCatalogPath, "Normal"},
        {1, kTestCatalogPath, kCatalogPath, "Tested"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.testMode);
        ASSERT_TRUE(velta_test::Reset());
        ASSERT_TRUE(Serve(kCatalogPath, "1,Normal,https://h/n/,20240101\r\n"));
        ASSERT_TRUE(Serve(kTestCatalogPath, "2,Tested,https://h/t/,20240202\r\n"));
        MessageBoxWatcher boxes;
        g_testMode = c.testMode;
        EXPECT_EQ(0, FetchCatalog());
        const auto seen = velta_test::RecordedRequests(c.requested);
        ASSERT_EQ(1u, seen.size());
        EXPECT_EQ("GET " + c.requested + " HTTP/1.1", seen[0].RequestLine());
        EXPECT_EQ(velta_test::PortNumber(velta_test::Port::Https), seen[0].port);
        EXPECT_EQ(0, velta_test::RequestCount(c.untouched));
        ASSERT_EQ(1u, ProductCatalog.size());
        EXPECT_EQ(c.name, ProductCatalog[0].name);
        EXPECT_EQ(0u, boxes.Count());
    }
}

TEST_F(CatalogFetchTest, OnlyALeadingBangIsTheUpdateNotice) {
    struct Case {
        const char* label;
        std::string body;
        int result;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"bang alone", "!", -1, {}},
        {"bang then a catalog", "!1,A,B,C\r\n2,D", -1, {}},
        {"blank first", " !,A", 0, {"A"}},
        {"line end first", "\r\n!,B", 0, {"B"}},
        {"empty body", "", 0, {}},
        {"zero byte inside", std::string("1,A,x\n\0" "2,B,y\n", 13), 0, {"A"}},
        {"zero byte first", std::string("\0!", 2), 0, {}},
        {"trail bytes kept", "1,\x83\x5C\x83\x7C,https://h/\x95\x5C/\r\n", 0, {"\x83\x5C\x83\x7C"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ASSERT_TRUE(Serve(kCatalogPath, c.body));
        MessageBoxWatcher boxes;
        EXPECT_EQ(c.result, FetchCatalog());
        std::vector<std::string> names;
        for (const CatalogEntry& entry : ProductCatalog) names.push_back(entry.name);
        EXPECT_EQ(c.names, names);
        if (c.result == -1) {
            ASSERT_EQ(1u, boxes.Count());
            ExpectPlainBox(boxes.Box(0), "VELTA Download", kUpdateNotice);
        } else {
            EXPECT_EQ(0u, boxes.Count());
        }
    }
}

TEST_F(CatalogFetchTest, FailureShowsItsReasonAndLeavesTheCatalogEmpty) {
    struct Case {
        const char* label;
        Route route;
        const char* text;
    };
    Route notFound;
    notFound.status = 404;
    notFound.body = "1,Stale,https://h/s/\r\n";
    Route slow;
    slow.body = "1,Late,https://h/l/\r\n";
    slow.delayStatusMs = 7000;
    Route reset;
    reset.resetNow = true;
    Route resetInBody;
    resetInBody.body = std::string(20000, 'x');
    resetInBody.resetAfter = 5000;
    const Case cases[] = {
        {"status 404", notFound, kCommunicationError},
        {"slower than the time limit", slow, kNoResponse},
        {"connection reset", reset, kCommunicationError},
        {"connection reset inside the body", resetInBody, kCommunicationError},
    };
    for (Case c : cases) {
        SCOPED_TRACE(c.label);
        // A good catalog first: the failing fetch must not leave it behind.
        ASSERT_TRUE(Serve(kCatalogPath, "1,Earlier,https://h/e/\r\n"));
        ASSERT_EQ(0, FetchCatalog());
        ASSERT_EQ(1u, ProductCatalog.size());

        c.route.target = kCatalogPath;
        ASSERT_TRUE(velta_test::SetRoute(c.route));
        // The box is read while it is open: after a wait of more than five
        // seconds without messages the fetching thread counts as hung, and
        // reads that give up on hung windows would see an empty box.
        MessageBoxWatcher boxes(0);
        int result = 0;
        std::thread fetch([&] { result = FetchCatalog(); });
        ASSERT_TRUE(boxes.WaitForCount(1, 30000));
        const SeenMessageBox box = boxes.Box(0);
        EXPECT_TRUE(WaitUntilRead(box.hwnd, c.text));
        EXPECT_EQ("VELTA Download", velta_test::WindowText(box.hwnd));
        EXPECT_EQ(std::vector<int>{IDOK}, box.buttons);
        EXPECT_EQ(0u, BoxIcon(box.hwnd));
        EXPECT_EQ(nullptr, box.owner);
        EXPECT_TRUE(boxes.Answer(0, IDOK));
        fetch.join();
        EXPECT_EQ(-2, result);
        EXPECT_TRUE(ProductCatalog.empty());
        EXPECT_EQ(1u, boxes.Count());
    }
}

TEST_F(CatalogFetchTest, UpdateNoticeAfterACatalogLeavesItEmpty) {
    ASSERT_TRUE(Serve(kCatalogPath, "1,Earlier,https://h/e/\r\n"));
    ASSERT_EQ(0, FetchCatalog());
    ASSERT_TRUE(Serve(kCatalogPath, "!1,Earlier,https://h/e/\r\n"));
    MessageBoxWatcher boxes;
    EXPECT_EQ(-1, FetchCatalog());
    EXPECT_TRUE(ProductCatalog.empty());
    EXPECT_EQ(1u, boxes.Count());
}

class FileListFetchTest : public CatalogFetchTest {};

TEST_F(FileListFetchTest, ListUrlIsBaseUrlPlusFileName) {
    struct Case {
        std::string base;
        std::string target;
    };
    const Case cases[] = {
        {velta_test::HttpsUrl("/prod/a/"), "/prod/a/downloadlist.txt"},
        {velta_test::HttpsUrl("/prod/b"), "/prod/bdownloadlist.txt"},
        {velta_test::HttpUrl("/plain/"), "/plain/downloadlist.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.base);
        ASSERT_TRUE(velta_test::Reset());
        ASSERT_TRUE(Serve(c.target, "setup.exe\r\n\r\ndata 1.cab\rsub/\x83\x5C.bin\n\n"));
        MessageBoxWatcher boxes;
        const FileList files = FetchFileList(c.base);
        const FileList expected = {c.base + "setup.exe", c.base + "data 1.cab",
                                   c.base + "sub/\x83\x5C.bin"};
        EXPECT_EQ(expected, files);
        const auto seen = velta_test::RecordedRequests();
        ASSERT_EQ(1u, seen.size());
        EXPECT_EQ("GET " + c.target + " HTTP/1.1", seen[0].RequestLine());
        EXPECT_EQ(0u, boxes.Count());
    }
}

TEST_F(FileListFetchTest, FailuresShowOneBoxAndGiveNoFiles) {
    struct Case {
        const char* label;
        std::string body;
        int status;
        bool failure;
    };
    const std::string longLine(1024, 'x');
    const Case cases[] = {
        {"status 404", "setup.exe\r\n", 404, true},
        {"line of 1024 bytes", "setup.exe\r\n" + longLine + "\r\nlast.cab\r\n", 200, true},
        {"empty body", "", 200, false},
        {"only line ends", "\r\n\n\r", 200, false},
    };
    const std::string base = velta_test::HttpsUrl("/prod/");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ASSERT_TRUE(Serve("/prod/downloadlist.txt", c.body, c.status));
        MessageBoxWatcher boxes;
        EXPECT_TRUE(FetchFileList(base).empty());
        if (c.failure) {
            ASSERT_EQ(1u, boxes.Count());
            ExpectPlainBox(boxes.Box(0), "Download", kFileListFailure);
        } else {
            EXPECT_EQ(0u, boxes.Count());
        }
    }
}

TEST_F(FileListFetchTest, LongestAllowedLineIsKept) {
    const std::string line(1023, 'y');
    ASSERT_TRUE(Serve("/prod/downloadlist.txt", line + "\r\n"));
    MessageBoxWatcher boxes;
    const std::string base = velta_test::HttpsUrl("/prod/");
    EXPECT_EQ(FileList{base + line}, FetchFileList(base));
    EXPECT_EQ(0u, boxes.Count());
}

}  // namespace
