// The local name of each file-list entry, as the tool's file plan gives it:
// which entries the work folder cannot hold, and which replace another.
#include "sitecheck/Checker.h"

#include <algorithm>

#include "common/PathSplit.h"
#include "download/FileName.h"
#include "sitecheck/TextRules.h"

namespace sitecheck {

void Checker::CheckFileNames(const std::string& where, const FileListPlan& list) {
    FileList urls;
    urls.reserve(list.files.size());
    for (const PlannedFile& f : list.files) urls.push_back(f.url);
    const std::vector<ModelledFile> plan = ModelFiles(urls, m_workFolder);
    const std::vector<TextLine> lines = SplitTextLines(list.text);
    // Grown once for a long list, still geometrically across many short ones.
    if (m_files.capacity() < m_files.size() + plan.size())
        m_files.reserve(std::max(m_files.size() + plan.size(), 2 * m_files.capacity()));

    for (std::size_t i = 0; i < plan.size(); ++i) {
        const ModelledFile& entry = plan[i];
        const int line = list.files[i].line;
        const TextLine& text = lines[static_cast<std::size_t>(line - 1)];
        const std::string relative = list.text.substr(text.start, text.length);
        if (relative.back() == ' ') {
            Add(RuleId::VS205, where, line,
                "the line " + Quote(relative) +
                    " ends in a blank, which the tool's request leaves out");
        } else if (LeadingOrTrailingBlankOrDot(relative)) {
            Add(RuleId::VS206, where, line,
                "the line " + Quote(relative) + " begins or ends with a blank or a dot");
        }
        if (entry.endsLoop || entry.deviceName) {
            CheckTarget(where, line, relative, plan, i);
            continue;
        }
        if (entry.replaces) {
            const std::size_t earlier = *entry.replaces;
            Add(plan[earlier].setup ? RuleId::VS302 : RuleId::VS301, where, line,
                "the file name " + Quote(entry.name) + " lands on the same local file as " +
                    Quote(plan[earlier].name) + " on line " +
                    std::to_string(list.files[earlier].line));
        }
        m_files.push_back({where, line, entry.url, entry.name, entry.setup,
                           entry.setup ? kHeadBytes : kDataHeadBytes});
    }
}

// An entry whose target the tool cannot write: it ends the loop (the files
// after it are never requested), or a device swallows the file.
void Checker::CheckTarget(const std::string& where, int line, const std::string& relative,
                          const std::vector<ModelledFile>& plan, std::size_t i) {
    const ModelledFile& entry = plan[i];
    const std::string name = Quote(entry.name);
    RuleId rule = RuleId::VS305;
    std::string what;
    switch (entry.fault) {
        case TargetFault::NameBuffer:
        case TargetFault::PathBuffer:
            rule = RuleId::VS308;
            what = "the local path " + Quote(m_workFolder + entry.name) + " has " +
                   std::to_string(entry.pathBytes) + " bytes, over the tool's " +
                   std::to_string(kLocalPathCapacity - 1) + "-byte buffer";
            break;
        case TargetFault::PlatformPath:
            rule = RuleId::VS307;
            what = "the local path " + Quote(entry.path) + " has " +
                   std::to_string(entry.pathCharacters) + " characters, over the " +
                   std::to_string(kPlatformPathCharacters) +
                   " the ANSI file functions take (MAX_PATH), assuming the work folder " +
                   Quote(m_workFolder);
            break;
        case TargetFault::EmptyName:
            rule = RuleId::VS303;
            what = "the entry " + Quote(relative) +
                   " gives an empty file name (it ends in \"/\" or a part of it is over " +
                   std::to_string(kMaxSplitPart) + " bytes)";
            break;
        case TargetFault::FolderName:
            rule = RuleId::VS304;
            what = "the file name " + name + " names a folder, not a file";
            break;
        case TargetFault::RefusedCharacter:
            rule = RuleId::VS306;
            what = "the file name " + name + " holds " + DescribeByte(entry.refusedByte) +
                   ", which Windows refuses in file names";
            break;
        case TargetFault::ConsoleName:
        case TargetFault::None:  // the loop goes on, but a device swallows the file
            rule = RuleId::VS305;
            what = "the file name " + name + " is a device name Windows reserves" +
                   (entry.fault == TargetFault::ConsoleName
                        ? " (the console), which cannot be opened as a file"
                        : "");
            break;
    }
    std::vector<std::string> skipped;
    for (std::size_t k = i + 1; entry.endsLoop && entry.reached && k < plan.size(); ++k) {
        skipped.push_back(plan[k].name);
    }
    if (!skipped.empty()) what += "; never requested after it: " + NameList(skipped);
    Add(rule, where, line, what);
}

}  // namespace sitecheck
