// The files, fetched as the download run fetches them: the setup program
// must run, a data file must be itself.
#include "sitecheck/Checker.h"

#include <string_view>
#include <unordered_map>

#include "sitecheck/TextRules.h"

namespace sitecheck {
namespace {

// "MZ" at the start and "PE\0\0" where the MZ header points.
bool LooksLikeWindowsExecutable(const std::string& head) {
    if (head.size() < 0x40 || head[0] != 'M' || head[1] != 'Z') return false;
    const auto byte = [&](std::size_t i) {
        return static_cast<uint32_t>(static_cast<unsigned char>(head[i]));
    };
    const uint32_t offset = byte(0x3C) | byte(0x3D) << 8 | byte(0x3E) << 16 | byte(0x3F) << 24;
    if (offset > head.size() || head.size() - offset < 4) return false;
    return head.compare(offset, 4, std::string("PE\0\0", 4)) == 0;
}

// An error page served in place of a file: a body that opens like HTML.
bool BodyIsHtml(const std::string& body) {
    std::string head = body.substr(0, 256);
    if (head.compare(0, 3, "\xEF\xBB\xBF") == 0) head.erase(0, 3);
    const std::size_t first = head.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return false;
    head.erase(0, first);
    return StartsWithNoCase(head, "<!doctype html") || StartsWithNoCase(head, "<html") ||
           StartsWithNoCase(head, "<head") || StartsWithNoCase(head, "<body");
}

bool NamedAsHtml(const std::string& name) {
    return EndsWithNoCase(name, ".htm") || EndsWithNoCase(name, ".html") ||
           EndsWithNoCase(name, ".xhtml");
}

// CreateProcessA starts a batch file given as the command line through the
// command interpreter.
bool IsBatchFile(const std::string& name) {
    return EndsWithNoCase(name, ".bat") || EndsWithNoCase(name, ".cmd");
}

}  // namespace

void Checker::CheckFiles() {
    // Each file once, in the order it will be asked for.
    std::vector<std::pair<std::string, std::size_t>> ahead;
    std::vector<std::size_t> aheadOf;  // per entry of m_files, its place in ahead
    aheadOf.reserve(m_files.size());
    {
        std::unordered_map<std::string_view, std::size_t> index;
        index.reserve(m_files.size());
        for (const FileCheck& file : m_files) {
            const auto [known, added] = index.try_emplace(file.url, ahead.size());
            if (added) {
                ahead.emplace_back(file.url, file.headBytes);
            } else if (ahead[known->second].second < file.headBytes) {
                ahead[known->second].second = file.headBytes;
            }
            aheadOf.push_back(known->second);
        }
    }
    m_site.Prefetch(ahead);
    for (std::size_t i = 0; i < m_files.size(); ++i) {
        FileCheck& file = m_files[i];
        // A file listed twice is asked for with the most bytes any entry needs.
        file.headBytes = ahead[aheadOf[i]].second;
        CheckFile(file);
        if (!m_report.fatal.empty()) return;
    }
}

void Checker::CheckFile(const FileCheck& file) {
    const Fetched fetched = m_site.FetchFile(file.url, file.headBytes);
    CheckCertificate(file.url, file.listWhere, file.line);
    if (RecordCheckerFailure(fetched)) return;
    if (fetched.outcome == Outcome::NotFollowed) return;
    const std::string quoted = Quote(file.name);
    if (fetched.outcome == Outcome::BrokenOff) {
        Add(RuleId::VS403, file.listWhere, file.line,
            "the transfer of " + quoted + " broke off: " + fetched.detail);
        return;
    }
    if (fetched.outcome != Outcome::Ok) {
        // A request without any answer ends the tool's loop; a status does not.
        Add(file.setup ? RuleId::VS401 : RuleId::VS402, file.listWhere, file.line,
            std::string(file.setup ? "the setup program " : "the file ") + quoted + ": " +
                fetched.detail +
                (fetched.outcome == Outcome::Status ? "" : "; the tool requests no later file"));
        return;
    }
    if (file.setup && fetched.size == 0) {
        Add(RuleId::VS404, file.listWhere, file.line, "the setup program " + quoted + " is empty");
    } else if (file.setup && !LooksLikeWindowsExecutable(fetched.body)) {
        if (IsBatchFile(file.name)) {
            Add(RuleId::VS406, file.listWhere, file.line,
                "the setup program " + quoted + " is a batch file");
        } else {
            Add(RuleId::VS405, file.listWhere, file.line,
                "the setup program " + quoted +
                    " is not a Windows executable (no \"MZ\" ... \"PE\" header)");
        }
    } else if (!file.setup && !NamedAsHtml(file.name)) {
        CheckDataFileIsNoPage(file, fetched);
    }
    if (fetched.headersSeen) {
        if (!fetched.contentLength) {
            Add(RuleId::VS407, file.listWhere, file.line,
                quoted + " is served without Content-Length");
        } else if (static_cast<uint64_t>(*fetched.contentLength) != fetched.size) {
            Add(RuleId::VS408, file.listWhere, file.line,
                "the Content-Length of " + quoted + " reads as " +
                    std::to_string(*fetched.contentLength) + " but its body has " +
                    std::to_string(fetched.size) + " bytes");
        }
    }
}

// The tool saves whatever a status 200 brings: a page in place of the file
// is a lost file, reported as a success. A page's type on the file's own
// bytes changes nothing for the tool.
void Checker::CheckDataFileIsNoPage(const FileCheck& file, const Fetched& fetched) {
    const std::string typeText = fetched.contentType.empty()
                                     ? std::string()
                                     : " (Content-Type: " + fetched.contentType + ")";
    if (BodyIsHtml(fetched.body)) {
        Add(RuleId::VS410, file.listWhere, file.line,
            Quote(file.name) + " is answered with status 200 and an HTML page" + typeText);
    } else if (StartsWithNoCase(fetched.contentType, "text/html")) {
        Add(RuleId::VS409, file.listWhere, file.line,
            Quote(file.name) + " is announced as an HTML page" + typeText +
                ", but its bytes are no page");
    }
}
}  // namespace sitecheck
