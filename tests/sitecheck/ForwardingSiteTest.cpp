// The wrappers the check and the planner put around a site: a call they do
// not pass on would silently take Site's default (no catalog wait, no
// prefetch, no certificate warning).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sitecheck/ForwardingSite.h"

namespace {

using sitecheck::Fetched;

class CallLog : public sitecheck::Site {
public:
    mutable std::vector<std::string> calls;

    std::string CatalogUrl(int) const override { return Note("CatalogUrl"); }
    Fetched FetchText(const std::string&) override { return Fetch("FetchText"); }
    Fetched FetchCatalog(const std::string&) override { return Fetch("FetchCatalog"); }
    Fetched FetchFile(const std::string&, std::size_t) override { return Fetch("FetchFile"); }
    std::string Where(const std::string&) const override { return Note("Where"); }
    std::string Authority() const override { return Note("Authority"); }
    std::string CertificateWarning(const std::string&) override {
        return Note("CertificateWarning");
    }
    std::optional<int> CertificateDaysLeft(const std::string&) override {
        Note("CertificateDaysLeft");
        return 7;
    }
    void Prefetch(const std::vector<std::pair<std::string, std::size_t>>&) override {
        Note("Prefetch");
    }
    bool Live() const override { return !Note("Live").empty(); }

private:
    std::string Note(const char* name) const {
        calls.push_back(name);
        return name;
    }
    Fetched Fetch(const char* name) {
        Fetched fetched;
        fetched.detail = Note(name);
        return fetched;
    }
};

TEST(ForwardingSite, EveryCallReachesTheSiteBehindIt) {
    CallLog inner;
    sitecheck::ForwardingSite site(inner);
    EXPECT_EQ(site.CatalogUrl(0), "CatalogUrl");
    EXPECT_EQ(site.FetchText("u").detail, "FetchText");
    EXPECT_EQ(site.FetchCatalog("u").detail, "FetchCatalog");
    EXPECT_EQ(site.FetchFile("u", 1).detail, "FetchFile");
    EXPECT_EQ(site.Where("u"), "Where");
    EXPECT_EQ(site.Authority(), "Authority");
    EXPECT_EQ(site.CertificateWarning("u"), "CertificateWarning");
    EXPECT_EQ(site.CertificateDaysLeft("u"), 7);
    site.Prefetch({{"u", 1}});
    EXPECT_TRUE(site.Live());
    EXPECT_EQ(inner.calls.size(), 10u);
}

}  // namespace
