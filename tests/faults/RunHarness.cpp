#include "RunHarness.h"

#include <gtest/gtest.h>

#include <sstream>

#include "app/ProcessState.h"
#include "ProcessCounters.h"
#include "download/DownloadRun.h"

namespace fault_test {

RunHarness::RunHarness(const std::string& downloads) {
    m_state = std::make_unique<run_test::ProcessStateGuard>();
    if (downloads.empty()) {
        m_scratch = std::make_unique<run_test::ScratchFolder>("faults-dl");
        m_downloads = m_scratch->Path();
    } else {
        m_downloads = downloads;
        if (m_downloads.back() != '\\') m_downloads += '\\';
    }
    m_records = std::make_unique<run_test::ScratchFolder>("faults-rec");
    m_override = std::make_unique<run_test::DownloadsFolderOverride>(m_downloads);
    m_recordPath = m_records->Path() + "setup.txt";
    SetEnvironmentVariableA("VELTA_RUN_SETUP_RECORD", m_recordPath.c_str());
    m_fixture = run_test::ReadWholeFile(VELTA_FAULTS_SETUP_FIXTURE);
    g_productName = "VELTA 障害テスト";
    m_ready = m_override->Applied() && !m_fixture.empty();
}

RunHarness::~RunHarness() { SetEnvironmentVariableA("VELTA_RUN_SETUP_RECORD", nullptr); }

bool RunHarness::NothingLeftBehind() const {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((m_downloads + "VELTADL*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return true;
    FindClose(search);
    return false;
}

velta_test::Route RunHarness::SetupRoute(const std::string& target) const {
    velta_test::Route route;
    route.target = target;
    route.body = m_fixture;
    return route;
}

int RunHarness::Run(const FileList& files, DWORD* elapsedMs) {
    DeleteFileA(m_recordPath.c_str());
    g_cancelRequested = 0;
    SelectedFileList = files;
    const DWORD start = GetTickCount();
    const int result = RunDownload(GetModuleHandleA(nullptr));
    if (elapsedMs != nullptr) *elapsedMs = GetTickCount() - start;
    return result;
}

SetupRecord RunHarness::ReadRecord() const {
    SetupRecord record;
    const std::string text = run_test::ReadWholeFile(m_recordPath);
    if (text.find("\nend\n") == std::string::npos) return record;
    record.exists = true;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("path=", 0) == 0) record.path = line.substr(5);
        if (line.rfind("file=", 0) == 0) {
            const size_t blank = line.rfind(' ');
            record.files[line.substr(5, blank - 5)] = std::stoull(line.substr(blank + 1));
        }
    }
    return record;
}

void WarmUpRun() {
    velta_test::Reset();
    WarmUp();
    RunHarness harness;
    velta_test::SetRoute(harness.SetupRoute("/faults/warm/setup.exe"));
    velta_test::MessageBoxWatcher boxes;
    harness.Run({velta_test::HttpsUrl("/faults/warm/setup.exe")});
}

velta_test::Route PatternRoute(const std::string& target, int64_t size) {
    velta_test::Route route;
    route.target = target;
    route.pattern = size;
    return route;
}

void ExpectFailureBox(const velta_test::SeenMessageBox& box, const std::string& where) {
    EXPECT_EQ(box.text, kFailureText) << where;
    EXPECT_EQ(box.caption, kFailureCaption) << where;
    EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONERROR)) << where;
    EXPECT_EQ(box.buttons, std::vector<int>{IDOK}) << where;
    EXPECT_NE(box.owner, nullptr) << where << ": owned by the progress window";
}

void ExpectLaunchFailureBox(const velta_test::SeenMessageBox& box, const std::string& where) {
    EXPECT_EQ(box.text, kLaunchFailureText) << where;
    EXPECT_EQ(box.caption, kLaunchFailureCaption) << where;
    EXPECT_EQ(box.icon, 0u) << where;
    EXPECT_EQ(box.buttons, std::vector<int>{IDOK}) << where;
    EXPECT_EQ(box.owner, nullptr) << where;
}

}  // namespace fault_test
