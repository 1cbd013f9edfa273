// The launcher with a stand-in setup (fixtures/SetupLauncherFixture.cpp)
// that records how it was started: the command line and current folder,
// files that cannot start, and the shell road after 740, which Wine never
// answers by itself, so the direct start is replaced there.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "download/SetupLauncher.h"
#include "download/SetupLauncherSeam.h"
#include "tests/support/MessageBoxWatcher.h"
#include "tests/support/Files.h"
#include "tests/support/Wait.h"

using namespace velta_test;

namespace {

// What the fixture program wrote about itself.
struct Record {
    std::string commandLine;
    std::string folder;
    std::vector<std::string> argv;
    bool started = false;
    bool ended = false;
};

Record ParseRecord(const std::string& text) {
    Record r;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        auto value = [&](const char* key) -> const char* {
            const size_t n = std::strlen(key);
            return line.compare(0, n, key) == 0 ? line.c_str() + n : nullptr;
        };
        if (const char* v = value("cmdline="))
            r.commandLine = v;
        else if (const char* v = value("cwd="))
            r.folder = v;
        else if (const char* v = value("argv="))
            r.argv.push_back(v);
        else if (line == "started")
            r.started = true;
        else if (line == "ended")
            r.ended = true;
    }
    return r;
}

// Puts a copy of the fixture at the given path and tells it where to write
// its record, how to end and which event (if any) to wait for.
class SetupLauncherRun : public ::testing::Test {
protected:
    void SetUp() override {
        char folder[MAX_PATH] = {};
        GetCurrentDirectoryA(sizeof folder, folder);
        m_savedFolder = folder;
        // The tool's own folder, which the setup must inherit.
        m_toolFolder = m_scratch.Path() + "tool folder";
        ASSERT_TRUE(MakeDirectory(m_toolFolder)) << m_toolFolder;
        ASSERT_TRUE(SetCurrentDirectoryA(m_toolFolder.c_str()));
        m_log = m_scratch.Path() + "record.txt";
    }
    void TearDown() override {
        EXPECT_EQ(0u, m_boxes.Count()) << "the launcher showed: " << m_boxes.Box(0).text;
        g_createProcess = CreateProcessA;
        SetCurrentDirectoryA(m_savedFolder.c_str());
    }
    void PlaceSetup(const std::string& path, int exitCode, const std::string& event = "-") {
        ASSERT_TRUE(CopyFileA((ProgramFolder() + "setup_fixture.exe").c_str(), path.c_str(), FALSE))
            << path << " error " << GetLastError();
        ASSERT_TRUE(WriteWholeFile(path + ".cfg",
                                   m_log + "\n" + std::to_string(exitCode) + "\n" + event + "\n"));
    }
    Record Recorded() const { return ParseRecord(ReadWholeFile(m_log)); }

    // The launcher itself shows nothing; any box is answered and counted.
    velta_test::MessageBoxWatcher m_boxes;
    ScratchFolder m_scratch;
    std::string m_savedFolder;
    std::string m_toolFolder;
    std::string m_log;
};

struct PathCase {
    const char* name;
    const char* folder;  // below the scratch folder; created
    const char* file;
    bool quoted;
};

// 0x83 0x5C is "so": its trail byte must pass through untouched.
const PathCase kPathCases[] = {
    {"plain", "work", "setup.exe", false},
    {"blank_in_folder", "my work", "setup.exe", true},
    {"so_bare", "\x83\x5C", "\x83\x5C.exe", false},
    {"so_quoted", "a \x83\x5C", "\x83\x5C setup.exe", true},
};

class LaunchedCommandLine : public SetupLauncherRun,
                            public ::testing::WithParamInterface<PathCase> {};

TEST_P(LaunchedCommandLine, SetupSeesItsPathAsOneArgumentFromTheToolsFolder) {
    const PathCase& c = GetParam();
    const std::string folder = m_scratch.Path() + c.folder + "\\";
    ASSERT_TRUE(MakeDirectory(folder)) << folder;
    const std::string path = folder + c.file;
    PlaceSetup(path, 7);

    EXPECT_EQ(1, LaunchSetup(path.c_str())) << "an exit code of its own does not count";
    const Record r = Recorded();
    ASSERT_TRUE(r.ended) << "the launcher returned before the setup ended";
    EXPECT_EQ(c.quoted ? "\"" + path + "\" " : path + " ", r.commandLine);
    EXPECT_EQ(std::vector<std::string>{path}, r.argv);
    EXPECT_EQ(m_toolFolder, r.folder);
}

INSTANTIATE_TEST_SUITE_P(SetupLauncher, LaunchedCommandLine, ::testing::ValuesIn(kPathCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SetupLauncherRun, MissingEmptyAndNullAreNotStarted) {
    EXPECT_EQ(0, LaunchSetup((m_scratch.Path() + "missing.exe").c_str()));
    const std::string empty = m_scratch.Path() + "empty.exe";
    ASSERT_TRUE(WriteWholeFile(empty, "")) << empty;
    EXPECT_EQ(0, LaunchSetup(empty.c_str()));
    EXPECT_EQ(0, LaunchSetup(nullptr));
}

// A product whose setup is a batch file: CreateProcessA runs it through the
// command interpreter, and the launcher waits for it like for a program. The
// site checker reports such a setup as a warning only (VS406) because of this.
TEST_F(SetupLauncherRun, ABatchFileRunsThroughTheCommandInterpreter) {
    const std::string marker = m_scratch.Path() + "ran.txt";
    const std::string batch = m_scratch.Path() + "setup.bat";
    ASSERT_TRUE(WriteWholeFile(batch, "@echo off\r\necho ran> \"" + marker + "\"\r\n")) << batch;
    EXPECT_EQ(1, LaunchSetup(batch.c_str()));
    EXPECT_NE(GetFileAttributesA(marker.c_str()), INVALID_FILE_ATTRIBUTES)
        << "the batch file had run when the launcher returned";
}

// Stands in for the direct start, where Wine never answers 740: records how
// it was called and fails with the chosen error.
struct SeamCall {
    int calls = 0;
    bool nullApplication = false;
    std::string commandLine;
    bool noInheritance = false;
    DWORD flags = 1;
    bool ownEnvironmentAndFolder = false;
    bool startupSizeOnly = false;
    DWORD error = 0;
};
SeamCall g_seam;

BOOL WINAPI FailingStart(LPCSTR application, LPSTR commandLine, LPSECURITY_ATTRIBUTES process,
                         LPSECURITY_ATTRIBUTES thread, BOOL inherit, DWORD flags,
                         LPVOID environment, LPCSTR folder, LPSTARTUPINFOA startup,
                         LPPROCESS_INFORMATION) {
    ++g_seam.calls;
    g_seam.nullApplication = application == nullptr;
    g_seam.commandLine = commandLine;
    g_seam.noInheritance = process == nullptr && thread == nullptr && !inherit;
    g_seam.flags = flags;
    g_seam.ownEnvironmentAndFolder = environment == nullptr && folder == nullptr;
    STARTUPINFOA expected = {};
    expected.cb = sizeof expected;
    g_seam.startupSizeOnly = std::memcmp(&expected, startup, sizeof expected) == 0;
    SetLastError(g_seam.error);
    return FALSE;
}

// Only 740 leads to the shell: any other start error ends the launch with
// that error, and the setup lying there is never run.
TEST_F(SetupLauncherRun, OtherStartErrorsAreFinalAndKeepTheirCode) {
    // A real setup lies there: if the launcher tried the shell, it would run.
    const std::string path = m_scratch.Path() + "set up.exe";
    PlaceSetup(path, 0);
    g_createProcess = FailingStart;
    for (const DWORD error : {DWORD{ERROR_ACCESS_DENIED}, DWORD{ERROR_BAD_EXE_FORMAT}}) {
        g_seam = {};
        g_seam.error = error;
        EXPECT_EQ(0, LaunchSetup(path.c_str()));
        EXPECT_EQ(error, GetLastError());
        EXPECT_EQ(1, g_seam.calls);
    }
    EXPECT_FALSE(PathExists(m_log)) << "the shell road was taken";
    EXPECT_TRUE(g_seam.nullApplication);
    EXPECT_EQ("\"" + path + "\" ", g_seam.commandLine);
    EXPECT_TRUE(g_seam.noInheritance);
    EXPECT_EQ(0u, g_seam.flags);
    EXPECT_TRUE(g_seam.ownEnvironmentAndFolder);
    EXPECT_TRUE(g_seam.startupSizeOnly);
}

struct LaunchThread {
    const char* path;
    int result = -1;
    HRESULT comAfter = E_FAIL;
};

DWORD WINAPI RunLaunch(void* parameter) {
    auto* launch = static_cast<LaunchThread*>(parameter);
    launch->result = LaunchSetup(launch->path);
    // S_FALSE: the launcher initialised COM on this thread as
    // apartment-threaded, so a second equal call only counts up.
    launch->comAfter = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    return 0;
}

TEST_F(SetupLauncherRun, ElevationRequiredGoesThroughTheShellAndWaitsForTheSetup) {
    const std::string folder = m_scratch.Path() + "elevate \x83\x5C\\";
    ASSERT_TRUE(MakeDirectory(folder)) << folder;
    const std::string path = folder + "setup.exe";
    const std::string eventName = "VeltaSetupRelease" + std::to_string(GetCurrentProcessId());
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, eventName.c_str());
    ASSERT_NE(nullptr, release);
    PlaceSetup(path, 3, eventName);
    g_createProcess = FailingStart;
    g_seam = {};
    g_seam.error = 740;  // ERROR_ELEVATION_REQUIRED

    LaunchThread launch{path.c_str()};
    HANDLE thread = CreateThread(nullptr, 0, RunLaunch, &launch, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    const bool started = WaitUntil([&] { return Recorded().started; }, 30000);
    // The setup runs and waits for us: the launcher must still be waiting.
    const DWORD whileRunning = WaitForSingleObject(thread, 0);
    SetEvent(release);
    const DWORD finished = WaitForSingleObject(thread, 60000);
    CloseHandle(thread);
    CloseHandle(release);

    ASSERT_TRUE(started) << "the shell did not start the setup";
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), whileRunning) << "returned before the setup ended";
    ASSERT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), finished);
    EXPECT_EQ(1, launch.result);
    EXPECT_EQ(S_FALSE, launch.comAfter);
    EXPECT_EQ(1, g_seam.calls);
    const Record r = Recorded();
    EXPECT_TRUE(r.ended);
    ASSERT_FALSE(r.argv.empty());
    EXPECT_EQ(path, r.argv[0]) << "the shell got another file than the setup";
    EXPECT_EQ(1u, r.argv.size()) << "the shell passed parameters: " << r.commandLine;
}

// A declined elevation prompt makes the shell start fail. Under Wine there is
// no prompt to decline, so the shell is given a file it cannot start: the
// same failed ShellExecuteExA, through the real shell.
TEST_F(SetupLauncherRun, ShellStartFailureAfterElevationRequiredIsNotStarted) {
    g_createProcess = FailingStart;
    g_seam = {};
    g_seam.error = 740;  // ERROR_ELEVATION_REQUIRED
    EXPECT_EQ(0, LaunchSetup((m_scratch.Path() + "declined.exe").c_str()));
    EXPECT_EQ(1, g_seam.calls);
    const std::string empty = m_scratch.Path() + "empty setup.exe";
    ASSERT_TRUE(WriteWholeFile(empty, ""));
    EXPECT_EQ(0, LaunchSetup(empty.c_str()));
}

}  // namespace
