// Stand-in for the browser while the user-page button is tested: appends the
// command line the shell built, so that a second, unexpected launch shows up.
#include <windows.h>

#include <cstdio>

int main() {
    char path[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA("VELTA_URL_RECORD", path, sizeof path);
    FILE* file = length == 0 || length >= sizeof path ? nullptr : fopen(path, "ab");
    if (file == nullptr) return 2;
    fprintf(file, "%s\n", GetCommandLineA());
    return fclose(file);
}
