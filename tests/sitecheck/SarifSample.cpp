// Writes a SARIF log of findings built here (every shape a finding can take:
// a line and none, an accepted one, a relative, an absolute and a URL file
// with characters a URI must encode, Japanese texts, a run that could not
// finish) for sarif_validation_test.sh to hand to Microsoft's validator.
#include <cstdio>
#include <string>

#include "sitecheck/Output.h"
#include "sitecheck/Rules.h"

int main(int argc, char** argv) {
    using namespace sitecheck;
    if (argc != 2) {
        std::fprintf(stderr, "usage: sitecheck_sarif_sample OUT.sarif\n");
        return 2;
    }
    Report report;
    report.catalogs = report.products = 1;
    report.files = 3;
    report.fatal = "cannot reach https://localhost:1/: no answer";
    report.findings = {
        {RuleId::VS402, "site/p/downloadlist.txt", 2, "the file \"データ.cab\": missing"},
        {RuleId::VS104, "/srv/my site/p#1/catalog.txt", 1,
         "the catalog starts with a UTF-16 byte-order mark"},
        {RuleId::VS101, "C:/Users/v/site/catalog.txt", 0, "the catalog cannot be fetched"},
        {RuleId::VS407, "https://localhost:8443/p/%E3%83%87.cab?v=1", 4,
         "served without Content-Length"},
    };
    ReportContext context;
    context.acceptListGiven = true;
    context.findings = {{"データ.cab", false}, {"a b.cab", true}, {"", false}, {"x.cab", false}};
    const std::string sarif = FormatSarif(report, context);
    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) return 1;
    const bool written = std::fwrite(sarif.data(), 1, sarif.size(), out) == sarif.size();
    return std::fclose(out) == 0 && written ? 0 : 1;
}
