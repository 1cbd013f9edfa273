#pragma once
#include <windows.h>

// Dialog procedure of the template "DownloadSelector". Ends the dialog with 1
// once a non-empty file list is stored in SelectedFileList, 0 on cancel.
INT_PTR CALLBACK DownloadSelectorProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
