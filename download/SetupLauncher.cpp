#include "download/SetupLauncher.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <cstring>
#include <memory>

#include "common/UniqueHandle.h"
#include "download/CommandLine.h"
#include "download/SetupLauncherSeam.h"

CreateProcessFn g_createProcess = CreateProcessA;

namespace {

// Not in every SDK's winerror.h.
constexpr DWORD kErrorElevationRequired = 740;

static_assert(sizeof(STARTUPINFOA) == 104);
static_assert(sizeof(SHELLEXECUTEINFOA) == 112);

void WaitForExit(HANDLE process) {
    WaitForSingleObject(process, INFINITE);
    // The setup's own status does not decide whether it was started.
    DWORD exitCode = 0;
    GetExitCodeProcess(process, &exitCode);
}

// Windows asked for elevation: the shell shows the consent prompt and starts
// the program elevated. The work folder must outlive it, so wait here too.
int LaunchElevated(const char* path) {
    // Deliberately never undone: the mask has no SEE_MASK_NOASYNC, so the
    // shell may still finish the start on this thread's apartment after
    // ShellExecuteExA returns (always so when it hands back no process).
    // Left initialised, the apartment lives as long as the thread, like the
    // rest of the process's single run.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    SHELLEXECUTEINFOA execute = {};
    execute.cbSize = sizeof execute;
    execute.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOCLOSEPROCESS;
    execute.lpVerb = "runas";
    execute.lpFile = path;
    execute.lpParameters = "";
    execute.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExA(&execute)) return 0;
    const UniqueHandle process(execute.hProcess);
    if (process) WaitForExit(process.get());
    return 1;
}

}  // namespace

int LaunchSetup(const char* path) {
    if (path == nullptr) return 0;
    // Quoting at most doubles the path and adds two quotes; the final blank
    // and the terminator fit in what is left.
    const std::size_t size = 3 * (std::strlen(path) + 1) + 2;
    auto commandLine = std::make_unique<char[]>(size);
    AppendQuotedArg(commandLine.get(), size, path);
    AppendArg(commandLine.get(), size, "");

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    UniqueProcessInformation started;
    const BOOL ok = g_createProcess(nullptr, commandLine.get(), nullptr, nullptr, FALSE, 0, nullptr,
                                    nullptr, &startup, started.put());
    const DWORD error = GetLastError();
    // Releasing the buffer goes through the heap, which may set the thread's
    // last error; the start's own error is put back so that whoever looks
    // at GetLastError after a failed start sees why the start failed.
    commandLine.reset();
    SetLastError(error);

    if (ok) {
        WaitForExit(started.process());
        return 1;
    }
    if (error == kErrorElevationRequired) return LaunchElevated(path);
    return 0;
}
