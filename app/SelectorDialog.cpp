// The product selection dialog. The selection in the list is the only record
// of the customer's choice: the procedure keeps no state of its own besides
// the controls and the one-shot timer.
//
// Re-entrancy: both fetches block this thread, and a failed fetch shows an
// ownerless message box whose message loop keeps dispatching to this dialog.
// The timer is therefore killed before the catalog fetch begins, and the
// list and the start button are disabled around the file-list fetch, so that
// neither fetch can be started a second time from inside its own message box.
#include "app/SelectorDialog.h"

#include <shellapi.h>

#include <string>
#include <utility>

#include "BuildConfig.h"
#include "app/TestMode.h"
#include "catalog/CatalogFetch.h"
#include "catalog/ProcessState.h"
#include "common/CustomerTexts.h"
#include "res/resource.h"

namespace {

constexpr UINT kFetchDelayMs = 100;
constexpr COLORREF kHeadingColour = RGB(0, 64, 0);

constexpr char kUserPageUrl[] = "https://" VELTA_USER_PAGE_HOST "/zeva/new_support_login.asp";

HWND ProductList(HWND dialog) { return GetDlgItem(dialog, IDC_SELECTOR_PRODUCTS); }

// List first, then the button, in both directions.
void EnableChoice(HWND dialog, BOOL enable) {
    EnableWindow(ProductList(dialog), enable);
    EnableWindow(GetDlgItem(dialog, IDC_SELECTOR_START), enable);
}

INT_PTR WhiteBrush() { return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH)); }

INT_PTR OnInitDialog(HWND dialog) {
    if (g_testMode == 1) AppendTestModeSuffix(dialog);
    SetDlgItemTextA(dialog, IDC_SELECTOR_STATUS, "");
    EnableChoice(dialog, FALSE);
    SetTimer(dialog, IDT_SELECTOR_FETCH, kFetchDelayMs, nullptr);
    // The dialog manager sets no initial focus, so Enter reaches us as IDOK
    // and is ignored instead of pressing a button.
    return FALSE;
}

void FillProductList(HWND dialog) {
    const HWND list = ProductList(dialog);
    SendMessageA(list, CB_RESETCONTENT, 0, 0);
    const int32_t count = static_cast<int32_t>(ProductCatalog.size());
    bool added = false;
    for (int32_t i = 0; i < count; ++i) {
        const LRESULT item = SendMessageA(list, CB_ADDSTRING, 0,
                                          reinterpret_cast<LPARAM>(ProductCatalog[i].name.c_str()));
        SendMessageA(list, CB_SETITEMDATA, item, i);
        if (!added) SendMessageA(list, CB_SETCURSEL, item, 0);
        added = true;
    }
    if (added) {
        EnableChoice(dialog, TRUE);
        return;
    }
    SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(texts::kNoProducts));
    SendMessageA(list, CB_SETCURSEL, 0, 0);
}

INT_PTR OnTimer(HWND dialog) {
    // First, before anything can run a message loop: the catalog is fetched
    // once per dialog, also while a message box of the fetch is open.
    KillTimer(dialog, IDT_SELECTOR_FETCH);
    SetDlgItemTextA(dialog, IDC_SELECTOR_STATUS, texts::kSelectPrompt);
    const int result = FetchCatalog();
    if (result < 0) {
        SetDlgItemTextA(dialog, IDC_SELECTOR_STATUS,
                        result == -1 ? texts::kUpdateNotice : texts::kCatalogFailedStatus);
        return 0;
    }
    FillProductList(dialog);
    return 0;
}

// The catalog entry behind the current selection, or null when there is no
// selection or the item is not one of the catalog (the placeholder of an
// empty catalog carries no index into it).
const CatalogEntry* SelectedEntry(HWND dialog) {
    const HWND list = ProductList(dialog);
    const LRESULT selection = SendMessageA(list, CB_GETCURSEL, 0, 0);
    if (selection < 0) return nullptr;
    const LRESULT index = SendMessageA(list, CB_GETITEMDATA, selection, 0);
    if (index < 0 || static_cast<size_t>(index) >= ProductCatalog.size()) return nullptr;
    return &ProductCatalog[static_cast<size_t>(index)];
}

void OnStart(HWND dialog) {
    const CatalogEntry* entry = SelectedEntry(dialog);
    if (entry == nullptr || entry->baseUrl.empty()) return;
    // Copied before the fetch: its message box runs a message loop, and
    // nothing may depend on the catalog staying put meanwhile.
    const std::string name = entry->name;
    const std::string baseUrl = entry->baseUrl;
    EnableChoice(dialog, FALSE);
    FileList files = FetchFileList(baseUrl);
    SelectedFileList = std::move(files);
    EnableChoice(dialog, TRUE);
    // Also for an empty list: the name belongs to the last product tried.
    g_productName = name;
    if (!SelectedFileList.empty()) EndDialog(dialog, 1);
}

void OnUserPage() {
    // Whether a browser opened is not reported to the customer.
    ShellExecuteA(nullptr, "open", kUserPageUrl, nullptr, "", SW_SHOW);
}

INT_PTR OnCommand(HWND dialog, WPARAM wParam) {
    switch (LOWORD(wParam)) {
        case IDCANCEL:  // the Cancel button, Esc and the close box
            EndDialog(dialog, 0);
            break;
        case IDC_SELECTOR_START:
            OnStart(dialog);
            break;
        case IDC_SELECTOR_USER_PAGE:
            OnUserPage();
            break;
        default:  // IDOK from Enter among them
            break;
    }
    return 0;
}

INT_PTR OnCtlColorStatic(HDC dc, HWND control) {
    if (GetDlgCtrlID(control) == IDC_SELECTOR_HEADING) SetTextColor(dc, kHeadingColour);
    return WhiteBrush();
}

}  // namespace

INT_PTR CALLBACK DownloadSelectorProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog(dialog);
        case WM_TIMER:
            return OnTimer(dialog);
        case WM_COMMAND:
            return OnCommand(dialog, wParam);
        case WM_CTLCOLORSTATIC:
            return OnCtlColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case WM_CTLCOLORDLG:
            return WhiteBrush();
        default:
            return 0;
    }
}
