#pragma once
// One check of a site, phase by phase: the catalog, its products' file
// lists, the local names of their entries, the files and the servers'
// certificates. Each phase's file defines its own members of Checker,
// Checker.cpp the shared ones and CheckSite; this header is the checker's
// own, not for callers (they use SiteCheck.h).
#include <cstddef>
#include <set>
#include <string>
#include <vector>

#include "catalog/CatalogParser.h"
#include "catalog/CatalogPlan.h"
#include "sitecheck/model/FileModel.h"
#include "sitecheck/SiteCheck.h"

namespace sitecheck {

// Enough of a setup program to find its PE header.
inline constexpr std::size_t kHeadBytes = 64 * 1024;
// Enough of a data file to tell an HTML page from it.
inline constexpr std::size_t kDataHeadBytes = 512;

// A file the checker will fetch once every file list has been read.
struct FileCheck {
    std::string listWhere;
    int line = 0;
    std::string url;
    std::string name;
    bool setup = false;
    std::size_t headBytes = 0;
};

class Checker {
public:
    Checker(Site& site, const Options& options, Report& report)
        : m_site(site), m_options(options), m_report(report) {}

    // The work folder the tool would take first under the assumed Downloads
    // folder, formatted by the tool's own rule; false when it does not fit.
    bool PrepareWorkFolder();
    void CheckCatalog(int testMode);
    // The files of every product read so far, fetched ahead as a whole.
    void CheckFiles();

private:
    void Add(RuleId rule, const std::string& file, int line, std::string what);
    // Records the checker's own failure, if the fetch was one, as the end of
    // the check; true when it was.
    bool RecordCheckerFailure(const Fetched& fetched);

    // The catalog (CatalogCheck.cpp).
    void CheckCatalogLines(const std::string& where, const CatalogPlan& plan);
    void CheckCatalogTime(const std::string& where, const Fetched& fetched);
    void CheckCatalogEncoding(const std::string& where, const std::string& body,
                              const std::string& text);
    void CheckZeroCut(const std::string& where, const CatalogPlan& plan);
    void CheckEntry(const std::string& where, int line, const std::string& lineText,
                    const CatalogEntry& entry, bool byteOrderMark);
    // A product's file list (FileListCheck.cpp).
    void CheckProduct(const std::string& catalogWhere, int catalogLine, const CatalogEntry& entry);
    // The local names of its entries (LocalNameCheck.cpp).
    void CheckFileNames(const std::string& where, const FileListPlan& list);
    void CheckTarget(const std::string& where, int line, const std::string& relative,
                     const std::vector<ModelledFile>& plan, std::size_t i);
    // One file (FileCheck.cpp).
    void CheckFile(const FileCheck& file);
    void CheckDataFileIsNoPage(const FileCheck& file, const Fetched& fetched);
    // The certificate of url's server, once a server (CertificateCheck.cpp).
    void CheckCertificate(const std::string& url, const std::string& file, int line);
    // Reports a fetch the tool's certificate policy refused; true when it was one.
    bool RecordRefusedCertificate(const Fetched& fetched, const std::string& file, int line,
                                  const std::string& what);

    Site& m_site;
    const Options& m_options;
    Report& m_report;
    std::set<std::string> m_checkedAuthorities;
    std::set<std::string> m_checkedBaseUrls;
    std::string m_workFolder;
    std::vector<FileCheck> m_files;
};

}  // namespace sitecheck
