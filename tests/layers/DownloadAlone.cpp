// Built against the download layer and the layers below it only (include
// root and libraries): the download run links without the application above
// it. Building is the check; running it downloads nothing.
#include <windows.h>

#include "download/DownloadRun.h"

int main() {
    // A volatile pointer keeps the reference for the linker to resolve.
    int (*volatile run)(HINSTANCE) = RunDownload;
    (void)run;
    return 0;
}
