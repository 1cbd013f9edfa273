// The rule table a publishing pipeline relies on: stable ids of letters then
// digits, one per kind of finding, each expected by a test case. (That the
// manual shows the table as "velta-site rules" prints it is a docs test.)
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>

#include "sitecheck/Rules.h"
#include "sitecheck/TextRules.h"
#include "tests/sitecheck/SiteFixture.h"

namespace {

TEST(Rules, IdsAreStableLettersThenDigitsInOrder) {
    const std::regex idForm("[A-Z]+[0-9]+");
    std::string previous;
    for (const sitecheck::Rule& rule : sitecheck::AllRules()) {
        SCOPED_TRACE(rule.code);
        EXPECT_TRUE(std::regex_match(rule.code, idForm));
        EXPECT_LT(previous, rule.code) << "ordered by id, each once";
        previous = rule.code;
        EXPECT_EQ(sitecheck::FindRule(rule.code), &rule);
        EXPECT_EQ(&sitecheck::RuleOf(rule.id), &rule);
        EXPECT_NE(rule.modes & sitecheck::kBothModes, 0) << "runs in some mode";
        for (const char* text : {rule.summary, rule.customer, rule.fix})
            EXPECT_GT(std::string(text).size(), 5u);
    }
    EXPECT_EQ(sitecheck::FindRule("VS000"), nullptr);
}

// A finding can only name a rule that has a row (RuleId); here, over this
// program's own tables of cases: every rule a check of a folder can report
// is expected by some case (the rules of live checks alone are the Windows
// program's, LiveCheckTest.cpp).
TEST(Rules, EveryRuleOfADirectoryCheckIsExpectedByATestCase) {
    const std::set<sitecheck::RuleId> expected = sitecheck_test::ExpectedRules();
    for (const sitecheck::Rule& rule : sitecheck::AllRules()) {
        if (sitecheck::RunsIn(rule.id, false)) {
            EXPECT_EQ(expected.count(rule.id), 1u) << rule.code << " is expected by no case";
        }
    }
}

// Bytes a finding describes: printable ASCII as itself, anything else (a
// control character, DEL, a byte of a double-byte character) as its value.
TEST(Rules, DescribeByteShowsOnlyPrintableAsciiAsACharacter) {
    const std::vector<std::pair<unsigned char, std::string>> cases = {
        {0x00, "byte 0x00"}, {0x1F, "byte 0x1F"}, {0x20, "' '"},       {'?', "'?'"},
        {0x7E, "'~'"},       {0x7F, "byte 0x7F"}, {0x80, "byte 0x80"}, {0xFF, "byte 0xFF"},
    };
    for (const auto& [byte, described] : cases) {
        EXPECT_EQ(sitecheck::DescribeByte(byte), described) << static_cast<int>(byte);
    }
}

}  // namespace
