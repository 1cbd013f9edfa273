#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "catalog/CatalogParser.h"
#include "sitecheck/Cp932.h"
#include "sitecheck/DiskFile.h"
#include "sitecheck/Sites.h"
#include "sitecheck/Url.h"

namespace sitecheck {

std::string CatalogPath(int testMode) {
    const std::string rest = SplitUrl(BuildCatalogUrl(testMode)).rest;
    return rest.empty() ? std::string("/") : rest;
}

namespace {

// The command line hands the root over in UTF-8 on every platform.
std::filesystem::path RootPath(const std::string& root) {
#ifdef _WIN32
    return std::filesystem::u8path(root);
#else
    return std::filesystem::path(root);
#endif
}

}  // namespace

std::filesystem::path DiskPath(const std::string& root, const std::string& relative) {
    std::string rest = relative;
    while (!rest.empty() && rest.front() == '/') rest.erase(0, 1);
#ifdef _WIN32
    return RootPath(root) / std::filesystem::u8path(Cp932ToUtf8(rest));
#else
    return std::filesystem::path(root) / rest;
#endif
}

namespace {

class DirectorySite : public Site {
public:
    DirectorySite(std::string root, std::string baseUrl)
        : m_root(std::move(root)),
          m_baseUrl(std::move(baseUrl)),
          m_authority(AuthorityOf(m_baseUrl)) {
        while (m_root.size() > 1 && (m_root.back() == '/' || m_root.back() == '\\'))
            m_root.pop_back();
#ifdef _WIN32
        // Findings name files with '/' on every platform, the root included.
        for (char& c : m_shownRoot = m_root) {
            if (c == '\\') c = '/';
        }
#else
        m_shownRoot = m_root;
#endif
    }

    std::string CatalogUrl(int testMode) const override {
        return SplitUrl(m_baseUrl).origin + CatalogPath(testMode);
    }
    std::string Authority() const override { return m_authority; }
    bool Live() const override { return false; }

    std::string Where(const std::string& url) const override {
        std::string relative;
        return Map(url, relative) == Mapping::File ? Shown(relative) : Cp932ToUtf8(url);
    }

    Fetched FetchText(const std::string& url) override { return Read(url, std::string::npos); }
    Fetched FetchFile(const std::string& url, std::size_t headBytes) override {
        return Read(url, headBytes);
    }

private:
    enum class Mapping { File, OtherHost, OutsideRoot };

    // relative: the URL's path below the root, in code page 932.
    Mapping Map(const std::string& url, std::string& relative) const {
        if (AuthorityOf(url) != m_authority) return Mapping::OtherHost;
        if (!ResolveRequestPath(RequestPath(url), relative)) return Mapping::OutsideRoot;
        return Mapping::File;
    }

    // How findings name the file: UTF-8. Only messages need it, so a file
    // that reads well never pays for it.
    std::string Shown(const std::string& relative) const {
        return m_shownRoot + Cp932ToUtf8(relative);
    }

    Fetched Read(const std::string& url, std::size_t headBytes) const {
        Fetched result;
        std::string relative;
        switch (Map(url, relative)) {
            case Mapping::OtherHost:
                result.outcome = Outcome::NotFollowed;
                result.detail = "on another host";
                return result;
            case Mapping::OutsideRoot:
                result.outcome = Outcome::Status;
                result.status = 400;
                result.detail = "its path leaves the document root (a server answers 400)";
                return result;
            case Mapping::File:
                break;
        }
        DiskFile file = ReadDiskFile(DiskPath(m_root, relative), headBytes);
        switch (file.kind) {
            case DiskFileKind::Missing:
                result.outcome = Outcome::Status;
                result.status = 404;
                result.detail = "missing, no file " + Shown(relative) + " (a server answers 404)";
                return result;
            case DiskFileKind::NotAFile:
                result.outcome = Outcome::Status;
                result.status = 404;
                result.detail = Shown(relative) + " is not a file (a server answers 404)";
                return result;
            case DiskFileKind::Unreadable:
                // The checker's own failure (its rights, a file held open by
                // another program): what a server would answer is unknown.
                result.outcome = Outcome::CheckerFailed;
                result.detail = "cannot read " + Shown(relative);
                return result;
            case DiskFileKind::Regular:
                break;
        }
        result.size = file.size;
        result.body = std::move(file.head);
        result.outcome = Outcome::Ok;
        result.status = 200;
        return result;
    }

    std::string m_root;
    std::string m_shownRoot;
    std::string m_baseUrl;
    std::string m_authority;
};

}  // namespace

std::unique_ptr<Site> MakeDirectorySite(const std::string& root, const std::string& baseUrl,
                                        std::string& error, bool* missingFolder) {
    const std::string authority = AuthorityOf(baseUrl);
    const std::string rest = SplitUrl(baseUrl).rest;
    if (authority.empty() || (!rest.empty() && rest != "/")) {
        error = "--base-url must be https://HOST/ (or http://HOST/), not " + baseUrl;
        return nullptr;
    }
    std::error_code code;
    if (!std::filesystem::is_directory(RootPath(root), code)) {
        error = "no such folder: " + root;
        if (missingFolder != nullptr) *missingFolder = true;
        return nullptr;
    }
    error.clear();
    return std::make_unique<DirectorySite>(root, baseUrl);
}

}  // namespace sitecheck
