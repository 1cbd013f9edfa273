#include "download/DownloadRun.h"

#include <mmsystem.h>

#include <cstdio>
#include <memory>

#include "common/CustomerTexts.h"
#include "catalog/ProcessState.h"
#include "download/FileIdentity.h"
#include "download/FilePlan.h"
#include "download/ProgressWindow.h"
#include "download/SetupLauncher.h"
#include "download/WorkFolder.h"
#include "http/HttpWebRequest.h"
#include "res/resource.h"

int g_cancelRequested = 0;

namespace {

constexpr size_t kCounterBufferSize = 256;
constexpr uint32_t kPollMilliseconds = 100;
// Lets the completed state of a file stay on screen for a moment.
constexpr DWORD kPauseAfterFile = 100;

// Failure boxes belong to the progress window while it exists; a run
// without a window shows them without owner.
HWND MessageOwner(HWND window) { return window != nullptr && IsWindow(window) ? window : nullptr; }

void ShowDownloadFailure(HWND window) {
    MessageBoxA(MessageOwner(window), texts::kDownloadFailure, texts::kDownloadFailureCaption,
                MB_OK | MB_ICONERROR);
}

void ShowFileCounter(HWND window, const TransferTally& tally) {
    if (window == nullptr) return;
    char counter[kCounterBufferSize];
    snprintf(counter, sizeof counter, texts::kFileCounterFormat, tally.fileIndex + 1,
             tally.fileCount);
    SetDlgItemTextA(window, IDC_PROGRESS_FILE_COUNTER, counter);
}

// One queued message per poll keeps the window painted and its cancel
// button alive without letting the window starve the transfer loop.
// Dialog keyboard handling is deliberately not applied.
bool DispatchOneMessage() {
    MSG message;
    if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) return false;
    TranslateMessage(&message);
    DispatchMessageA(&message);
    return true;
}

// The pause after a completed file: no transfer runs that could starve, so
// every message that arrives is handled at once. A run of small files spends
// most of its time here; a pause that slept would leave the window without
// answer (and its cancel button dead) for the whole run.
void PauseHandlingMessages(DWORD milliseconds) {
    const DWORD start = timeGetTime();
    for (;;) {
        while (DispatchOneMessage()) {
        }
        const DWORD elapsed = timeGetTime() - start;
        if (elapsed >= milliseconds) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed, QS_ALLINPUT);
    }
}

}  // namespace

int DownloadOneFile(HWND window, const char* url, const char* path, TransferTally& tally) {
    tally.fileReceived = 0;
    tally.fileSize = 0;
    RecordSpeedSample(tally, timeGetTime(), tally.doneBytes + tally.fileReceived);

    std::unique_ptr<IHttpWebRequest> request(new CHttpWebRequest(url));
    // A file left by an earlier entry of the same name goes first, hidden and
    // read-only ones included; one that cannot be freed is left for the
    // request to fail on.
    RemoveFile(path);
    // Not examined: a target that cannot be created leaves the request
    // Failed, which the first Wait reports like any other failure.
    request->StartToFile(path);

    int result = 1;
    while (g_cancelRequested == 0) {
        const RequestState state = request->Wait(kPollMilliseconds);
        int64_t length = 0;
        if (request->GetContentLength(&length)) tally.fileSize = length;
        if (state == Receiving || state == Completed) {
            uint64_t received = 0;
            request->GetReceivedSize(&received);
            tally.fileReceived = static_cast<int64_t>(received);
            UpdateProgress(window, tally, state == Completed);
        }
        if (state < 0) {
            result = static_cast<int>(request->GetStatusCode());
            ShowDownloadFailure(window);
            break;
        }
        // The poll that sees the file complete takes its message too: a file
        // that completes on its first poll must not skip the dispatch.
        DispatchOneMessage();
        if (state == Completed) {
            // A cancel pressed during the pause ends the run below.
            PauseHandlingMessages(kPauseAfterFile);
            result = 1;
            break;
        }
    }
    // Destruction stops a transfer still running (after a cancel) and closes
    // the target file before the folder can be removed.
    request.reset();
    return g_cancelRequested != 0 ? 0 : result;
}

namespace {

// The loop of DownloadFiles over a plan the caller made once for the run.
int DownloadPlannedFiles(HINSTANCE instance, const std::vector<FilePlanEntry>& plan,
                         const std::string& folder, bool* setupComplete) {
    HWND window = OpenProgressWindow(instance, folder.c_str());

    TransferTally tally = {};
    tally.fileCount = static_cast<int32_t>(plan.size());

    bool setupArrived = false;

    for (const FilePlanEntry& entry : plan) {
        tally.fileReceived = 0;
        tally.fileSize = 0;
        ShowFileCounter(window, tally);

        int result;
        // An entry whose name or local path does not fit the run's buffers
        // fails like a target that cannot be created: one message, loop ends.
        // Every other entry is requested; a target the platform refuses
        // fails in the request, before any status.
        if (entry.fault == BufferFault::None) {
            // The setup is whatever file ends up at its path. Which names
            // reach that file (case, trailing dots and blanks, a short name,
            // whatever the file system folds) is the file system's answer,
            // asked before the download replaces the file. A short name
            // outlives the file it named: the download then makes a new file
            // of that name, and nothing is left at the setup's path.
            const char* setupPath = plan.front().path.c_str();
            const bool landsOnSetup =
                entry.setup || IsSameExistingFile(setupPath, entry.path.c_str());
            result = DownloadOneFile(window, entry.url.c_str(), entry.path.c_str(), tally);
            if (landsOnSetup) {
                setupArrived = result == 1 && tally.fileReceived > 0 &&
                               (entry.setup || IsSameExistingFile(setupPath, entry.path.c_str()));
            }
        } else {
            ShowDownloadFailure(window);
            result = 0;
        }

        // result is 1 when the file arrived, the HTTP status when it failed
        // with one, 0 after a cancel or a failure without any status: a
        // status lets the loop go on, no status ends it.
        const bool arrivedOrStatus = result > 0;
        if (!arrivedOrStatus) break;
        tally.doneBytes += tally.fileReceived;
        tally.fileIndex += 1;
        tally.fileReceived = 0;
        tally.fileSize = 0;
    }

    CloseProgressWindow(window);
    if (setupComplete != nullptr) *setupComplete = setupArrived;
    return g_cancelRequested == 0 ? 1 : 0;
}

}  // namespace

int DownloadFiles(HINSTANCE instance, const FileList& files, const std::string& folder,
                  bool* setupComplete) {
    return DownloadPlannedFiles(instance, PlanFiles(files, folder), folder, setupComplete);
}

int RunDownload(HINSTANCE instance) {
    std::string folder;
    if (!PrepareWorkFolder(folder)) return 0;

    const std::vector<FilePlanEntry> plan = PlanFiles(SelectedFileList, folder);
    bool setupComplete = false;
    if (DownloadPlannedFiles(instance, plan, folder, &setupComplete) != 1) {
        RemoveFolderTree(folder.c_str());
        return 0;
    }

    // A setup that failed, broke off or came empty is never started: running
    // a truncated installer is worse than not running one, and the user sees
    // the same message as for a setup that would not start.
    const int started = setupComplete ? LaunchSetup(plan.front().path.c_str()) : 0;
    if (started == 0) {
        MessageBoxA(nullptr, texts::kSetupFailure, texts::kSetupFailureCaption, MB_OK);
    }
    RemoveFolderTree(folder.c_str());
    return started;
}
