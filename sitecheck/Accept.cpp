#include "sitecheck/Accept.h"

#include <cctype>

namespace sitecheck {

std::vector<AcceptEntry> ParseAcceptList(const std::string& content, std::string& error) {
    std::vector<AcceptEntry> entries;
    error.clear();
    std::size_t start = 0;
    for (int number = 1; start < content.size(); ++number) {
        std::size_t end = content.find('\n', start);
        if (end == std::string::npos) end = content.size();
        std::string line = content.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (number == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
        if (line.find_first_not_of(" \t") == std::string::npos || line[0] == '#') continue;
        const std::size_t tab = line.find('\t');
        AcceptEntry entry;
        entry.line = number;
        entry.rule = line.substr(0, tab);
        if (tab != std::string::npos) {
            const std::size_t second = line.find('\t', tab + 1);
            entry.file = line.substr(
                tab + 1, second == std::string::npos ? std::string::npos : second - tab - 1);
            if (second != std::string::npos) entry.text = line.substr(second + 1);
        }
        std::size_t letters = 0;
        while (letters < entry.rule.size() &&
               std::isalpha(static_cast<unsigned char>(entry.rule[letters])))
            ++letters;
        const bool ruleShape =
            letters > 0 && letters < entry.rule.size() &&
            entry.rule.find_first_not_of("0123456789", letters) == std::string::npos;
        if (!ruleShape || entry.file.empty()) {
            error = "line " + std::to_string(number) +
                    ": expected RULE<TAB>FILE<TAB>TEXT, such as \"VS104\\tp/downloadlist.txt\\t"
                    "setup.exe\"";
            return {};
        }
        entries.push_back(entry);
    }
    return entries;
}

std::vector<AcceptEntry> ApplyAcceptList(const std::vector<AcceptEntry>& entries,
                                         const Report& report,
                                         const std::vector<std::string>& siteFiles,
                                         ReportContext& context) {
    context.acceptListGiven = true;
    context.findings.resize(report.findings.size());
    std::vector<AcceptEntry> unused;
    for (const AcceptEntry& entry : entries) {
        bool used = false;
        for (std::size_t i = 0; i < report.findings.size(); ++i) {
            const Finding& f = report.findings[i];
            if (RuleOf(f.rule).code == entry.rule && i < siteFiles.size() &&
                siteFiles[i] == entry.file && context.findings[i].lineText == entry.text) {
                context.findings[i].accepted = used = true;
            }
        }
        if (!used) unused.push_back(entry);
    }
    return unused;
}

}  // namespace sitecheck
