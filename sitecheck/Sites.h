#pragma once
// The two places a site is read from: a web server's document root on disk
// (portable) and the live server through the tool's own request class
// (Windows only).
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "sitecheck/SiteCheck.h"

namespace sitecheck {

// The catalog's path on the server, taken from the tool's own catalog URL.
std::string CatalogPath(int testMode);

// The file below root that serves relative (a URL path, '/'-separated, in
// code page 932): on Windows the name the characters spell, elsewhere the
// bytes as they are, as a web server on either maps them.
std::filesystem::path DiskPath(const std::string& root, const std::string& relative);

// root is the document root that baseUrl ("https://HOST/") is served from.
// Empty error: usable; otherwise why not, and in missingFolder whether the
// folder is not there (a wrong base URL is said first).
std::unique_ptr<Site> MakeDirectorySite(const std::string& root, const std::string& baseUrl,
                                        std::string& error, bool* missingFolder = nullptr);

#ifdef _WIN32
struct LiveOptions {
    // Files fetched at once when the checker announces them (Site::Prefetch).
    int jobs = 4;
    // Called on the checker's thread as prefetched files complete.
    std::function<void(std::size_t done, std::size_t total)> progress;
};

// siteUrl: "https://HOST[:PORT]" (or http://, for servers without TLS).
std::unique_ptr<Site> MakeLiveSite(const std::string& siteUrl, std::string& error);
std::unique_ptr<Site> MakeLiveSite(const std::string& siteUrl, const LiveOptions& options,
                                   std::string& error);
#endif

}  // namespace sitecheck
