// The checker against small sites on disk, one fault each: every finding it
// knows about a site's catalog, file lists, file names and files, with the
// exit status the vendor's pipeline sees.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

#include "sitecheck/Command.h"
#include "sitecheck/Sites.h"
#include "tests/sitecheck/SiteFixture.h"

using namespace sitecheck_test;
using sitecheck::RuleId;
using sitecheck::Severity;

namespace {

constexpr char kListFailure[] = "ダウンロードファイルリストが取得できませんでした。";
constexpr char kDownloadFailure[] = "ダウンロードに失敗しました。";
constexpr char kSetupFailure[] = "ダウンロードファイルの実行に失敗しました。";
constexpr char kCatalogFailure[] =
    "ダウンロードカタログを取得中に、サーバーとの通信でエラーが発生しました。";
constexpr char kUpdateNotice[] = "現バージョンVELTA DLはご利用頂けません。";
constexpr char kNoProducts[] = "ご利用頂ける製品はありません。";

const std::string kCatalog = CatalogFile();
constexpr char kList[] = "p/downloadlist.txt";

struct Case {
    const char* name;
    std::function<void(SiteFiles&)> breakSite;
    std::vector<Expected> expected;
    int exitStatus;
};

void SetCatalog(SiteFiles& site, const std::string& text) { site[kCatalog] = text; }

sitecheck::Report Check(const SiteFolder& folder, bool both = false) {
    std::string error;
    auto site = sitecheck::MakeDirectorySite(folder.Path(), "https://vendor.test/", error);
    EXPECT_TRUE(site) << error;
    sitecheck::Options options;
    options.testCatalog = both;
    return site ? sitecheck::CheckSite(*site, options) : sitecheck::Report();
}

// Each case breaks a good site its own way; the check must find exactly the
// expected findings and end with the expected status.
void ExpectEachCase(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SiteFiles files = GoodSite();
        c.breakSite(files);
        const SiteFolder folder(files);
        const sitecheck::Report report = Check(folder);
        EXPECT_EQ(Mismatch(report, c.expected), "");
        EXPECT_EQ(sitecheck::ExitStatus(report, {}, false), c.exitStatus);
    }
}

std::vector<Case> OneFaultCases() {
    const std::string longName(220, 'n');  // 49-byte work folder + 224 bytes > 259
    const std::string hugeName = std::string(250, 'a') + "." + std::string(250, 'b');
    return {
        {"good site", [](SiteFiles&) {}, {}, 0},
        {"Shift-JIS name with trail bytes 0x5C and 0x7C",
         [](SiteFiles& s) {
             SetCatalog(s,
                        "1,\x83\x5C\x83\x7C\x89\xEF\x8C\x76,https://vendor.test/p/,20261201\r\n");
             s[kList] = "setup.exe\r\n\x83\x7C.cab\r\n";
             s["p/\x83\x7C.cab"] = "x";
         },
         {},
         0},
        // Catalog
        {"catalog in UTF-8",
         [](SiteFiles& s) {
             SetCatalog(s,
                        "1,VELTA "
                        "Test,https://vendor.test/p/,20261201\r\n2,\xE4\xBC\x9A\xE8\xA8\x88,https:/"
                        "/vendor.test/p/,20261201\r\n");
         },
         {{kCatalog, 2, Severity::Error, "UTF-8, not Shift-JIS", "garbled", RuleId::VS105}},
         1},
        {"catalog with a byte-order mark",
         [](SiteFiles& s) {
             SetCatalog(s,
                        "\xEF\xBB\xBF"
                        "1,VELTA Test,https://vendor.test/p/,20261201\r\n");
         },
         {{kCatalog, 1, Severity::Warning, "UTF-8 byte-order mark", "reads as 0", RuleId::VS103}},
         0},
        {"catalog in UTF-16 with its byte-order mark",
         [](SiteFiles& s) {
             SetCatalog(s, std::string("\xFF\xFE"
                                       "1\0,\0V\0",
                                       8));
         },
         {{kCatalog, 1, Severity::Error, "UTF-16 byte-order mark", "first zero byte",
           RuleId::VS104},
          {kCatalog, 1, Severity::Error, "name column (column 2) is empty", "missing from the list",
           RuleId::VS108},
          {kCatalog, 0, Severity::Warning, "lists no product", kNoProducts, RuleId::VS119}},
         1},
        {"catalog byte that code page 932 cannot decode",
         [](SiteFiles& s) {
             SetCatalog(s, "1,VELTA \x85\x40Test,https://vendor.test/p/,20261201\r\n");
         },
         {{kCatalog, 1, Severity::Error, "byte 0x85 at column 9 (in column 2) cannot be decoded",
           "garbled", RuleId::VS107}},
         1},
        {"update notice",
         [](SiteFiles& s) { SetCatalog(s, "!1,VELTA Test,https://vendor.test/p/,20261201\r\n"); },
         {{kCatalog, 1, Severity::Error, "update notice", kUpdateNotice, RuleId::VS102}},
         1},
        {"line without a name",
         [](SiteFiles& s) { s[kCatalog] += "2,,https://vendor.test/p/,20261201\r\n"; },
         {{kCatalog, 2, Severity::Error, "name column (column 2) is empty", "missing from the list",
           RuleId::VS108}},
         1},
        {"empty URL column",
         [](SiteFiles& s) { s[kCatalog] += "2,Other,,20261201\r\n"; },
         {{kCatalog, 2, Severity::Error, "URL column (column 3) of \"Other\" is empty",
           "start button does nothing", RuleId::VS111}},
         1},
        {"URL column without a scheme",
         [](SiteFiles& s) { SetCatalog(s, "1,VELTA Test,vendor.test/p/,20261201\r\n"); },
         {{kCatalog, 1, Severity::Error, "\"vendor.test/p/\" is not an http or https URL",
           kListFailure, RuleId::VS112}},
         1},
        {"URL column without final slash",
         [](SiteFiles& s) {
             SetCatalog(s, "1,VELTA Test,https://vendor.test/p,20261201\r\n");
             s["pdownloadlist.txt"] = "setup.exe\r\n";
             s["psetup.exe"] = MinimalExecutable();
         },
         {{kCatalog, 1, Severity::Warning,
           "does not end in \"/\": the tool requests \"https://vendor.test/pdownloadlist.txt\"",
           "glued on", RuleId::VS113}},
         0},
        {"URL column over plain http",
         [](SiteFiles& s) { SetCatalog(s, "1,VELTA Test,http://vendor.test/p/,20261201\r\n"); },
         {{kCatalog, 1, Severity::Warning, "is not https", "unencrypted", RuleId::VS114}},
         0},
        {"URL column on another host",
         [](SiteFiles& s) { SetCatalog(s, "1,VELTA Test,https://mirror.test/p/,20261201\r\n"); },
         {{kCatalog, 1, Severity::Warning,
           "points to mirror.test, not to the site's host vendor.test", "second server",
           RuleId::VS115}},
         0},
        {"number column with letters",
         [](SiteFiles& s) { SetCatalog(s, "x1,VELTA Test,https://vendor.test/p/,20261201\r\n"); },
         {{kCatalog, 1, Severity::Warning,
           "number column \"x1\" is not a whole number in 32 bits; the tool takes it as 0",
           "takes another number", RuleId::VS116}},
         0},
        {"number column beyond 32 bits",
         [](SiteFiles& s) {
             SetCatalog(s, "4294967296,VELTA Test,https://vendor.test/p/,20261201\r\n");
         },
         {{kCatalog, 1, Severity::Warning, "the tool takes it as 2147483647",
           "takes another number", RuleId::VS116}},
         0},
        {"date that is no calendar day",
         [](SiteFiles& s) { SetCatalog(s, "1,VELTA Test,https://vendor.test/p/,20260230\r\n"); },
         {{kCatalog, 1, Severity::Warning, "date column \"20260230\"", "shows it nowhere",
           RuleId::VS117}},
         0},
        {"date with dashes",
         [](SiteFiles& s) { SetCatalog(s, "1,VELTA Test,https://vendor.test/p/,2026-12-01\r\n"); },
         {{kCatalog, 1, Severity::Warning, "date column \"2026-12-01\"", "shows it nowhere",
           RuleId::VS117}},
         0},
        {"two products of the same name",
         [](SiteFiles& s) { s[kCatalog] += "2,VELTA Test,https://vendor.test/p/,20261201\r\n"; },
         {{kCatalog, 2, Severity::Warning, "\"VELTA Test\" is also on line 1",
           "two items of the same name", RuleId::VS118}},
         0},
        {"empty catalog",
         [](SiteFiles& s) { SetCatalog(s, "\r\n"); },
         {{kCatalog, 0, Severity::Warning, "lists no product", kNoProducts, RuleId::VS119}},
         0},
        {"catalog missing",
         [](SiteFiles& s) { s.erase(kCatalog); },
         {{kCatalog, 0, Severity::Error, "cannot be fetched", kCatalogFailure, RuleId::VS101}},
         1},
        // File list
        {"file list missing",
         [](SiteFiles& s) { s.erase(kList); },
         {{kCatalog, 1, Severity::Error, "the file list \"https://vendor.test/p/downloadlist.txt\"",
           kListFailure, RuleId::VS201}},
         1},
        {"file list line over 1023 bytes",
         [](SiteFiles& s) { s[kList] = "setup.exe\r\n" + std::string(1024, 'a') + "\r\n"; },
         {{kList, 2, Severity::Error, "1024 bytes long, over the 1023", kListFailure,
           RuleId::VS202}},
         1},
        {"file list without files",
         [](SiteFiles& s) { s[kList] = "\r\n\n"; },
         {{kList, 0, Severity::Error, "names no file", "silently does nothing", RuleId::VS203}},
         1},
        {"file list line with a trailing blank",
         [](SiteFiles& s) {
             s[kList] = "setup.exe\r\ndata.cab \r\n";
             s["p/data.cab "] = "x";
         },
         {{kList, 2, Severity::Error,
           "the line \"data.cab \" ends in a blank, which the tool's request leaves out",
           kDownloadFailure, RuleId::VS205}},
         1},
        {"file list line with a leading blank, which goes out as %20",
         [](SiteFiles& s) {
             s[kList] = "setup.exe\r\n data.cab\r\n";
             s["p/ data.cab"] = "x";
         },
         {{kList, 2, Severity::Warning, "the line \" data.cab\" begins or ends with a blank",
           "a blank as %20", RuleId::VS206}},
         0},
        {"file list line with a trailing dot",
         [](SiteFiles& s) {
             s[kList] = "setup.exe\r\ndata.cab.\r\n";
             s["p/data.cab."] = "x";
         },
         {{kList, 2, Severity::Warning, "begins or ends with a blank or a dot", "Windows drops",
           RuleId::VS206}},
         0},
        // File names
        {"two entries of the same file name",
         [](SiteFiles& s) {
             s[kList] += "sub/DATA.CAB\r\n";
             s["p/sub/DATA.CAB"] = "x";
         },
         {{kList, 3, Severity::Error,
           "\"DATA.CAB\" lands on the same local file as \"data.cab\" on line 2",
           "replaces the earlier one", RuleId::VS301}},
         1},
        {"a later entry named like the setup",
         [](SiteFiles& s) {
             s[kList] += "old/setup.exe\r\n";
             s["p/old/setup.exe"] = "x";
         },
         {{kList, 3, Severity::Error,
           "\"setup.exe\" lands on the same local file as \"setup.exe\" on line 1",
           "replaces the setup program", RuleId::VS302}},
         1},
        {"entry ending in a slash",
         [](SiteFiles& s) { s[kList] = "setup.exe\r\ndata/\r\n"; },
         {{kList, 2, Severity::Error, "empty file name", kDownloadFailure, RuleId::VS303}},
         1},
        {"entry named ..",
         [](SiteFiles& s) { s[kList] = "setup.exe\r\nsub/..\r\n"; },
         {{kList, 2, Severity::Error, "\"..\" names a folder", kDownloadFailure, RuleId::VS304}},
         1},
        {"reserved device name with extension",
         [](SiteFiles& s) {
             s[kList] = "setup.exe\r\ncon.txt\r\n";
             s["p/con.txt"] = "x";
         },
         {{kList, 2, Severity::Error, "\"con.txt\" is a device name", kDownloadFailure,
           RuleId::VS305}},
         1},
        {"reserved device name COM1",
         [](SiteFiles& s) {
             s[kList] = "setup.exe\r\nCOM1\r\n";
             s["p/COM1"] = "x";
         },
         {{kList, 2, Severity::Error, "\"COM1\" is a device name", "never lands", RuleId::VS305}},
         1},
        {"character Windows refuses",
         [](SiteFiles& s) { s[kList] = "setup.exe\r\ndata.cab?v=2\r\n"; },
         {{kList, 2, Severity::Error, "holds '?'", kDownloadFailure, RuleId::VS306}},
         1},
        {"local path over MAX_PATH",
         [=](SiteFiles& s) {
             s[kList] = "setup.exe\r\n" + longName + ".cab\r\n";
             s["p/" + longName + ".cab"] = "x";
         },
         {{kList, 2, Severity::Error,
           "273 characters, over the 259 the ANSI file functions take (MAX_PATH), assuming the "
           "work folder "
           "\"C:\\Users\\abcdefghijklmnopqrst\\Downloads\\VELTADL0\\\"",
           kDownloadFailure, RuleId::VS307}},
         1},
        {"local path over the tool's buffer",
         [=](SiteFiles& s) { s[kList] = "setup.exe\r\n" + hugeName + "\r\n"; },
         {{kList, 2, Severity::Error, "550 bytes, over the tool's 511-byte buffer",
           kDownloadFailure, RuleId::VS308}},
         1},
        // Files
        {"setup program missing",
         [](SiteFiles& s) { s.erase("p/setup.exe"); },
         {{kList, 1, Severity::Error, "the setup program \"setup.exe\": missing", kSetupFailure,
           RuleId::VS401}},
         1},
        {"setup program empty",
         [](SiteFiles& s) { s["p/setup.exe"] = ""; },
         {{kList, 1, Severity::Error, "\"setup.exe\" is empty", kSetupFailure, RuleId::VS404}},
         1},
        {"setup program without PE header",
         [](SiteFiles& s) { s["p/setup.exe"] = "MZ" + std::string(200, '\0'); },
         {{kList, 1, Severity::Error, "not a Windows executable", kSetupFailure, RuleId::VS405}},
         1},
        {"setup program that is a text",
         [](SiteFiles& s) { s["p/setup.exe"] = "<html>moved</html>"; },
         {{kList, 1, Severity::Error, "not a Windows executable", kSetupFailure, RuleId::VS405}},
         1},
        {"data file missing",
         [](SiteFiles& s) { s.erase("p/data.cab"); },
         {{kList, 2, Severity::Error, "the file \"data.cab\": missing", kDownloadFailure,
           RuleId::VS402}},
         1},
        {"data file that is a folder",
         [](SiteFiles& s) {
             s.erase("p/data.cab");
             s["p/data.cab/part1"] = "x";
         },
         {{kList, 2, Severity::Error, "/p/data.cab is not a file (a server answers 404)",
           kDownloadFailure, RuleId::VS402}},
         1},
        {"data file path leaving the document root",
         [](SiteFiles& s) { s[kList] = "setup.exe\r\n../../../x.cab\r\n"; },
         {{kList, 2, Severity::Error, "leaves the document root", kDownloadFailure, RuleId::VS402}},
         1},
    };
}
const bool kOneFaultCasesRegistered = RegisterCases(OneFaultCases, &Case::expected);

TEST(DirectoryCheck, EveryFindingOnASiteWithOneFault) { ExpectEachCase(OneFaultCases()); }

// What a customer would never notice must pass; what a customer silently
// loses must fail, each under its rule.
std::vector<Case> FalseAlarmAndSilentLossCases() {
    const std::string manyBlankLines = [] {
        std::string text = "1,VELTA Test,https://vendor.test/p/,20261201\r\n";
        while (text.size() < 64000) text += "\r\n";
        return text;
    }();
    return {
        // False alarms: a customer meets nothing of these.
        {"batch file as the setup",
         [](SiteFiles& s) {
             s[kList] = "setup.bat\r\ndata.cab\r\n";
             s["p/setup.bat"] = "@echo off\r\nstart data.cab\r\n";
         },
         {{kList, 1, Severity::Warning, "\"setup.bat\" is a batch file", "command interpreter",
           RuleId::VS406}},
         0},
        {"undecodable byte in an ignored fifth column",
         [](SiteFiles& s) {
             SetCatalog(s, "1,VELTA Test,https://vendor.test/p/,20261201,\x85\x40 note\r\n");
         },
         {{kCatalog, 1, Severity::Warning, "byte 0x85 at column 46 (in column 5)",
           "shows this column nowhere", RuleId::VS106}},
         0},
        {"UTF-8 only in the date column",
         [](SiteFiles& s) {
             SetCatalog(s, "1,VELTA Test,https://vendor.test/p/,2026\xE5\xB9\xB4\r\n");
         },
         {{kCatalog, 1, Severity::Warning, "column 4 is UTF-8", "shows this column nowhere",
           RuleId::VS106},
          {kCatalog, 1, Severity::Warning, "date column", "shows it nowhere", RuleId::VS117}},
         0},
        {"zero bytes only after the last line",
         [](SiteFiles& s) { s[kCatalog] += std::string(4, '\0'); },
         {},
         0},
        {"a page listed under a page's name",
         [](SiteFiles& s) {
             s[kList] += "readme.html\r\n";
             s["p/readme.html"] = "<!DOCTYPE html><title>Read me</title>";
         },
         {},
         0},
        // Silent losses.
        {"error page saved in place of a data file",
         [](SiteFiles& s) { s["p/data.cab"] = "\r\n<html><body>Not found</body></html>"; },
         {{kList, 2, Severity::Error, "\"data.cab\" is answered with status 200 and an HTML page",
           "the tool reports success", RuleId::VS410}},
         1},
        {"zero byte in the catalog",
         [](SiteFiles& s) {
             s[kCatalog] += std::string("\0\r\n", 3) +
                            "2,Lost One,https://vendor.test/p/,20261201\r\n"
                            "3,Lost Two,https://vendor.test/p/,20261201\r\n";
         },
         {{kCatalog, 2, Severity::Error,
           "a zero byte at column 1: the tool reads nothing after it and never shows \"Lost "
           "One\", \"Lost Two\"",
           "never shows the products", RuleId::VS109}},
         1},
        {"zero byte in a file list",
         [](SiteFiles& s) {
             s[kList] = std::string("setup.exe\r\n\0data.cab\r\nmore.cab\r\n", 31);
             s["p/more.cab"] = "x";
         },
         {{kList, 2, Severity::Error,
           "a zero byte at column 1: the tool reads nothing after it and never downloads "
           "\"data.cab\", \"more.cab\"",
           "never downloaded", RuleId::VS204}},
         1},
        {"commented-out product",
         [](SiteFiles& s) { s[kCatalog] += "#2,Old Product,https://vendor.test/p/,20261201\r\n"; },
         {{kCatalog, 2, Severity::Warning, "the line of \"Old Product\" begins with \"#\"",
           "listed like any other", RuleId::VS110},
          {kCatalog, 2, Severity::Warning, "number column \"#2\"", "takes another number",
           RuleId::VS116}},
         0},
        {"full-width letters that differ only in case",
         [](SiteFiles& s) {
             s[kList] = "setup.exe\r\n\x82\x60.bin\r\nsub/\x82\x81.bin\r\n";
             s["p/\x82\x60.bin"] = "x";
             s["p/sub/\x82\x81.bin"] = "x";
         },
         {{kList, 3, Severity::Error,
           "\"\xEF\xBD\x81.bin\" lands on the same local file as \"\xEF\xBC\xA1.bin\" on line 2",
           "replaces the earlier one", RuleId::VS301}},
         1},
        {"Cyrillic letters that differ only in case",
         [](SiteFiles& s) {
             s[kList] = "setup.exe\r\n\x84\x40.bin\r\nsub/\x84\x70.bin\r\n";
             s["p/\x84\x40.bin"] = "x";
             s["p/sub/\x84\x70.bin"] = "x";
         },
         {{kList, 3, Severity::Error, "lands on the same local file", "replaces the earlier one",
           RuleId::VS301}},
         1},
        {"a trailing dot that the file system drops",
         [](SiteFiles& s) {
             s[kList] += "sub/data.cab.\r\n";
             s["p/sub/data.cab."] = "x";
         },
         {{kList, 3, Severity::Warning, "begins or ends with a blank or a dot", "Windows drops",
           RuleId::VS206},
          {kList, 3, Severity::Error, "\"data.cab.\" lands on the same local file as \"data.cab\"",
           "replaces the earlier one", RuleId::VS301}},
         1},
        {"setup replaced through a trailing blank",
         [](SiteFiles& s) {
             s[kList] += "old/SETUP.EXE \r\n";
             s["p/old/SETUP.EXE "] = "x";
         },
         {{kList, 3, Severity::Error, "ends in a blank, which the tool's request leaves out",
           "an empty file is left beside the setup", RuleId::VS205},
          {kList, 3, Severity::Error, "lands on the same local file as \"setup.exe\" on line 1",
           "replaces the setup program", RuleId::VS302}},
         1},
        {"entry ending the loop names the files never requested",
         [](SiteFiles& s) { s[kList] = "setup.exe\r\ndata/\r\ndata.cab\r\n"; },
         {{kList, 2, Severity::Error,
           "empty file name (it ends in \"/\" or a part of it is over 255 bytes); never "
           "requested after it: \"data.cab\"",
           kDownloadFailure, RuleId::VS303}},
         1},
        {"catalog large enough to risk the wait on a slow line",
         [=](SiteFiles& s) { SetCatalog(s, manyBlankLines); },
         {{kCatalog, 0, Severity::Warning, "has 64000 bytes", "throttled", RuleId::VS122}},
         0},
    };
}
const bool kFalseAlarmCasesRegistered =
    RegisterCases(FalseAlarmAndSilentLossCases, &Case::expected);

TEST(DirectoryCheck, FalseAlarmsPassAndSilentLossesFail) {
    ExpectEachCase(FalseAlarmAndSilentLossCases());
}

TEST(DirectoryCheck, LongPathsCountCharactersAsThePlatformDoes) {
    // A Downloads folder named in kanji: the work folder
    // "C:\\Users\\<115 kanji>\\Downloads\\VELTADL0\\" has 259 bytes (the most its
    // buffer holds) and 144 characters.
    std::string user;
    for (int i = 0; i < 115; ++i) user += "\x8D\xB2";
    sitecheck::Options options;
    options.downloadsFolder = "C:\\Users\\" + user + "\\Downloads\\";
    struct LengthCase {
        int letters;  // the file name is 60 kanji, this many letters and ".cab"
        std::vector<Expected> expected;
    };
    // 144 + 60 + letters + 4 characters: 259 (the most the platform takes)
    // and 260. The paths' bytes (434, 435) fit the tool's 512-byte buffer and
    // are far over 259. No name is over 85 kanji, so that a file system that
    // stores names in UTF-8 within 255 bytes holds the site's copy too.
    const std::vector<LengthCase> cases = {
        {51, {}},
        {52,
         {{kList, 2, Severity::Error,
           "has 260 characters, over the 259 the ANSI file functions take", kDownloadFailure,
           RuleId::VS307}}},
    };
    for (const LengthCase& c : cases) {
        SCOPED_TRACE(c.letters);
        std::string name;
        for (int i = 0; i < 60; ++i) name += "\x8A\xBF";
        name += std::string(static_cast<std::size_t>(c.letters), 'a') + ".cab";
        SiteFiles files = GoodSite();
        files[kList] = "setup.exe\r\n" + name + "\r\n";
        files["p/" + name] = "x";
        const SiteFolder folder(files);
        std::string error;
        auto site = sitecheck::MakeDirectorySite(folder.Path(), "https://vendor.test/", error);
        ASSERT_TRUE(site) << error;
        const sitecheck::Report report = sitecheck::CheckSite(*site, options);
        EXPECT_EQ(Mismatch(report, c.expected), "");
    }
}

// A site that records what the checker asks of it, answering from disk.
class RecordingSite : public sitecheck::Site {
public:
    explicit RecordingSite(std::unique_ptr<sitecheck::Site> inner) : m_inner(std::move(inner)) {}
    std::string CatalogUrl(int testMode) const override { return m_inner->CatalogUrl(testMode); }
    sitecheck::Fetched FetchText(const std::string& url) override {
        m_calls.push_back("text " + url);
        return m_inner->FetchText(url);
    }
    sitecheck::Fetched FetchFile(const std::string& url, std::size_t headBytes) override {
        m_calls.push_back("file " + url);
        m_fetched.emplace_back(url, headBytes);
        return m_inner->FetchFile(url, headBytes);
    }
    std::string Where(const std::string& url) const override { return m_inner->Where(url); }
    std::string Authority() const override { return m_inner->Authority(); }
    void Prefetch(const std::vector<std::pair<std::string, std::size_t>>& files) override {
        m_calls.push_back("prefetch");
        m_prefetched.insert(m_prefetched.end(), files.begin(), files.end());
    }
    bool Live() const override { return false; }

    std::unique_ptr<sitecheck::Site> m_inner;
    std::vector<std::string> m_calls;
    std::vector<std::pair<std::string, std::size_t>> m_prefetched, m_fetched;
};

// Fetching ahead only works when the checker announces every file it will
// ask for, once, in its order, after every file list has been read.
TEST(DirectoryCheck, EveryFileIsAnnouncedOnceInOrderBeforeItIsFetched) {
    SiteFiles files = GoodSite();
    files[kCatalog] +=
        "2,Second,https://vendor.test/q/,20261201\r\n"
        "3,Same files,https://vendor.test/p/,20261201\r\n";
    files["q/downloadlist.txt"] = "setup.exe\r\n../p/data.cab\r\nbad?.cab\r\n";
    files["q/setup.exe"] = MinimalExecutable();
    files[CatalogFile(1)] = files[kCatalog];  // both catalogs list the same products
    const SiteFolder both(files);
    std::string error;
    RecordingSite bothSite(
        sitecheck::MakeDirectorySite(both.Path(), "https://vendor.test/", error));
    ASSERT_TRUE(bothSite.m_inner) << error;
    sitecheck::Options options;
    options.testCatalog = true;
    const sitecheck::Report report = sitecheck::CheckSite(bothSite, options);
    EXPECT_EQ(sitecheck::ExitStatus(report, {}, false), 1)
        << sitecheck::FormatReport(report, sitecheck::Format::Text, {});  // bad?.cab

    const std::vector<std::pair<std::string, std::size_t>> expected = {
        {"https://vendor.test/p/setup.exe", 64 * 1024},
        {"https://vendor.test/p/data.cab", 512},
        {"https://vendor.test/q/setup.exe", 64 * 1024},
        {"https://vendor.test/q/../p/data.cab", 512},
    };
    EXPECT_EQ(bothSite.m_prefetched, expected);
    EXPECT_EQ(bothSite.m_fetched, expected) << "each announced file fetched once, in order";
    // One announcement, after the last file list and before the first file.
    const auto& calls = bothSite.m_calls;
    const auto prefetch = std::find(calls.begin(), calls.end(), "prefetch");
    ASSERT_NE(prefetch, calls.end());
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "prefetch"), 1);
    for (auto it = calls.begin(); it != prefetch; ++it)
        EXPECT_EQ(it->rfind("file ", 0), std::string::npos);
    for (auto it = prefetch + 1; it != calls.end(); ++it)
        EXPECT_EQ(it->rfind("text ", 0), std::string::npos);
}

TEST(DirectoryCheck, CatalogsOfEachMode) {
    struct ModeCase {
        const char* name;
        std::vector<std::string> arguments;
        bool normalPresent, testPresent;
        int exitStatus;
        int catalogs;
    };
    const std::vector<ModeCase> cases = {
        {"normal only, present", {}, true, false, 0, 1},
        {"test mode reads the .test catalog", {"--test-mode"}, false, true, 0, 1},
        {"test mode without a .test catalog", {"--test-mode"}, true, false, 1, 0},
        {"both, test catalog missing", {"--both"}, true, false, 1, 1},
        {"both present", {"--both"}, true, true, 0, 2},
    };
    for (const ModeCase& c : cases) {
        SCOPED_TRACE(c.name);
        SiteFiles files = GoodSite();
        const std::string catalog = files[kCatalog];
        if (!c.normalPresent) files.erase(kCatalog);
        if (c.testPresent) files[CatalogFile(1)] = catalog;
        const SiteFolder folder(files);
        std::vector<std::string> arguments = {"check", folder.Path(), "--base-url",
                                              "https://vendor.test/"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        std::string out, err;
        EXPECT_EQ(sitecheck::RunCommand(arguments, out, err), c.exitStatus) << out << err;
        EXPECT_NE(out.find("checked " + std::to_string(c.catalogs) + " catalog"), std::string::npos)
            << out;
    }
}

TEST(DirectoryCheck, AssumedDownloadsFolderSetsThePathLimit) {
    // 224 bytes of name: too long below the default folder (49 bytes of work
    // folder), short enough below C:\D\ (14 bytes).
    const std::string name = std::string(220, 'n') + ".cab";
    SiteFiles files = GoodSite();
    files[kList] = "setup.exe\r\n" + name + "\r\n";
    files["p/" + name] = "x";
    const SiteFolder folder(files);
    const std::vector<std::pair<std::vector<std::string>, int>> cases = {
        {{}, 1},
        {{"--downloads-folder", "C:\\D"}, 0},
        {{"--downloads-folder", "C:\\D\\"}, 0},
    };
    for (const auto& [options, exitStatus] : cases) {
        std::vector<std::string> arguments = {"check", folder.Path(), "--base-url",
                                              "https://vendor.test/"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        std::string out, err;
        EXPECT_EQ(sitecheck::RunCommand(arguments, out, err), exitStatus) << out << err;
    }
}

TEST(DirectoryCheck, CompilerStyleAndJsonOutput) {
    SiteFiles files = GoodSite();
    files.erase("p/data.cab");
    const SiteFolder folder(files);
    std::string out, err;
    ASSERT_EQ(sitecheck::RunCommand({"check", folder.Path(), "--base-url", "https://vendor.test/"},
                                    out, err),
              1);
    const std::string line =
        folder.Path() + "/p/downloadlist.txt:2: error: the file \"data.cab\": missing, no file " +
        folder.Path() + "/p/data.cab (a server answers 404) \xE2\x80\x94 the customer sees \"" +
        kDownloadFailure + "\" [VS402]\n";
    EXPECT_EQ(out.substr(0, line.size()), line) << out;
    EXPECT_NE(out.find("velta-site: 1 error, 0 warnings; checked 1 catalog, 1 product, 2 files"),
              std::string::npos)
        << out;

    out.clear();
    ASSERT_EQ(
        sitecheck::RunCommand(
            {"check", folder.Path(), "--base-url", "https://vendor.test/", "--json"}, out, err),
        1);
    EXPECT_EQ(out.rfind("{\"errors\": 1, \"warnings\": 0, \"catalogs\": 1, \"products\": 1, "
                        "\"files\": 2, \"fatal\": null, \"findings\": [",
                        0),
              0u)
        << out;
    EXPECT_NE(
        out.find(
            "\"line\": 2, \"severity\": \"error\", \"what\": \"the file \\\"data.cab\\\": missing"),
        std::string::npos)
        << out;
}

TEST(DirectoryCheck, WrongUsageExitsWithTwo) {
    const SiteFolder folder(GoodSite());
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"verify", folder.Path()},
        {"check"},
        {"check", folder.Path()},                               // no --base-url
        {"check", folder.Path(), "--base-url"},                 // no value
        {"check", folder.Path(), "--base-url", "vendor.test"},  // not a URL
        {"check", folder.Path(), "--base-url", "https://vendor.test/sub/"},
        {"check", folder.Path() + "/missing", "--base-url", "vendor.test"},  // usage first
        {"check", folder.Path(), "--base-url", "https://vendor.test/", "--frobnicate"},
        {"check", folder.Path(), folder.Path(), "--base-url", "https://vendor.test/"},
        {"check", "https://vendor.test", "--base-url", "https://vendor.test/"},
    };
    for (const auto& arguments : cases) {
        std::string joined;
        for (const auto& a : arguments) joined += a + " ";
        SCOPED_TRACE(joined);
        std::string out, err;
        EXPECT_EQ(sitecheck::RunCommand(arguments, out, err), 2);
        EXPECT_NE(err.find("usage:"), std::string::npos);
    }
}

}  // namespace
