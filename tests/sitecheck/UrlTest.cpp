// The one place the checker cuts URLs into origin and the rest.
#include <gtest/gtest.h>

#include "sitecheck/Url.h"

namespace {

TEST(Url, SplitsOriginFromPathQueryAndFragment) {
    struct Case {
        std::string url, origin, rest, requestPath;
    };
    const std::vector<Case> cases = {
        {"https://h", "https://h", "", "/"},
        {"https://h/", "https://h", "/", "/"},
        {"https://h:8443/a/b.txt", "https://h:8443", "/a/b.txt", "/a/b.txt"},
        {"HTTP://H/x", "HTTP://H", "/x", "/x"},
        {"https://h?q=/x", "https://h", "?q=/x", "/"},
        {"https://h#f/x", "https://h", "#f/x", "/"},
        {"https://h/a?q=1#f", "https://h", "/a?q=1#f", "/a"},
        {"https://u:p@h:1/a", "https://u:p@h:1", "/a", "/a"},
        {"https://[::1]:8443/a", "https://[::1]:8443", "/a", "/a"},
        {"https:///a", "https://", "/a", "/a"},
        {"/only/a/path", "", "/only/a/path", "/only/a/path"},
        {"/a?next=https://h/", "", "/a?next=https://h/", "/a"},
        {"://h/a", "", "://h/a", "://h/a"},
        {"", "", "", "/"},
    };
    for (const Case& c : cases) {
        const sitecheck::UrlParts parts = sitecheck::SplitUrl(c.url);
        EXPECT_EQ(parts.origin, c.origin) << c.url;
        EXPECT_EQ(parts.rest, c.rest) << c.url;
        EXPECT_EQ(parts.origin + parts.rest, c.url);
        EXPECT_EQ(sitecheck::RequestPath(c.url), c.requestPath) << c.url;
    }
}

}  // namespace
