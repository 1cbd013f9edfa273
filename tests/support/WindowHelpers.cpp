#include "tests/support/WindowHelpers.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>

namespace velta_test {
namespace {

constexpr UINT kTimeoutMs = 5000;

struct FindData {
    std::wstring title;
    DWORD pid;
    const char* className;
    bool includeHidden;
    HWND found;
};

BOOL CALLBACK FindByTitle(HWND hwnd, LPARAM param) {
    auto* d = reinterpret_cast<FindData*>(param);
    if (!d->includeHidden && !IsWindowVisible(hwnd)) return TRUE;
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (d->pid != 0 && pid != d->pid) return TRUE;
    if (d->className && ClassName(hwnd) != d->className) return TRUE;
    if (FromCp932(WindowText(hwnd)) != d->title) return TRUE;
    d->found = hwnd;
    return FALSE;
}

struct ListData {
    DWORD pid;
    std::vector<HWND> windows;
};

BOOL CALLBACK ListWindows(HWND hwnd, LPARAM param) {
    auto* d = reinterpret_cast<ListData*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == d->pid && IsWindowVisible(hwnd)) d->windows.push_back(hwnd);
    return TRUE;
}

// A sent message that gives up instead of hanging when the target's thread
// does not pump. Returns false on timeout or failure. Not SMTO_ABORTIFHUNG:
// Wine marks a thread that just sat in a 5 s network wait as hung until it
// pumps again, so a box it shows right after would read back empty.
bool SendTimed(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    DWORD_PTR r = 0;
    if (!SendMessageTimeoutW(hwnd, msg, wp, lp, SMTO_NORMAL, kTimeoutMs, &r)) return false;
    result = static_cast<LRESULT>(r);
    return true;
}

std::vector<std::string> ReadItems(HWND control, UINT countMsg, UINT lenMsg, UINT textMsg) {
    std::vector<std::string> items;
    LRESULT count = 0;
    if (!SendTimed(control, countMsg, 0, 0, count) || count < 0) return items;
    for (LRESULT i = 0; i < count; ++i) {
        LRESULT len = 0;
        if (!SendTimed(control, lenMsg, static_cast<WPARAM>(i), 0, len) || len < 0) break;
        std::wstring text(static_cast<size_t>(len) + 1, L'\0');
        LRESULT got = 0;
        if (!SendTimed(control, textMsg, static_cast<WPARAM>(i),
                       reinterpret_cast<LPARAM>(text.data()), got) ||
            got < 0)
            break;
        text.resize(static_cast<size_t>(got));
        items.push_back(ToCp932(text));
    }
    return items;
}

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0) {
    static uint32_t table[256];
    static bool ready = false;
    if (!ready) {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[n] = c;
        }
        ready = true;
    }
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void PutBe32(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v >> 24));
    out.push_back(static_cast<uint8_t>(v >> 16));
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

void PutChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
    PutBe32(out, static_cast<uint32_t>(data.size()));
    size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    PutBe32(out, Crc32(out.data() + start, out.size() - start));
}

std::string ScreenshotPathIn(const std::string& path) {
    bool absolute = path.size() > 1 && (path[1] == ':' || path[0] == '\\' || path[0] == '/');
    if (absolute) return path;
    const char* dir = std::getenv("VELTA_SCREENSHOT_DIR");
    if (dir && *dir) {
        std::string base = dir;
        CreateDirectoryA(base.c_str(), nullptr);
        return base + "\\" + path;
    }
    return path;
}

}  // namespace

std::string ScreenshotPath(const std::string& path) { return ScreenshotPathIn(path); }

std::string ToCp932(const std::wstring& text) {
    if (text.empty()) return std::string();
    int n = WideCharToMultiByte(932, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(932, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr,
                        nullptr);
    return out;
}

std::wstring FromCp932(const std::string& text) {
    if (text.empty()) return std::wstring();
    int n = MultiByteToWideChar(932, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(932, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string ClassName(HWND hwnd) {
    char name[256] = {};
    int n = GetClassNameA(hwnd, name, sizeof name);
    return std::string(name, n > 0 ? static_cast<size_t>(n) : 0);
}

std::string WindowText(HWND hwnd) {
    LRESULT len = 0;
    if (!hwnd || !SendTimed(hwnd, WM_GETTEXTLENGTH, 0, 0, len) || len <= 0) return std::string();
    std::wstring text(static_cast<size_t>(len) + 1, L'\0');
    LRESULT got = 0;
    if (!SendTimed(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), got))
        return std::string();
    text.resize(static_cast<size_t>(got));
    return ToCp932(text);
}

std::string ControlText(HWND dialog, int id) { return WindowText(GetDlgItem(dialog, id)); }

HWND FindTopLevelWindow(const std::string& title, DWORD pid, const char* className,
                        bool includeHidden) {
    FindData d{FromCp932(title), pid, className, includeHidden, nullptr};
    EnumWindows(FindByTitle, reinterpret_cast<LPARAM>(&d));
    return d.found;
}

HWND WaitForTopLevelWindow(const std::string& title, DWORD pid, DWORD timeoutMs,
                           const char* className) {
    DWORD start = GetTickCount();
    for (;;) {
        if (HWND hwnd = FindTopLevelWindow(title, pid, className)) return hwnd;
        if (GetTickCount() - start >= timeoutMs) return nullptr;
        Sleep(20);  // poll interval against the deadline above
    }
}

bool WaitForWindowGone(HWND hwnd, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (IsWindow(hwnd)) {
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(20);  // poll interval against the deadline above
    }
    return true;
}

std::vector<HWND> TopLevelWindows(DWORD pid) {
    ListData d{pid ? pid : GetCurrentProcessId(), {}};
    EnumWindows(ListWindows, reinterpret_cast<LPARAM>(&d));
    return d.windows;
}

std::vector<std::string> ComboItems(HWND combo) {
    return ReadItems(combo, CB_GETCOUNT, CB_GETLBTEXTLEN, CB_GETLBTEXT);
}

std::vector<LRESULT> ComboItemData(HWND combo) {
    std::vector<LRESULT> data;
    LRESULT count = 0;
    if (!SendTimed(combo, CB_GETCOUNT, 0, 0, count)) return data;
    for (LRESULT i = 0; i < count; ++i) {
        LRESULT v = 0;
        if (!SendTimed(combo, CB_GETITEMDATA, static_cast<WPARAM>(i), 0, v)) break;
        data.push_back(v);
    }
    return data;
}

int ComboSelection(HWND combo) {
    LRESULT sel = CB_ERR;
    if (!SendTimed(combo, CB_GETCURSEL, 0, 0, sel)) return CB_ERR;
    return static_cast<int>(sel);
}

bool IsControlEnabled(HWND dialog, int id) {
    HWND c = GetDlgItem(dialog, id);
    return c && IsWindowEnabled(c);
}

bool IsControlVisible(HWND dialog, int id) {
    HWND c = GetDlgItem(dialog, id);
    return c && IsWindowVisible(c);
}

bool ClickButton(HWND dialog, int id, Click how) {
    HWND button = GetDlgItem(dialog, id);
    if (!button) return false;
    if (how == Click::Post) return PostMessageW(button, BM_CLICK, 0, 0) != FALSE;
    LRESULT ignored = 0;
    return SendTimed(button, BM_CLICK, 0, 0, ignored);
}

bool PostCommand(HWND dialog, int id) {
    return PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                        reinterpret_cast<LPARAM>(GetDlgItem(dialog, id))) != FALSE;
}

bool PressKey(HWND window, UINT vk) {
    HWND target = window;
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    DWORD thread = GetWindowThreadProcessId(window, nullptr);
    if (GetGUIThreadInfo(thread, &info) && info.hwndFocus &&
        (info.hwndFocus == window || IsChild(window, info.hwndFocus))) {
        target = info.hwndFocus;
    }
    UINT scan = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    LPARAM down = 1 | (static_cast<LPARAM>(scan) << 16);
    LPARAM up = down | (1u << 30) | (1u << 31);
    return PostMessageW(target, WM_KEYDOWN, vk, down) && PostMessageW(target, WM_KEYUP, vk, up);
}

bool WritePng(const std::string& path, int width, int height, const std::vector<uint8_t>& bgr) {
    if (width <= 0 || height <= 0 || bgr.size() < static_cast<size_t>(width) * height * 3)
        return false;
    // Raw scanlines (filter byte 0 + RGB), wrapped in a zlib stream of stored
    // deflate blocks: larger files than a real compressor makes, but no
    // library to link and nothing to get wrong.
    const size_t row = static_cast<size_t>(width) * 3;
    std::vector<uint8_t> raw;
    raw.reserve((row + 1) * height);
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);
        const uint8_t* src = bgr.data() + static_cast<size_t>(y) * row;
        for (int x = 0; x < width; ++x) {
            raw.push_back(src[x * 3 + 2]);
            raw.push_back(src[x * 3 + 1]);
            raw.push_back(src[x * 3 + 0]);
        }
    }
    std::vector<uint8_t> z = {0x78, 0x01};
    uint32_t a = 1, b = 0;
    for (uint8_t c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    size_t pos = 0;
    do {
        size_t n = std::min<size_t>(65535, raw.size() - pos);
        bool last = pos + n == raw.size();
        z.push_back(last ? 1 : 0);
        z.push_back(static_cast<uint8_t>(n));
        z.push_back(static_cast<uint8_t>(n >> 8));
        z.push_back(static_cast<uint8_t>(~n));
        z.push_back(static_cast<uint8_t>(~n >> 8));
        z.insert(z.end(), raw.begin() + pos, raw.begin() + pos + n);
        pos += n;
    } while (pos < raw.size());
    PutBe32(z, (b << 16) | a);

    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> ihdr;
    PutBe32(ihdr, static_cast<uint32_t>(width));
    PutBe32(ihdr, static_cast<uint32_t>(height));
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});  // 8-bit RGB, no interlace
    PutChunk(png, "IHDR", ihdr);
    PutChunk(png, "IDAT", z);
    PutChunk(png, "IEND", {});

    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size();
    ok = std::fclose(f) == 0 && ok;
    return ok;
}

bool SaveScreenshot(const std::string& path, HWND hwnd) {
    RECT r{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (hwnd && !GetWindowRect(hwnd, &r)) return false;
    const int width = r.right - r.left, height = r.bottom - r.top;
    if (width <= 0 || height <= 0) return false;
    HDC screen = GetDC(nullptr);
    if (!screen) return false;
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    std::vector<uint8_t> bgr;
    if (memory && dib) {
        HGDIOBJ old = SelectObject(memory, dib);
        ok = BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY) != FALSE;
        GdiFlush();
        SelectObject(memory, old);
        if (ok) {
            const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3);
            bgr.resize(static_cast<size_t>(width) * height * 3);
            for (int y = 0; y < height; ++y) {
                std::memcpy(bgr.data() + static_cast<size_t>(y) * width * 3,
                            static_cast<uint8_t*>(bits) + static_cast<size_t>(y) * stride,
                            static_cast<size_t>(width) * 3);
            }
        }
    }
    if (dib) DeleteObject(dib);
    if (memory) DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return ok && WritePng(ScreenshotPath(path), width, height, bgr);
}

}  // namespace velta_test
