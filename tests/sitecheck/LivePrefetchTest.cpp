// Fetching ahead in live mode: the files the checker announces go out
// several at once, each once, and FetchFile answers from what came back
// exactly as a fetch on demand would have.
#include <gtest/gtest.h>

#include <thread>

#include "sitecheck/Sites.h"
#include "tests/sitecheck/SiteFixture.h"
#include "tests/support/TestServer.h"
#include "tests/support/Wait.h"

using namespace sitecheck_test;

namespace {

using Files = std::vector<std::pair<std::string, std::size_t>>;

std::unique_ptr<sitecheck::Site> Live(const sitecheck::LiveOptions& options) {
    std::string error;
    auto site = sitecheck::MakeLiveSite(velta_test::HttpsUrl(""), options, error);
    EXPECT_TRUE(site) << error;
    return site;
}

class LivePrefetch : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(velta_test::Reset()) << velta_test::LastError(); }
    void TearDown() override { velta_test::Reset(); }
};

TEST_F(LivePrefetch, FilesGoOutSeveralAtOnce) {
    // Every body stalls after its headers: no fetch can finish, so only
    // fetches running at the same time can all have reached the server.
    Files files;
    for (int i = 0; i < 4; ++i) {
        velta_test::Route route;
        route.target = "/stall/" + std::to_string(i) + ".cab";
        route.pattern = 1 << 20;
        route.stallAfter = 0;
        ASSERT_TRUE(velta_test::SetRoute(route)) << velta_test::LastError();
        files.push_back({velta_test::HttpsUrl(route.target), 0});
    }
    sitecheck::LiveOptions options;
    options.jobs = 4;
    auto site = Live(options);
    ASSERT_TRUE(site);
    std::thread prefetch([&] { site->Prefetch(files); });
    const bool allAtOnce = velta_test::WaitUntil([] {
        for (int i = 0; i < 4; ++i) {
            if (velta_test::RequestCount("/stall/" + std::to_string(i) + ".cab") != 1) return false;
        }
        return true;
    });
    velta_test::Reset();  // lets the stalled transfers end (broken off)
    prefetch.join();
    EXPECT_TRUE(allAtOnce) << "four requests never were at the server together";
    // The answers come from the prefetch: no request reaches the server now.
    for (const auto& [url, head] : files) {
        EXPECT_NE(site->FetchFile(url, head).outcome, sitecheck::Outcome::Ok) << url;
    }
    EXPECT_EQ(velta_test::RequestCount(), 0);
}

TEST_F(LivePrefetch, AnswersAsOnDemandEachFileOnceWithProgress) {
    const std::string exe = MinimalExecutable();
    struct Case {
        std::string target;
        std::size_t head;
        velta_test::Route route;
    };
    std::vector<Case> cases;
    {
        velta_test::Route setup;
        setup.body = exe + std::string(100000, 'x');
        cases.push_back({"/p/setup.exe", 65536, setup});
        velta_test::Route data;
        data.pattern = 300000;
        cases.push_back({"/p/data.cab", 0, data});
        velta_test::Route noLength;
        noLength.body = "cabinet";
        noLength.length = velta_test::Length::None;
        cases.push_back({"/p/nolength.cab", 0, noLength});
        velta_test::Route missing;
        missing.status = 404;
        cases.push_back({"/p/missing.cab", 0, missing});
        velta_test::Route cut;
        cut.pattern = 200000;
        cut.closeAfter = 1000;
        cases.push_back({"/p/cut.cab", 0, cut});
    }
    Files files;
    for (Case& c : cases) {
        c.route.target = c.target;
        ASSERT_TRUE(velta_test::SetRoute(c.route)) << velta_test::LastError();
        files.push_back({velta_test::HttpsUrl(c.target), c.head});
    }
    files.push_back(files.front());  // announced twice, fetched once

    std::vector<std::pair<std::size_t, std::size_t>> progress;
    sitecheck::LiveOptions options;
    options.jobs = 3;
    options.progress = [&](std::size_t done, std::size_t total) {
        progress.push_back({done, total});
    };
    auto ahead = Live(options);
    auto onDemand = Live(sitecheck::LiveOptions());
    ASSERT_TRUE(ahead && onDemand);
    ahead->Prefetch(files);
    for (const Case& c : cases) EXPECT_EQ(velta_test::RequestCount(c.target), 1) << c.target;

    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        const sitecheck::Fetched a = ahead->FetchFile(velta_test::HttpsUrl(c.target), c.head);
        const sitecheck::Fetched b = onDemand->FetchFile(velta_test::HttpsUrl(c.target), c.head);
        EXPECT_EQ(a.outcome, b.outcome);
        EXPECT_EQ(a.status, b.status);
        EXPECT_EQ(a.detail, b.detail);
        EXPECT_EQ(a.body, b.body);
        EXPECT_EQ(a.size, b.size);
        EXPECT_EQ(a.contentLength, b.contentLength);
        // One request ahead, one on demand by the second site.
        EXPECT_EQ(velta_test::RequestCount(c.target), 2);
    }
    EXPECT_EQ(ahead->FetchFile(velta_test::HttpsUrl("/p/setup.exe"), 65536).body.substr(0, 2),
              "MZ");

    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), std::make_pair(std::size_t(0), cases.size()));
    EXPECT_EQ(progress.back(), std::make_pair(cases.size(), cases.size()));
    for (std::size_t i = 1; i < progress.size(); ++i) {
        EXPECT_GT(progress[i].first, progress[i - 1].first);
    }
}

}  // namespace
