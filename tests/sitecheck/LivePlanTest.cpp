// velta-site plan with OLD the live server, read through the tool's own
// requests: each old file fetched once, kept whole as far as NEW's copy
// of it reaches for its digest, and named when it is too large to keep.
#include <gtest/gtest.h>

#include "sitecheck/Sites.h"
#include "sitecheck/plan/FolderDigest.h"
#include "sitecheck/plan/Plan.h"
#include "tests/sitecheck/SiteFixture.h"
#include "tests/support/TestServer.h"

using namespace sitecheck_test;
using sitecheck::RuleId;
using sitecheck::Severity;

namespace {

const std::string kSite = velta_test::HttpsUrl("");
constexpr uint64_t kBig = sitecheck::kMostKeptWhole + 1;

// Same size on both sides: data.cab other bytes, big.cab too large to keep.
std::vector<Expected> LivePlanFindings() {
    return {
        {"p/downloadlist.txt", 2, Severity::Error,
         "the file \"data.cab\" is replaced under the same URL: OLD 100000 bytes", "mix",
         RuleId::VS601},
        {"p/downloadlist.txt", 3, Severity::Warning,
         "the file \"big.cab\" has 67108865 bytes on both sides; the live one is over the 64 MiB",
         "nothing if its bytes are the same", RuleId::VS605},
    };
}
const bool kLivePlanRegistered =
    RegisterTable([] { return std::vector<std::vector<Expected>>{LivePlanFindings()}; });

void Serve(velta_test::Route route) {
    ASSERT_TRUE(velta_test::SetRoute(route)) << velta_test::LastError();
}

TEST(LivePlan, OldFilesFetchedOnceComparedWholeOrNamedWhenTooLarge) {
    ASSERT_TRUE(velta_test::Reset()) << velta_test::LastError();
    const std::string catalog = "1,VELTA Test," + velta_test::HttpsUrl("/p/") + ",20261201\r\n";
    const std::string list = "setup.exe\r\ndata.cab\r\nbig.cab\r\n";
    Serve({.target = sitecheck::CatalogPath(0), .body = catalog});
    Serve({.target = "/p/downloadlist.txt", .body = list});
    Serve({.target = "/p/setup.exe", .body = MinimalExecutable()});
    Serve({.target = "/p/data.cab", .pattern = 100000});
    Serve({.target = "/p/big.cab", .pattern = static_cast<int64_t>(kBig)});

    const SiteFolder now({{CatalogFile(), catalog},
                          {"p/downloadlist.txt", list},
                          {"p/setup.exe", MinimalExecutable()},
                          {"p/data.cab", std::string(100000, 'n')},
                          {"p/big.cab", std::string(kBig, 'n')}});
    std::string error;
    auto old = sitecheck::MakeLiveSite(kSite, error);
    ASSERT_TRUE(old) << error;
    auto folder = sitecheck::MakeDirectorySite(now.Path(), kSite + "/", error);
    ASSERT_TRUE(folder) << error;
    sitecheck::PlanSides sides(std::move(old), sitecheck::Digester(), std::move(folder),
                               sitecheck::FolderDigester(now.Path()), sitecheck::Options());
    const sitecheck::Plan plan = sitecheck::MakePlan(sides.changes(), sitecheck::Options());
    EXPECT_EQ(Mismatch(plan.report, LivePlanFindings()), "");
    EXPECT_EQ(plan.staging.stages.at(0), std::vector<std::string>{"/p/data.cab"});
    for (const char* file : {"/p/setup.exe", "/p/data.cab", "/p/big.cab"})
        EXPECT_EQ(velta_test::RequestCount(file), 1) << file;
}

}  // namespace
