// The built program under different file names, started as its own process:
// the name alone decides the test mode, which shows in the dialog title and
// in the catalog that is asked for. Cancel must end the process with -1 and
// leave no work folder behind.
#include <windows.h>
#include <knownfolders.h>
#include <psapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/e2e/E2eHarness.h"
#include "tests/support/MessageBoxWatcher.h"
#include "tests/support/TestServer.h"
#include "tests/support/WindowHelpers.h"

namespace {

constexpr DWORD kExitFailure = 0xFFFFFFFFu;
const std::string kCatalog = "/qrnSupport/download/VELTA/veltadownloadlist.txt";
const std::string kTestCatalog = "/qrnSupport/download/VELTA/veltadownloadlist.test.txt";
const std::string kSelectorTitle = "製品のダウンロード";
const std::string kTestSuffix = " [社内テストモード]";
const std::string kFetchBoxCaption = "VELTA Download";

struct StartCase {
    const char* label;   // gtest name
    const char* folder;  // below the sandbox
    const char* file;
    bool testMode;
    bool catalogFails = false;  // the server answers 404: a box must come up
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

// Downloads folder of the Wine user as the shell reports it right now.
std::string DownloadsFolder() {
    PWSTR path = nullptr;
    std::string result;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Downloads, 0, nullptr, &path)))
        result = velta_test::ToCp932(path);
    CoTaskMemFree(path);
    return result;
}

std::set<std::string> WorkFolders(const std::string& downloads) {
    std::set<std::string> names;
    for (const auto& name : e2e::FolderEntries(downloads))
        if (name.rfind("VELTADL", 0) == 0) names.insert(name);
    return names;
}

// The selection dialog of the process: the dialog that owns the product
// list, once it is shown (it is shown only after its initialisation, so the
// title is final by then).
HWND FindSelector(DWORD pid) {
    for (HWND w : velta_test::TopLevelWindows(pid)) {
        if (velta_test::ClassName(w) == "#32770" && GetDlgItem(w, IDC_SELECTOR_PRODUCTS))
            return w;
    }
    return nullptr;
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

class Startup : public ::testing::TestWithParam<StartCase> {
protected:
    void SetUp() override {
        ASSERT_TRUE(velta_test::Reset()) << velta_test::LastError();
        // An empty catalog is a successful fetch: no box is expected.
        for (const auto& target : {kCatalog, kTestCatalog}) {
            velta_test::Route r;
            r.target = target;
            if (GetParam().catalogFails) r.status = 404;
            ASSERT_TRUE(velta_test::SetRoute(r)) << velta_test::LastError();
        }
    }

    void TearDown() override {
        if (m_process.hProcess) {
            if (WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT) {
                TerminateProcess(m_process.hProcess, 99);
                WaitForSingleObject(m_process.hProcess, 10000);
            }
            CloseHandle(m_process.hProcess);
            CloseHandle(m_process.hThread);
        }
    }

    bool Start(const std::string& exePath, const std::string& currentFolder) {
        STARTUPINFOA si{};
        si.cb = sizeof si;
        std::string commandLine = "\"" + exePath + "\"";
        // The application name is given explicitly: without it CreateProcess
        // would append ".exe" to a name such as VELTADL.qrntest.
        if (!CreateProcessA(exePath.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                            nullptr, currentFolder.c_str(), &si, &m_process)) {
            m_startError = GetLastError();
            return false;
        }
        return true;
    }

    PROCESS_INFORMATION m_process{};
    DWORD m_startError = 0;
};

TEST_P(Startup, NameDecidesTestModeAndCancelEndsWithMinusOne) {
    const StartCase& c = GetParam();
    const std::string realDownloads = DownloadsFolder();
    const std::set<std::string> before = WorkFolders(realDownloads);

    e2e::Sandbox sandbox(std::string("startup-") + c.label);
    const std::string folder = sandbox.Root() + c.folder;
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    const std::string exePath = folder + "\\" + c.file;
    ASSERT_TRUE(CopyFileA(e2e::WindowsPathOfUnix(VELTA_APP_PATH).c_str(), exePath.c_str(), FALSE))
        << GetLastError();
    const std::string cwd = sandbox.Root() + "cwd";
    CreateDirectoryA(cwd.c_str(), nullptr);
    ASSERT_TRUE(Start(exePath, cwd)) << exePath << " error " << m_startError;
    const DWORD pid = m_process.dwProcessId;
    // A box raised by the fetch runs its own loop, and a Cancel takes effect
    // only once the box is answered; the watcher presses OK on each. When
    // the fetch fails, the Cancel below is posted while the box may be up.
    velta_test::MessageBoxWatcher boxes(IDOK, pid);

    HWND dialog = nullptr;
    ASSERT_TRUE(e2e::WaitUntil([&] { return (dialog = FindSelector(pid)) != nullptr; }, 30000))
        << "no selection dialog from " << exePath;
    EXPECT_EQ(c.testMode ? kSelectorTitle + kTestSuffix : kSelectorTitle,
              velta_test::WindowText(dialog));
    // The manifest's dependency is what puts the version 6 controls behind
    // the dialog's buttons and list.
    EXPECT_NE(std::string::npos,
              CommonControlsPath(m_process.hProcess).find("common-controls_6595b64144ccf1df_6.0"))
        << CommonControlsPath(m_process.hProcess);

    // The catalog asked for is the second witness of the mode. Wait for the
    // fetch to be over (request seen, or a failure box) before cancelling.
    const std::string& wanted = c.testMode ? kTestCatalog : kCatalog;
    const std::string& other = c.testMode ? kCatalog : kTestCatalog;
    EXPECT_TRUE(e2e::WaitUntil(
        [&] { return velta_test::RequestCount(wanted) > 0 || boxes.Count() > 0; }, 30000));
    if (c.catalogFails) {
        // Cancel while the box is (or is about to be) up.
        EXPECT_TRUE(e2e::WaitUntil([&] { return boxes.Count() > 0; }, 30000));
    }
    EXPECT_EQ(1, velta_test::RequestCount(wanted));
    EXPECT_EQ(0, velta_test::RequestCount(other));
    const std::string shots = e2e::WindowsPathOfUnix(VELTA_SCREENSHOT_DIR);
    CreateDirectoryA(shots.c_str(), nullptr);
    EXPECT_TRUE(velta_test::SaveScreenshot(shots + "\\startup-" + c.label + ".png", dialog));

    ASSERT_TRUE(velta_test::ClickButton(dialog, IDCANCEL));
    ASSERT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(m_process.hProcess, 30000));
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeProcess(m_process.hProcess, &code));
    EXPECT_EQ(kExitFailure, code);

    if (c.catalogFails) {
        ASSERT_GE(boxes.Count(), 1u);
        EXPECT_EQ(kFetchBoxCaption, boxes.Box(0).caption);
        EXPECT_EQ(nullptr, boxes.Box(0).owner);
    }
    EXPECT_TRUE(e2e::FolderEntries(sandbox.Downloads()).empty());
    EXPECT_EQ(before, WorkFolders(realDownloads)) << realDownloads;
    // With a good catalog a box is tolerated, but worth seeing.
    for (const auto& box : boxes.Boxes())
        std::printf("message box answered: %s: %s\n", box.caption.c_str(), box.text.c_str());
}

INSTANTIATE_TEST_SUITE_P(Names, Startup, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<StartCase>& info) {
                             return std::string(info.param.label);
                         });

}  // namespace
