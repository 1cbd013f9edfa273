#include "sitecheck/Command.h"

#include <memory>

#include "sitecheck/SiteCheck.h"
#include "sitecheck/Sites.h"

namespace sitecheck {
namespace {

constexpr char kUsage[] =
    "usage: velta-site check DIR --base-url https://HOST/ [options]   (a site on disk)\n"
    "       velta-site check https://HOST[:PORT] [options]            (the live server)\n"
    "options:\n"
    "  --test-mode              check the test-mode catalog instead of the normal one\n"
    "  --both                   check both catalogs\n"
    "  --json                   findings as JSON\n"
    "  --downloads-folder PATH  the customer's Downloads folder assumed for path lengths\n"
    "                           (default C:\\Users\\abcdefghijklmnopqrst\\Downloads)\n";

bool IsUrl(const std::string& text) { return !AuthorityOf(text).empty(); }

int Usage(std::string& err, const std::string& problem) {
    err += "velta-site: " + problem + "\n" + kUsage;
    return 2;
}

}  // namespace

int RunCommand(const std::vector<std::string>& arguments, std::string& out, std::string& err) {
    if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "-h")) {
        out += kUsage;
        return 0;
    }
    if (arguments.empty() || arguments[0] != "check")
        return Usage(err, "expected the command \"check\"");
    std::string target, baseUrl;
    Options options;
    bool json = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (a == "--base-url" || a == "--downloads-folder") {
            if (i + 1 >= arguments.size()) return Usage(err, a + " needs a value");
            (a == "--base-url" ? baseUrl : options.downloadsFolder) = arguments[++i];
        } else if (a == "--test-mode") {
            options.normalCatalog = false;
            options.testCatalog = true;
        } else if (a == "--both") {
            options.normalCatalog = options.testCatalog = true;
        } else if (a == "--json") {
            json = true;
        } else if (!a.empty() && a[0] == '-') {
            return Usage(err, "unknown option " + a);
        } else if (target.empty()) {
            target = a;
        } else {
            return Usage(err, "more than one site given: " + a);
        }
    }
    if (target.empty()) return Usage(err, "no site given");
    std::string& folder = options.downloadsFolder;
    if (folder.empty()) return Usage(err, "--downloads-folder is empty");
    if (folder.back() != '\\') folder += '\\';

    std::unique_ptr<Site> site;
    std::string problem;
    if (IsUrl(target)) {
        if (!baseUrl.empty()) return Usage(err, "--base-url belongs to a check of a folder");
#ifdef _WIN32
        site = MakeLiveSite(target, problem);
#else
        return Usage(err,
                     "checking a live server needs the Windows build (velta-site.exe), "
                     "which fetches through the tool's own WinINet requests");
#endif
    } else {
        if (baseUrl.empty()) return Usage(err, "a folder needs --base-url https://HOST/");
        site = MakeDirectorySite(target, baseUrl, problem);
    }
    if (!site) return Usage(err, problem);

    const Report report = CheckSite(*site, options);
    out += json ? FormatJson(report) : FormatText(report);
    return report.ExitStatus();
}

}  // namespace sitecheck
