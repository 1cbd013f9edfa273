#include "download/ProgressWindow.h"

#include <commctrl.h>
#include <mmsystem.h>

#include "catalog/ProcessState.h"
#include "common/CustomerTexts.h"
#include "common/TestModeTitle.h"
#include "download/DownloadRun.h"
#include "res/resource.h"

namespace {

uint32_t SystemClock(void*) { return timeGetTime(); }

void OnInitDialog(HWND window) {
    if (g_testMode != 0) AppendTestModeSuffix(window);
    SetDlgItemTextA(window, IDC_PROGRESS_PRODUCT, g_productName.c_str());
}

// Runs inside the download loop's dispatch. The notice is modal: while it is
// open the loop does not poll and the transfer goes on in its worker; the
// flag is set first so that the loop stops as soon as the dispatch returns.
void OnCancel(HWND window) {
    g_cancelRequested = 1;
    MessageBoxA(window, texts::kCancelNotice, texts::kCancelCaption, MB_OK | MB_ICONWARNING);
    DestroyWindow(window);
}

INT_PTR WhiteBackground() { return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH)); }

}  // namespace

INT_PTR CALLBACK ProgressDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            OnInitDialog(window);
            return FALSE;  // no control takes the focus
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL) OnCancel(window);
            return 0;
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            return WhiteBackground();
        default:
            return 0;
    }
}

HWND OpenProgressWindow(HINSTANCE instance, const char* workFolder) {
    // The bar's window class comes from the version 6 common controls that
    // the manifest names; the tool never initialises them itself.
    HWND window = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_PROGRESS), GetFocus(),
                                     ProgressDlgProc, 0);
    if (window == nullptr) return nullptr;
    SendDlgItemMessageA(window, IDC_PROGRESS_BAR, PBM_SETRANGE, 0,
                        MAKELPARAM(0, kProgressBarRange));
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    SetDlgItemTextA(window, IDC_PROGRESS_FOLDER, workFolder);
    return window;
}

void UpdateProgress(HWND window, TransferTally& tally, bool force) {
    // Without a window the tally still advances and the debugger still gets
    // its line; only the display is missing.
    ProgressFrame frame;
    if (!ComputeProgressFrame(tally, force, SystemClock, nullptr, frame)) return;
    const bool shown = window != nullptr && IsWindow(window);
    if (shown) SendDlgItemMessageA(window, IDC_PROGRESS_BAR, PBM_SETPOS, frame.barPosition, 0);
    OutputDebugStringA(frame.debugLine);
    if (shown) SetDlgItemTextA(window, IDC_PROGRESS_TEXT, frame.progressText);
}

void CloseProgressWindow(HWND window) {
    if (window != nullptr && IsWindow(window)) DestroyWindow(window);
}
