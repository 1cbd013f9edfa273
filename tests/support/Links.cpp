#include "tests/support/Links.h"

#include <windows.h>

#include "tests/support/Files.h"
#include "tests/support/Paths.h"
#include "tests/support/Wait.h"

namespace velta_test {

// Wine maps every Windows path to a Unix one and starts Unix programs from
// the Z: drive; the link tests use both to do what Wine's Win32 side cannot.
// Wine splits the command line into the Unix argv by Windows rules.
namespace {

bool RunUnix(const char* program, std::string line) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(program, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return false;
    }
    WaitForSingleObject(process.hProcess, 30000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

}  // namespace

// Makes "link" a directory link to "target". The platform's own symbolic
// link comes first; Wine 8 answers success without creating anything, so a
// Unix symbolic link made through the Z: drive stands in for it there (Wine
// shows it as a directory with the reparse-point bit).
bool MakeDirectoryLink(const std::string& link, const std::string& target, std::string& how) {
    auto isLink = [&] {
        const DWORD a = GetFileAttributesA(link.c_str());
        return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT) &&
               (a & FILE_ATTRIBUTE_DIRECTORY);
    };
    constexpr DWORD kUnprivileged = 0x2;
    if (CreateSymbolicLinkA(link.c_str(), target.c_str(),
                            SYMBOLIC_LINK_FLAG_DIRECTORY | kUnprivileged) &&
        isLink()) {
        how = "CreateSymbolicLinkA";
        return true;
    }
    const std::string unixTarget = UnixPathOf(target);
    const std::string unixFolder = UnixPathOf(link.substr(0, link.find_last_of('\\')));
    if (unixTarget.empty() || unixFolder.empty()) return false;
    const std::string name = link.substr(link.find_last_of('\\') + 1);
    if (!RunUnix("Z:\\bin\\ln",
                 "ln -s \"" + unixTarget + "\" \"" + unixFolder + "/" + name + "\"")) {
        return false;
    }
    how = "Unix symbolic link";
    return WaitUntil(isLink, 5000);
}

// Test clean-up for what Wine cannot remove: the Unix links themselves.
// By name: Wine does not list a link whose target has gone.
void RemoveUnixLinks(const std::string& folder, const std::vector<std::string>& names) {
    const std::string unixFolder = UnixPathOf(folder);
    if (unixFolder.empty() || !PathExists(folder)) return;
    for (const std::string& name : names) {
        RunUnix("Z:\\bin\\rm", "rm -f \"" + unixFolder + "/" + name + "\"");
    }
}

}  // namespace velta_test
