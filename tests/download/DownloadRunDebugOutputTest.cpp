// The progress lines sent to the debugger: this program starts itself as a
// child under a debug-event loop and collects every OUTPUT_DEBUG_STRING_EVENT.
#include <windows.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "download/DownloadRun.h"
#include "tests/support/Files.h"
#include "tests/support/MessageBoxWatcher.h"
#include "tests/support/Routes.h"
#include "tests/support/TestServer.h"

namespace {

constexpr char kFolderVariable[] = "VELTA_RUN_DEBUG_FOLDER";
constexpr DWORD kChildDeadline = 90000;

// Runs only when started by the test below (disabled tests are not listed).
TEST(DownloadRunDebugChild, DISABLED_DownloadsThreeFiles) {
    char folder[MAX_PATH] = {};
    ASSERT_NE(GetEnvironmentVariableA(kFolderVariable, folder, sizeof folder), 0u);
    velta_test::MessageBoxWatcher boxes;
    const FileList files = {velta_test::HttpsUrl("/debug/one.bin"),
                            velta_test::HttpsUrl("/debug/two.bin"),
                            velta_test::HttpsUrl("/debug/three.bin")};
    EXPECT_EQ(DownloadFiles(GetModuleHandleA(nullptr), files, folder), 1);
    EXPECT_EQ(boxes.Count(), 0u);
}

struct DebugRun {
    bool started = false;
    bool ended = false;
    DWORD exitCode = 0;
    std::vector<std::string> lines;
};

std::string ReadDebugString(HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info) {
    std::string text(info.nDebugStringLength, '\0');
    SIZE_T got = 0;
    if (!ReadProcessMemory(process, info.lpDebugStringData, text.data(), text.size(), &got))
        return {};
    text.resize(got);
    if (info.fUnicode) return "<unicode>";
    while (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
}

// The child is killed at the deadline, so a hung run never outlives the test.
DebugRun RunChildUnderDebugger(const std::string& commandLine) {
    DebugRun run;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::string command = commandLine;
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS,
                        nullptr, nullptr, &startup, &process)) {
        return run;
    }
    run.started = true;
    const DWORD start = GetTickCount();
    bool killed = false;
    while (!run.ended) {
        DEBUG_EVENT event;
        if (!WaitForDebugEvent(&event, 1000)) {
            if (!killed && GetTickCount() - start > kChildDeadline) {
                TerminateProcess(process.hProcess, 99);
                killed = true;
            }
            continue;
        }
        DWORD continueStatus = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
            case OUTPUT_DEBUG_STRING_EVENT:
                run.lines.push_back(ReadDebugString(process.hProcess, event.u.DebugString));
                break;
            case EXCEPTION_DEBUG_EVENT:
                if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT) {
                    continueStatus = DBG_EXCEPTION_NOT_HANDLED;
                }
                break;
            case CREATE_PROCESS_DEBUG_EVENT:
                if (event.u.CreateProcessInfo.hFile) CloseHandle(event.u.CreateProcessInfo.hFile);
                break;
            case LOAD_DLL_DEBUG_EVENT:
                if (event.u.LoadDll.hFile) CloseHandle(event.u.LoadDll.hFile);
                break;
            case EXIT_PROCESS_DEBUG_EVENT:
                run.exitCode = event.u.ExitProcess.dwExitCode;
                run.ended = true;
                break;
            default:
                break;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, continueStatus);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return run;
}

TEST(DownloadRunDebugOutput, EachRefreshSendsOneLineAndCompletionsAreExact) {
    ASSERT_TRUE(velta_test::Reset()) << velta_test::LastError();
    ASSERT_TRUE(velta_test::SetRoute(velta_test::PatternRoute("/debug/one.bin", 1048576)));
    ASSERT_TRUE(velta_test::SetRoute(velta_test::PatternRoute("/debug/two.bin", 2097152)));
    velta_test::Route noLength = velta_test::PatternRoute("/debug/three.bin", 524288);
    noLength.length = velta_test::Length::None;
    ASSERT_TRUE(velta_test::SetRoute(noLength));
    velta_test::ScratchFolder folder("debug");
    SetEnvironmentVariableA(kFolderVariable, folder.Path().c_str());

    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, sizeof self);
    const DebugRun run =
        RunChildUnderDebugger(std::string("\"") + self +
                              "\" --gtest_also_run_disabled_tests "
                              "--gtest_filter=DownloadRunDebugChild.DISABLED_DownloadsThreeFiles");
    SetEnvironmentVariableA(kFolderVariable, nullptr);

    ASSERT_TRUE(run.started) << GetLastError();
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 0u) << "the child's own checks";

    const std::regex line(
        R"(\d+/3 -?\d+\.\d\dMB/-?\d+\.\d\dMB \(\d+\.\d\dMB/\d+\.\d\dMB\) \d+\.\d%\r\n)");
    std::vector<std::string> progress;
    for (const std::string& text : run.lines) {
        if (text.find("MB (") == std::string::npos) continue;
        EXPECT_TRUE(std::regex_match(text, line)) << text;
        progress.push_back(text);
    }
    // Each completion is a forced refresh; the third file has no length, so
    // its stored size is -1.
    const std::vector<std::string> completions = {
        "1/3 1.00MB/1.00MB (1.00MB/3.00MB) 33.3%\r\n",
        "2/3 2.00MB/2.00MB (3.00MB/4.50MB) 66.6%\r\n",
        "3/3 0.50MB/-0.00MB (3.50MB/3.50MB) 100.0%\r\n",
    };
    size_t next = 0;
    for (const std::string& text : progress) {
        if (next < completions.size() && text == completions[next]) ++next;
    }
    EXPECT_EQ(next, completions.size())
        << "completion lines in order; got " << progress.size() << " lines";
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), completions.back()) << "nothing after the last completion";
}

}  // namespace
