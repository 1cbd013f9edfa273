#include "sitecheck/Url.h"

#include <cctype>

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

}  // namespace sitecheck
