#pragma once
// A site that passes every call on to another one. A wrapper that watches
// or widens some calls derives from it and overrides only those: every
// method of Site is passed on here, so a wrapper cannot fall back to
// Site's default and skip the real site's own.
#include "sitecheck/SiteCheck.h"

namespace sitecheck {

class ForwardingSite : public Site {
public:
    explicit ForwardingSite(Site& inner) : m_inner(inner) {}

    std::string CatalogUrl(int testMode) const override { return m_inner.CatalogUrl(testMode); }
    Fetched FetchText(const std::string& url) override { return m_inner.FetchText(url); }
    Fetched FetchCatalog(const std::string& url) override { return m_inner.FetchCatalog(url); }
    Fetched FetchFile(const std::string& url, std::size_t headBytes) override {
        return m_inner.FetchFile(url, headBytes);
    }
    std::string Where(const std::string& url) const override { return m_inner.Where(url); }
    std::string Authority() const override { return m_inner.Authority(); }
    std::string CertificateWarning(const std::string& url) override {
        return m_inner.CertificateWarning(url);
    }
    std::optional<int> CertificateDaysLeft(const std::string& url) override {
        return m_inner.CertificateDaysLeft(url);
    }
    void Prefetch(const std::vector<std::pair<std::string, std::size_t>>& files) override {
        m_inner.Prefetch(files);
    }
    bool Live() const override { return m_inner.Live(); }

private:
    Site& m_inner;
};

}  // namespace sitecheck
