// The rule table a publishing pipeline relies on: stable ids of letters then
// digits, one per kind of finding, each documented in the README, and no
// finding of the checker under an id the table lacks.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "sitecheck/Rules.h"

namespace {

std::string SourceRoot() {
    const std::string file = __FILE__;
    return file.substr(0, file.rfind("tests/sitecheck/"));
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(Rules, IdsAreStableLettersThenDigitsInOrderAndDocumented) {
    const std::string readme = ReadText(SourceRoot() + "README.md");
    ASSERT_FALSE(readme.empty());
    const std::regex idForm("[A-Z]+[0-9]+");
    std::string previous;
    for (const sitecheck::Rule& rule : sitecheck::AllRules()) {
        SCOPED_TRACE(rule.id);
        EXPECT_TRUE(std::regex_match(rule.id, idForm));
        EXPECT_LT(previous, rule.id) << "ordered by id, each once";
        previous = rule.id;
        EXPECT_EQ(sitecheck::FindRule(rule.id), &rule);
        for (const char* text : {rule.summary, rule.customer, rule.fix})
            EXPECT_GT(std::string(text).size(), 5u);
        EXPECT_NE(readme.find(std::string("| `") + rule.id + "` | " +
                              (rule.severity == sitecheck::Severity::Error ? "error" : "warning") +
                              " | " + rule.summary + " |"),
                  std::string::npos)
            << "the README's rule table lacks or differs for this rule";
    }
    EXPECT_EQ(sitecheck::FindRule("VS000"), nullptr);
}

TEST(Rules, EveryIdTheCheckerReportsIsInTheTable) {
    const std::string source = ReadText(SourceRoot() + "sitecheck/SiteCheck.cpp");
    ASSERT_FALSE(source.empty());
    const std::regex quoted("\"(VS[0-9]+)\"");
    std::set<std::string> used;
    for (auto it = std::sregex_iterator(source.begin(), source.end(), quoted);
         it != std::sregex_iterator(); ++it) {
        used.insert((*it)[1]);
    }
    EXPECT_GT(used.size(), 40u);
    for (const std::string& id : used) EXPECT_NE(sitecheck::FindRule(id), nullptr) << id;
    // And no rule the checker never reports.
    for (const sitecheck::Rule& rule : sitecheck::AllRules())
        EXPECT_EQ(used.count(rule.id), 1u) << rule.id << " is reported nowhere";
}

}  // namespace
