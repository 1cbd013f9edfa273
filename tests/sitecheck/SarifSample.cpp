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
    const std::vector<Rule> rules = {
        {"VS001", Severity::Error, "the catalog cannot be fetched",
         "ダウンロードカタログを取得中に、サーバーとの通信でエラーが発生しました。",
         "publish the catalog at the tool's URL"},
        {"VS104", Severity::Error, "a listed file is missing", "ダウンロードに失敗しました。",
         "upload the file"},
        {"VS210", Severity::Warning, "no Content-Length", "no progress percentage",
         "let the server send Content-Length"},
    };
    Report report;
    report.catalogs = report.products = 1;
    report.files = 3;
    report.fatal = "cannot reach https://localhost:1/: no answer";
    report.findings = {
        {"site/p/downloadlist.txt", 2, Severity::Error, "the file \"データ.cab\": missing",
         "the customer sees \"ダウンロードに失敗しました。\"", "VS104"},
        {"/srv/my site/p#1/downloadlist.txt", 3, Severity::Error, "the file \"a b.cab\": missing",
         "the customer sees \"ダウンロードに失敗しました。\"", "VS104"},
        {"C:/Users/v/site/catalog.txt", 0, Severity::Error, "the catalog cannot be fetched",
         "the customer sees a box", "VS001"},
        {"https://localhost:8443/p/%E3%83%87.cab?v=1", 4, Severity::Warning,
         "served without Content-Length", "no percentage", "VS210"},
    };
    Presentation presentation;
    presentation.acceptList = true;
    presentation.shown = {{"データ.cab", false}, {"a b.cab", true}, {"", false}, {"x.cab", false}};
    const std::string sarif = FormatSarif(report, presentation, rules);
    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) return 1;
    const bool written = std::fwrite(sarif.data(), 1, sarif.size(), out) == sarif.size();
    return std::fclose(out) == 0 && written ? 0 : 1;
}
