#include "sitecheck/CommandLine.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "sitecheck/Cp932.h"
#include "sitecheck/Sites.h"
#include "sitecheck/Url.h"

namespace sitecheck {
namespace {

constexpr char kUsage[] =
    "usage: velta-site check DIR --base-url https://HOST/ [options]   (a site on disk)\n"
    "       velta-site check https://HOST[:PORT] [options]            (the live server)\n"
    "       velta-site plan OLD NEW --base-url https://HOST/ [options] (publishing NEW over\n"
    "                          OLD, the folder or live server published now, in stages)\n"
    "       velta-site rules [--format markdown|json]                 (the rule table)\n"
    "options:\n"
    "  --test-mode              check the test-mode catalog instead of the normal one\n"
    "  --both                   check both catalogs\n"
    "  --format FORMAT          text (default), json, sarif (SARIF 2.1.0) or github\n"
    "                           (GitHub Actions annotations); --json is --format json\n"
    "  --strict                 warnings fail the run too\n"
    "  --accept FILE            findings listed in FILE (RULE<TAB>FILE<TAB>TEXT a line)\n"
    "                           are reported as accepted and do not fail the run\n"
    "  --downloads-folder PATH  the customer's Downloads folder assumed for path lengths\n"
    "                           (default C:\\Users\\abcdefghijklmnopqrst\\Downloads)\n"
    "  --cert-days N            warn of a certificate that expires within N days (30)\n"
    "  --jobs N                 live: files fetched at once (4)\n"
    "  --grace HOURS            plan: hours between the catalogs and the deletions (48)\n"
    "exit status: 0 no error, 1 errors (with --strict: or warnings), 2 wrong usage,\n"
    "             3 the site could not be read or the checker could not run\n";

bool IsUrl(const std::string& text) { return !AuthorityOf(text).empty(); }

bool ParseCount(const std::string& text, int lowest, int highest, int& value) {
    if (text.empty() || text.size() > 6 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::stoi(text);
    return value >= lowest && value <= highest;
}

bool ReadWholeFile(const std::string& utf8Path, std::string& content) {
#ifdef _WIN32
    std::ifstream in(std::filesystem::u8path(utf8Path), std::ios::binary);
#else
    std::ifstream in(utf8Path, std::ios::binary);
#endif
    if (!in) return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    content = buffer.str();
    return !in.bad();
}

#ifdef _WIN32
std::string ProgressText(std::size_t done, std::size_t total) {
    return "velta-site: files " + std::to_string(done) + "/" + std::to_string(total);
}
#endif

}  // namespace

std::string UsageText() { return kUsage; }

int Usage(std::string& err, const std::string& problem) {
    err += "velta-site: " + problem + "\n" + kUsage;
    return 2;
}

int ParseCommandLine(const std::vector<std::string>& arguments, CommandLine& line,
                     std::string& err) {
    if (arguments.empty() || (arguments[0] != "check" && arguments[0] != "plan"))
        return Usage(err, "expected the command \"check\", \"plan\" or \"rules\"");
    const bool plan = arguments[0] == "plan";
    line = CommandLine();
    std::vector<std::string> sites;
    std::string downloadsFolder;
    Options& options = line.options;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        const bool takesValue = a == "--base-url" || a == "--downloads-folder" || a == "--format" ||
                                a == "--accept" || a == "--jobs" || a == "--cert-days" ||
                                (plan && a == "--grace");
        if (takesValue && i + 1 >= arguments.size()) return Usage(err, a + " needs a value");
        if (a == "--base-url") {
            line.baseUrl = arguments[++i];
        } else if (a == "--downloads-folder") {
            downloadsFolder = arguments[++i];
            if (downloadsFolder.empty()) return Usage(err, "--downloads-folder is empty");
        } else if (a == "--accept") {
            line.acceptPath = arguments[++i];
        } else if (a == "--format") {
            const std::optional<Format> parsed = ParseFormat(arguments[++i]);
            if (!parsed) return Usage(err, "unknown format " + arguments[i]);
            line.format = *parsed;
        } else if (a == "--jobs") {
            if (!ParseCount(arguments[++i], 1, 64, line.jobs))
                return Usage(err, "--jobs takes a number from 1 to 64, not " + arguments[i]);
        } else if (a == "--cert-days") {
            if (!ParseCount(arguments[++i], 0, 3650, options.certDays))
                return Usage(err, "--cert-days takes a number from 0 to 3650, not " + arguments[i]);
        } else if (a == "--grace") {
            if (!ParseCount(arguments[++i], 0, 8760, line.graceHours))
                return Usage(err, "--grace takes hours from 0 to 8760, not " + arguments[i]);
        } else if (a == "--test-mode") {
            options.normalCatalog = false;
            options.testCatalog = true;
        } else if (a == "--both") {
            options.normalCatalog = options.testCatalog = true;
        } else if (a == "--json") {
            line.format = Format::Json;
        } else if (a == "--strict") {
            line.strict = true;
        } else if (!a.empty() && a[0] == '-') {
            return Usage(err, "unknown option " + a);
        } else if (sites.size() < (plan ? 2u : 1u)) {
            sites.push_back(a);
        } else {
            return Usage(
                err, "more than " + std::string(plan ? "two sites" : "one site") + " given: " + a);
        }
    }
    if (sites.size() < (plan ? 2u : 1u))
        return Usage(err, plan ? "plan needs OLD and NEW" : "no site given");
    line.target = sites.back();
    if (plan) line.oldTarget = sites.front();
    if (!downloadsFolder.empty()) {
        // The tool builds its paths with the ANSI functions: code page 932.
        const std::optional<std::string> ansi = Utf8ToCp932(downloadsFolder);
        if (!ansi) return Usage(err, "--downloads-folder has characters code page 932 lacks");
        options.downloadsFolder = *ansi;
    }
    std::string& folder = options.downloadsFolder;
    if (folder.back() != '\\') folder += '\\';
    return -1;
}

std::unique_ptr<Site> MakeSite(const std::string& target, const std::string& baseUrl,
                               const CommandLine& line, const CommandIo& io, std::string& problem,
                               bool* missingFolder) {
    if (IsUrl(target)) {
#ifdef _WIN32
        LiveOptions live;
        live.jobs = line.jobs;
        if (io.progress) {
            live.progress = [&io, shown = std::size_t(0)](std::size_t done,
                                                          std::size_t total) mutable {
                const std::string text = ProgressText(done, total);
                io.progress("\r" + text);
                shown = text.size();
                if (done == total) io.progress("\r" + std::string(shown, ' ') + "\r");
            };
        }
        return MakeLiveSite(target, live, problem);
#else
        (void)line;
        (void)io;
        problem =
            "checking a live server needs the Windows build (velta-site.exe), "
            "which fetches through the tool's own WinINet requests";
        return nullptr;
#endif
    }
    if (baseUrl.empty()) {
        problem = "a folder needs --base-url https://HOST/";
        return nullptr;
    }
    return MakeDirectorySite(target, baseUrl, problem, missingFolder);
}

int Unreadable(const std::string& problem, const CommandLine& line, std::string& out) {
    Report unread;
    unread.fatal = problem;
    out += FormatReport(unread, line.format, ReportContext());
    return ExitStatus(unread, ReportContext(), line.strict);
}

int ReadAcceptList(const CommandLine& line, std::vector<AcceptEntry>& accepted, std::string& err) {
    if (line.acceptPath.empty()) return -1;
    std::string content, problem;
    if (!ReadWholeFile(line.acceptPath, content))
        return Usage(err, "cannot read " + line.acceptPath);
    accepted = ParseAcceptList(content, problem);
    if (!problem.empty()) return Usage(err, line.acceptPath + ": " + problem);
    return -1;
}

std::string SiteRoot(Site& site, const std::string& target, const std::string& baseUrl) {
    // The site's root is where its origin's "/" maps to.
    std::string root = site.Where((IsUrl(target) ? target : SplitUrl(baseUrl).origin) + "/");
    if (root.empty() || root.back() != '/') root += '/';
    return root;
}

void ApplyAccepted(const CommandLine& line, const std::vector<AcceptEntry>& accepted,
                   const Report& report, const std::vector<std::string>& roots,
                   ReportContext& context, std::string& err) {
    if (line.acceptPath.empty()) return;
    // Files below the site, named alike in both modes.
    std::vector<std::string> siteFiles;
    for (const Finding& f : report.findings) {
        std::string file = f.file;
        for (const std::string& root : roots) {
            if (f.file.compare(0, root.size(), root) == 0) {
                file = f.file.substr(root.size());
                break;
            }
        }
        siteFiles.push_back(file);
    }
    for (const AcceptEntry& unused : ApplyAcceptList(accepted, report, siteFiles, context)) {
        err += ValidUtf8("velta-site: " + line.acceptPath + ":" + std::to_string(unused.line) +
                         ": no such finding any more: " + unused.rule + " " + unused.file + "\n");
    }
}

}  // namespace sitecheck
