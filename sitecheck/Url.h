#pragma once
// An http(s) URL cut where a web server cuts it: the origin (scheme and
// authority) and the rest (path, query and fragment as written).
#include <string>

namespace sitecheck {

struct UrlParts {
    std::string origin;  // "https://host:port"; empty when the text has no "scheme://"
    std::string rest;    // from the first '/', '?' or '#' after the authority; may be empty
};

UrlParts SplitUrl(const std::string& url);

// The path a server is asked for: the rest without query and fragment,
// "/" when that is empty.
std::string RequestPath(const std::string& url);

// host[:port] of an http(s) URL, lower case, without the scheme's default
// port; empty when the text is not an http or https URL.
std::string AuthorityOf(const std::string& url);

// The file a static web server serves for a request path: %XX decoded, "."
// and ".." resolved without ever leaving its root; false when ".." would
// leave it. relative: "/a/b" (the path's own bytes), empty for the root.
bool ResolveRequestPath(const std::string& urlPath, std::string& relative);

}  // namespace sitecheck
