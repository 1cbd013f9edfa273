#pragma once
// The one bounded wait of the tests: polls a condition against a deadline,
// never a fixed delay that a test relies on.
#include <windows.h>

#include <functional>

namespace velta_test {

// True as soon as condition holds; false when timeoutMs passed first. With
// pumpMessages the calling thread's messages are dispatched between polls
// (for a test thread that owns windows).
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 20000,
               bool pumpMessages = false);

}  // namespace velta_test
