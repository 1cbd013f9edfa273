// velta-site plan on pairs of sites on disk: the stage each kind of change
// goes to, the findings of a change and of publishing orders that break a
// customer's run, what customers will see change, and SHA-256 itself.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>

#include "sitecheck/Command.h"
#include "sitecheck/Output.h"
#include "sitecheck/Sites.h"
#include "sitecheck/plan/FolderDigest.h"
#include "sitecheck/plan/Plan.h"
#include "sitecheck/plan/StagedSite.h"
#include "tests/sitecheck/SiteFixture.h"

using namespace sitecheck_test;
using sitecheck::RuleId;
using sitecheck::Severity;

namespace {

const std::string kCatalog = CatalogFile();
constexpr char kListFailure[] = "ダウンロードファイルリストが取得できませんでした。";
constexpr char kDownloadFailure[] = "ダウンロードに失敗しました。";

// Two products: p/ (setup.exe, data.cab) and q/ (setup.exe, two.cab).
SiteFiles OldSite() {
    SiteFiles files = GoodSite();
    files[kCatalog] += "2,VELTA Two,https://vendor.test/q/,20261201\r\n";
    files["q/downloadlist.txt"] = "setup.exe\r\ntwo.cab\r\n";
    files["q/setup.exe"] = MinimalExecutable();
    files["q/two.cab"] = "two";
    return files;
}

// OLD with one change made: the NEW of a case.
SiteFiles Changed(const std::function<void(SiteFiles&)>& change) {
    SiteFiles files = OldSite();
    change(files);
    return files;
}

// A setup program of its own build: a Windows executable other bytes.
std::string NewSetup() { return MinimalExecutable() + "2028"; }

// Both folders on disk and the plan's view of them.
struct Pair {
    explicit Pair(const SiteFiles& newFiles, const SiteFiles& oldFiles = OldSite())
        : oldFolder(oldFiles), newFolder(newFiles) {
        std::string error;
        auto old = sitecheck::MakeDirectorySite(oldFolder.Path(), "https://vendor.test/", error);
        auto now = sitecheck::MakeDirectorySite(newFolder.Path(), "https://vendor.test/", error);
        sides = std::make_unique<sitecheck::PlanSides>(
            std::move(old), sitecheck::FolderDigester(oldFolder.Path()), std::move(now),
            sitecheck::FolderDigester(newFolder.Path()), sitecheck::Options());
    }
    sitecheck::PathChanges& changes() { return sides->changes(); }

    SiteFolder oldFolder, newFolder;
    std::unique_ptr<sitecheck::PlanSides> sides;
};

using Stages = std::vector<std::vector<std::string>>;

// Paths as the stages list them: below the root, without the leading '/'.
Stages Below(const sitecheck::Staging& staging) {
    Stages stages;
    for (const auto& stage : staging.stages) {
        stages.emplace_back();
        for (const std::string& path : stage) stages.back().push_back(path.substr(1));
    }
    return stages;
}

struct StageCase {
    const char* name;
    std::function<void(SiteFiles&)> change;
    Stages stages;
    std::vector<Expected> findings;
    int exitStatus;
};

std::vector<StageCase> StageCases() {
    const std::string list = "p/downloadlist.txt";
    return {
        {"nothing changes", [](SiteFiles&) {}, {{}, {}, {}, {}}, {}, 0},
        {"a file added to a list",
         [list](SiteFiles& s) {
             s[list] += "extra.cab\r\n";
             s["p/extra.cab"] = "extra";
         },
         {{"p/extra.cab"}, {list}, {}, {}},
         {},
         0},
        {"a product added in a new folder",
         [](SiteFiles& s) {
             s[kCatalog] += "3,VELTA New,https://vendor.test/r/,20261201\r\n";
             s["r/downloadlist.txt"] = "setup.exe\r\nr.cab\r\n";
             s["r/setup.exe"] = NewSetup();
             s["r/r.cab"] = "r";
         },
         {{"r/r.cab", "r/setup.exe"}, {"r/downloadlist.txt"}, {kCatalog}, {}},
         {},
         0},
        {"a file dropped from a list",
         [list](SiteFiles& s) {
             s[list] = "setup.exe\r\n";
             s.erase("p/data.cab");
         },
         {{}, {list}, {}, {"p/data.cab"}},
         {},
         0},
        {"a file no longer listed but left in the folder is deleted all the same",
         [list](SiteFiles& s) { s[list] = "setup.exe\r\n"; },
         {{}, {list}, {}, {"p/data.cab"}},
         {},
         0},
        {"a product removed",
         [](SiteFiles& s) {
             s[kCatalog] = GoodSite()[kCatalog];
             s.erase("q/downloadlist.txt");
             s.erase("q/setup.exe");
             s.erase("q/two.cab");
         },
         {{}, {}, {kCatalog}, {"q/downloadlist.txt", "q/setup.exe", "q/two.cab"}},
         {},
         0},
        {"a product renamed",
         [](SiteFiles& s) {
             s[kCatalog] =
                 "1,VELTA Test 2028,https://vendor.test/p/,20261201\r\n2,VELTA "
                 "Two,https://vendor.test/q/,20261201\r\n";
         },
         {{}, {}, {kCatalog}, {}},
         {},
         0},
        {"a product moved to a new folder with a new setup",
         [](SiteFiles& s) {
             s[kCatalog] =
                 "1,VELTA Test,https://vendor.test/p2028/,20261201\r\n2,VELTA "
                 "Two,https://vendor.test/q/,20261201\r\n";
             s["p2028/downloadlist.txt"] = "setup.exe\r\ndata.cab\r\n";
             s["p2028/setup.exe"] = NewSetup();
             s["p2028/data.cab"] = "cabinet 2028";
             s.erase("p/downloadlist.txt");
             s.erase("p/setup.exe");
             s.erase("p/data.cab");
         },
         {{"p2028/data.cab", "p2028/setup.exe"},
          {"p2028/downloadlist.txt"},
          {kCatalog},
          {"p/data.cab", "p/downloadlist.txt", "p/setup.exe"}},
         {},
         0},
        {"a data file replaced in place",
         [](SiteFiles& s) { s["p/data.cab"] = "cabinet 2028"; },
         {{"p/data.cab"}, {}, {}, {}},
         {{list, 2, Severity::Error,
           "the file \"data.cab\" is replaced under the same URL: OLD 7 bytes, SHA-256 "
           "a6e42a44e79e",
           "the setup runs on that mix", RuleId::VS601}},
         1},
        // The old setup.exe beside the new data.cab: one run, named.
        {"a setup and its data file replaced in place",
         [](SiteFiles& s) {
             s["p/setup.exe"] = NewSetup();
             s["p/data.cab"] = "cabinet 2028";
         },
         {{"p/data.cab", "p/setup.exe"}, {}, {}, {}},
         {{list, 1, Severity::Error, "the file \"setup.exe\" is replaced under the same URL", "mix",
           RuleId::VS601},
          {list, 2, Severity::Error, "the file \"data.cab\" is replaced under the same URL", "mix",
           RuleId::VS601},
          {list, 2, Severity::Error,
           "a run that fetches the catalog, the file list and \"setup.exe\" before stage 1 and "
           "\"data.cab\" after stage 1 gets NEW's \"data.cab\" beside OLD's \"setup.exe\"",
           "the setup runs on a mix of two versions' files", RuleId::VS604}},
         1},
        {"NEW fails its own check: the finding as check gives it",
         [list](SiteFiles& s) { s[list] += "absent.cab\r\n"; },
         {{}, {list}, {}, {}},
         {{list, 3, Severity::Error, "the file \"absent.cab\": missing", kDownloadFailure,
           RuleId::VS402}},
         1},
    };
}
const bool kStageCasesRegistered = RegisterCases(StageCases, &StageCase::findings);

TEST(PlanStages, EachKindOfChangeGoesToItsStageAndOnlyReplacedFilesAreFindings) {
    for (const StageCase& c : StageCases()) {
        SCOPED_TRACE(c.name);
        Pair pair(Changed(c.change));
        const sitecheck::Plan plan = sitecheck::MakePlan(pair.changes(), sitecheck::Options());
        EXPECT_EQ(Below(plan.staging), c.stages);
        EXPECT_EQ(Mismatch(plan.report, c.findings), "");
        EXPECT_EQ(sitecheck::ExitStatus(plan.report, sitecheck::ReportContext(), false),
                  c.exitStatus);
    }
}

// Publishing orders other than the planner's: each breaks the runs that
// straddle it, and the finding names the run and the fetch that breaks it.
struct OrderCase {
    const char* name;
    std::function<void(SiteFiles&)> change;
    std::function<Stages(const Stages&)> order;  // from the planner's stages (paths as listed)
    int graceStage;
    std::vector<Expected> runs;
};

sitecheck::Staging StagingOf(const Stages& stages, int graceStage) {
    sitecheck::Staging staging;
    for (const auto& stage : stages) {
        staging.stages.emplace_back();
        for (const std::string& path : stage) staging.stages.back().push_back("/" + path);
    }
    staging.graceStage = graceStage;
    return staging;
}

void MovePFolder(SiteFiles& s) {
    s[kCatalog] =
        "1,VELTA Test,https://vendor.test/p2028/,20261201\r\n2,VELTA "
        "Two,https://vendor.test/q/,20261201\r\n";
    s["p2028/downloadlist.txt"] = "setup.exe\r\ndata.cab\r\n";
    s["p2028/setup.exe"] = NewSetup();
    s["p2028/data.cab"] = "cabinet 2028";
    s.erase("p/downloadlist.txt");
    s.erase("p/setup.exe");
    s.erase("p/data.cab");
}

std::vector<OrderCase> OrderCases() {
    const std::string list = "p/downloadlist.txt";
    const auto same = [](const Stages& s) { return s; };
    return {
        {"the planner's order", MovePFolder, same, 4, {}},
        {"the catalog first",
         MovePFolder,
         [](const Stages& s) {
             return Stages{s[2], s[0], s[1], s[3]};
         },
         4,
         {{kCatalog, 1, Severity::Error,
           "a run that fetches the catalog and the file list after stage 1 finds the file list "
           "of \"VELTA Test\" missing (published only in stage 3)",
           kListFailure, RuleId::VS602}}},
        {"deletion with the lists",
         MovePFolder,
         [](const Stages& s) {
             Stages order = {s[0], s[1], s[2], {}};
             order[1].insert(order[1].end(), s[3].begin(), s[3].end());
             return order;
         },
         4,
         {{list, 1, Severity::Error,
           "a run that fetches the catalog and the file list before stage 1 and \"setup.exe\" "
           "after stage 2 finds \"setup.exe\" missing (deleted in stage 2)",
           kDownloadFailure, RuleId::VS603}}},
        {"deletion without a grace period",
         MovePFolder,
         same,
         0,
         {{list, 1, Severity::Error,
           "a run that fetches the catalog and the file list before stage 1 and \"setup.exe\" "
           "after stage 4 finds \"setup.exe\" missing (deleted in stage 4)",
           kDownloadFailure, RuleId::VS603}}},
        {"a list before its files",
         [list](SiteFiles& s) {
             s[list] += "extra.cab\r\n";
             s["p/extra.cab"] = "extra";
         },
         [](const Stages& s) {
             return Stages{s[1], s[0], s[2], s[3]};
         },
         4,
         {{list, 3, Severity::Error,
           "a run that fetches the catalog before stage 1 and the file list, \"setup.exe\", "
           "\"data.cab\" and \"extra.cab\" after stage 1 finds \"extra.cab\" missing "
           "(published only in stage 2)",
           kDownloadFailure, RuleId::VS603}}},
        {"the catalog before the lists",
         MovePFolder,
         [](const Stages& s) {
             return Stages{s[0], s[2], s[1], s[3]};
         },
         4,
         {{kCatalog, 1, Severity::Error,
           "a run that fetches the catalog and the file list after stage 2 finds the file list "
           "of \"VELTA Test\" missing (published only in stage 3)",
           kListFailure, RuleId::VS602}}},
    };
}
const bool kOrderCasesRegistered = RegisterCases(OrderCases, &OrderCase::runs);

TEST(PlanRuns, OrdersThatBreakARunAreFoundAndThePlannersOwnIsNot) {
    for (const OrderCase& c : OrderCases()) {
        SCOPED_TRACE(c.name);
        Pair pair(Changed(c.change));
        const sitecheck::Staging planned = sitecheck::PlanStages(pair.changes());
        const sitecheck::Staging order = StagingOf(c.order(Below(planned)), c.graceStage);
        sitecheck::Report report;
        report.findings = sitecheck::RunFindings(pair.changes(), order,
                                                 sitecheck::FindBrokenRuns(pair.changes(), order));
        EXPECT_EQ(Mismatch(report, c.runs), "");
    }
}

// The site between two stages of a bad order fails the check where
// neither side does: the list is up before its new file.
TEST(PlanRuns, SiteBetweenStagesIsCheckedByTheChecksOwnRules) {
    SiteFiles files = OldSite();
    files["p/downloadlist.txt"] += "extra.cab\r\n";
    files["p/extra.cab"] = "extra";
    Pair pair(files);
    const sitecheck::Staging planned = sitecheck::PlanStages(pair.changes());
    EXPECT_TRUE(
        sitecheck::CheckBetweenStages(pair.changes(), planned, sitecheck::Options()).empty());
    const Stages stages = Below(planned);
    sitecheck::Report report;
    report.findings = sitecheck::CheckBetweenStages(
        pair.changes(), StagingOf({stages[1], stages[0], stages[2], stages[3]}, 4),
        sitecheck::Options());
    EXPECT_EQ(Mismatch(report, {{"p/downloadlist.txt", 3, Severity::Error,
                                 "after stage 1: the file \"extra.cab\": missing", kDownloadFailure,
                                 RuleId::VS402}}),
              "");
}

TEST(Sha256, KnownDigestsWholeAndInPieces) {
    struct Vector {
        std::string bytes;
        const char* hex;
    };
    const std::vector<Vector> vectors = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
        {std::string(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
        {std::string(63, 'a'), "7d3e74a05d7db15bce4ad9ec0658ea98e3f06eeecf16b4c6fff2da457ddc2f34"},
        {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
        {std::string(65, 'a'), "635361c48bb9eab14198e76ea8ab7f1a41685d6ad62aa9146d301d4f17eb0ae0"},
        {std::string(119, 'a'), "31eba51c313a5c08226adf18d4a359cfdfd8d2e816b13f4af952f7ea6584dcfb"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const Vector& v : vectors) {
        SCOPED_TRACE(v.bytes.size());
        EXPECT_EQ(sitecheck::HexOf(sitecheck::Sha256Of(v.bytes)), v.hex);
        // Pieces that straddle the 64-byte blocks every way.
        for (std::size_t piece : {1u, 7u, 63u, 65u}) {
            sitecheck::Sha256 hash;
            for (std::size_t at = 0; at < v.bytes.size(); at += piece)
                hash.Add(std::string_view(v.bytes).substr(at, piece));
            EXPECT_EQ(sitecheck::HexOf(hash.Finish()), v.hex) << "in pieces of " << piece;
        }
    }
}

}  // namespace

namespace {

// What customers will see change: one row per kind of product and file change.
TEST(PlanChanges, ProductsAndFilesByKindWithSizesAndDigests) {
    using Kind = sitecheck::ProductChange::Kind;
    using FileKind = sitecheck::FileChange::Kind;
    struct Row {
        const char* name;
        std::function<void(SiteFiles&)> change;
        std::vector<std::pair<Kind, std::string>> products;   // kind, the name it has now
        std::vector<std::pair<FileKind, std::string>> files;  // of the first product listed
    };
    const std::vector<Row> rows = {
        {"nothing", [](SiteFiles&) {}, {}, {}},
        {"added",
         [](SiteFiles& s) {
             s[kCatalog] += "3,VELTA New,https://vendor.test/r/,20261201\r\n";
             s["r/downloadlist.txt"] = "setup.exe\r\n";
             s["r/setup.exe"] = NewSetup();
         },
         {{Kind::Added, "VELTA New"}},
         {{FileKind::Added, "setup.exe"}}},
        {"removed",
         [](SiteFiles& s) { s[kCatalog] = GoodSite()[kCatalog]; },
         {{Kind::Removed, "VELTA Two"}},
         {{FileKind::Removed, "setup.exe"}, {FileKind::Removed, "two.cab"}}},
        {"renamed",
         [](SiteFiles& s) {
             s[kCatalog] =
                 "1,VELTA Test 2,https://vendor.test/p/,20261201\r\n2,VELTA "
                 "Two,https://vendor.test/q/,20261201\r\n";
         },
         {{Kind::Renamed, "VELTA Test 2"}},
         {}},
        {"moved, one file changed on the way",
         MovePFolder,
         {{Kind::Moved, "VELTA Test"}},
         {{FileKind::Changed, "data.cab"}, {FileKind::Changed, "setup.exe"}}},
        {"files added, removed and changed in place",
         [](SiteFiles& s) {
             s["p/downloadlist.txt"] = "setup.exe\r\nextra.cab\r\n";
             s["p/setup.exe"] = NewSetup();
             s["p/extra.cab"] = "extra";
         },
         {{Kind::Kept, "VELTA Test"}},
         {{FileKind::Added, "extra.cab"},
          {FileKind::Changed, "setup.exe"},
          {FileKind::Removed, "data.cab"}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Pair pair(Changed(row.change));
        const std::vector<sitecheck::ProductChange> products =
            sitecheck::CompareProducts(pair.changes());
        std::vector<std::pair<Kind, std::string>> seen;
        for (const auto& p : products)
            seen.emplace_back(p.kind,
                              p.kind == Kind::Removed ? p.before.entry.name : p.after.entry.name);
        EXPECT_EQ(seen, row.products);
        std::vector<std::pair<FileKind, std::string>> seenFiles;
        if (!products.empty()) {
            for (const auto& f : products[0].files) seenFiles.emplace_back(f.kind, f.relative);
        }
        EXPECT_EQ(seenFiles, row.files);
    }
    // A changed file carries both sides' sizes and digests.
    SiteFiles files = OldSite();
    files["p/data.cab"] = "cabinet 2028";
    Pair pair(files);
    const auto products = sitecheck::CompareProducts(pair.changes());
    ASSERT_EQ(products.size(), 1u);
    ASSERT_EQ(products[0].files.size(), 1u);
    const sitecheck::FileChange& changed = products[0].files[0];
    EXPECT_EQ(changed.before.size, 7u);
    EXPECT_EQ(sitecheck::HexOf(changed.before.sha256),
              sitecheck::HexOf(sitecheck::Sha256Of("cabinet")));
    EXPECT_EQ(changed.after.size, 12u);
    EXPECT_EQ(sitecheck::HexOf(changed.after.sha256),
              sitecheck::HexOf(sitecheck::Sha256Of("cabinet 2028")));
}

struct PlanRun {
    int status;
    std::string out, err;
};

PlanRun RunPlan(const Pair& pair, std::vector<std::string> options) {
    std::vector<std::string> arguments = {"plan", pair.oldFolder.Path(), pair.newFolder.Path(),
                                          "--base-url", "https://vendor.test/"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    PlanRun run;
    run.status = sitecheck::RunCommand(arguments, run.out, run.err);
    return run;
}

bool Has(const std::string& text, const std::string& piece) {
    return text.find(piece) != std::string::npos;
}

// The command in a pipeline: each format, the grace period, --strict and
// --accept as check has them, and what it refuses.
TEST(PlanCommand, FormatsGraceStrictAndAcceptAsCheckHasThem) {
    SiteFiles moved = OldSite();
    MovePFolder(moved);
    const Pair good(moved);

    PlanRun text = RunPlan(good, {});
    EXPECT_EQ(text.status, 0) << text.out << text.err;
    EXPECT_EQ(text.out.rfind("velta-site plan: what customers will see change\n", 0), 0u)
        << text.out;
    EXPECT_TRUE(Has(text.out,
                    "    product \"VELTA Test\" moved from https://vendor.test/p/ to "
                    "https://vendor.test/p2028/\n"))
        << text.out;
    EXPECT_TRUE(Has(text.out,
                    "  stage 1: upload the files NEW adds or changes (2 paths)\n"
                    "    p2028/data.cab\n    p2028/setup.exe\n"))
        << text.out;
    EXPECT_TRUE(Has(text.out,
                    "  stage 4, 48 hours after stage 3: delete what NEW no longer "
                    "names (3 paths)\n"))
        << text.out;
    EXPECT_TRUE(Has(text.out,
                    "\nvelta-site: 0 errors, 0 warnings; checked 1 catalog, 2 products, "
                    "4 files\n"))
        << text.out;
    EXPECT_EQ(text.out.substr(text.out.size() - 1), "\n");

    const PlanRun json = RunPlan(good, {"--format", "json", "--grace", "72"});
    EXPECT_EQ(json.status, 0);
    EXPECT_TRUE(Has(json.out,
                    "\"stages\": [\n  [\"p2028/data.cab\", \"p2028/setup.exe\"],\n  "
                    "[\"p2028/downloadlist.txt\"],\n  [\"" +
                        kCatalog +
                        "\"],\n  [\"p/data.cab\", \"p/downloadlist.txt\", "
                        "\"p/setup.exe\"]\n], \"graceHours\": 72}\n"))
        << json.out;
    EXPECT_TRUE(Has(json.out, "{\"catalog\": \"" + kCatalog +
                                  "\", \"change\": \"moved\", \"name\": \"VELTA Test\", \"url\": "
                                  "\"https://vendor.test/p2028/\", \"oldName\": \"VELTA Test\""))
        << json.out;

    // A file replaced in place: an error in every format, accepted by its line.
    SiteFiles replaced = OldSite();
    replaced["p/data.cab"] = "cabinet 2028";
    const Pair bad(replaced);
    const PlanRun failing = RunPlan(bad, {});
    EXPECT_EQ(failing.status, 1);
    EXPECT_TRUE(Has(failing.out,
                    "/p/downloadlist.txt:2: error: the file \"data.cab\" is replaced "
                    "under the same URL"))
        << failing.out;
    EXPECT_TRUE(Has(RunPlan(bad, {"--format", "github"}).out,
                    "p/downloadlist.txt,line=2,title=VS601::the file"));
    EXPECT_TRUE(Has(RunPlan(bad, {"--format", "sarif"}).out, "\"ruleId\": \"VS601\""));
    const std::string acceptList = bad.newFolder.Path() + "-accepted.txt";
    { std::ofstream(acceptList) << "VS601\tp/downloadlist.txt\tdata.cab\n"; }
    const PlanRun accepted = RunPlan(bad, {"--accept", acceptList});
    std::remove(acceptList.c_str());
    EXPECT_EQ(accepted.status, 0) << accepted.out << accepted.err;
    EXPECT_TRUE(Has(accepted.out, "[VS601, accepted]")) << accepted.out;

    // A warning of NEW's own fails the plan only with --strict.
    SiteFiles warned = OldSite();
    warned[kCatalog] =
        "1,VELTA Test,https://vendor.test/p/,2026-12-01\r\n2,VELTA Two,"
        "https://vendor.test/q/,20261201\r\n";
    const Pair warning(warned);
    EXPECT_EQ(RunPlan(warning, {}).status, 0);
    EXPECT_EQ(RunPlan(warning, {"--strict"}).status, 1);

    // Wrong usage is 2; a folder that is not there is a site that cannot be read, 3.
    std::string out, err;
    EXPECT_EQ(sitecheck::RunCommand(
                  {"plan", good.oldFolder.Path(), "--base-url", "https://vendor.test/"}, out, err),
              2);
    EXPECT_EQ(RunPlan(good, {"--grace", "two days"}).status, 2);
    EXPECT_EQ(sitecheck::RunCommand({"plan", good.oldFolder.Path(), "https://vendor.test",
                                     "--base-url", "https://vendor.test/"},
                                    out, err),
              2);
    EXPECT_EQ(sitecheck::RunCommand({"check", good.oldFolder.Path(), good.newFolder.Path(),
                                     "--base-url", "https://vendor.test/"},
                                    out, err),
              2);
    EXPECT_EQ(sitecheck::RunCommand({"plan", good.oldFolder.Path() + "-gone", good.newFolder.Path(),
                                     "--base-url", "https://vendor.test/"},
                                    out, err),
              3);
}

}  // namespace
