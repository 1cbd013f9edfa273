#include "tests/sitecheck/SiteFixture.h"

#include <atomic>
#include <cstdint>
#include <fstream>
#include <random>

#include "sitecheck/Output.h"
#include "sitecheck/Sites.h"

namespace sitecheck_test {

std::string MinimalExecutable() {
    std::string exe(0x100, '\0');
    exe[0] = 'M';
    exe[1] = 'Z';
    exe[0x3C] = '\x80';
    exe.replace(0x80, 4, std::string("PE\0\0", 4));
    return exe;
}

std::string CatalogFile(int testMode) { return sitecheck::CatalogPath(testMode).substr(1); }

SiteFiles GoodSite() {
    return {
        {CatalogFile(), "1,VELTA Test,https://vendor.test/p/,20261201\r\n"},
        {"p/downloadlist.txt", "setup.exe\r\ndata.cab\r\n"},
        {"p/setup.exe", MinimalExecutable()},
        {"p/data.cab", "cabinet"},
    };
}

SiteFolder::SiteFolder(const SiteFiles& files) {
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    const std::filesystem::path root =
        std::filesystem::temp_directory_path() /
        ("velta-site-test-" + std::to_string(random()) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(root);
    // As findings spell folders: '/' on every platform.
    m_path = root.generic_string();
    for (const auto& [relative, bytes] : files) {
        const std::filesystem::path path = sitecheck::DiskPath(m_path, relative);
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
}

SiteFolder::~SiteFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

namespace {

std::vector<ExpectedTable>& Tables() {
    static std::vector<ExpectedTable> tables;
    return tables;
}

}  // namespace

bool RegisterTable(ExpectedTable table) {
    Tables().push_back(std::move(table));
    return true;
}

std::set<sitecheck::RuleId> ExpectedRules() {
    std::set<sitecheck::RuleId> rules;
    for (const ExpectedTable& table : Tables()) {
        for (const std::vector<Expected>& expected : table()) {
            for (const Expected& e : expected) rules.insert(e.rule);
        }
    }
    return rules;
}

std::string Mismatch(const sitecheck::Report& report, const std::vector<Expected>& expected) {
    std::string problem;
    const auto& found = report.findings;
    if (found.size() != expected.size()) {
        problem = "expected " + std::to_string(expected.size()) + " findings, got " +
                  std::to_string(found.size());
    }
    for (std::size_t i = 0; problem.empty() && i < found.size(); ++i) {
        const sitecheck::Finding& f = found[i];
        const Expected& e = expected[i];
        const bool fileMatches =
            f.file.size() >= e.fileEnd.size() &&
            f.file.compare(f.file.size() - e.fileEnd.size(), e.fileEnd.size(), e.fileEnd) == 0;
        if (!fileMatches || f.line != e.line || f.severity() != e.severity ||
            f.what.find(e.what) == std::string::npos ||
            std::string(f.customer()).find(e.customer) == std::string::npos || f.rule != e.rule) {
            problem = "finding " + std::to_string(i + 1) + " differs from: ..." + e.fileEnd + ":" +
                      std::to_string(e.line) + " " + sitecheck::RuleOf(e.rule).code + " " + e.what +
                      " / " + e.customer + " (found rule " + sitecheck::RuleOf(f.rule).code + ")";
        }
    }
    return problem.empty()
               ? problem
               : problem + "\n" + sitecheck::FormatReport(report, sitecheck::Format::Text, {});
}

}  // namespace sitecheck_test
