// Walks through one download of the demo as a customer would, without a
// person at the screen: starts VELTADL.exe, picks a product, watches the
// progress window, answers the demo setup and checks that the work folder
// is gone afterwards. Prints what happened and saves a screenshot of each
// window state.
//
//   Walkthrough.exe <VELTADL.exe> <product index> <marker file>
// Screenshots go to VELTA_SCREENSHOT_DIR. Exit code 0 when the whole road
// went as it should.
#include <windows.h>

#include <cstdio>
#include <string>

#include "res/resource.h"
#include "tests/support/Files.h"
#include "tests/support/Wait.h"
#include "tests/support/WindowHelpers.h"

namespace {

using namespace velta_test;

// Console output of a Windows program under Wine reaches a UTF-8 terminal
// byte for byte, so the code page 932 texts are converted first.
void Say(const std::string& cp932) {
    const std::wstring wide = FromCp932(cp932 + "\n");
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string utf8(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), static_cast<int>(wide.size()), utf8.data(), size,
                        nullptr, nullptr);
    fwrite(utf8.data(), 1, utf8.size(), stdout);
    fflush(stdout);
}

void Shot(const std::string& name) {
    if (SaveScreenshot(name)) Say("   screenshot: " + ScreenshotPath(name));
}

int Fail(const std::string& why) {
    Say("FAILED: " + why);
    Shot("demo-failure.png");
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: Walkthrough.exe <VELTADL.exe> <product index> <marker file>\n");
        return 2;
    }
    const std::string program = argv[1];
    const int productIndex = atoi(argv[2]);
    const std::string marker = argv[3];
    DeleteFileA(marker.c_str());

    SetEnvironmentVariableA("VELTA_DEMO_MARKER", marker.c_str());
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::string commandLine = "\"" + program + "\"";
    if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &si, &pi)) {
        return Fail("could not start " + program);
    }

    Say("1. VELTA DL started; waiting for the product list");
    HWND dialog = WaitForTopLevelWindow("製品のダウンロード", pi.dwProcessId, 30000);
    if (!dialog) return Fail("the selection dialog did not appear");
    if (!WaitUntil([&] { return IsControlEnabled(dialog, IDC_SELECTOR_START); }, 30000)) {
        return Fail("the catalog was not listed: " + ControlText(dialog, IDC_SELECTOR_STATUS));
    }
    HWND list = GetDlgItem(dialog, IDC_SELECTOR_PRODUCTS);
    const auto items = ComboItems(list);
    Say("   " + ControlText(dialog, IDC_SELECTOR_STATUS));
    for (size_t i = 0; i < items.size(); ++i) Say("   [" + std::to_string(i) + "] " + items[i]);
    if (productIndex < 0 || static_cast<size_t>(productIndex) >= items.size()) {
        return Fail("no product with index " + std::to_string(productIndex));
    }
    SendMessageTimeoutW(list, CB_SETCURSEL, productIndex, 0, SMTO_NORMAL, 5000, nullptr);
    Shot("demo-1-selection.png");

    Say("2. starting the download of " + items[productIndex]);
    ClickButton(dialog, IDC_SELECTOR_START);
    HWND progress = WaitForTopLevelWindow("VELTA Setup Download", pi.dwProcessId, 30000);
    if (!progress) return Fail("the progress window did not appear");
    std::string workFolder;
    WaitUntil(
        [&] {
            workFolder = ControlText(progress, IDC_PROGRESS_FOLDER);
            return !workFolder.empty() && workFolder != "ユーザーダウンロード先";
        },
        10000);
    Say("   work folder: " + workFolder);
    bool shotTaken = false;
    std::string lastLine;
    const DWORD started = GetTickCount();
    while (IsWindow(progress)) {
        std::string line = ControlText(progress, IDC_PROGRESS_FILE_COUNTER) + "  " +
                           ControlText(progress, IDC_PROGRESS_TEXT);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        if (line != lastLine && IsWindow(progress)) {
            Say("   " + line);
            lastLine = line;
        }
        if (!shotTaken && GetTickCount() - started > 1500) {
            Shot("demo-2-progress.png");
            shotTaken = true;
        }
        if (GetTickCount() - started > 600000) return Fail("the download did not end");
        Sleep(250);
    }

    Say("3. progress window closed; waiting for the demo setup");
    HWND setupBox = WaitForTopLevelWindow("VELTA デモ セットアップ", 0, 60000, "#32770");
    if (!setupBox) return Fail("the demo setup did not start");
    Shot("demo-3-setup.png");
    const bool folderWhileSetupRuns = DirectoryExists(workFolder);
    Say(std::string("   work folder present while the setup runs: ") +
        (folderWhileSetupRuns ? "yes" : "NO"));
    FILE* f = fopen(marker.c_str(), "rb");
    if (f) {
        char text[2048];
        const size_t n = fread(text, 1, sizeof text - 1, f);
        fclose(f);
        text[n] = '\0';
        Say("   the setup recorded:\n" + std::string(text));
    }
    ClickButton(setupBox, IDOK);

    if (WaitForSingleObject(pi.hProcess, 60000) != WAIT_OBJECT_0) {
        TerminateProcess(pi.hProcess, 1);
        return Fail("VELTA DL did not end after the setup");
    }
    DWORD exitCode = 1;
    GetExitCodeProcess(pi.hProcess, &exitCode);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    const bool folderGone = !DirectoryExists(workFolder);
    Say("4. VELTA DL ended with exit status " + std::to_string(static_cast<int>(exitCode)) +
        "; work folder removed: " + (folderGone ? "yes" : "NO"));
    Shot("demo-4-done.png");
    if (exitCode != 0 || !folderGone || !folderWhileSetupRuns) return Fail("see above");
    Say("demo walk-through: OK");
    return 0;
}
