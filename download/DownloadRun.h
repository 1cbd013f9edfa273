#pragma once
#include <windows.h>

// Set to 1 by the progress window's cancel button; read by the download loop.
extern int g_cancelRequested;

// Downloads SelectedFileList into a fresh work folder, runs the first file as
// the setup and removes the folder. Non-zero when the setup was started.
int RunDownload(HINSTANCE instance);
