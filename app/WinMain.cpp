// Process entry: decide the test mode, let the customer choose a product,
// then download it and run its setup. One product per process run.
#include <windows.h>

#include "app/SelectorDialog.h"
#include "app/TestMode.h"
#include "catalog/ProcessState.h"
#include "download/DownloadRun.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // Before any window exists and before any worker thread can start.
    g_testMode = DetectTestMode(instance);

    const INT_PTR choice =
        DialogBoxParamA(instance, "DownloadSelector", nullptr, DownloadSelectorProc, 0);
    if (choice != 1) return -1;

    // The setup's own exit status is not passed on: started means success.
    return RunDownload(instance) != 0 ? 0 : -1;
}
