#include "download/DownloadRun.h"

int g_cancelRequested = 0;

// Interim: no download subsystem yet, so no setup is ever started.
int RunDownload(HINSTANCE) { return 0; }
