// The built program under different file names, started as its own process:
// the name alone decides the test mode, which shows in the dialog title and in
// the catalog asked for. Cancel ends the process with -1 and leaves no work
// folder behind, also when pressed around the box of a failed catalog fetch.
// Every box the program shows is counted: only the failed fetch may show one.
#include <windows.h>
#include <knownfolders.h>
#include <psapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <ostream>
#include <set>
#include <string>
#include <utility>

#include "res/resource.h"
#include "tests/support/Downloads.h"
#include "tests/support/Files.h"
#include "tests/support/Paths.h"
#include "tests/support/MessageBoxWatcher.h"
#include "tests/support/TestServer.h"
#include "tests/support/Wait.h"
#include "tests/support/WindowHelpers.h"

namespace {

const std::string kCatalog = "/qrnSupport/download/VELTA/veltadownloadlist.txt";
const std::string kTestCatalog = "/qrnSupport/download/VELTA/veltadownloadlist.test.txt";

struct StartCase {
    const char* label;
    const char* folder;  // below the sandbox
    const char* file;
    bool testMode;
    bool catalogFails = false;  // the server answers 404: one box comes up
};
void PrintTo(const StartCase& c, std::ostream* os) { *os << c.folder << "\\" << c.file; }

const StartCase kCases[] = {
    {"PlainName", "bin", "VELTADL.exe", false},
    {"MarkerAsWholeName", "bin", "qrntest.exe", true},
    {"MarkerInName", "bin", "VELTADL_qrntest.exe", true},
    {"MarkerAsExtension", "bin", "VELTADL.qrntest", true},
    {"MarkerInCapitals", "bin", "VELTADL_QRNTEST.exe", false},
    {"MarkerOnlyInFolder", "qrntest", "VELTADL.exe", false},
    {"PlainNameCatalogFails", "bin", "VELTADL.exe", false, true},
    {"MarkerInNameCatalogFails", "bin", "VELTADL_qrntest.exe", true, true},
};

// Work folders in the Downloads folder of the Wine user as the shell reports it.
std::set<std::string> WorkFolders() {
    PWSTR path = nullptr;
    std::set<std::string> names;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Downloads, 0, nullptr, &path)))
        for (const auto& name : velta_test::FolderEntries(velta_test::ToCp932(path)))
            if (name.rfind("VELTADL", 0) == 0) names.insert(name);
    CoTaskMemFree(path);
    return names;
}

// Lower-case path of the comctl32.dll that the process has loaded, if any.
std::string CommonControlsPath(HANDLE process) {
    HMODULE modules[512];
    DWORD needed = 0;
    if (!K32EnumProcessModules(process, modules, sizeof modules, &needed)) return "<no modules>";
    for (DWORD i = 0; i < needed / sizeof(HMODULE) && i < 512; ++i) {
        char path[MAX_PATH] = {};
        if (!K32GetModuleFileNameExA(process, modules[i], path, sizeof path)) continue;
        std::string lower(path);
        for (char& ch : lower) ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
        if (lower.size() >= 12 && lower.compare(lower.size() - 12, 12, "comctl32.dll") == 0)
            return lower;
    }
    return "<comctl32 not loaded>";
}

// Ends a program that a failed check left running.
class ProgramTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (!m_process.hProcess) return;
        if (WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(m_process.hProcess, 99);
            WaitForSingleObject(m_process.hProcess, 10000);
        }
        CloseHandle(m_process.hProcess);
        CloseHandle(m_process.hThread);
    }
    PROCESS_INFORMATION m_process{};
};

class Startup : public ProgramTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(Startup, NameDecidesTestModeAndCancelEndsWithMinusOne) {
    const StartCase& c = GetParam();
    ASSERT_TRUE(velta_test::Reset()) << velta_test::LastError();
    for (const auto& target : {kCatalog, kTestCatalog}) {  // an empty catalog: no box
        velta_test::Route r;
        r.target = target;
        if (c.catalogFails) r.status = 404;
        ASSERT_TRUE(velta_test::SetRoute(r)) << velta_test::LastError();
    }
    const std::set<std::string> before = WorkFolders();
    velta_test::Sandbox sandbox(std::string("startup-") + c.label);
    const std::string folder = sandbox.Root() + c.folder, cwd = sandbox.Root() + "cwd";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr) ||
                GetLastError() == ERROR_ALREADY_EXISTS);
    CreateDirectoryA(cwd.c_str(), nullptr);
    const std::string exePath = folder + "\\" + c.file;
    ASSERT_TRUE(
        CopyFileA(velta_test::WindowsPathOfUnix(VELTA_APP_PATH).c_str(), exePath.c_str(), FALSE))
        << GetLastError();
    STARTUPINFOA si{sizeof si};
    std::string commandLine = "\"" + exePath + "\"";
    // The application name is given: without it CreateProcess would append
    // ".exe" to a name such as VELTADL.qrntest.
    ASSERT_TRUE(CreateProcessA(exePath.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                               nullptr, cwd.c_str(), &si, &m_process))
        << exePath << " error " << GetLastError();
    const DWORD pid = m_process.dwProcessId;
    // A box raised by the fetch runs its own loop; Cancel takes effect once it is answered.
    velta_test::MessageBoxWatcher boxes(IDOK, pid);
    // The selection dialog is shown only after its initialisation, so its title is final.
    HWND dialog = nullptr;
    ASSERT_TRUE(velta_test::WaitUntil(
        [&] {
            for (HWND w : velta_test::TopLevelWindows(pid))
                if (velta_test::ClassName(w) == "#32770" && GetDlgItem(w, IDC_SELECTOR_PRODUCTS))
                    dialog = w;
            return dialog != nullptr;
        },
        30000));
    EXPECT_EQ(c.testMode ? "製品のダウンロード [社内テストモード]" : "製品のダウンロード",
              velta_test::WindowText(dialog));
    // The manifest's dependency puts the version 6 controls behind the dialog.
    EXPECT_NE(std::string::npos,
              CommonControlsPath(m_process.hProcess).find("common-controls_6595b64144ccf1df_6.0"))
        << CommonControlsPath(m_process.hProcess);
    const std::string& wanted = c.testMode ? kTestCatalog : kCatalog;
    EXPECT_TRUE(velta_test::WaitUntil([&] { return velta_test::RequestCount(wanted) > 0; }, 30000));
    // Cancel while the failure box is (or is about to be) up.
    if (c.catalogFails) EXPECT_TRUE(boxes.WaitForCount(1, 30000));
    EXPECT_EQ(1, velta_test::RequestCount(wanted));
    EXPECT_EQ(0, velta_test::RequestCount(c.testMode ? kCatalog : kTestCatalog));
    ASSERT_TRUE(velta_test::ClickButton(dialog, IDCANCEL));
    ASSERT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(m_process.hProcess, 30000));
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeProcess(m_process.hProcess, &code));
    EXPECT_EQ(0xFFFFFFFFu, code);
    ASSERT_EQ(c.catalogFails ? 1u : 0u, boxes.Count());
    if (c.catalogFails) {
        EXPECT_EQ("VELTA Download", boxes.Box(0).caption);
        EXPECT_EQ(nullptr, boxes.Box(0).owner);
    }
    EXPECT_TRUE(velta_test::FolderEntries(sandbox.Downloads()).empty());
    EXPECT_EQ(before, WorkFolders());
}

using StartupRun = ProgramTest;

// The setup's own exit status is not passed on: a setup that was started and
// failed by itself still gives exit status 0.
TEST_F(StartupRun, SetupEndingWithItsOwnFailureStillGivesExitStatusZero) {
    ASSERT_TRUE(velta_test::Reset()) << velta_test::LastError();
    velta_test::Sandbox sandbox("startup-failing-setup");
    const std::string record = sandbox.Root() + "setup-record.txt";
    const std::string setup =
        velta_test::ReadWholeFile(velta_test::WindowsPathOfUnix(VELTA_FAILING_SETUP));
    ASSERT_FALSE(setup.empty());
    const std::pair<std::string, std::string> site[] = {
        {kCatalog, "1,Failing," + velta_test::HttpsUrl("/startup/f/") + ",20261201\r\n"},
        {"/startup/f/downloadlist.txt", "setup.exe\r\n"},
        {"/startup/f/setup.exe", setup},
    };
    for (const auto& [target, body] : site) {
        velta_test::Route r;
        r.target = target;
        r.body = body;
        ASSERT_TRUE(velta_test::SetRoute(r)) << velta_test::LastError();
    }
    const std::string exePath = sandbox.Root() + "VELTADL.exe";
    ASSERT_TRUE(
        CopyFileA(velta_test::WindowsPathOfUnix(VELTA_APP_PATH).c_str(), exePath.c_str(), FALSE))
        << GetLastError();
    STARTUPINFOA si{sizeof si};
    std::string commandLine = "\"" + exePath + "\"";
    // The program passes its environment on to the setup.
    SetEnvironmentVariableA("VELTA_FAILING_SETUP_RECORD", record.c_str());
    const BOOL started = CreateProcessA(exePath.c_str(), commandLine.data(), nullptr, nullptr,
                                        FALSE, 0, nullptr, sandbox.Root().c_str(), &si, &m_process);
    SetEnvironmentVariableA("VELTA_FAILING_SETUP_RECORD", nullptr);
    ASSERT_TRUE(started) << GetLastError();
    velta_test::MessageBoxWatcher boxes(IDOK, m_process.dwProcessId);

    HWND dialog =
        velta_test::WaitForTopLevelWindow("製品のダウンロード", m_process.dwProcessId, 30000);
    ASSERT_NE(nullptr, dialog);
    ASSERT_TRUE(velta_test::WaitUntil(
        [&] { return velta_test::IsControlEnabled(dialog, IDC_SELECTOR_START); }, 30000));
    ASSERT_TRUE(velta_test::ClickButton(dialog, IDC_SELECTOR_START));
    ASSERT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(m_process.hProcess, 60000));
    DWORD code = STILL_ACTIVE;
    ASSERT_TRUE(GetExitCodeProcess(m_process.hProcess, &code));
    EXPECT_EQ(0u, code);
    EXPECT_EQ("ran, ending with 7\n", velta_test::ReadWholeFile(record));
    EXPECT_EQ(0u, boxes.Count());
    EXPECT_TRUE(velta_test::FolderEntries(sandbox.Downloads()).empty());
}

INSTANTIATE_TEST_SUITE_P(Names, Startup, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<StartCase>& info) {
                             return std::string(info.param.label);
                         });

}  // namespace
