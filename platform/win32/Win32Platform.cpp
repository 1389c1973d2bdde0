// The real Windows machine as the program's platform.

#include <memory>
#include "StringType.h"

#include <windows.h>

#include "platform/Platform.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32Handle.h"
#include "platform/win32/Win32Processes.h"
#include "platform/win32/Win32Services.h"
#include "platform/win32/Win32SystemInfo.h"
#include "platform/win32/Win32WindowSystem.h"

namespace {

// Held by every setup program while it runs; Global\ makes it one per machine, not per session.
const char* const SETUP_MUTEX_NAME = "Global\\ZIL_Setup_Running";

// Appends value in decimal, zero-padded to at least width digits. The time stamp is put together
// by hand because a printf-style call would link the C library's whole formatting engine into
// the setup program for six numbers.
void appendPadded(String& text, unsigned value, std::size_t width) {
    String digits = ToString(value);
    if (digits.size() < width) {
        text.append(width - digits.size(), '0');
    }
    text += digits;
}

class Win32Clock : public Clock {
public:
    void sleep(std::uint32_t milliseconds) override { Sleep(milliseconds); }
    std::uint64_t now() override { return GetTickCount64(); }
    String localTimestamp() override {
        SYSTEMTIME time{};
        GetLocalTime(&time);
        // YYYY-MM-DD HH:MM:SS
        String text;
        appendPadded(text, time.wYear, 4);
        const struct {
            char separator;
            WORD value;
        } fields[] = {{'-', time.wMonth},
                      {'-', time.wDay},
                      {' ', time.wHour},
                      {':', time.wMinute},
                      {':', time.wSecond}};
        for (const auto& field : fields) {
            text += field.separator;
            appendPadded(text, field.value, 2);
        }
        return text;
    }
};

class Win32Platform : public Platform {
public:
    FileSystem& files() override { return m_files; }
    ServiceControl& services() override { return m_services; }
    Processes& processes() override { return m_processes; }
    Clock& clock() override { return m_clock; }
    WindowSystem& windows() override { return m_windows; }
    SystemInfo& system() override { return m_system; }

    bool acquireSetupLock() override {
        if (m_setupMutex.valid()) {
            return true;
        }
        HANDLE mutex = CreateMutexA(nullptr, FALSE, SETUP_MUTEX_NAME);
        // CreateMutexA succeeds for an existing mutex too and says so only in the last error,
        // so here it is read after a call that succeeded.
        DWORD error = GetLastError();
        if (mutex == nullptr) {
            return false;  // typically another setup's mutex that this account may not open
        }
        if (error == ERROR_ALREADY_EXISTS) {
            CloseHandle(mutex);
            return false;
        }
        m_setupMutex.reset(mutex);
        return true;
    }

private:
    Win32FileSystem m_files;
    Win32Services m_services;
    Win32Processes m_processes;
    Win32Clock m_clock;
    Win32WindowSystem m_windows;
    Win32SystemInfo m_system;
    KernelHandle m_setupMutex;  // the system releases it if the process dies
};

}  // namespace

std::unique_ptr<Platform> createPlatform(String&) {
    // Before anything can load a library: only System32 is searched, never the folder the
    // setup program was started from, where a planted DLL might wait.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    return std::make_unique<Win32Platform>();
}
