#pragma once
// The modeless progress window of the download run. It lives only while the
// files download; its dialog procedure runs inside the download loop's own
// message dispatch, on the main thread, like everything that touches it.
#include <windows.h>

#include "download/ProgressDisplay.h"

// Creates and shows the window from template 110 of the instance's
// resources, naming the work folder. Null when the window could not be
// created; every other operation here then does nothing to a window.
HWND OpenProgressWindow(HINSTANCE instance, const char* workFolder);

// Refreshes bar, debugger line and progress text from the tally, at most
// once per second unless forced.
void UpdateProgress(HWND window, TransferTally& tally, bool force);

// Destroys the window unless it is already gone (a cancel destroys it).
void CloseProgressWindow(HWND window);

INT_PTR CALLBACK ProgressDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
