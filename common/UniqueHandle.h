#pragma once
// One owner type for every platform handle, in the manner of WIL's
// unique_any: a close function and an invalid value make an alias.
#include <windows.h>
#include <wininet.h>

#include <utility>

template <typename T, auto Close, T Invalid = T{}>
class unique_any {
public:
    unique_any() noexcept = default;
    explicit unique_any(T value) noexcept : m_value(value) {}
    unique_any(const unique_any&) = delete;
    unique_any& operator=(const unique_any&) = delete;
    unique_any(unique_any&& other) noexcept : m_value(other.release()) {}
    unique_any& operator=(unique_any&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~unique_any() { reset(); }

    T get() const noexcept { return m_value; }
    explicit operator bool() const noexcept { return m_value != Invalid; }

    // Closes the current value (if any) and takes ownership of the new one.
    void reset(T value = Invalid) noexcept {
        if (m_value != Invalid) Close(m_value);
        m_value = value;
    }
    T release() noexcept { return std::exchange(m_value, Invalid); }
    // For out-parameters: the old value is closed first.
    T* put() noexcept {
        reset();
        return &m_value;
    }

private:
    T m_value = Invalid;
};

namespace detail {
inline void CloseHandleValue(HANDLE h) noexcept { ::CloseHandle(h); }
inline void CloseInternetValue(HINTERNET h) noexcept { ::InternetCloseHandle(h); }
inline void CloseFindValue(HANDLE h) noexcept { ::FindClose(h); }
inline void DestroyWindowValue(HWND h) noexcept { ::DestroyWindow(h); }
}  // namespace detail

using UniqueHandle = unique_any<HANDLE, detail::CloseHandleValue>;
// CreateFile answers INVALID_HANDLE_VALUE, not null, on failure.
using UniqueFileHandle = unique_any<HANDLE, detail::CloseHandleValue, INVALID_HANDLE_VALUE>;
using UniqueFindHandle = unique_any<HANDLE, detail::CloseFindValue, INVALID_HANDLE_VALUE>;
using UniqueInternetHandle = unique_any<HINTERNET, detail::CloseInternetValue>;
using UniqueWindow = unique_any<HWND, detail::DestroyWindowValue>;
