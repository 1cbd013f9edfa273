#include "tests/support/Wait.h"

namespace velta_test {

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs, bool pumpMessages) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition()) return true;
        if (GetTickCount64() >= end) return false;
        if (pumpMessages) {
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
            // Wakes for new input or after 10 ms, whichever comes first.
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        } else {
            Sleep(10);
        }
    }
}

}  // namespace velta_test
