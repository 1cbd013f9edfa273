#include "download/SetupLauncher.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <cstring>
#include <memory>

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
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    SHELLEXECUTEINFOA execute = {};
    execute.cbSize = sizeof execute;
    execute.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOCLOSEPROCESS;
    execute.lpVerb = "runas";
    execute.lpFile = path;
    execute.lpParameters = "";
    execute.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExA(&execute)) return 0;
    if (execute.hProcess != nullptr) {
        WaitForExit(execute.hProcess);
        CloseHandle(execute.hProcess);
    }
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
    PROCESS_INFORMATION started = {};
    const BOOL ok = g_createProcess(nullptr, commandLine.get(), nullptr, nullptr, FALSE, 0,
                                    nullptr, nullptr, &startup, &started);
    const DWORD error = GetLastError();
    commandLine.reset();
    SetLastError(error);

    if (ok) {
        WaitForExit(started.hProcess);
        CloseHandle(started.hThread);
        CloseHandle(started.hProcess);
        return 1;
    }
    if (error == kErrorElevationRequired) return LaunchElevated(path);
    return 0;
}
