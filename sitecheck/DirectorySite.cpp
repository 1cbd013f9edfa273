#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "catalog/CatalogParser.h"
#include "sitecheck/Cp932.h"
#include "sitecheck/Sites.h"

namespace sitecheck {

std::string CatalogPath(int testMode) {
    const std::string url = BuildCatalogUrl(testMode);
    const std::size_t authority = url.find("://");
    const std::size_t path = url.find('/', authority == std::string::npos ? 0 : authority + 3);
    return path == std::string::npos ? std::string("/") : url.substr(path);
}

std::filesystem::path DiskPath(const std::string& root, const std::string& relative) {
    std::string rest = relative;
    while (!rest.empty() && rest.front() == '/') rest.erase(0, 1);
#ifdef _WIN32
    return std::filesystem::path(root) / std::filesystem::u8path(Cp932ToUtf8(rest));
#else
    return std::filesystem::path(root) / rest;
#endif
}

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A web server serving static files decodes %XX, ignores the query and
// resolves "." and ".." without ever leaving its root.
bool ResolvePath(const std::string& urlPath, std::string& relative) {
    std::string decoded;
    for (std::size_t i = 0; i < urlPath.size(); ++i) {
        if (urlPath[i] == '%' && i + 2 < urlPath.size() && HexValue(urlPath[i + 1]) >= 0 &&
            HexValue(urlPath[i + 2]) >= 0) {
            decoded += static_cast<char>(HexValue(urlPath[i + 1]) * 16 + HexValue(urlPath[i + 2]));
            i += 2;
        } else {
            decoded += urlPath[i];
        }
    }
    std::vector<std::string> segments;
    std::size_t start = 0;
    while (start <= decoded.size()) {
        std::size_t end = decoded.find('/', start);
        if (end == std::string::npos) end = decoded.size();
        const std::string segment = decoded.substr(start, end - start);
        if (segment == "..") {
            if (segments.empty()) return false;
            segments.pop_back();
        } else if (!segment.empty() && segment != ".") {
            segments.push_back(segment);
        }
        start = end + 1;
    }
    relative.clear();
    for (const std::string& segment : segments) relative += "/" + segment;
    return true;
}

class DirectorySite : public Site {
public:
    DirectorySite(std::string root, std::string baseUrl)
        : m_root(std::move(root)),
          m_baseUrl(std::move(baseUrl)),
          m_authority(AuthorityOf(m_baseUrl)) {
        while (m_root.size() > 1 && (m_root.back() == '/' || m_root.back() == '\\'))
            m_root.pop_back();
    }

    std::string CatalogUrl(int testMode) const override {
        return m_baseUrl.substr(0, m_baseUrl.find('/', m_baseUrl.find("://") + 3)) +
               CatalogPath(testMode);
    }
    std::string Authority() const override { return m_authority; }
    bool Live() const override { return false; }

    std::string Where(const std::string& url) const override {
        std::string path;
        return Map(url, path) == Mapping::File ? path : url;
    }

    Fetched FetchText(const std::string& url) override { return Read(url, std::string::npos); }
    Fetched FetchFile(const std::string& url, std::size_t headBytes) override {
        return Read(url, headBytes);
    }

private:
    enum class Mapping { File, OtherHost, OutsideRoot };

    Mapping Map(const std::string& url, std::string& path) const {
        std::filesystem::path unused;
        return Map(url, path, unused);
    }

    Mapping Map(const std::string& url, std::string& path, std::filesystem::path& disk) const {
        if (AuthorityOf(url) != m_authority) return Mapping::OtherHost;
        const std::size_t begin = url.find('/', url.find("://") + 3);
        std::string urlPath = begin == std::string::npos ? std::string("/") : url.substr(begin);
        urlPath = urlPath.substr(0, urlPath.find_first_of("?#"));
        std::string relative;
        if (!ResolvePath(urlPath, relative)) return Mapping::OutsideRoot;
        path = m_root + relative;
        disk = DiskPath(m_root, relative);
        return Mapping::File;
    }

    Fetched Read(const std::string& url, std::size_t headBytes) const {
        Fetched result;
        std::string path;
        std::filesystem::path disk;
        switch (Map(url, path, disk)) {
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
        std::error_code error;
        const std::filesystem::file_status status = std::filesystem::status(disk, error);
        if (!std::filesystem::exists(status)) {
            result.outcome = Outcome::Status;
            result.status = 404;
            result.detail = "missing, no file " + path + " (a server answers 404)";
            return result;
        }
        if (!std::filesystem::is_regular_file(status)) {
            result.outcome = Outcome::Status;
            result.status = 404;
            result.detail = path + " is not a file (a server answers 404)";
            return result;
        }
        std::ifstream in(disk, std::ios::binary);
        const uint64_t size = std::filesystem::file_size(disk, error);
        if (!in || error) {
            // The checker's own failure (its rights, a file held open by
            // another program): what a server would answer is unknown.
            result.outcome = Outcome::CheckerFailed;
            result.detail = "cannot read " + path;
            return result;
        }
        result.size = size;
        const std::size_t want = static_cast<std::size_t>(headBytes < size ? headBytes : size);
        result.body.resize(want);
        in.read(result.body.data(), static_cast<std::streamsize>(want));
        result.body.resize(static_cast<std::size_t>(in.gcount()));
        result.outcome = Outcome::Ok;
        result.status = 200;
        return result;
    }

    std::string m_root;
    std::string m_baseUrl;
    std::string m_authority;
};

}  // namespace

std::unique_ptr<Site> MakeDirectorySite(const std::string& root, const std::string& baseUrl,
                                        std::string& error) {
    std::error_code code;
    if (!std::filesystem::is_directory(root, code)) {
        error = "no such folder: " + root;
        return nullptr;
    }
    const std::string authority = AuthorityOf(baseUrl);
    const std::size_t path = baseUrl.find('/', baseUrl.find("://") + 3);
    if (authority.empty() || (path != std::string::npos && path + 1 != baseUrl.size())) {
        error = "--base-url must be https://HOST/ (or http://HOST/), not " + baseUrl;
        return nullptr;
    }
    error.clear();
    return std::make_unique<DirectorySite>(root, baseUrl);
}

}  // namespace sitecheck
