// A product's file list: whether the tool can read it, and what it loses.
#include "sitecheck/Checker.h"

#include "download/FileName.h"
#include "sitecheck/TextRules.h"

namespace sitecheck {

void Checker::CheckProduct(const std::string& catalogWhere, int catalogLine,
                           const CatalogEntry& entry) {
    if (!m_checkedBaseUrls.insert(entry.baseUrl).second) return;
    const std::string listUrl = BuildFileListUrl(entry.baseUrl);
    const Fetched fetched = m_site.FetchText(listUrl);
    CheckCertificate(listUrl, catalogWhere, catalogLine);
    if (RecordCheckerFailure(fetched)) return;
    if (fetched.outcome == Outcome::NotFollowed) return;
    const std::string what = "the file list " + Quote(listUrl) + " of " + Quote(entry.name);
    if (RecordRefusedCertificate(fetched, catalogWhere, catalogLine, what)) return;
    if (fetched.outcome != Outcome::Ok) {
        Add(RuleId::VS201, catalogWhere, catalogLine, what + ": " + fetched.detail);
        return;
    }
    const std::string where = m_site.Where(listUrl);
    const FileListPlan list = PlanFileList(entry.baseUrl, fetched.body);
    if (list.zeroCut && !list.lostAfterZero.empty()) {
        std::vector<std::string> lost;
        for (const PlannedFile& f : list.lostAfterZero) {
            char name[kLocalPathCapacity] = "";
            FileNameOfPath(f.url.c_str(), name, sizeof name);
            lost.push_back(name[0] != '\0' ? std::string(name) : f.url);
        }
        Add(RuleId::VS204, where, list.zeroCut->line,
            "a zero byte at column " + std::to_string(list.zeroCut->column) +
                ": the tool reads nothing after it and never downloads " + NameList(lost));
    }
    if (list.fails) {
        const std::vector<TextLine> lines = SplitTextLines(list.text);
        for (int line : list.overlongLines) {
            const TextLine& text = lines[static_cast<std::size_t>(line - 1)];
            Add(RuleId::VS202, where, line,
                "the line is " + std::to_string(text.length) + " bytes long, over the " +
                    std::to_string(kMaxFileListLine) + " bytes the tool reads");
        }
        return;
    }
    const std::optional<FileList> tool = ParseFileList(entry.baseUrl, list.text.c_str());
    bool same = tool && tool->size() == list.files.size();
    for (std::size_t i = 0; same && i < list.files.size(); ++i)
        same = (*tool)[i] == list.files[i].url;
    if (!same) {
        m_report.fatal = "internal: the lines of " + where + " do not add up to the tool's list";
        return;
    }
    if (list.files.empty()) {
        Add(RuleId::VS203, where, 0, "the file list of " + Quote(entry.name) + " names no file");
        return;
    }
    m_report.files += static_cast<int>(list.files.size());
    CheckFileNames(where, list);
}

}  // namespace sitecheck
