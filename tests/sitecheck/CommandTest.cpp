// The command line in a pipeline: formats, --strict, --accept, the values
// it refuses and the exit status of each outcome, on sites on disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "sitecheck/Command.h"
#include "sitecheck/Rules.h"
#include "tests/sitecheck/SiteFixture.h"

using namespace sitecheck_test;

namespace {

const std::string kCatalog = CatalogFile();

struct CommandRun {
    int status;
    std::string out, err;
};

CommandRun Check(const SiteFolder& folder, std::vector<std::string> options) {
    std::vector<std::string> arguments = {"check", folder.Path(), "--base-url",
                                          "https://vendor.test/"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    CommandRun run;
    run.status = sitecheck::RunCommand(arguments, run.out, run.err);
    return run;
}

// A site whose one finding is a warning: the date written with dashes.
SiteFiles WarningOnlySite() {
    SiteFiles files = GoodSite();
    files[kCatalog] = "1,VELTA Test,https://vendor.test/p/,2026-12-01\r\n";
    return files;
}

SiteFiles OneMissingFileSite() {
    SiteFiles files = GoodSite();
    files.erase("p/data.cab");
    return files;
}

std::string WriteFile(const SiteFolder& folder, const std::string& name,
                      const std::string& content) {
    const std::string path = folder.Path() + "/" + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

// The rule id of the only finding, as the JSON format names it.
std::string OnlyRule(const SiteFolder& folder) {
    const CommandRun run = Check(folder, {"--format", "json"});
    const std::size_t at = run.out.find("{\"rule\": \"");
    if (at == std::string::npos) return std::string();
    const std::size_t begin = at + 10;
    return run.out.substr(begin, run.out.find('"', begin) - begin);
}

// A path as a workflow command's property spells it (a drive's ':' escaped).
std::string AsProperty(std::string text) {
    for (std::size_t at = 0; (at = text.find_first_of(":,", at)) != std::string::npos;) {
        text.replace(at, 1, text[at] == ':' ? "%3A" : "%2C");
    }
    return text;
}

TEST(Command, EachFormatOnOneSite) {
    const SiteFolder folder(OneMissingFileSite());
    struct Case {
        std::vector<std::string> options;
        std::string begins;
        std::string holds;
    };
    const std::vector<Case> cases = {
        {{}, folder.Path() + "/p/downloadlist.txt:2: error: ", "\nvelta-site: 1 error, 0 warnings"},
        {{"--format", "text"}, folder.Path() + "/p/downloadlist.txt:2: error: ", "\nvelta-site: "},
        {{"--format", "json"}, "{\"errors\": 1, ", "\"text\": \"data.cab\", \"accepted\": false}"},
        {{"--json"}, "{\"errors\": 1, ", "\"severity\": \"error\""},
        {{"--format", "sarif"}, "{\n  \"$schema\": ", "\"snippet\": {\"text\": \"data.cab\"}"},
        {{"--format", "github"},
         "::error file=" + AsProperty(folder.Path()) + "/p/downloadlist.txt,line=2,title=",
         "\nvelta-site: 1 error, 0 warnings"},
    };
    for (const Case& c : cases) {
        const CommandRun run = Check(folder, c.options);
        SCOPED_TRACE(c.options.empty() ? std::string("default") : c.options.back());
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_EQ(run.out.rfind(c.begins, 0), 0u) << run.out;
        EXPECT_NE(run.out.find(c.holds), std::string::npos) << run.out;
        EXPECT_EQ(run.err, "");
    }
}

// The rule table for the manual and for pipelines: every rule once, in
// either format; anything else is wrong usage.
TEST(Command, RulesPrintsTheTable) {
    struct Case {
        std::vector<std::string> arguments;
        int status;
        std::string begins;
        std::string rowOfVS402;
    };
    const std::vector<Case> cases = {
        {{"rules"}, 0, "| id | severity | checked |", "\n| `VS402` | error | both | a file cannot"},
        {{"rules", "--format", "markdown"}, 0, "| id |", "\n| `VS402` | error | both |"},
        {{"rules", "--format", "json"},
         0,
         "{\"rules\": [\n",
         "\n  {\"id\": \"VS402\", \"severity\": \"error\", \"checked\": \"both\", "
         "\"summary\": \"a file cannot"},
        {{"rules", "--format", "sarif"}, 2, "", ""},
        {{"rules", "--strict"}, 2, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.back());
        std::string out, err;
        EXPECT_EQ(sitecheck::RunCommand(c.arguments, out, err), c.status) << err;
        EXPECT_EQ(out.rfind(c.begins, 0), 0u) << out;
        EXPECT_NE(out.find(c.rowOfVS402), std::string::npos) << out;
        if (c.status != 0) continue;
        for (const sitecheck::Rule& rule : sitecheck::AllRules()) {
            const std::string code = rule.code;
            EXPECT_EQ(out.find(code + "`"), out.rfind(code + "`")) << code;
            EXPECT_EQ(out.find("\"" + code + "\""), out.rfind("\"" + code + "\"")) << code;
            EXPECT_NE(out.find(code), std::string::npos) << code;
        }
    }
}

TEST(Command, StrictFailsOnWarningsOnly) {
    const SiteFolder warning(WarningOnlySite());
    const SiteFolder good(GoodSite());
    EXPECT_EQ(Check(warning, {}).status, 0);
    EXPECT_EQ(Check(warning, {"--strict"}).status, 1);
    EXPECT_EQ(Check(good, {"--strict"}).status, 0);
    EXPECT_EQ(Check(warning, {"--strict", "--format", "sarif"}).status, 1);
}

TEST(Command, ExitStatusThreeWhenTheCheckerCannotRun) {
    // No work folder fits below a Downloads folder this long.
    const SiteFolder folder(GoodSite());
    const CommandRun run = Check(folder, {"--downloads-folder", "C:\\" + std::string(300, 'd')});
    EXPECT_EQ(run.status, 3) << run.out;
    EXPECT_NE(run.out.find("too long for a work folder"), std::string::npos) << run.out;
}

// A folder that is not there cannot be read, as a live server that does not
// answer: status 3, said in the format asked for.
TEST(Command, MissingFolderIsASiteThatCannotBeRead) {
    const SiteFolder folder(GoodSite());
    const std::string missing = folder.Path() + "/missing";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"text", "velta-site: no such folder: " + missing + "\nvelta-site: 0 errors, 0 warnings;"},
        {"json", "\"fatal\": \"no such folder: " + missing + "\""},
    };
    for (const auto& [format, holds] : cases) {
        std::string out, err;
        EXPECT_EQ(sitecheck::RunCommand(
                      {"check", missing, "--base-url", "https://vendor.test/", "--format", format},
                      out, err),
                  3)
            << out << err;
        EXPECT_NE(out.find(holds), std::string::npos) << out;
        EXPECT_EQ(err, "");
    }
}

TEST(Command, ParsesEachOption) {
    using sitecheck::Format;
    struct Case {
        std::vector<std::string> options;
        std::function<bool(const sitecheck::CommandLine&)> holds;
    };
    const std::vector<Case> cases = {
        {{},
         [](const auto& l) {
             return l.format == Format::Text && !l.strict && l.jobs == 4 &&
                    l.options.certDays == 30 && l.options.normalCatalog && !l.options.testCatalog &&
                    l.acceptPath.empty() &&
                    l.options.downloadsFolder == sitecheck::Options::DefaultDownloadsFolder();
         }},
        // UTF-8 on the command line, code page 932 for the tool's path rules.
        {{"--downloads-folder", "C:\\Users\\ああ\\Downloads"},
         [](const auto& l) {
             return l.options.downloadsFolder == "C:\\Users\\\x82\xA0\x82\xA0\\Downloads\\";
         }},
        {{"--downloads-folder", "C:\\D\\"},
         [](const auto& l) { return l.options.downloadsFolder == "C:\\D\\"; }},
        {{"--jobs", "8", "--cert-days", "7"},
         [](const auto& l) { return l.jobs == 8 && l.options.certDays == 7; }},
        {{"--format", "github", "--strict"},
         [](const auto& l) { return l.format == Format::Github && l.strict; }},
        {{"--format", "sarif", "--json"}, [](const auto& l) { return l.format == Format::Json; }},
        {{"--accept", "known.txt"}, [](const auto& l) { return l.acceptPath == "known.txt"; }},
        {{"--test-mode"},
         [](const auto& l) { return !l.options.normalCatalog && l.options.testCatalog; }},
        {{"--both"},
         [](const auto& l) { return l.options.normalCatalog && l.options.testCatalog; }},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments = {"check", "site", "--base-url", "https://v.test/"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        sitecheck::CommandLine line;
        std::string err;
        ASSERT_EQ(sitecheck::ParseCommandLine(arguments, line, err), -1) << err;
        EXPECT_EQ(line.target, "site");
        EXPECT_TRUE(c.holds(line)) << (c.options.empty() ? "defaults" : c.options[0]);
    }
}

TEST(Command, RefusedValuesAreWrongUsage) {
    const SiteFolder folder(GoodSite());
    const std::vector<std::vector<std::string>> cases = {
        {"--format"},
        {"--format", "xml"},
        {"--format", "SARIF"},
        {"--jobs", "0"},
        {"--jobs", "65"},
        {"--jobs", "four"},
        {"--jobs", "-1"},
        {"--cert-days", "-1"},
        {"--cert-days", "3651"},
        {"--cert-days", ""},
        {"--accept"},
        {"--accept", folder.Path() + "/no-such-list.txt"},
        {"--downloads-folder", "C:\\\xF0\x9F\x98\x80"},  // a character code page 932 lacks
        {"--downloads-folder", ""},
    };
    for (const auto& options : cases) {
        const CommandRun run = Check(folder, options);
        EXPECT_EQ(run.status, 2) << options.back();
        EXPECT_NE(run.err.find("usage:"), std::string::npos) << options.back();
    }
    for (const auto& options : std::vector<std::vector<std::string>>{
             {"--jobs", "1"}, {"--jobs", "64"}, {"--cert-days", "0"}, {"--cert-days", "90"}}) {
        EXPECT_EQ(Check(folder, options).status, 0) << options[0] << " " << options[1];
    }
}

TEST(Command, MalformedAcceptListIsWrongUsageWithItsLine) {
    const SiteFolder folder(GoodSite());
    const std::string list = WriteFile(folder, "accept.txt", "# known\nVS104 p/x.txt data.cab\n");
    const CommandRun run = Check(folder, {"--accept", list});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("accept.txt: line 2: expected RULE<TAB>FILE<TAB>TEXT"),
              std::string::npos)
        << run.err;
}

TEST(Command, AcceptedFindingDoesNotFailTheRun) {
    const SiteFolder folder(OneMissingFileSite());
    const std::string rule = OnlyRule(folder);
    ASSERT_EQ(rule, "VS402") << "the missing file's rule";
    struct Case {
        const char* name;
        std::string list;
        int status;
        std::string summary;
        std::string stale;
    };
    const std::vector<Case> cases = {
        {"by rule, file below the site and line text", rule + "\tp/downloadlist.txt\tdata.cab\n", 0,
         "0 errors, 0 warnings, 1 accepted", ""},
        {"another line's text", rule + "\tp/downloadlist.txt\tsetup.exe\n", 1,
         "1 error, 0 warnings, 0 accepted", ":1: no such finding any more"},
        {"the line's number instead of its text", rule + "\tp/downloadlist.txt\t2\n", 1,
         "1 error, 0 warnings, 0 accepted", ":1: no such finding any more"},
    };
    for (const Case& c : cases) {
        const std::string list = WriteFile(folder, "accept.txt", c.list);
        const CommandRun run = Check(folder, {"--accept", list});
        EXPECT_EQ(run.status, c.status) << c.name << "\n" << run.out;
        EXPECT_NE(run.out.find("velta-site: " + c.summary), std::string::npos) << run.out;
        if (c.stale.empty()) {
            EXPECT_EQ(run.err, "") << c.name;
        } else {
            EXPECT_NE(run.err.find(c.stale), std::string::npos) << c.name << "\n" << run.err;
        }
    }
    // Still accepted after lines are added above it: the entry names the text.
    SiteFiles moved = OneMissingFileSite();
    moved["p/extra.cab"] = "x";
    moved["p/downloadlist.txt"] = "setup.exe\r\nextra.cab\r\ndata.cab\r\n";
    const SiteFolder movedFolder(moved);
    const std::string list =
        WriteFile(movedFolder, "accept.txt", rule + "\tp/downloadlist.txt\tdata.cab\n");
    EXPECT_EQ(Check(movedFolder, {"--accept", list}).status, 0);
    EXPECT_EQ(Check(movedFolder, {"--accept", list, "--strict"}).status, 0);
}

}  // namespace
