// The one place the checker cuts URLs into origin and the rest.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "sitecheck/Url.h"

namespace {

TEST(Url, SplitsOriginFromPathQueryAndFragment) {
    struct Case {
        std::string url, origin, rest, requestPath, authority;
    };
    const std::vector<Case> cases = {
        {"https://h", "https://h", "", "/", "h"},
        {"https://h/", "https://h", "/", "/", "h"},
        {"https://h:8443/a/b.txt", "https://h:8443", "/a/b.txt", "/a/b.txt", "h:8443"},
        {"HTTP://H/x", "HTTP://H", "/x", "/x", "h"},
        {"https://h?q=/x", "https://h", "?q=/x", "/", "h"},
        {"https://h#f/x", "https://h", "#f/x", "/", "h"},
        {"https://h/a?q=1#f", "https://h", "/a?q=1#f", "/a", "h"},
        {"https://u:p@h:1/a", "https://u:p@h:1", "/a", "/a", "u:p@h:1"},
        {"https://[::1]:8443/a", "https://[::1]:8443", "/a", "/a", "[::1]:8443"},
        {"https:///a", "https://", "/a", "/a", ""},
        {"/only/a/path", "", "/only/a/path", "/only/a/path", ""},
        {"/a?next=https://h/", "", "/a?next=https://h/", "/a", ""},
        {"://h/a", "", "://h/a", "://h/a", ""},
        {"", "", "", "/", ""},
        // Only the scheme's own default port is dropped.
        {"HTTPS://Vendor.Test:443/a", "HTTPS://Vendor.Test:443", "/a", "/a", "vendor.test"},
        {"http://h:80", "http://h:80", "", "/", "h"},
        {"http://h:443/", "http://h:443", "/", "/", "h:443"},
        {"https://h:4430/", "https://h:4430", "/", "/", "h:4430"},
        {"ftp://h/a", "ftp://h", "/a", "/a", ""},
    };
    for (const Case& c : cases) {
        const sitecheck::UrlParts parts = sitecheck::SplitUrl(c.url);
        EXPECT_EQ(parts.origin, c.origin) << c.url;
        EXPECT_EQ(parts.rest, c.rest) << c.url;
        EXPECT_EQ(parts.origin + parts.rest, c.url);
        EXPECT_EQ(sitecheck::RequestPath(c.url), c.requestPath) << c.url;
        EXPECT_EQ(sitecheck::AuthorityOf(c.url), c.authority) << c.url;
    }
}

// The file a static web server maps a request path to, as the directory
// reader and the planner name it: decoded, "." and ".." resolved inside the
// root, empty segments and a final '/' dropped.
TEST(Url, RequestPathsResolveInsideTheRoot) {
    const std::vector<std::pair<std::string, const char*>> cases = {
        {"/a/b", "/a/b"},       {"/a/b/", "/a/b"},
        {"/a//b", "/a/b"},      {"/a/./b", "/a/b"},
        {"/a/../b", "/b"},      {"/a/b/..", "/a"},
        {"/a/b/.", "/a/b"},     {"/a%2Fb", "/a/b"},
        {"/a%20b", "/a b"},     {"/a/.hidden", "/a/.hidden"},
        {"/a/b.", "/a/b."},     {"/", ""},
        {"/../x", nullptr},     {"/a/../../x", nullptr},
        {"/%2E%2E/x", nullptr},
    };
    for (const auto& [path, relative] : cases) {
        std::string resolved = "unset";
        const bool inside = sitecheck::ResolveRequestPath(path, resolved);
        EXPECT_EQ(inside, relative != nullptr) << path;
        if (inside && relative) {
            EXPECT_EQ(resolved, relative) << path;
        }
    }
}

}  // namespace
