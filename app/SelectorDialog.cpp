#include "app/SelectorDialog.h"

// Interim procedure until the catalog lands: the dialog only closes.
INT_PTR CALLBACK DownloadSelectorProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, 0);
        return TRUE;
    }
    return message == WM_INITDIALOG ? FALSE : 0;
}
