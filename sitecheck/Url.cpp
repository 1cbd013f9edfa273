// URLs cut where a web server cuts them, and request paths resolved as it
// resolves them.
#include "sitecheck/Url.h"

#include <cctype>
#include <string_view>
#include <vector>

#include "sitecheck/TextRules.h"

namespace sitecheck {

namespace {

// Where the origin ends in url: npos when the text has no "scheme://".
std::size_t OriginEnd(std::string_view url) {
    const std::size_t scheme = url.find("://");
    // A "://" after the first '/', '?' or '#' belongs to a path or query,
    // not to a scheme.
    if (scheme == std::string_view::npos || scheme == 0 || url.find_first_of("/?#") < scheme)
        return std::string_view::npos;
    const std::size_t end = url.find_first_of("/?#", scheme + 3);
    return end == std::string_view::npos ? url.size() : end;
}

}  // namespace

UrlParts SplitUrl(const std::string& url) {
    const std::size_t end = OriginEnd(url);
    if (end == std::string::npos) return UrlParts{std::string(), url};
    return UrlParts{url.substr(0, end), url.substr(end)};
}

std::string RequestPath(const std::string& url) {
    const std::size_t end = OriginEnd(url);
    std::string_view rest(url);
    if (end != std::string_view::npos) rest.remove_prefix(end);
    const std::string_view path = rest.substr(0, rest.find_first_of("?#"));
    return path.empty() ? std::string("/") : std::string(path);
}

std::string AuthorityOf(const std::string& url) {
    const std::size_t end = OriginEnd(url);
    if (end == std::string::npos) return std::string();
    const std::string_view origin = std::string_view(url).substr(0, end);
    std::string_view defaultPort;
    std::string_view rest;
    if (StartsWithNoCase(origin, "https://")) {
        defaultPort = ":443";
        rest = origin.substr(8);
    } else if (StartsWithNoCase(origin, "http://")) {
        defaultPort = ":80";
        rest = origin.substr(7);
    } else {
        return std::string();
    }
    std::string authority(rest);
    for (char& c : authority) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
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
