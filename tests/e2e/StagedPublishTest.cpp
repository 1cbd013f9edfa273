// A release published in stages while a customer's run is under way: the
// real VELTADL.exe against the loopback server, which serves OLD and moves
// to the next stage at a chosen moment of the run (when the catalog, the
// list or a file is requested). The stand-in setup records the digest of
// every file beside it, so the test sees which version's bytes the run got;
// the planner (velta-site plan's own code) judges the same run beforehand,
// and the two must agree: a sound run gets one version's files, a broken
// run fails or mixes exactly where the planner says.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "res/resource.h"
#include "sitecheck/Sites.h"
#include "sitecheck/plan/FolderDigest.h"
#include "sitecheck/plan/Plan.h"
#include "tests/support/ContentDigest.h"
#include "tests/support/Downloads.h"
#include "tests/support/Files.h"
#include "tests/support/MessageBoxWatcher.h"
#include "tests/support/Paths.h"
#include "tests/support/RunSupport.h"
#include "tests/support/TestServer.h"
#include "tests/support/Wait.h"
#include "tests/support/WindowHelpers.h"

namespace {

using namespace velta_test;
using sitecheck::kBothVersions;
using sitecheck::kNewVersion;
using sitecheck::kOldVersion;

const std::string kCatalog = "/qrnSupport/download/VELTA/veltadownloadlist.txt";
const std::string kSelectorTitle = "製品のダウンロード";
const std::string kListFailure = "ダウンロードファイルリストが取得できませんでした。";
const std::string kDownloadFailure = "ダウンロードに失敗しました。";

// A site: request path -> bytes.
using Site = std::map<std::string, std::string>;

enum class Change { Move, ReplaceInPlace };
enum class Order { Planned, CatalogFirst, DeletionWithLists };

// A stage the server moves to when a request arrives: after the catalog
// (-2), the list (-1) or file i of the list (i >= 0).
struct Move {
    int when;
    int stage;
};

struct Scenario {
    const char* name;
    Change change;
    Order order;
    int start;  // the stage the server serves when the run starts
    std::vector<Move> moves;
};

std::string Setup(const std::string& release) {
    return ReadWholeFile(WindowsPathOfUnix(VELTA_E2E_SETUP_FIXTURE)) + "release " + release;
}

std::string CatalogOf(const std::string& folder) {
    return "1,VELTA Stage," + HttpsUrl("/e2e/stage/" + folder + "/") + ",20270401\r\n";
}

Site OldSite() {
    return {{kCatalog, CatalogOf("p")},
            {"/e2e/stage/p/downloadlist.txt", "setup.exe\r\ndata1.cab\r\ndata2.cab\r\n"},
            {"/e2e/stage/p/setup.exe", Setup("1")},
            {"/e2e/stage/p/data1.cab", "data one, release 1"},
            {"/e2e/stage/p/data2.cab", "data two, release 1"}};
}

Site NewSite(Change change) {
    Site site = OldSite();
    if (change == Change::ReplaceInPlace) {
        site["/e2e/stage/p/setup.exe"] = Setup("2");
        site["/e2e/stage/p/data2.cab"] = "data two, release 2 (longer)";
        return site;
    }
    return {{kCatalog, CatalogOf("p2")},
            {"/e2e/stage/p2/downloadlist.txt", "setup.exe\r\ndata1.cab\r\ndata2.cab\r\n"},
            {"/e2e/stage/p2/setup.exe", Setup("2")},
            {"/e2e/stage/p2/data1.cab", "data one, release 2"},
            {"/e2e/stage/p2/data2.cab", "data two, release 2 (longer)"}};
}

// The site written below a scratch folder, as a web server's document root.
std::string WriteSite(const ScratchFolder& folder, const Site& site) {
    for (const auto& [path, bytes] : site) {
        std::string file = folder.Path();
        for (std::size_t at = 1, slash; (slash = path.find('/', at)) != std::string::npos;
             at = slash + 1) {
            file += path.substr(at, slash - at);
            MakeDirectory(file);
            file += '\\';
        }
        file += path.substr(path.rfind('/') + 1);
        WriteWholeFile(file, bytes);
    }
    return folder.Path().substr(0, folder.Path().size() - 1);
}

sitecheck::Staging OrderOf(Order order, const sitecheck::Staging& planned) {
    const auto& s = planned.stages;
    sitecheck::Staging staging;
    staging.graceStage = 4;
    switch (order) {
        case Order::Planned:
            return planned;
        case Order::CatalogFirst:
            staging.stages = {s[2], s[0], s[1], s[3]};
            return staging;
        case Order::DeletionWithLists:
            staging.stages = {s[0], s[1], s[2], {}};
            staging.stages[1].insert(staging.stages[1].end(), s[3].begin(), s[3].end());
            return staging;
    }
    return planned;
}

class StagedPublish : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Reset()) << LastError(); }

    void TearDown() override {
        if (!m_process.hProcess) return;
        if (WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(m_process.hProcess, 99);
        WaitForSingleObject(m_process.hProcess, 10000);
        CloseHandle(m_process.hProcess);
        CloseHandle(m_process.hThread);
    }

    // The site after each stage, on the server as stage tables 0..4.
    void ServeStages(const Site& old, const Site& now, const sitecheck::Staging& staging) {
        const auto stageOf = staging.StageOf();
        std::map<std::string, bool> paths;
        for (const auto& [path, bytes] : old) paths[path] = true;
        for (const auto& [path, bytes] : now) paths[path] = true;
        for (int state = 0; state <= staging.Count(); ++state) {
            for (const auto& [path, unused] : paths) {
                const auto stage = stageOf.find(path);
                const bool fromNew = stage != stageOf.end() && state >= stage->second;
                const Site& side = fromNew ? now : old;
                const auto bytes = side.find(path);
                if (bytes == side.end()) continue;  // nothing there: the server answers 404
                ASSERT_TRUE(SetStageRoute(state, Route{.target = path, .body = bytes->second}))
                    << LastError();
            }
        }
    }

    // VELTADL.exe from a sandbox whose Downloads folder the run uses; the
    // stand-in setup writes its record beside it.
    void Launch(const std::string& name) {
        m_sandbox = std::make_unique<Sandbox>(name);
        ASSERT_TRUE(m_sandbox->Applied());
        const std::string exe = m_sandbox->Root() + "VELTADL.exe";
        CopyFileA(WindowsPathOfUnix(VELTA_E2E_PROGRAM).c_str(), exe.c_str(), FALSE);
        m_record = m_sandbox->Root() + "setup.txt";
        SetEnvironmentVariableA("VELTA_RUN_SETUP_RECORD", m_record.c_str());
        STARTUPINFOA startup{sizeof startup};
        std::string commandLine = "\"" + exe + "\"";
        const BOOL started =
            CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                           m_sandbox->Root().c_str(), &startup, &m_process);
        SetEnvironmentVariableA("VELTA_RUN_SETUP_RECORD", nullptr);
        ASSERT_TRUE(started);
    }

    std::unique_ptr<Sandbox> m_sandbox;
    std::string m_record;
    PROCESS_INFORMATION m_process{};
};

// The stages each fetch of the run comes after, from the moves.
struct RunStates {
    int catalog = 0, list = 0;
    std::vector<int> files;
};

RunStates StatesOf(const Scenario& scenario, std::size_t fileCount) {
    RunStates states;
    int state = scenario.start;
    const auto after = [&](int when) {
        for (const Move& move : scenario.moves) {
            if (move.when == when) state = move.stage;
        }
    };
    states.catalog = state;
    after(-2);
    states.list = state;
    after(-1);
    for (std::size_t i = 0; i < fileCount; ++i) {
        states.files.push_back(state);
        after(static_cast<int>(i));
    }
    return states;
}

// The versions whose bytes a file of the run holds, as the stand-in saw it:
// none when it is missing or not a version's bytes (a failed download).
int VersionsSeen(const SetupRecord& record, const std::string& name, const std::string& path,
                 const Site& old, const Site& now) {
    const auto digest = record.digests.find(name);
    if (digest == record.digests.end()) return 0;
    int versions = 0;
    const auto oldBytes = old.find(path);
    if (oldBytes != old.end() && DigestOf(oldBytes->second) == digest->second)
        versions |= kOldVersion;
    const auto newBytes = now.find(path);
    if (newBytes != now.end() && DigestOf(newBytes->second) == digest->second)
        versions |= kNewVersion;
    return versions;
}

std::string RequestPathOf(const std::string& url) {
    const std::size_t scheme = url.find("://");
    return url.substr(url.find('/', scheme + 3));
}

TEST_F(StagedPublish, EveryRunAcrossTheStagesEndsAsThePlannerSays) {
    const std::vector<Scenario> scenarios = {
        {"planned order, the catalog, the list and the setup each before a stage",
         Change::Move,
         Order::Planned,
         0,
         {{-2, 1}, {-1, 2}, {0, 3}}},
        {"planned order, the list after the new catalog is up",
         Change::Move,
         Order::Planned,
         2,
         {{-2, 3}}},
        {"planned order, a run on the new catalog while the old files go",
         Change::Move,
         Order::Planned,
         3,
         {{0, 4}}},
        {"a setup and a data file replaced in place, between two files",
         Change::ReplaceInPlace,
         Order::Planned,
         0,
         {{0, 1}}},
        {"the catalog first", Change::Move, Order::CatalogFirst, 1, {}},
        {"deletion with the lists, between two files",
         Change::Move,
         Order::DeletionWithLists,
         0,
         {{0, 2}}},
    };
    int index = 0;
    for (const Scenario& scenario : scenarios) {
        SCOPED_TRACE(scenario.name);
        ASSERT_TRUE(Reset()) << LastError();
        const Site old = OldSite();
        const Site now = NewSite(scenario.change);

        // The planner's view: both sites on disk, read as velta-site plan reads them.
        ScratchFolder oldFolder("plan-old"), newFolder("plan-new");
        const std::string oldRoot = WriteSite(oldFolder, old);
        const std::string newRoot = WriteSite(newFolder, now);
        const std::string baseUrl = HttpsUrl("/");
        std::string error;
        auto oldSite = sitecheck::MakeDirectorySite(oldRoot, baseUrl, error);
        ASSERT_TRUE(oldSite) << error;
        auto newSite = sitecheck::MakeDirectorySite(newRoot, baseUrl, error);
        ASSERT_TRUE(newSite) << error;
        sitecheck::PlanSides sides(std::move(oldSite), sitecheck::FolderDigester(oldRoot),
                                   std::move(newSite), sitecheck::FolderDigester(newRoot),
                                   sitecheck::Options());
        sitecheck::PathChanges& changes = sides.changes();
        const sitecheck::Staging staging = OrderOf(scenario.order, sitecheck::PlanStages(changes));
        const auto stageOf = staging.StageOf();

        // The planner's verdict on this very run: the product the catalog
        // shows at the run's start, its list and files at their stages.
        RunStates states = StatesOf(scenario, 3);
        const auto catalogStage = stageOf.find(kCatalog);
        const bool newCatalog =
            catalogStage != stageOf.end() && states.catalog >= catalogStage->second;
        const std::string productUrl =
            (newCatalog ? changes.New() : changes.Old()).Products(kCatalog).at(0).entry.baseUrl;
        const sitecheck::RunVerdict verdict = sitecheck::JudgeRun(
            changes, staging, kCatalog, productUrl, states.catalog, states.list, states.files);
        const sitecheck::BrokenRun& run = verdict.run;
        const sitecheck::ListRead& list =
            ((run.list.versions & kNewVersion) ? changes.New() : changes.Old()).List(productUrl);

        // The server: OLD's stages as tables, the moves as switches at the
        // requests they follow.
        ServeStages(old, now, staging);
        ASSERT_TRUE(SwitchToStage(scenario.start)) << LastError();
        for (const Move& move : scenario.moves) {
            const std::string target = move.when == -2   ? kCatalog
                                       : move.when == -1 ? RequestPathOf(run.listUrl)
                                                         : list.files.at(move.when).path;
            ASSERT_TRUE(SwitchToStageWhenRequested(target, move.stage)) << LastError();
        }

        // The customer's run.
        Launch("staged-" + std::to_string(index++));
        MessageBoxWatcher processBoxes(IDOK, m_process.dwProcessId);
        HWND dialog = WaitForTopLevelWindow(kSelectorTitle, m_process.dwProcessId, 30000);
        ASSERT_NE(dialog, nullptr);
        ASSERT_TRUE(WaitUntil([&] { return IsControlEnabled(dialog, IDC_SELECTOR_START); }, 30000));
        ClickButton(dialog, IDC_SELECTOR_START);
        const bool listFails = !verdict.sound && run.breaking < 0 && run.Fails();
        if (listFails) {
            // The list failure leaves the dialog up: the customer gives up.
            ASSERT_TRUE(processBoxes.WaitForCount(1, 30000));
            ASSERT_TRUE(WaitUntil([&] { return IsControlEnabled(dialog, IDCANCEL); }, 30000));
            ClickButton(dialog, IDCANCEL);
        }
        ASSERT_EQ(WaitForSingleObject(m_process.hProcess, 60000), WAIT_OBJECT_0);
        DWORD exitCode = 0;
        GetExitCodeProcess(m_process.hProcess, &exitCode);
        const SetupRecord record = ReadSetupRecord(m_record);
        std::vector<std::string> texts;
        for (const SeenMessageBox& box : processBoxes.Boxes()) texts.push_back(box.text);
        CloseHandle(m_process.hProcess);
        CloseHandle(m_process.hThread);
        m_process = PROCESS_INFORMATION{};

        if (listFails) {
            EXPECT_EQ(texts, std::vector<std::string>{kListFailure});
            EXPECT_FALSE(record.exists);
            EXPECT_EQ(exitCode, 0xFFFFFFFFu);
            continue;
        }
        // What the run got, file by file, against what the planner said.
        ASSERT_TRUE(record.exists) << "the setup never ran";
        int possible = run.allowed & run.list.versions;
        int brokeAt = -1;
        for (std::size_t i = 0; i < list.files.size(); ++i) {
            const std::string name = list.files[i].relative;
            const int seen = VersionsSeen(record, name, list.files[i].path, old, now);
            SCOPED_TRACE(name);
            if (i < run.fileFetches.size()) {
                const sitecheck::RunFetch& fetch = run.fileFetches[i];
                EXPECT_EQ(seen, fetch.present ? fetch.versions : 0);
            }
            if (brokeAt < 0 && (possible & seen) == 0) brokeAt = static_cast<int>(i);
            possible &= seen;
        }
        if (verdict.sound) {
            EXPECT_TRUE(texts.empty());
            EXPECT_EQ(possible, verdict.version) << "one version's files";
            EXPECT_NE(possible, 0);
            continue;
        }
        EXPECT_EQ(brokeAt, run.breaking) << "the run breaks where the planner says";
        const bool fails = run.Fails();
        EXPECT_EQ(!texts.empty(), fails);
        for (const std::string& text : texts) EXPECT_EQ(text, kDownloadFailure);
    }
}

}  // namespace
