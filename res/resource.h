#pragma once
// Resource and control ids, grouped by the window that uses them. Shared by
// the resource script (windres) and the code.

// Selection dialog: template "DownloadSelector"
#define IDC_SELECTOR_HEADING 200  // "以下の製品がダウンロード可能です。" in dark green
#define IDC_SELECTOR_STATUS 201     // prompt / failure text, two lines
#define IDC_SELECTOR_PRODUCTS 210   // drop-down list of the catalog
#define IDC_SELECTOR_START 300      // download and start setup
#define IDC_SELECTOR_USER_PAGE 400  // opens the vendor's user page
#define IDT_SELECTOR_FETCH 1500     // one-shot timer that starts the catalog fetch

// Progress window: template 110
#define IDD_PROGRESS 110
#define IDC_PROGRESS_FOLDER_LABEL 101
#define IDC_PROGRESS_LABEL 102
#define IDC_PROGRESS_FOLDER 110        // the work folder path
#define IDC_PROGRESS_TEXT 111          // size, speed, remaining time
#define IDC_PROGRESS_FILE_COUNTER 112  // "n番目のファイル… / 全m件"
#define IDC_PROGRESS_PRODUCT 140
#define IDC_PROGRESS_BAR 1002

// Other resources
#define IDI_APP 107
#define IDB_BANNER 113
#define IDV_VERSION 1
