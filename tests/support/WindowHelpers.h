#pragma once
// Helpers for tests that drive dialogs, in-process or in another process.
// Texts are code page 932, read through the W messages (across processes the
// A variants come back as UTF-16 under Wine). Every message is sent with a
// timeout, so a hung target fails the test instead of hanging it.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace velta_test {

// Top-level window with exactly this title (and class, if given), belonging
// to process pid (0: any process). Hidden windows count only if includeHidden.
HWND FindTopLevelWindow(const std::string& title, DWORD pid = 0, const char* className = nullptr,
                        bool includeHidden = false);
// Polls until the window exists or the deadline passes (nullptr then).
HWND WaitForTopLevelWindow(const std::string& title, DWORD pid = 0, DWORD timeoutMs = 20000,
                           const char* className = nullptr);
// Polls until the window is gone; false on timeout.
bool WaitForWindowGone(HWND hwnd, DWORD timeoutMs = 20000);
// All visible top-level windows of a process (0: this one).
std::vector<HWND> TopLevelWindows(DWORD pid = 0);

std::string WindowText(HWND hwnd);
std::string ControlText(HWND dialog, int id);
std::string ClassName(HWND hwnd);

std::vector<std::string> ComboItems(HWND combo);
std::vector<LRESULT> ComboItemData(HWND combo);
int ComboSelection(HWND combo);  // CB_ERR when none

bool IsControlEnabled(HWND dialog, int id);
bool IsControlVisible(HWND dialog, int id);

enum class Click { Post, Send };
// Clicks a dialog button through BM_CLICK. Post (default) never waits for
// the dialog's thread, which may be blocked in a fetch; Send returns after
// the click has been handled (only for a thread that pumps messages).
bool ClickButton(HWND dialog, int id, Click how = Click::Post);
// Posts WM_COMMAND(id, BN_CLICKED) to the dialog, as the button would.
bool PostCommand(HWND dialog, int id);
// Posts key down/up of vk (VK_RETURN, VK_ESCAPE) to the window that has the
// keyboard focus in the window's thread, or to the window itself.
bool PressKey(HWND window, UINT vk);

// Captures the whole screen (hwnd nullptr) or one window's screen rectangle
// into a PNG file. Relative paths go below VELTA_SCREENSHOT_DIR if set, else
// the current folder (ctest runs each test in its build folder).
bool SaveScreenshot(const std::string& path, HWND hwnd = nullptr);
// Where SaveScreenshot puts a file given by that path.
std::string ScreenshotPath(const std::string& path);
// Encodes top-down 24-bit BGR rows as a PNG file (stored deflate, no zlib).
bool WritePng(const std::string& path, int width, int height, const std::vector<uint8_t>& bgr);

// Text conversions between UTF-16 and code page 932.
std::string ToCp932(const std::wstring& text);
std::wstring FromCp932(const std::string& text);

}  // namespace velta_test
