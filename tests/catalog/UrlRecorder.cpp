// Stand-in for the browser while the user-page button is tested: the test
// registers it as the https handler and reads back the command line the
// shell built for it. Appends so that a second, unexpected launch shows up.
#include <windows.h>

#include <cstdio>

int main() {
    char path[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA("VELTA_URL_RECORD", path, sizeof path);
    if (length == 0 || length >= sizeof path) return 2;
    FILE* file = fopen(path, "ab");
    if (file == nullptr) return 3;
    fputs(GetCommandLineA(), file);
    fputs("\n", file);
    fclose(file);
    return 0;
}
