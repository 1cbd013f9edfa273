// The planner's promise, for any two releases the input describes: when
// NEW and OLD pass their checks and NEW replaces no file in place (VS601),
// a customer's run across the planner's own stages never breaks (no VS602,
// VS603, VS604), and no site between the stages fails a check that neither
// release fails. Sites are built from the input on a small alphabet of
// folders and file names, so that releases overlap the way real ones do.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "sitecheck/Sites.h"
#include "sitecheck/Url.h"
#include "sitecheck/plan/Plan.h"

namespace {

using sitecheck::Fetched;
using sitecheck::Outcome;

const char kHost[] = "https://vendor.test";

class Input {
public:
    Input(const uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    unsigned Next(unsigned choices) { return m_at < m_size ? m_data[m_at++] % choices : 0; }

private:
    const uint8_t* m_data;
    std::size_t m_size, m_at = 0;
};

// A served site in memory: path -> bytes.
class MemorySite : public sitecheck::Site {
public:
    explicit MemorySite(std::map<std::string, std::string> files) : m_files(std::move(files)) {}
    std::string CatalogUrl(int testMode) const override {
        return kHost + sitecheck::CatalogPath(testMode);
    }
    Fetched FetchText(const std::string& url) override { return Read(url, std::string::npos); }
    Fetched FetchFile(const std::string& url, std::size_t headBytes) override {
        return Read(url, headBytes);
    }
    std::string Where(const std::string& url) const override { return url; }
    std::string Authority() const override { return "vendor.test"; }
    bool Live() const override { return false; }

private:
    Fetched Read(const std::string& url, std::size_t headBytes) const {
        Fetched fetched;
        std::string path;
        if (sitecheck::AuthorityOf(url) != "vendor.test") {
            fetched.outcome = Outcome::NotFollowed;
            return fetched;
        }
        const auto file = sitecheck::ResolveRequestPath(sitecheck::RequestPath(url), path)
                              ? m_files.find(path)
                              : m_files.end();
        if (file == m_files.end()) {
            fetched.outcome = Outcome::Status;
            fetched.status = 404;
            fetched.detail = "missing";
            return fetched;
        }
        fetched.outcome = Outcome::Ok;
        fetched.status = 200;
        fetched.size = file->second.size();
        fetched.body = file->second.substr(0, headBytes);
        return fetched;
    }

    std::map<std::string, std::string> m_files;
};

std::string Executable(unsigned version) {
    std::string exe(0x100, '\0');
    exe[0] = 'M';
    exe[1] = 'Z';
    exe[0x3C] = '\x80';
    exe.replace(0x80, 4, std::string("PE\0\0", 4));
    return exe + std::to_string(version);
}

// One to three products in folders a..d, each a setup and up to three of
// x, y, z.cab, every byte chosen by the input.
std::map<std::string, std::string> SiteOf(Input& input) {
    std::map<std::string, std::string> files;
    std::string catalog;
    const unsigned products = 1 + input.Next(3);
    for (unsigned p = 0; p < products; ++p) {
        const std::string folder(1, static_cast<char>('a' + input.Next(4)));
        const std::string base = std::string(kHost) + "/" + folder + "/";
        catalog += std::to_string(p + 1) + ",P" + std::to_string(input.Next(4)) + "," + base +
                   ",20270401\r\n";
        if (files.count("/" + folder + "/downloadlist.txt")) continue;
        std::string list = "s.exe\r\n";
        files["/" + folder + "/s.exe"] = Executable(input.Next(3));
        for (const char* name : {"x.cab", "y.cab", "z.cab"}) {
            if (input.Next(2) == 0) continue;
            list += std::string(name) + "\r\n";
            files["/" + folder + "/" + name] = std::string(name) + std::to_string(input.Next(3));
        }
        files["/" + folder + "/downloadlist.txt"] = list;
    }
    files[sitecheck::CatalogPath(0)] = catalog;
    return files;
}

bool HasErrors(const sitecheck::Report& report) {
    for (const sitecheck::Finding& f : report.findings) {
        if (f.severity() == sitecheck::Severity::Error) return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    Input input(data, size);
    auto old = std::make_unique<MemorySite>(SiteOf(input));
    auto now = std::make_unique<MemorySite>(SiteOf(input));
    sitecheck::PlanSides sides(std::move(old), sitecheck::Digester(), std::move(now),
                               sitecheck::Digester(), sitecheck::Options());
    sitecheck::PathChanges& changes = sides.changes();
    const sitecheck::Plan plan = sitecheck::MakePlan(changes, sitecheck::Options());
    if (!plan.report.fatal.empty()) std::abort();
    if (HasErrors(changes.Old().report()) || HasErrors(changes.New().report())) return 0;
    // A file replaced in place breaks runs by design; VS601 names it.
    const std::size_t own = changes.New().report().findings.size();
    for (std::size_t i = own; i < plan.report.findings.size(); ++i) {
        if (plan.report.findings[i].rule == sitecheck::RuleId::VS601) return 0;
    }
    if (plan.report.findings.size() != own) std::abort();
    return 0;
}
