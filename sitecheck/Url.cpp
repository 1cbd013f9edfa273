#include "sitecheck/Url.h"

#include <cctype>
#include <vector>

#include "sitecheck/TextRules.h"

namespace sitecheck {

UrlParts SplitUrl(const std::string& url) {
    const std::size_t scheme = url.find("://");
    // A "://" after the first '/', '?' or '#' belongs to a path or query,
    // not to a scheme.
    if (scheme == std::string::npos || scheme == 0 || url.find_first_of("/?#") < scheme) {
        return UrlParts{std::string(), url};
    }
    const std::size_t end = url.find_first_of("/?#", scheme + 3);
    if (end == std::string::npos) return UrlParts{url, std::string()};
    return UrlParts{url.substr(0, end), url.substr(end)};
}

std::string RequestPath(const std::string& url) {
    const std::string rest = SplitUrl(url).rest;
    const std::string path = rest.substr(0, rest.find_first_of("?#"));
    return path.empty() ? std::string("/") : path;
}

std::string AuthorityOf(const std::string& url) {
    const std::string origin = SplitUrl(url).origin;
    std::string scheme;
    if (StartsWithNoCase(origin, "https://")) {
        scheme = "https";
    } else if (StartsWithNoCase(origin, "http://")) {
        scheme = "http";
    } else {
        return std::string();
    }
    std::string authority = origin.substr(scheme.size() + 3);
    for (char& c : authority) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string defaultPort = scheme == "https" ? ":443" : ":80";
    if (authority.size() > defaultPort.size() &&
        authority.compare(authority.size() - defaultPort.size(), defaultPort.size(), defaultPort) ==
            0) {
        authority.resize(authority.size() - defaultPort.size());
    }
    return authority;
}

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool ResolveRequestPath(const std::string& urlPath, std::string& relative) {
    // Most paths hold nothing to decode or resolve: taken as they are.
    if (!urlPath.empty() && urlPath[0] == '/' && urlPath.back() != '/' && urlPath.back() != '.' &&
        urlPath.find('%') == std::string::npos && urlPath.find("//") == std::string::npos &&
        urlPath.find("/.") == std::string::npos) {
        relative = urlPath;
        return true;
    }
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

}  // namespace sitecheck
