#pragma once
// Small sites for the checker's tests: a good site of one product (setup
// program and one data file) that each case breaks in one place, written to
// a fresh folder or served by the loopback test server.
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "sitecheck/SiteCheck.h"

namespace sitecheck_test {

// Path below the document root (no leading '/') -> file bytes.
using SiteFiles = std::map<std::string, std::string>;

// The smallest file that passes for a Windows executable.
std::string MinimalExecutable();

std::string CatalogFile(int testMode = 0);

// One product "VELTA Test" at https://vendor.test/p/ with setup.exe and data.cab.
SiteFiles GoodSite();

// A fresh folder holding the files; removed again by the destructor.
class SiteFolder {
public:
    explicit SiteFolder(const SiteFiles& files);
    ~SiteFolder();
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

// What a test expects of one finding: where (the end of its file), line,
// severity, a piece each of what is wrong and of what the customer sees, and
// its rule (a rule without a row does not compile).
struct Expected {
    std::string fileEnd;
    int line;
    sitecheck::Severity severity;
    std::string what;
    std::string customer;
    sitecheck::RuleId rule;
};

// A table of cases, as the rules its cases expect.
using ExpectedTable = std::function<std::vector<std::vector<Expected>>()>;
// Registers a table of this test program (at static initialisation), so that
// one test can see that each rule has a case that expects it.
bool RegisterTable(ExpectedTable table);
// Registers a table of cases (a function that makes them) by the findings
// each case expects (its member `expected`).
template <typename Case>
bool RegisterCases(std::vector<Case> (*cases)(), std::vector<Expected> Case::*expected) {
    return RegisterTable([cases, expected] {
        std::vector<std::vector<Expected>> table;
        for (const Case& c : cases()) table.push_back(c.*expected);
        return table;
    });
}
// The rules some registered table of this program expects.
std::set<sitecheck::RuleId> ExpectedRules();

// Empty when the findings are exactly the expected ones, in order;
// otherwise what differs, with the whole report.
std::string Mismatch(const sitecheck::Report& report, const std::vector<Expected>& expected);

}  // namespace sitecheck_test
