#pragma once

#include <windows.h>

// A Windows handle that closes itself with Close when it goes. Null holds nothing; so does
// INVALID_HANDLE_VALUE, which some calls (CreateFileA, FindFirstFileA) return for a failure.
template <class H, auto Close>
class Win32Handle {
public:
    Win32Handle() = default;
    explicit Win32Handle(H handle) : m_handle(handle) {}
    ~Win32Handle() { reset(); }
    Win32Handle(const Win32Handle&) = delete;
    Win32Handle& operator=(const Win32Handle&) = delete;

    void reset(H handle = nullptr) {
        if (valid()) {
            Close(m_handle);
        }
        m_handle = handle;
    }
    bool valid() const { return m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE; }
    H get() const { return m_handle; }
    // For calls that hand the handle back through an out-parameter; use on an empty one only.
    H* address() { return &m_handle; }

private:
    H m_handle = nullptr;
};

using KernelHandle = Win32Handle<HANDLE, CloseHandle>;
using FindHandle = Win32Handle<HANDLE, FindClose>;
using ServiceHandle = Win32Handle<SC_HANDLE, CloseServiceHandle>;
using LocalMemory = Win32Handle<HLOCAL, LocalFree>;
