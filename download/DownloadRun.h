#pragma once
// The download run: every file of the chosen product into a fresh work
// folder, one request at a time, with the progress window open; then the
// first file is started as the setup and the folder removed. Main thread
// only; the loop's own message dispatch drives the progress window.
#include <windows.h>

#include <string>

#include "catalog/CatalogTypes.h"
#include "download/ProgressDisplay.h"

// Set to 1 by the progress window's cancel button; read by the download loop.
extern int g_cancelRequested;

// Downloads SelectedFileList into a fresh work folder, runs the first file as
// the setup and removes the folder. Non-zero when the setup was started.
int RunDownload(HINSTANCE instance);

// Downloads the files in list order into folder (which ends in a
// backslash). 1 unless the user cancelled, whether or not every file
// arrived. setupComplete, when given, tells whether the file now at the
// first entry's local path came from a download that completed with at
// least one byte; a later entry of the same name counts, since it replaces
// that file.
int DownloadFiles(HINSTANCE instance, const FileList& files, const std::string& folder,
                  bool* setupComplete = nullptr);

// One file to path: 1 when it arrived completely, 0 after a cancel, else the
// HTTP status the request reports (0 when none was received). Leaves the
// bytes received in tally.fileReceived.
int DownloadOneFile(HWND window, const char* url, const char* path, TransferTally& tally);
