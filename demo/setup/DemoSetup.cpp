// The demo product's "setup program": proves that the downloader started it
// from its work folder. It records how it was started in a marker file that
// the walk-through checks, then tells the person at the screen.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

void WriteMarker(const char* commandLine) {
    char markerPath[MAX_PATH] = {};
    if (GetEnvironmentVariableA("VELTA_DEMO_MARKER", markerPath, sizeof markerPath) == 0 ||
        markerPath[0] == '\0') {
        return;
    }
    char module[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, module, sizeof module);
    char folder[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof folder, folder);

    FILE* marker = fopen(markerPath, "wb");
    if (marker == nullptr) return;
    fprintf(marker, "program=%s\r\ncommandline=%s\r\ncurrentfolder=%s\r\n", module, commandLine,
            folder);
    fclose(marker);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const char* commandLine = GetCommandLineA();
    WriteMarker(commandLine);

    char module[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, module, sizeof module);
    char text[1024];
    snprintf(text, sizeof text,
             "VELTA デモ製品のセットアップが起動しました。\r\n\r\n%s\r\n\r\n"
             "OK を押すとセットアップを終了し、作業フォルダーが削除されます。",
             module);
    MessageBoxA(nullptr, text, "VELTA デモ セットアップ", MB_OK | MB_ICONINFORMATION);
    return 0;
}
