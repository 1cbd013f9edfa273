#include "sitecheck/Rules.h"

#include <algorithm>

namespace sitecheck {

namespace {
constexpr Severity E = Severity::Error;
constexpr Severity W = Severity::Warning;
}  // namespace

// One rule per kind of finding. The ids are public (pipelines accept them by
// id): never renumber one, retire it instead. VS1xx catalog, VS2xx file
// list, VS3xx local file names, VS4xx files, VS5xx server.
const std::vector<Rule>& AllRules() {
    static const std::vector<Rule> rules = {
        {"VS101", E, "the catalog cannot be fetched (missing, a status other than 200, no answer)",
         "the catalog failure message; no product can be chosen",
         "publish the catalog at its fixed path and make the server answer it with status 200"},
        {"VS102", E, "the catalog is the update notice (its first byte is \"!\")",
         "the update notice: this version of the tool may no longer be used",
         "remove the \"!\" unless the notice is meant"},
        {"VS103", W, "the catalog starts with a UTF-8 byte-order mark",
         "nothing visible: the first line's number column reads as 0, and the number is shown "
         "nowhere",
         "save the catalog as Shift-JIS without a byte-order mark"},
        {"VS104", E, "the catalog starts with a UTF-16 byte-order mark",
         "the tool reads up to the first zero byte: products garbled or missing",
         "save the catalog as Shift-JIS (code page 932)"},
        {"VS105", E, "a product's name or URL column is UTF-8, not Shift-JIS",
         "garbled product names in the list (or a URL that is not requested as written)",
         "save the catalog as Shift-JIS (code page 932)"},
        {"VS106", W,
         "the number, date or an ignored column holds bytes that are not Shift-JIS text",
         "nothing visible: the tool shows none of these columns",
         "save the catalog as Shift-JIS; keep these columns to digits"},
        {"VS107", E, "a name or URL column holds a byte code page 932 cannot decode",
         "a garbled name in the list, or a URL that does not match the published file",
         "save the catalog as Shift-JIS (code page 932)"},
        {"VS108", E, "a catalog line's name column (column 2) is empty",
         "the product is missing from the list, without any message",
         "give the line a name: number,name,URL,date"},
        {"VS109", E, "a zero byte in the catalog: the tool reads nothing after it",
         "the products after the zero byte are missing from the list",
         "remove the zero byte (save the catalog as Shift-JIS text)"},
        {"VS110", W, "a catalog line begins with \"#\", but the catalog has no comment lines",
         "the \"commented-out\" product is listed like any other",
         "delete the line instead of commenting it out"},
        {"VS111", E, "a product's URL column (column 3) is empty",
         "the start button does nothing for that product", "give the product its URL prefix"},
        {"VS112", E, "a product's URL column is not an http or https URL",
         "the file-list failure message", "write the URL as https://HOST/path/"},
        {"VS113", W, "a product's URL column does not end in \"/\"",
         "the tool requests the list's name glued on without a separator",
         "end the URL column with \"/\""},
        {"VS114", W, "a product's URL column is not https",
         "the product's files travel unencrypted and unauthenticated", "use https"},
        {"VS115", W, "a product's URL column points to another host than the site",
         "the product depends on a second server (not followed in directory mode)",
         "publish the product on the site's host, or check that host too"},
        {"VS116", W, "the number column is not a whole number in 32 bits",
         "nothing visible: the tool takes another number and shows it nowhere",
         "write a whole number in decimal"},
        {"VS117", W, "the date column is not a date written yyyymmdd",
         "nothing visible: the tool carries the date but shows it nowhere",
         "write the date as eight digits, yyyymmdd"},
        {"VS118", W, "two products have the same name", "two items of the same name in the list",
         "give each product its own name"},
        {"VS119", W, "the catalog lists no product", "the message that no product is available",
         "add the products' lines"},
        {"VS120", E, "the live catalog took longer than the tool's 5000 ms wait",
         "the message that the server does not answer",
         "serve the catalog faster, or keep it small"},
        {"VS121", W, "the live catalog took more than half of the tool's 5000 ms wait",
         "on a slower line the message that the server does not answer",
         "serve the catalog faster, or keep it small"},
        {"VS122", W, "the catalog is large enough to risk the tool's 5000 ms wait on a slow line",
         "on a throttled mobile line the message that the server does not answer",
         "keep the catalog under 64,000 bytes"},
        {"VS201", E, "a product's file list cannot be fetched",
         "the file-list failure message; nothing is downloaded",
         "publish downloadlist.txt under the product's URL prefix, answered with status 200"},
        {"VS202", E, "a file-list line is over 1023 bytes",
         "the file-list failure message: the whole list fails", "shorten the line"},
        {"VS203", E, "the file list names no file",
         "the start button silently does nothing for that product", "list the product's files"},
        {"VS204", E, "a zero byte in a file list: the tool reads nothing after it",
         "the files after the zero byte are never downloaded", "remove the zero byte"},
        {"VS205", W, "a file-list line begins or ends with a blank or a dot",
         "the tool requests it with them, but Windows drops trailing blanks and dots from the "
         "local name",
         "remove the blanks and dots"},
        {"VS301", E,
         "two entries land on one local file (the file system folds case, full-width "
         "letters included, and drops trailing dots and blanks)",
         "the later file replaces the earlier one in the work folder",
         "give every file of a product its own name"},
        {"VS302", E, "a later entry lands on the setup program's local file",
         "that file replaces the setup program and is started as the setup",
         "give the later file another name"},
        {"VS303", E,
         "an entry gives an empty file name (it ends in \"/\", or a part is over 255 "
         "bytes)",
         "the download failure message, and no later file is downloaded",
         "name a file, not a folder; keep each part of it within 255 bytes"},
        {"VS304", E, "an entry's file name names a folder (\".\", \"..\", only dots and blanks)",
         "the download failure message, and no later file is downloaded", "name a file"},
        {"VS305", E, "an entry's file name is a device name Windows reserves (CON, NUL, COM1, ...)",
         "the file never lands in the work folder (CON: the download failure message, and no "
         "later file is downloaded)",
         "rename the file"},
        {"VS306", E,
         "an entry's file name holds a character Windows refuses (such as ? or *, or a "
         "control character)",
         "the download failure message, and no later file is downloaded", "rename the file"},
        {"VS307", E,
         "the local path is over the 259 UTF-16 characters the platform's ANSI file functions take",
         "the download failure message, and no later file is downloaded", "shorten the file name"},
        {"VS308", E, "the file name or local path does not fit the tool's 512-byte buffers",
         "the download failure message, and no later file is downloaded", "shorten the file name"},
        {"VS401", E, "the setup program cannot be fetched",
         "the download failure message, then the message that running the download failed",
         "publish the setup program, answered with status 200"},
        {"VS402", E, "a file cannot be fetched (missing, a status other than 200, no answer)",
         "the download failure message (after no answer at all: no later file is downloaded)",
         "publish the file, answered with status 200"},
        {"VS403", E, "a file's transfer breaks off after status 200",
         "the download failure message", "serve the whole file with a correct Content-Length"},
        {"VS404", E, "the setup program is empty", "the message that running the download failed",
         "publish the real setup program"},
        {"VS405", E, "the setup program is not a Windows executable",
         "the message that running the download failed",
         "list the setup program (an .exe, or a .bat/.cmd) first"},
        {"VS406", W, "the setup program is a batch file",
         "it runs through the command interpreter, with its console window",
         "nothing, if that is meant; else list an .exe first"},
        {"VS407", W, "a file is served without Content-Length",
         "the progress window shows no total size and no remaining time",
         "let the server send Content-Length"},
        {"VS408", W, "a file's Content-Length does not match its body",
         "the progress window shows a wrong total", "let the server send the right length"},
        {"VS409", W, "a data file is answered with an HTML page (an error page served as content)",
         "the HTML page is saved under the file's name and the setup finds a broken file",
         "serve the file itself; check the server's error handling"},
        {"VS501", W, "the server's certificate has the wrong name or dates",
         "nothing in the tool, which ignores both; a browser opening the address warns",
         "renew the certificate for the site's host name"},
        {"VS502", W, "the server's certificate expires soon (--cert-days, 30 by default)",
         "once it has expired, nothing in the tool; a browser opening the address warns",
         "renew the certificate"},
    };
    return rules;
}

const Rule* FindRule(const std::string& id) {
    const std::vector<Rule>& rules = AllRules();
    const auto found =
        std::find_if(rules.begin(), rules.end(), [&](const Rule& r) { return id == r.id; });
    return found == rules.end() ? nullptr : &*found;
}

}  // namespace sitecheck
