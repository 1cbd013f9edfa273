#include "sitecheck/Url.h"

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

}  // namespace sitecheck
