#include "catalog/CatalogPlan.h"

#include <cstring>

#include "catalog/CatalogParser.h"
#include "catalog/UpdateNotice.h"

namespace {

std::string TextOf(const std::string& body) {
    return TextUpToFirstZero(reinterpret_cast<const uint8_t*>(body.data()), body.size());
}

bool IsBlankLine(const std::string& line) {
    return line.find_first_not_of(" \t") == std::string::npos;
}

// The entries one line gives on its own: the parsers treat every line
// alike, so the whole text gives exactly the entries of its lines in order.
CatalogList EntriesOfLine(const std::string& text, const TextLine& line) {
    return ParseCatalog(text.substr(line.start, line.length).c_str());
}

// The lines the tool never reads: those after the zero byte's line, and
// that line's rest when the zero byte opens it (nothing of it is read).
std::vector<TextLine> LinesAfterCut(const std::string& body, const ZeroCut& cut) {
    std::vector<TextLine> lost;
    for (const TextLine& line : SplitTextLines(body)) {
        if (line.number == cut.line && cut.column == 1) {
            lost.push_back({line.start + 1, line.length - 1, line.number});
        } else if (line.number > cut.line) {
            lost.push_back(line);
        }
    }
    return lost;
}

}  // namespace

std::vector<TextLine> SplitTextLines(const std::string& text) {
    std::vector<TextLine> lines;
    std::size_t position = 0;
    int number = 1;
    while (position < text.size()) {
        TextLine line;
        line.start = position;
        line.number = number++;
        while (position < text.size() && text[position] != '\r' && text[position] != '\n')
            ++position;
        line.length = position - line.start;
        lines.push_back(line);
        if (position < text.size()) {
            const bool crlf =
                text[position] == '\r' && position + 1 < text.size() && text[position + 1] == '\n';
            position += crlf ? 2 : 1;
        }
    }
    return lines;
}

std::optional<ZeroCut> FindZeroCut(const std::string& body) {
    const std::size_t zero = body.find('\0');
    if (zero == std::string::npos) return std::nullopt;
    for (const TextLine& line : SplitTextLines(body)) {
        if (zero < line.start || zero >= line.start + line.length) continue;
        ZeroCut cut;
        cut.line = line.number;
        cut.column = zero - line.start + 1;
        cut.lineEnd = line.start + line.length;
        return cut;
    }
    return std::nullopt;  // unreachable: a zero byte is never a line end
}

CatalogPlan PlanCatalog(const std::string& body) {
    CatalogPlan plan;
    plan.text = TextOf(body);
    plan.zeroCut = FindZeroCut(body);
    if (plan.zeroCut) {
        // Lines are counted in the whole body, so the numbers point into
        // the file the vendor edits.
        for (const TextLine& line : LinesAfterCut(body, *plan.zeroCut)) {
            for (CatalogEntry& entry : EntriesOfLine(body, line))
                plan.lostAfterZero.push_back({line.number, std::move(entry)});
        }
    }
    if (IsUpdateNotice(plan.text)) {
        plan.updateNotice = true;
        return plan;
    }
    for (const TextLine& line : SplitTextLines(plan.text)) {
        CatalogList entries = EntriesOfLine(plan.text, line);
        if (entries.empty()) {
            if (!IsBlankLine(plan.text.substr(line.start, line.length)))
                plan.namelessLines.push_back(line.number);
            continue;
        }
        for (CatalogEntry& entry : entries)
            plan.products.push_back({line.number, std::move(entry)});
    }
    return plan;
}

FileListPlan PlanFileList(const std::string& baseUrl, const std::string& body) {
    FileListPlan plan;
    plan.text = TextOf(body);
    plan.zeroCut = FindZeroCut(body);
    for (const TextLine& line : SplitTextLines(plan.text)) {
        const std::optional<FileList> entries =
            ParseFileList(baseUrl, plan.text.substr(line.start, line.length).c_str());
        if (!entries) {
            plan.overlongLines.push_back(line.number);
            continue;
        }
        for (const FileListEntry& url : *entries) plan.files.push_back({line.number, url});
    }
    plan.fails = !ParseFileList(baseUrl, plan.text.c_str()).has_value();
    if (plan.zeroCut) {
        for (const TextLine& line : LinesAfterCut(body, *plan.zeroCut)) {
            if (line.length == 0) continue;
            std::string text = body.substr(line.start, line.length);
            text.resize(std::strlen(text.c_str()));  // a later zero byte cuts that line too
            if (!text.empty()) plan.lostAfterZero.push_back({line.number, baseUrl + text});
        }
    }
    return plan;
}
