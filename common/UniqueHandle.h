#pragma once
// One owner type for every platform handle, in the manner of WIL's
// unique_any: a traits type names the close function and the "no handle"
// value, and each kind of handle is a one-line alias.
#include <windows.h>
#include <wininet.h>

#include <utility>

template <typename Traits>
class unique_any {
public:
    using pointer = typename Traits::pointer;

    unique_any() noexcept = default;
    explicit unique_any(pointer value) noexcept : m_value(value) {}
    unique_any(const unique_any&) = delete;
    unique_any& operator=(const unique_any&) = delete;
    unique_any(unique_any&& other) noexcept : m_value(other.release()) {}
    unique_any& operator=(unique_any&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~unique_any() { reset(); }

    pointer get() const noexcept { return m_value; }
    explicit operator bool() const noexcept { return m_value != Traits::Invalid(); }

    // Closes the current value (if any) and takes ownership of the new one.
    void reset(pointer value = Traits::Invalid()) noexcept {
        if (m_value != Traits::Invalid()) Traits::Close(m_value);
        m_value = value;
    }
    pointer release() noexcept { return std::exchange(m_value, Traits::Invalid()); }

private:
    pointer m_value = Traits::Invalid();
};

namespace handle_traits {

// INVALID_HANDLE_VALUE is a cast, not a constant expression, so the "no
// handle" value is a function rather than a template argument.
template <typename T, void (*CloseFn)(T)>
struct NullInvalid {
    using pointer = T;
    static T Invalid() noexcept { return nullptr; }
    static void Close(T value) noexcept { CloseFn(value); }
};

template <void (*CloseFn)(HANDLE)>
struct MinusOneInvalid {
    using pointer = HANDLE;
    static HANDLE Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE value) noexcept { CloseFn(value); }
};

inline void CloseKernel(HANDLE h) noexcept { ::CloseHandle(h); }
inline void CloseInternet(HINTERNET h) noexcept { ::InternetCloseHandle(h); }
inline void CloseFind(HANDLE h) noexcept { ::FindClose(h); }

}  // namespace handle_traits

using UniqueHandle = unique_any<handle_traits::NullInvalid<HANDLE, handle_traits::CloseKernel>>;
// CreateFile answers INVALID_HANDLE_VALUE, not null, on failure.
using UniqueFileHandle = unique_any<handle_traits::MinusOneInvalid<handle_traits::CloseKernel>>;
using UniqueFindHandle = unique_any<handle_traits::MinusOneInvalid<handle_traits::CloseFind>>;
using UniqueInternetHandle =
    unique_any<handle_traits::NullInvalid<HINTERNET, handle_traits::CloseInternet>>;

// The two handles a process start hands back: the new process and its first
// thread. Closed thread first, then process.
class UniqueProcessInformation {
public:
    UniqueProcessInformation() noexcept = default;
    UniqueProcessInformation(const UniqueProcessInformation&) = delete;
    UniqueProcessInformation& operator=(const UniqueProcessInformation&) = delete;
    ~UniqueProcessInformation() { reset(); }

    HANDLE process() const noexcept { return m_info.hProcess; }
    HANDLE thread() const noexcept { return m_info.hThread; }
    void reset() noexcept {
        if (m_info.hThread != nullptr) ::CloseHandle(m_info.hThread);
        if (m_info.hProcess != nullptr) ::CloseHandle(m_info.hProcess);
        m_info = {};
    }
    // For the out-parameter of CreateProcess; the old handles are closed first.
    PROCESS_INFORMATION* put() noexcept {
        reset();
        return &m_info;
    }

private:
    PROCESS_INFORMATION m_info = {};
};
