#include "sitecheck/Rules.h"

#include <algorithm>
#include <array>

#include "common/CustomerTexts.h"

namespace sitecheck {
namespace {

constexpr Severity E = Severity::Error;
constexpr Severity W = Severity::Warning;

// The customer's texts live once, in common/CustomerTexts.h; a row that
// quotes one is joined from it here, at compile time.
template <std::size_t... N>
constexpr auto Join(const char (&... parts)[N]) {
    std::array<char, (N + ... + 0) - sizeof...(N) + 1> out{};
    std::size_t at = 0;
    ((std::copy_n(parts, N - 1, out.begin() + at), at += N - 1), ...);
    return out;
}

constexpr char kSees[] = "the customer sees \"";

constexpr auto kCatalogFailure =
    Join(kSees, texts::kCatalogCommunicationError, "\"; no product can be chosen");
constexpr auto kUpdateNotice = Join(kSees, texts::kUpdateNotice, "\" and can download nothing");
constexpr auto kFileListFailure = Join(kSees, texts::kFileListFailure, "\"");
constexpr auto kFileListUnread =
    Join(kSees, texts::kFileListFailure, "\"; nothing of the product is downloaded");
constexpr auto kWholeListFails =
    Join("the whole list fails: ", kSees, texts::kFileListFailure, "\"");
constexpr auto kNoProducts = Join(kSees, texts::kNoProducts, "\"");
constexpr auto kNoResponse = Join(kSees, texts::kCatalogNoResponse, "\"");
constexpr auto kNoResponseSlower =
    Join("on a slower line ", kSees, texts::kCatalogNoResponse, "\"");
constexpr auto kNoResponseThrottled =
    Join("on a line throttled to 128 kbit/s ", kSees, texts::kCatalogNoResponse, "\"");
constexpr auto kLoopEnds =
    Join(kSees, texts::kDownloadFailure, "\" and no later file is downloaded");
constexpr auto kDeviceName = Join("the file never lands in the work folder (CON: ", kSees,
                                  texts::kDownloadFailure, "\" and no later file is downloaded)");
constexpr auto kSetupUnfetched =
    Join(kSees, texts::kDownloadFailure, "\", then ", kSees, texts::kSetupFailure, "\"");
constexpr auto kDownloadFails = Join(kSees, texts::kDownloadFailure, "\"");
constexpr auto kBlankLost =
    Join("the file is lost: a status 404 for the listed name, then ", kSees,
         texts::kDownloadFailure, "\" and an empty file is left beside the setup");
constexpr auto kSetupFails = Join(kSees, texts::kSetupFailure, "\"");
constexpr auto kServerRefused =
    Join("nothing of that server is downloaded: ", kSees, texts::kCatalogCommunicationError,
         "\" for the catalog, \"", texts::kFileListFailure, "\" for a file list, \"",
         texts::kDownloadFailure, "\" for a file");
constexpr auto kFileMissingInARun =
    Join(kSees, texts::kDownloadFailure, "\" (the setup program: then ", kSees,
         texts::kSetupFailure, "\")");

// One row per kind of finding, in id order.
constexpr Rule kRules[] = {
    {RuleId::VS101, "VS101", E, kBothModes,
     "the catalog cannot be fetched (missing, a status other than 200, no answer)",
     kCatalogFailure.data(),
     "publish the catalog at its fixed path and make the server answer it with status 200"},
    {RuleId::VS102, "VS102", E, kBothModes,
     "the catalog is the update notice (its first byte is \"!\")", kUpdateNotice.data(),
     "remove the \"!\" unless the notice is meant"},
    {RuleId::VS103, "VS103", W, kBothModes, "the catalog starts with a UTF-8 byte-order mark",
     "nothing visible: the first line's number column reads as 0, and the tool shows the "
     "number nowhere",
     "save the catalog as Shift-JIS without a byte-order mark"},
    {RuleId::VS104, "VS104", E, kBothModes, "the catalog starts with a UTF-16 byte-order mark",
     "the tool reads the catalog up to its first zero byte: products are garbled or missing",
     "save the catalog as Shift-JIS (code page 932)"},
    {RuleId::VS105, "VS105", E, kBothModes,
     "a product's name or URL column is UTF-8, not Shift-JIS",
     "product names in the list appear garbled, or the tool requests the URL's UTF-8 bytes",
     "save the catalog as Shift-JIS (code page 932)"},
    {RuleId::VS106, "VS106", W, kBothModes,
     "the number, date or an ignored column holds bytes that are not Shift-JIS text",
     "nothing visible: the tool shows this column nowhere",
     "save the catalog as Shift-JIS; keep these columns to digits"},
    {RuleId::VS107, "VS107", E, kBothModes,
     "a name or URL column holds a byte code page 932 cannot decode",
     "the name appears garbled in the list, or the URL does not match the published file",
     "save the catalog as Shift-JIS (code page 932)"},
    {RuleId::VS108, "VS108", E, kBothModes, "a catalog line's name column (column 2) is empty",
     "this line's product is missing from the list, without any message",
     "give the line a name: number,name,URL,date"},
    {RuleId::VS109, "VS109", E, kBothModes,
     "a zero byte in the catalog: the tool reads nothing after it",
     "the list never shows the products after the zero byte",
     "remove the zero byte (save the catalog as Shift-JIS text)"},
    {RuleId::VS110, "VS110", W, kBothModes,
     "a catalog line begins with \"#\", but the catalog has no comment lines",
     "the \"commented-out\" product is listed like any other",
     "delete the line instead of commenting it out"},
    {RuleId::VS111, "VS111", E, kBothModes, "a product's URL column (column 3) is empty",
     "the start button does nothing for this product", "give the product its URL prefix"},
    {RuleId::VS112, "VS112", E, kBothModes, "a product's URL column is not an http or https URL",
     kFileListFailure.data(), "write the URL as https://HOST/path/"},
    {RuleId::VS113, "VS113", W, kBothModes, "a product's URL column does not end in \"/\"",
     "the tool requests the list's name glued on without a separator",
     "end the URL column with \"/\""},
    {RuleId::VS114, "VS114", W, kBothModes, "a product's URL column is not https",
     "the product's files travel unencrypted and unauthenticated", "use https"},
    {RuleId::VS115, "VS115", W, kBothModes,
     "a product's URL column points to another host than the site",
     "the product depends on a second server",
     "publish the product on the site's host, or check that host too"},
    {RuleId::VS116, "VS116", W, kBothModes, "the number column is not a whole number in 32 bits",
     "nothing visible: the tool takes another number and shows it nowhere",
     "write a whole number in decimal"},
    {RuleId::VS117, "VS117", W, kBothModes, "the date column is not a date written yyyymmdd",
     "nothing visible: the tool carries the date but shows it nowhere",
     "write the date as eight digits, yyyymmdd"},
    {RuleId::VS118, "VS118", W, kBothModes, "two products have the same name",
     "two items of the same name in the list", "give each product its own name"},
    {RuleId::VS119, "VS119", W, kBothModes, "the catalog lists no product", kNoProducts.data(),
     "add the products' lines"},
    {RuleId::VS120, "VS120", E, kLive, "the live catalog took longer than the tool's 5000 ms wait",
     kNoResponse.data(), "serve the catalog faster, or keep it small"},
    {RuleId::VS121, "VS121", W, kLive,
     "the live catalog took more than half of the tool's 5000 ms wait", kNoResponseSlower.data(),
     "serve the catalog faster, or keep it small"},
    {RuleId::VS122, "VS122", W, kDirectory,
     "the catalog is large enough to risk the tool's 5000 ms wait on a slow line",
     kNoResponseThrottled.data(), "keep the catalog under 64,000 bytes"},
    {RuleId::VS201, "VS201", E, kBothModes, "a product's file list cannot be fetched",
     kFileListUnread.data(),
     "publish downloadlist.txt under the product's URL prefix, answered with status 200"},
    {RuleId::VS202, "VS202", E, kBothModes, "a file-list line is over 1023 bytes",
     kWholeListFails.data(), "shorten the line"},
    {RuleId::VS203, "VS203", E, kBothModes, "the file list names no file",
     "the start button silently does nothing for the product", "list the product's files"},
    {RuleId::VS204, "VS204", E, kBothModes,
     "a zero byte in a file list: the tool reads nothing after it",
     "the files after the zero byte are never downloaded", "remove the zero byte"},
    {RuleId::VS205, "VS205", E, kBothModes,
     "a file-list line ends in a blank, which the tool's request leaves out (measured with "
     "Wine's WinINet; Windows' WinINet cannot be measured here): the server is asked for "
     "another name",
     kBlankLost.data(), "remove the trailing blanks from the line and from the file's name"},
    {RuleId::VS206, "VS206", W, kBothModes,
     "a file-list line begins with a blank, or ends with a dot or a tab",
     "the tool requests it with them (a blank as %20), but Windows drops trailing dots from "
     "the local file name",
     "remove the blanks and dots"},
    {RuleId::VS301, "VS301", E, kBothModes,
     "two entries land on one local file (the file system folds case, full-width "
     "letters included, and drops trailing dots and blanks)",
     "this file replaces the earlier one in the work folder",
     "give every file of a product its own name"},
    {RuleId::VS302, "VS302", E, kBothModes, "a later entry lands on the setup program's local file",
     "this file replaces the setup program in the work folder and is started as the setup",
     "give the later file another name"},
    {RuleId::VS303, "VS303", E, kBothModes,
     "an entry gives an empty file name (it ends in \"/\", or a part is over 255 bytes)",
     kLoopEnds.data(), "name a file, not a folder; keep each part of it within 255 bytes"},
    {RuleId::VS304, "VS304", E, kBothModes,
     "an entry's file name names a folder (\".\", \"..\", only dots and blanks)", kLoopEnds.data(),
     "name a file"},
    {RuleId::VS305, "VS305", E, kBothModes,
     "an entry's file name is a device name Windows reserves (CON, NUL, COM1, ...)",
     kDeviceName.data(), "rename the file"},
    {RuleId::VS306, "VS306", E, kBothModes,
     "an entry's file name holds a character Windows refuses (such as ? or *, or a control "
     "character)",
     kLoopEnds.data(), "rename the file"},
    {RuleId::VS307, "VS307", E, kBothModes,
     "the local path is over the 259 UTF-16 characters the platform's ANSI file functions take",
     kLoopEnds.data(), "shorten the file name"},
    {RuleId::VS308, "VS308", E, kBothModes,
     "the file name or local path does not fit the tool's 512-byte buffers", kLoopEnds.data(),
     "shorten the file name"},
    {RuleId::VS401, "VS401", E, kBothModes, "the setup program cannot be fetched",
     kSetupUnfetched.data(), "publish the setup program, answered with status 200"},
    {RuleId::VS402, "VS402", E, kBothModes,
     "a file cannot be fetched (missing, a status other than 200, no answer)",
     kDownloadFails.data(), "publish the file, answered with status 200"},
    {RuleId::VS403, "VS403", E, kLive, "a file's transfer breaks off after status 200",
     kDownloadFails.data(), "serve the whole file with a correct Content-Length"},
    {RuleId::VS404, "VS404", E, kBothModes, "the setup program is empty", kSetupFails.data(),
     "publish the real setup program"},
    {RuleId::VS405, "VS405", E, kBothModes, "the setup program is not a Windows executable",
     kSetupFails.data(), "list the setup program (an .exe, or a .bat/.cmd) first"},
    {RuleId::VS406, "VS406", W, kBothModes, "the setup program is a batch file",
     "Windows runs it through the command interpreter, in a console window",
     "nothing, if that is meant; else list an .exe first"},
    {RuleId::VS407, "VS407", W, kLive, "a file is served without Content-Length",
     "the progress window shows no total size and no remaining time",
     "let the server send Content-Length"},
    {RuleId::VS408, "VS408", W, kLive, "a file's Content-Length does not match its body",
     "the progress window shows a wrong total", "let the server send the right length"},
    {RuleId::VS409, "VS409", W, kLive,
     "a data file is announced as an HTML page (Content-Type: text/html), but its bytes are no "
     "page",
     "nothing in the tool, which saves the bytes as they come; a proxy or a browser on the way "
     "may treat the file as a page",
     "serve the file with its own type, such as application/octet-stream"},
    {RuleId::VS410, "VS410", E, kBothModes,
     "a data file is answered with an HTML page (an error page served in its place)",
     "nothing at first: the tool reports success, saves the page under the file's name, and "
     "the setup finds a broken file",
     "serve the file itself; check the server's error handling"},
    {RuleId::VS501, "VS501", W, kLive, "the server's certificate has the wrong name or dates",
     "the tool accepts it, but a browser opening the same address shows a security warning",
     "renew the certificate for the site's host name"},
    {RuleId::VS502, "VS502", W, kLive,
     "the server's certificate expires soon (--cert-days, 30 by default)",
     "once it has expired the tool still downloads, but a browser opening the same address "
     "shows a security warning",
     "renew the certificate"},
    {RuleId::VS503, "VS503", E, kLive,
     "the tool refuses the server's certificate (a fault other than name or dates, which it "
     "ignores); the reason shown is the platform's: Wine reports an authority it does not trust "
     "as error 12057 (revocation cannot be checked) when the server sends its certificate alone, "
     "as 12045 (invalid authority) when it sends the chain",
     kServerRefused.data(),
     "serve a certificate chain up to an authority Windows trusts, with the intermediates"},
    {RuleId::VS601, "VS601", E, kBothModes,
     "plan: a file an old file list names is replaced under the same URL",
     "a run that fetched the old list gets the new file beside the old version's other files, "
     "and the setup runs on that mix",
     "publish the changed file under a new name, or the new release in a new product folder"},
    {RuleId::VS602, "VS602", E, kBothModes,
     "plan: a customer's run across the publishing stages finds its product's file list missing",
     kFileListUnread.data(), "publish each file list before the catalog that names it"},
    {RuleId::VS603, "VS603", E, kBothModes,
     "plan: a customer's run across the publishing stages finds a file missing",
     kFileMissingInARun.data(),
     "publish the files before the lists that name them; delete old files only after the grace "
     "period"},
    {RuleId::VS604, "VS604", E, kBothModes,
     "plan: a customer's run across the publishing stages gets files of two versions, or a list "
     "its catalog does not offer",
     "the setup runs on a mix of two versions' files",
     "never change a published file in place: new names, or a new product folder"},
    {RuleId::VS605, "VS605", W, kLive,
     "plan: a live old file over 64 MiB that NEW keeps under its URL at the same size is taken "
     "as unchanged without comparing its bytes",
     "nothing if its bytes are the same; if not, as VS601: the setup can run on a mix of versions",
     "compare that file by hand, or plan against a copy of the published folder"},
};

#define VELTA_SITE_RULE_CODE(code) #code,
constexpr std::string_view kCodes[] = {VELTA_SITE_RULES(VELTA_SITE_RULE_CODE)};
#undef VELTA_SITE_RULE_CODE

constexpr bool RowsInIdOrder() {
    if (std::size(kRules) != kRuleCount) return false;
    for (std::size_t i = 0; i < std::size(kRules); ++i) {
        if (static_cast<std::size_t>(kRules[i].id) != i || kCodes[i] != kRules[i].code) {
            return false;
        }
    }
    return true;
}
static_assert(RowsInIdOrder(), "one row per RuleId, in the enum's order, under its own code");

}  // namespace

std::span<const Rule> AllRules() { return kRules; }

const Rule& RuleOf(RuleId id) { return kRules[static_cast<std::size_t>(id)]; }

const Rule* FindRule(std::string_view code) {
    const auto found = std::find_if(std::begin(kRules), std::end(kRules),
                                    [&](const Rule& r) { return code == r.code; });
    return found == std::end(kRules) ? nullptr : found;
}

bool RunsIn(RuleId id, bool live) { return (RuleOf(id).modes & (live ? kLive : kDirectory)) != 0; }

const char* SeverityName(Severity severity) {
    return severity == Severity::Error ? "error" : "warning";
}

}  // namespace sitecheck
