#pragma once
// Owner of one platform handle whose "no handle" value is null, closed by
// Close when replaced or destroyed. The request's members are all of this
// kind (CreateFile results are turned into null on failure before they are
// stored, since its failure value is INVALID_HANDLE_VALUE).
#include <windows.h>
#include <wininet.h>

#include <utility>

template <typename T, auto Close>
class HandleOwner {
public:
    HandleOwner() noexcept = default;
    explicit HandleOwner(T value) noexcept : m_value(value) {}
    HandleOwner(const HandleOwner&) = delete;
    HandleOwner& operator=(const HandleOwner&) = delete;
    ~HandleOwner() { reset(); }

    T get() const noexcept { return m_value; }
    explicit operator bool() const noexcept { return m_value != nullptr; }
    void reset(T value = nullptr) noexcept {
        if (m_value) Close(m_value);
        m_value = value;
    }

private:
    T m_value = nullptr;
};

namespace handle_owner_detail {
inline void CloseKernel(HANDLE h) noexcept { ::CloseHandle(h); }
inline void CloseInternet(HINTERNET h) noexcept { ::InternetCloseHandle(h); }
}  // namespace handle_owner_detail

using OwnedHandle = HandleOwner<HANDLE, handle_owner_detail::CloseKernel>;
using OwnedInternetHandle = HandleOwner<HINTERNET, handle_owner_detail::CloseInternet>;

// CreateFileA answers INVALID_HANDLE_VALUE on failure; the owners use null.
inline HANDLE NullIfInvalid(HANDLE h) noexcept { return h == INVALID_HANDLE_VALUE ? nullptr : h; }
