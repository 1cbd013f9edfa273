// Stands in for a product's setup that fails on its own account: notes in
// VELTA_FAILING_SETUP_RECORD that it ran, then ends with exit status 7.
#include <windows.h>

#include <cstdio>

int main() {
    char path[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA("VELTA_FAILING_SETUP_RECORD", path, sizeof path);
    FILE* record = length == 0 || length >= sizeof path ? nullptr : fopen(path, "wb");
    if (record != nullptr) {
        fputs("ran, ending with 7\n", record);
        fclose(record);
    }
    return 7;
}
