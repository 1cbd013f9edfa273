// The report's formats with findings built here: the rule id in every
// format, accepted findings, the escapes each format needs and valid UTF-8
// whatever bytes a finding carries. (That the SARIF passes Microsoft's own
// validator is sarif_validation_test.sh's.)
#include <gtest/gtest.h>

#include "sitecheck/Accept.h"
#include "sitecheck/Output.h"
#include "sitecheck/Rules.h"

namespace {

using sitecheck::Finding;
using sitecheck::FindingContext;
using sitecheck::Format;
using sitecheck::Report;
using sitecheck::ReportContext;
using sitecheck::RuleId;
using sitecheck::Severity;

const std::string kDash = " \xE2\x80\x94 ";
const std::string kMissingCustomer = sitecheck::RuleOf(RuleId::VS402).customer;
const std::string kEmptyCustomer = sitecheck::RuleOf(RuleId::VS119).customer;

Report TwoFindings() {
    Report report;
    report.catalogs = 1;
    report.products = 2;
    report.files = 3;
    report.findings.push_back(
        Finding{RuleId::VS402, "site/p/downloadlist.txt", 2, "the file \"data.cab\": missing"});
    report.findings.push_back(Finding{RuleId::VS119, "site/catalog.txt", 0, "an empty catalog"});
    return report;
}

ReportContext Accepting(bool first, bool second) {
    ReportContext p;
    p.acceptListGiven = true;
    p.findings = {FindingContext{"data.cab", first}, FindingContext{"", second}};
    return p;
}

TEST(OutputFormat, TextLinesEndWithTheRuleAndWhetherAccepted) {
    const Report report = TwoFindings();
    EXPECT_EQ(sitecheck::FormatReport(report, Format::Text, ReportContext()),
              "site/p/downloadlist.txt:2: error: the file \"data.cab\": missing" + kDash +
                  kMissingCustomer +
                  " [VS402]\n"
                  "site/catalog.txt: warning: an empty catalog" +
                  kDash + kEmptyCustomer +
                  " [VS119]\n"
                  "velta-site: 1 error, 1 warning; checked 1 catalog, 2 products, 3 files\n");
    EXPECT_EQ(sitecheck::FormatReport(report, Format::Text, Accepting(true, false)),
              "site/p/downloadlist.txt:2: error: the file \"data.cab\": missing" + kDash +
                  kMissingCustomer +
                  " [VS402, accepted]\n"
                  "site/catalog.txt: warning: an empty catalog" +
                  kDash + kEmptyCustomer +
                  " [VS119]\n"
                  "velta-site: 0 errors, 1 warning, 1 accepted; checked 1 catalog, 2 products, "
                  "3 files\n");
}

TEST(OutputFormat, JsonCarriesRuleLineTextAndAcceptance) {
    const std::string json =
        sitecheck::FormatReport(TwoFindings(), Format::Json, Accepting(false, true));
    EXPECT_EQ(json.rfind("{\"errors\": 1, \"warnings\": 0, ", 0), 0u) << json;
    EXPECT_NE(
        json.find("{\"rule\": \"VS402\", \"file\": \"site/p/downloadlist.txt\", \"line\": 2, "
                  "\"severity\": \"error\", \"what\": \"the file \\\"data.cab\\\": missing\", "
                  "\"customer\": \"the customer sees \\\"ダウンロードに失敗しました。\\\"\", "
                  "\"text\": \"data.cab\", \"accepted\": false}"),
        std::string::npos)
        << json;
    EXPECT_NE(json.find("\"line\": null, \"severity\": \"warning\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"accepted\": true}"), std::string::npos) << json;
    const std::string end = "\n], \"accepted\": 1, \"catalogMilliseconds\": []}\n";
    EXPECT_EQ(json.substr(json.size() - end.size()), end) << json;
}

// A live check measures each catalog through the tool's own fetch; the
// summary and the JSON carry the times, a directory check has none.
TEST(OutputFormat, LiveCatalogTimesCloseTheSummary) {
    const struct {
        std::vector<uint32_t> times;
        std::string summaryEnd, jsonEnd;
    } cases[] = {
        {{}, "2 products, 3 files\n", "\"catalogMilliseconds\": []}\n"},
        {{812},
         "3 files; catalog in 812 ms of the tool's 5000 ms wait\n",
         "\"catalogMilliseconds\": [812]}\n"},
        {{812, 5003},
         "3 files; catalog in 812 ms and 5003 ms of the tool's 5000 ms wait\n",
         "\"catalogMilliseconds\": [812, 5003]}\n"},
    };
    for (const auto& c : cases) {
        Report report = TwoFindings();
        report.catalogMilliseconds = c.times;
        const std::string text = sitecheck::FormatReport(report, Format::Text, ReportContext());
        const std::string json = sitecheck::FormatReport(report, Format::Json, ReportContext());
        ASSERT_GE(text.size(), c.summaryEnd.size());
        EXPECT_EQ(text.substr(text.size() - c.summaryEnd.size()), c.summaryEnd) << text;
        ASSERT_GE(json.size(), c.jsonEnd.size());
        EXPECT_EQ(json.substr(json.size() - c.jsonEnd.size()), c.jsonEnd) << json;
    }
}

TEST(OutputFormat, EveryFormatIsValidUtf8WhateverBytesAFindingHolds) {
    Report report;
    // Code page 932 bytes of a name, a lone continuation byte, a truncated
    // sequence, an encoded surrogate and a control character.
    report.findings.push_back(Finding{RuleId::VS402, "site/\x83\x66\x81\x5B\x83\x5E.cab", 1,
                                      "bad \x80 \xE3\x81 \xED\xA0\x80 \x01"});
    report.fatal = "cannot reach \xFF";
    for (Format format : {Format::Text, Format::Json, Format::Sarif, Format::Github}) {
        const std::string out = sitecheck::FormatReport(report, format, ReportContext());
        EXPECT_EQ(sitecheck::ValidUtf8(out), out) << static_cast<int>(format) << "\n" << out;
        EXPECT_NE(out.find("x83"), std::string::npos) << out;  // kept visible, escaped
        EXPECT_EQ(out.find('\x01'), std::string::npos) << out;
    }
}

TEST(OutputFormat, ValidUtf8KeepsGoodSequencesAndEscapesTheRest) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"plain ascii", "plain ascii"},
        {"ダウンロード", "ダウンロード"},
        {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},      // four bytes
        {"\x83\x5F", "\\x83_"},                        // code page 932 pair
        {"\xC0\xAF", "\\xC0\\xAF"},                    // overlong '/'
        {"\xED\xA0\x80", "\\xED\\xA0\\x80"},           // surrogate
        {"\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},  // above U+10FFFF
        {"\xE3\x83", "\\xE3\\x83"},                    // cut short at the end
        {"a\xE3"
         "b",
         "a\\xE3b"},  // cut short by ASCII
    };
    for (const auto& [in, expected] : cases) EXPECT_EQ(sitecheck::ValidUtf8(in), expected) << in;
}

TEST(OutputFormat, GithubAnnotationsEscapeMessagesAndProperties) {
    struct Case {
        Finding finding;
        bool accepted;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {{RuleId::VS402, "site/p/list.txt", 3, "w"},
         false,
         "::error file=site/p/list.txt,line=3,title=VS402::w" + kDash + kMissingCustomer + "\n"},
        {{RuleId::VS119, "site/catalog.txt", 0, "w"},
         false,
         "::warning file=site/catalog.txt,title=VS119::w" + kDash + kEmptyCustomer + "\n"},
        {{RuleId::VS402, "https://h:8443/a,b.txt", 1, "100% off\r\nnext: a,b"},
         false,
         "::error file=https%3A//h%3A8443/a%2Cb.txt,line=1,title=VS402::100%25 off%0D%0Anext: "
         "a,b" +
             kDash + kMissingCustomer + "\n"},
        {{RuleId::VS402, "site/p/list.txt", 3, "w"},
         true,
         "::notice file=site/p/list.txt,line=3,title=VS402 (accepted)::w" + kDash +
             kMissingCustomer + "\n"},
    };
    for (const Case& c : cases) {
        Report report;
        report.findings = {c.finding};
        ReportContext p;
        p.findings = {FindingContext{"", c.accepted}};
        const std::string out = sitecheck::FormatReport(report, Format::Github, p);
        EXPECT_EQ(out.substr(0, out.find('\n') + 1), c.expected);
        EXPECT_NE(out.find("\nvelta-site: "), std::string::npos) << out;
    }
}

TEST(OutputFormat, ArtifactUrisAreValidUriReferences) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"site/p/downloadlist.txt", "site/p/downloadlist.txt"},
        {"my site/p/a#b?.txt", "my%20site/p/a%23b%3F.txt"},
        {"100%/x", "100%25/x"},
        {"c:x/list.txt", "c%3Ax/list.txt"},  // no scheme in a relative reference
        {"site/データ.cab", "site/%E3%83%87%E3%83%BC%E3%82%BF.cab"},
        {"/tmp/site/p/list.txt", "file:///tmp/site/p/list.txt"},
        {"C:/Users/v/site/list.txt", "file:///C:/Users/v/site/list.txt"},
        {"https://h:8443/p/a%20b.cab?x=1#f", "https://h:8443/p/a%20b.cab?x=1#f"},
        {"https://h/p/a b\\c.cab", "https://h/p/a%20b%5Cc.cab"},
        {"site/\x83\x5F", "site/%5Cx83_"},
    };
    for (const auto& [file, uri] : cases) EXPECT_EQ(sitecheck::ArtifactUri(file), uri) << file;
}

TEST(OutputFormat, SarifNamesRulesRegionsAndSuppressions) {
    Report report = TwoFindings();
    report.fatal = "internal";
    const std::string sarif = sitecheck::FormatSarif(report, Accepting(true, false));
    // Every rule is listed, in the table's order: VS402 is the 37th, VS119 the 19th.
    const std::size_t rules = sarif.find("\"rules\": [");
    std::size_t listed = 0;
    for (const sitecheck::Rule& rule : sitecheck::AllRules()) {
        const std::size_t at = sarif.find("{\"id\": \"" + std::string(rule.code) + "\"", rules);
        EXPECT_GT(at, listed) << rule.code;
        listed = at;
    }
    for (const std::string& piece : {
             std::string("\"version\": \"2.1.0\""),
             std::string("{\"id\": \"VS402\", \"shortDescription\": {\"text\": \"a file cannot be "
                         "fetched (missing, a status other than 200, no answer)\"}"),
             std::string("\"help\": {\"text\": \"publish the file, answered with status 200\"}"),
             std::string("{\"ruleId\": \"VS402\", \"ruleIndex\": 37, \"level\": \"error\""),
             std::string("{\"ruleId\": \"VS119\", \"ruleIndex\": 18, \"level\": \"warning\""),
             std::string("\"region\": {\"startLine\": 2, \"snippet\": {\"text\": \"data.cab\"}}"),
             std::string("{\"uri\": \"site/catalog.txt\"}}}]}"),
             std::string("\"suppressions\": [{\"kind\": \"external\""),
             std::string("\"executionSuccessful\": false"),
         }) {
        EXPECT_NE(sarif.find(piece), std::string::npos) << piece << "\n" << sarif;
    }
    EXPECT_EQ(sarif.find("suppressions"), sarif.rfind("suppressions")) << sarif;
}

TEST(OutputFormat, ExitStatusFromErrorsWarningsAcceptanceAndStrict) {
    struct Case {
        const char* name;
        std::vector<Severity> severities;
        std::vector<bool> accepted;
        bool strict;
        bool fatal;
        int status;
    };
    const std::vector<Case> cases = {
        {"clean", {}, {}, false, false, 0},
        {"clean, strict", {}, {}, true, false, 0},
        {"a warning", {Severity::Warning}, {false}, false, false, 0},
        {"a warning, strict", {Severity::Warning}, {false}, true, false, 1},
        {"an accepted warning, strict", {Severity::Warning}, {true}, true, false, 0},
        {"an error", {Severity::Error}, {false}, false, false, 1},
        {"an accepted error", {Severity::Error}, {true}, false, false, 0},
        {"one of two errors accepted",
         {Severity::Error, Severity::Error},
         {true, false},
         false,
         false,
         1},
        {"site unreadable", {}, {}, false, true, 3},
        {"site unreadable, all accepted", {Severity::Error}, {true}, true, true, 3},
    };
    for (const Case& c : cases) {
        Report report;
        ReportContext p;
        for (std::size_t i = 0; i < c.severities.size(); ++i) {
            const RuleId rule = c.severities[i] == Severity::Error ? RuleId::VS402 : RuleId::VS119;
            report.findings.push_back(Finding{rule, "f", 1, "w"});
            p.findings.push_back(FindingContext{"", c.accepted[i]});
        }
        if (c.fatal) report.fatal = "cannot reach it";
        EXPECT_EQ(sitecheck::ExitStatus(report, p, c.strict), c.status) << c.name;
    }
}

TEST(AcceptList, ParsesTabSeparatedEntriesAndRefusesOthers) {
    std::string error;
    const auto entries = sitecheck::ParseAcceptList(
        "\xEF\xBB\xBF# known findings\r\n"
        "\r\n"
        "VS104\tp/downloadlist.txt\tdata.cab\r\n"
        "VS021\tqrnSupport/download/VELTA/veltadownloadlist.txt\n"
        "VS030\tp/downloadlist.txt\t setup.exe \n",
        error);
    ASSERT_EQ(error, "");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].rule, "VS104");
    EXPECT_EQ(entries[0].file, "p/downloadlist.txt");
    EXPECT_EQ(entries[0].text, "data.cab");
    EXPECT_EQ(entries[0].line, 3);
    EXPECT_EQ(entries[1].text, "");
    EXPECT_EQ(entries[2].text, " setup.exe ");  // blanks are part of the line's text

    for (const char* bad : {"VS104 p/downloadlist.txt data.cab\n", "104\tp/list.txt\tx\n",
                            "VS\tp/list.txt\tx\n", "VS104\t\tx\n", "VS104\n"}) {
        sitecheck::ParseAcceptList(std::string("# ok\n") + bad, error);
        EXPECT_EQ(error.rfind("line 2: ", 0), 0u) << bad << " -> " << error;
    }
}

TEST(AcceptList, MatchesRuleFileBelowTheSiteAndLineTextNotNumber) {
    Report report = TwoFindings();
    const std::vector<std::string> siteFiles = {"p/downloadlist.txt", "catalog.txt"};
    struct Case {
        const char* name;
        sitecheck::AcceptEntry entry;
        bool firstAccepted, secondAccepted;
    };
    const std::vector<Case> cases = {
        {"rule, file and text", {"VS402", "p/downloadlist.txt", "data.cab", 1}, true, false},
        {"no line, no text", {"VS119", "catalog.txt", "", 1}, false, true},
        {"other rule", {"VS401", "p/downloadlist.txt", "data.cab", 1}, false, false},
        {"other file", {"VS402", "q/downloadlist.txt", "data.cab", 1}, false, false},
        {"other text", {"VS402", "p/downloadlist.txt", "data2.cab", 1}, false, false},
        {"the path as printed is not below the site",
         {"VS402", "site/p/downloadlist.txt", "data.cab", 1},
         false,
         false},
    };
    for (const Case& c : cases) {
        ReportContext p;
        p.findings = {FindingContext{"data.cab", false}, FindingContext{"", false}};
        const auto unused = sitecheck::ApplyAcceptList({c.entry}, report, siteFiles, p);
        EXPECT_TRUE(p.acceptListGiven);
        EXPECT_EQ(p.findings[0].accepted, c.firstAccepted) << c.name;
        EXPECT_EQ(p.findings[1].accepted, c.secondAccepted) << c.name;
        EXPECT_EQ(unused.size(), c.firstAccepted || c.secondAccepted ? 0u : 1u) << c.name;
    }
}

}  // namespace
