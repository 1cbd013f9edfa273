// The checker against the live loopback server, through the tool's own
// request class: what only a live server shows (certificates, redirects,
// Content-Length, broken transfers) next to faults of the files themselves.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

#include "catalog/CatalogWait.h"
#include "http/HttpWebRequest.h"
#include "sitecheck/Command.h"
#include "sitecheck/Sites.h"
#include "tests/sitecheck/SiteFixture.h"
#include "tests/support/TestServer.h"

using namespace sitecheck_test;
using sitecheck::RuleId;
using sitecheck::Severity;
using velta_test::Port;
using velta_test::PortNumber;

namespace {

// The millisecond clock's steps may round a measured time down a little.
constexpr uint32_t kClockSlackMs = 20;
constexpr char kListFailure[] = "ダウンロードファイルリストが取得できませんでした。";
constexpr char kDownloadFailure[] = "ダウンロードに失敗しました。";
constexpr char kCatalogFailure[] =
    "ダウンロードカタログを取得中に、サーバーとの通信でエラーが発生しました。";

std::string Authority(Port port) { return "localhost:" + std::to_string(PortNumber(port)); }

void Serve(const std::string& target, const std::string& body) {
    velta_test::Route route;
    route.target = target;
    route.body = body;
    ASSERT_TRUE(velta_test::SetRoute(route)) << velta_test::LastError();
}

void Serve(velta_test::Route route) {
    ASSERT_TRUE(velta_test::SetRoute(route)) << velta_test::LastError();
}

velta_test::Route Redirect(const std::string& target, int status) {
    velta_test::Route route;
    route.target = target;
    route.status = status;
    route.headers = {{"Location", "/elsewhere/downloadlist.txt"}};
    return route;
}

sitecheck::Report CheckLive(const std::string& siteUrl) {
    std::string error;
    auto site = sitecheck::MakeLiveSite(siteUrl, error);
    EXPECT_TRUE(site) << error;
    return site ? sitecheck::CheckSite(*site, sitecheck::Options()) : sitecheck::Report();
}

class LiveCheck : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(velta_test::Reset()) << velta_test::LastError(); }
    const std::string kCatalogTarget = sitecheck::CatalogPath(0);
};

// The findings of the HTTPS site below, in order.
std::vector<Expected> HttpsSiteFindings() {
    const std::string https = "https://" + Authority(Port::Https);
    const std::string catalog = https + sitecheck::CatalogPath(0);
    const std::string goodList = https + "/good/downloadlist.txt";
    return {
        {catalog, 2, Severity::Warning, "points to " + Authority(Port::HttpsUntrusted),
         "second server", RuleId::VS115},
        {catalog, 4, Severity::Warning, "points to " + Authority(Port::HttpsWrongHost),
         "second server", RuleId::VS115},
        {catalog, 5, Severity::Warning, "points to " + Authority(Port::HttpsExpired),
         "second server", RuleId::VS115},
        {catalog, 2, Severity::Error,
         "the file list \"https://" + Authority(Port::HttpsUntrusted) +
             "/untrusted/downloadlist.txt\" of \"Untrusted\": the tool refuses the server's "
             "certificate, which is issued by an authority Windows does not trust (WinINet "
             "error 12045)",
         kListFailure, RuleId::VS503},
        {catalog, 3, Severity::Error, "a redirect (status 302), which the tool never follows",
         kListFailure, RuleId::VS201},
        {catalog, 4, Severity::Warning,
         "certificate of " + Authority(Port::HttpsWrongHost) + " is issued for another host name",
         "browser", RuleId::VS501},
        {catalog, 5, Severity::Warning,
         "certificate of " + Authority(Port::HttpsExpired) + " is outside its validity dates",
         "browser", RuleId::VS501},
        // The files come last: every file list is read before any
        // file is fetched, so that they can be fetched ahead together.
        {goodList, 2, Severity::Warning, "\"nolength.cab\" is served without Content-Length",
         "no total size", RuleId::VS407},
        {goodList, 3, Severity::Error,
         "the transfer of \"short.cab\" broke off: status 200, then the body ended "
         "before its Content-Length",
         kDownloadFailure, RuleId::VS403},
        {goodList, 4, Severity::Warning,
         "the Content-Length of \"badlength.cab\" reads as 0 but its body has 7 bytes",
         "wrong total", RuleId::VS408},
    };
}
const bool kHttpsSiteRegistered =
    RegisterTable([] { return std::vector<std::vector<Expected>>{HttpsSiteFindings()}; });

TEST_F(LiveCheck, HttpsSiteWithCertificateRedirectAndTransferFaults) {
    const std::string https = "https://" + Authority(Port::Https);
    Serve(kCatalogTarget, "1,Good," + https +
                              "/good/,20261201\r\n"
                              "2,Untrusted,https://" +
                              Authority(Port::HttpsUntrusted) +
                              "/untrusted/,20261201\r\n"
                              "3,Moved," +
                              https +
                              "/moved/,20261201\r\n"
                              "4,WrongName,https://" +
                              Authority(Port::HttpsWrongHost) +
                              "/wrong/,20261201\r\n"
                              "5,Expired,https://" +
                              Authority(Port::HttpsExpired) + "/old/,20261201\r\n");
    Serve("/good/downloadlist.txt", "setup.exe\r\nnolength.cab\r\nshort.cab\r\nbadlength.cab\r\n");
    Serve("/good/setup.exe", MinimalExecutable());
    velta_test::Route noLength;
    noLength.target = "/good/nolength.cab";
    noLength.body = "cabinet";
    noLength.length = velta_test::Length::None;
    Serve(noLength);
    velta_test::Route shortBody;
    shortBody.target = "/good/short.cab";
    shortBody.body = "0123456789";
    shortBody.length = velta_test::Length::Literal;
    shortBody.lengthText = "100";
    shortBody.close = true;
    Serve(shortBody);
    velta_test::Route badLength;
    badLength.target = "/good/badlength.cab";
    badLength.body = "cabinet";
    badLength.length = velta_test::Length::Literal;
    badLength.lengthText = "seven";
    badLength.close = true;
    Serve(badLength);
    Serve("/untrusted/downloadlist.txt", "setup.exe\r\n");
    Serve(Redirect("/moved/downloadlist.txt", 302));
    for (const char* product : {"/wrong/", "/old/"}) {
        Serve(std::string(product) + "downloadlist.txt", "setup.exe\r\n");
        Serve(std::string(product) + "setup.exe", MinimalExecutable());
    }

    const sitecheck::Report report = CheckLive(https);
    EXPECT_EQ(Mismatch(report, HttpsSiteFindings()), "");
    EXPECT_EQ(sitecheck::ExitStatus(report, {}, false), 1);
    // Each URL once: the certificates come from the fetches themselves.
    for (const std::string& target :
         {kCatalogTarget, std::string("/wrong/downloadlist.txt"), std::string("/old/setup.exe")}) {
        EXPECT_EQ(velta_test::RequestCount(target), 1) << target;
    }
    // Every request went out as the customer's tool sends it.
    const auto requests = velta_test::RecordedRequests("/good/setup.exe");
    EXPECT_FALSE(requests.empty());
    for (const auto& request : requests) {
        EXPECT_EQ(request.Header("User-Agent").value_or(""), "MarrowZOVE");
    }
}

TEST_F(LiveCheck, HttpSiteWithMissingFileAndRedirect) {
    const std::string http = "http://" + Authority(Port::Http);
    Serve(kCatalogTarget, "1,Plain," + http +
                              "/plain/,20261201\r\n"
                              "2,Gone," +
                              http + "/gone/,20261201\r\n");
    Serve("/plain/downloadlist.txt", "setup.exe\r\nmissing.cab\r\n");
    Serve("/plain/setup.exe", MinimalExecutable());
    Serve(Redirect("/gone/downloadlist.txt", 301));

    const sitecheck::Report report = CheckLive(http);
    const std::string catalog = http + kCatalogTarget;
    EXPECT_EQ(
        Mismatch(report,
                 {
                     {catalog, 1, Severity::Warning, "is not https", "unencrypted", RuleId::VS114},
                     {catalog, 2, Severity::Warning, "is not https", "unencrypted", RuleId::VS114},
                     {catalog, 2, Severity::Error, "a redirect (status 301)", kListFailure,
                      RuleId::VS201},
                     {http + "/plain/downloadlist.txt", 2, Severity::Error,
                      "the file \"missing.cab\": status 404", kDownloadFailure, RuleId::VS402},
                 }),
        "");
    EXPECT_EQ(sitecheck::ExitStatus(report, {}, false), 1);
}

TEST_F(LiveCheck, SiteThatCannotBeReachedOrIsRefused) {
    struct Case {
        std::string site;
        int exitStatus;
        std::string output;
    };
    const std::vector<Case> cases = {
        // Nothing listens on the last port of the range: the site cannot
        // be read at all.
        {"https://localhost:" + std::to_string(velta_test::PortBase() + 9), 3, "cannot reach"},
        {"https://" + Authority(Port::HttpsUntrusted), 1,
         "the catalog: the tool refuses the server's certificate, which is issued by an "
         "authority Windows does not trust (WinINet error 12045)"},
        {"https://" + Authority(Port::HttpsUntrusted), 1, "[VS503]"},
        {"https://" + Authority(Port::Https) + "/sub", 2, "usage:"},
    };
    Serve(kCatalogTarget, "1,Good,https://" + Authority(Port::Https) + "/good/,20261201\r\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.site);
        std::string out, err;
        EXPECT_EQ(sitecheck::RunCommand({"check", c.site}, out, err), c.exitStatus) << out << err;
        EXPECT_NE((out + err).find(c.output), std::string::npos) << out << err;
    }
}

}  // namespace

namespace {

// What only the live site shows beyond transfers: the catalog's time under
// the tool's own wait, error pages served as files, certificates about to
// expire, and the checker's own failure, which is never the site's.
struct TimeCase {
    const char* name;
    std::function<void(velta_test::Route& catalogRoute)> setUp;
    int certDays;
    const char* tempFolder;  // the checker's own temporary folder; nullptr: unchanged
    std::vector<Expected> expected;
    int exitStatus;
    std::string fatal;
};

std::vector<TimeCase> CatalogTimeHtmlAndCertificateCases() {
    const std::string https = "https://" + Authority(Port::Https);
    const std::string catalog = https + sitecheck::CatalogPath(0);
    const std::string list = https + "/p/downloadlist.txt";
    return {
        {"good site", [](velta_test::Route&) {}, 30, nullptr, {}, 0, ""},
        {"catalog server silent after the request",
         [](velta_test::Route& r) { r.delayStatusMs = 600000; },
         30,
         nullptr,
         {{catalog, 0, Severity::Error, "did not arrive within the tool's 5000 ms wait",
           "ダウンロードカタログを取得で、サーバーからの応答がありません。", RuleId::VS120}},
         1,
         ""},
        {"catalog over half the wait",
         [](velta_test::Route& r) { r.delayStatusMs = 3000; },
         30,
         nullptr,
         {{catalog, 0, Severity::Warning, "ms of the tool's 5000 ms wait", "slower line",
           RuleId::VS121}},
         0,
         ""},
        {"zero byte in the catalog, which the tool's fetch receives whole",
         [https](velta_test::Route& r) {
             r.body += std::string("\0\r\n", 3) + "2,Lost," + https + "/p/,20261201\r\n";
         },
         30,
         nullptr,
         {{catalog, 2, Severity::Error,
           "a zero byte at column 1: the tool reads nothing after it and never shows \"Lost\"",
           "never shows the products", RuleId::VS109}},
         1,
         ""},
        {"error page served as a data file",
         [](velta_test::Route&) {
             velta_test::Route page;
             page.target = "/p/data.cab";
             page.body = "<!DOCTYPE html><title>Not here</title>";
             page.headers = {{"Content-Type", "text/html; charset=utf-8"}};
             Serve(page);
         },
         30,
         nullptr,
         {{list, 2, Severity::Error,
           "\"data.cab\" is answered with status 200 and an HTML page (Content-Type: text/html",
           "setup finds a broken file", RuleId::VS410}},
         1,
         ""},
        {"HTML body without a Content-Type",
         [](velta_test::Route&) { Serve("/p/data.cab", "\r\n<html><body>gone</body></html>"); },
         30,
         nullptr,
         {{list, 2, Severity::Error, "an HTML page", "broken file", RuleId::VS410}},
         1,
         ""},
        {"a page's type on the file's own bytes",
         [](velta_test::Route&) {
             velta_test::Route typed;
             typed.target = "/p/data.cab";
             typed.body = "cabinet";
             typed.headers = {{"Content-Type", "text/html"}};
             Serve(typed);
         },
         30,
         nullptr,
         {{list, 2, Severity::Warning,
           "\"data.cab\" is announced as an HTML page (Content-Type: text/html), but its bytes "
           "are no page",
           "saves the bytes as they come", RuleId::VS409}},
         0,
         ""},
        // The test certificates are made for 3650 days when the test
        // environment is first set up: fewer days are left, never more, and
        // none has run out.
        {"certificate within the warned days",
         [](velta_test::Route&) {},
         3700,
         nullptr,
         {{catalog, 0, Severity::Warning,
           "the certificate of " + Authority(Port::Https) + " expires in", "browser",
           RuleId::VS502}},
         0,
         ""},
        {"certificate outside the warned days",
         [](velta_test::Route&) {},
         3500,
         nullptr,
         {},
         0,
         ""},
        {"the checker's temporary folder is missing",
         [](velta_test::Route&) {},
         30,
         "C:\\velta-site-no-such-folder\\",
         {},
         3,
         "the checker failed: cannot create its temporary file"},
    };
}
const bool kTimeCasesRegistered =
    RegisterCases(CatalogTimeHtmlAndCertificateCases, &TimeCase::expected);

// The rules only a live check reports are this program's to cover: each is
// expected by some case of its tables.
TEST(LiveRules, EveryRuleOfALiveCheckAloneIsExpectedByATestCase) {
    const std::set<sitecheck::RuleId> expected = ExpectedRules();
    for (const sitecheck::Rule& rule : sitecheck::AllRules()) {
        if (!sitecheck::RunsIn(rule.id, false)) {
            EXPECT_EQ(expected.count(rule.id), 1u) << rule.code << " is expected by no case";
        }
    }
}

TEST_F(LiveCheck, CatalogTimeHtmlPagesCertificateDaysAndOwnFailures) {
    const std::string https = "https://" + Authority(Port::Https);
    for (const TimeCase& c : CatalogTimeHtmlAndCertificateCases()) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(velta_test::Reset()) << velta_test::LastError();
        Serve("/p/downloadlist.txt", "setup.exe\r\ndata.cab\r\n");
        Serve("/p/setup.exe", MinimalExecutable());
        Serve("/p/data.cab", "cabinet");
        velta_test::Route catalogRoute;
        catalogRoute.target = kCatalogTarget;
        catalogRoute.body = "1,VELTA Test," + https + "/p/,20261201\r\n";
        // A case may serve its own routes over these.
        c.setUp(catalogRoute);
        Serve(catalogRoute);

        char savedTmp[MAX_PATH] = {}, savedTemp[MAX_PATH] = {};
        GetEnvironmentVariableA("TMP", savedTmp, sizeof savedTmp);
        GetEnvironmentVariableA("TEMP", savedTemp, sizeof savedTemp);
        if (c.tempFolder != nullptr) {
            SetEnvironmentVariableA("TMP", c.tempFolder);
            SetEnvironmentVariableA("TEMP", c.tempFolder);
        }
        std::string error;
        auto site = sitecheck::MakeLiveSite(https, error);
        if (c.tempFolder != nullptr) {
            SetEnvironmentVariableA("TMP", savedTmp);
            SetEnvironmentVariableA("TEMP", savedTemp);
        }
        ASSERT_TRUE(site) << error;
        sitecheck::Options options;
        options.certDays = c.certDays;
        const DWORD start = GetTickCount();
        const sitecheck::Report report = sitecheck::CheckSite(*site, options);
        const DWORD took = GetTickCount() - start;
        std::printf("[ check    ] %-66s %5lu ms\n", c.name, took);
        // The catalog's wait, then no more than the files take.
        EXPECT_LT(took, kCatalogWaitMs + 5000) << "a wait went past the catalog's";
        EXPECT_EQ(velta_test::RequestCount(kCatalogTarget), 1) << "the catalog once";
        EXPECT_EQ(Mismatch(report, c.expected), "");
        EXPECT_EQ(sitecheck::ExitStatus(report, {}, false), c.exitStatus);
        EXPECT_EQ(report.fatal.substr(0, c.fatal.size()), c.fatal) << report.fatal;
        // The catalog's time, as the tool's fetch took it: at least the
        // server's delay, or the whole wait when that ran out first.
        ASSERT_EQ(report.catalogMilliseconds.size(), 1u);
        const uint32_t delay = static_cast<uint32_t>(catalogRoute.delayStatusMs);
        EXPECT_GE(report.catalogMilliseconds[0] + kClockSlackMs, std::min(delay, kCatalogWaitMs));
    }
}

// A server that withholds something ends each fetch of the live site within
// the tool's limits with a finding's outcome, never a hang: the catalog
// within the tool's 5,000 ms wait, a file list and a file within the
// request's 30 s limit or, for the two stalls no WinINet limit ends under
// Wine (a connect never accepted, a TLS handshake that never comes), the
// checker's 35 s of no progress. The certificate, read from the same
// requests, is known only when the answer's head came, and asking for it
// never waits. All rows run
// at once, each on a site of its own; each row's time is printed.
TEST_F(LiveCheck, EachStallEndsWithinTheLimitsWithAnOutcome) {
    enum class Fetch { Catalog, List, File };
    enum class Stall { Handshake, Headers, HalfBody };
    struct Row {
        Fetch fetch;
        Stall stall;
        sitecheck::Outcome outcome;
        uint32_t boundMs;
        sitecheck::Fetched got;
        DWORD tookMs = 0, certificateMs = 0;
        std::string warning;
        std::optional<int> days;
    };
    using sitecheck::Outcome;
    std::vector<Row> rows;
    for (const Stall stall : {Stall::Handshake, Stall::Headers, Stall::HalfBody}) {
        rows.push_back({Fetch::Catalog, stall, Outcome::TimedOut, kCatalogWaitMs + 2000, {}});
        const Outcome late = stall == Stall::HalfBody ? Outcome::BrokenOff : Outcome::NoAnswer;
        const uint32_t bound = stall == Stall::Handshake ? 45000 : 40000;
        rows.push_back({Fetch::List, stall, late, bound, {}});
        rows.push_back({Fetch::File, stall, late, bound, {}});
    }
    const char* const fetchNames[] = {"catalog", "file list", "file"};
    const char* const stallNames[] = {"handshake never comes", "headers never come",
                                      "body stops half way"};
    const std::string targets[] = {kCatalogTarget, "/stall/downloadlist.txt", "/stall/data.cab"};
    for (const std::string& target : targets) {
        velta_test::Route silent;
        silent.target = target;
        silent.pattern = 200000;
        silent.delayStatusMs = 600000;
        Serve(silent);
        velta_test::Route half;
        half.target = target + "?half";
        half.pattern = 200000;
        half.stallAfter = 100000;
        Serve(half);
    }
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        threads.emplace_back([&, i] {
            Row& row = rows[i];
            const Port port = row.stall == Stall::Handshake ? Port::Silent : Port::Https;
            const std::string origin = "https://" + Authority(port);
            // The body stall has its own targets; the other two share the silent routes.
            std::string target = targets[static_cast<int>(row.fetch)];
            if (row.stall == Stall::HalfBody) target += "?half";
            std::string error;
            auto site = sitecheck::MakeLiveSite(origin, error);
            ASSERT_TRUE(site) << error;
            const std::string url = origin + target;
            const DWORD start = GetTickCount();
            row.got = row.fetch == Fetch::Catalog ? site->FetchCatalog(url)
                      : row.fetch == Fetch::List  ? site->FetchText(url)
                                                  : site->FetchFile(url, 64);
            row.tookMs = GetTickCount() - start;
            row.warning = site->CertificateWarning(url);
            row.days = site->CertificateDaysLeft(url);
            row.certificateMs = GetTickCount() - start - row.tookMs;
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (const Row& row : rows) {
        const std::string what = std::string(fetchNames[static_cast<int>(row.fetch)]) + ", " +
                                 stallNames[static_cast<int>(row.stall)];
        SCOPED_TRACE(what);
        std::printf("[ stall    ] %-38s ended after %5lu ms: %s\n", what.c_str(), row.tookMs,
                    row.got.detail.c_str());
        EXPECT_EQ(row.got.outcome, row.outcome) << row.got.detail;
        EXPECT_LT(row.tookMs, row.boundMs);
        // Known only when the answer's head came before the stall.
        EXPECT_EQ(row.warning, "");
        EXPECT_EQ(row.days.has_value(), row.stall == Stall::HalfBody);
        EXPECT_LT(row.certificateMs, 1000u) << "asking for the certificate waited";
    }
    // Each URL asked for once, by the fetch itself.
    for (const std::string& target : targets) {
        EXPECT_EQ(velta_test::RequestCount(target), 1) << target;
        EXPECT_EQ(velta_test::RequestCount(target + "?half"), 1) << target;
    }
    EXPECT_EQ(velta_test::HeldCount(), 3) << "one connection for each handshake row";
    velta_test::Reset();  // lets the held requests go
}

}  // namespace

namespace {

// A file of the site on disk that the checker cannot open (held open without
// sharing by another program) says nothing about the site: the check stops
// with the checker's own failure and exit status 3.
TEST(DirectoryCheckOnWindows, AFileTheCheckerCannotReadIsItsOwnFailure) {
    const SiteFolder folder(GoodSite());
    const std::string data = folder.Path() + "\\p\\data.cab";
    HANDLE held = CreateFileA(data.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE) << GetLastError();
    std::string out, err;
    const int status = sitecheck::RunCommand(
        {"check", folder.Path(), "--base-url", "https://vendor.test/"}, out, err);
    CloseHandle(held);
    EXPECT_EQ(status, 3) << out << err;
    EXPECT_NE((out + err).find("cannot read"), std::string::npos) << out << err;
    EXPECT_EQ((out + err).find("403"), std::string::npos) << out << err;
}

}  // namespace

namespace {

// What the tool's own request sends for names with blanks and dots, as the
// server saw it: the ground of the file-list rules on blanks (VS205, VS206).
// Measured through Wine's WinINet; Windows' own cannot be measured here.
TEST_F(LiveCheck, RequestTargetOfNamesWithBlanksAndDots) {
    struct Row {
        const char* given;
        const char* sent;
    };
    const Row rows[] = {
        {"/p/a/data/a.bin ", "/p/a/data/a.bin"},      {"/p/a/data/a.bin  ", "/p/a/data/a.bin"},
        {"/p/a/data/a b.bin", "/p/a/data/a%20b.bin"}, {"/p/a/data/ a.bin", "/p/a/data/%20a.bin"},
        {"/p/a/data/a.bin.", "/p/a/data/a.bin."},     {"/p/a/data/.a.bin", "/p/a/data/.a.bin"},
    };
    for (const Row& row : rows) {
        for (const std::string& url :
             {velta_test::HttpUrl(row.given), velta_test::HttpsUrl(row.given)}) {
            SCOPED_TRACE(url);
            ASSERT_TRUE(velta_test::Reset()) << velta_test::LastError();
            CHttpWebRequest request(url.c_str());
            request.Start();
            ASSERT_EQ(request.Wait(30000), Failed);
            EXPECT_EQ(request.GetStatusCode(), 404u);
            const auto requests = velta_test::RecordedRequests();
            ASSERT_EQ(requests.size(), 1u);
            EXPECT_EQ(requests[0].RequestLine(), std::string("GET ") + row.sent + " HTTP/1.1");
        }
    }
}

}  // namespace
