// The real Windows machine as the program's platform.

#include <memory>
#include "text/StringType.h"

#include <windows.h>

#include <sddl.h>

#include "platform/Platform.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32Handle.h"
#include "platform/win32/Win32Processes.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32Services.h"
#include "platform/win32/Win32SystemInfo.h"
#include "platform/win32/Win32WindowSystem.h"

namespace {

// Held by every setup program while it runs, in a namespace of the machine whose boundary only
// a process of the Administrators group can meet: no ordinary user can take the name first and
// so keep every later setup out (1618). Private namespaces are machine-wide, not per session.
const wchar_t* const SETUP_NAMESPACE = L"ZIL_Setup";
const char* const SETUP_MUTEX_IN_NAMESPACE = "ZIL_Setup\\Running";
// Where no private namespace can be had (see OpenSetupNamespace), the name setup programs used
// before; Global\ makes it one per machine. It too is private to administrators.
const char* const SETUP_MUTEX_NAME = "Global\\ZIL_Setup_Running";
// The kept setup program's own, in the same places.
const char* const KEPT_MUTEX_IN_NAMESPACE = "ZIL_Setup\\KeptRunning";
const char* const KEPT_MUTEX_NAME = "Global\\ZIL_Setup_KeptRunning";
// Administrators and SYSTEM alone may open the namespace and the mutex.
const char* const SETUP_LOCK_SDDL = "D:P(A;;GA;;;BA)(A;;GA;;;SY)";

BOOL ClosePrivateNamespaceHandle(HANDLE handle) {
    return ClosePrivateNamespace(handle, 0);
}
using NamespaceHandle = Win32Handle<HANDLE, ClosePrivateNamespaceHandle>;

void DeleteBoundary(HANDLE boundary) {
    DeleteBoundaryDescriptor(boundary);
}
using BoundaryHandle = Win32Handle<HANDLE, DeleteBoundary>;

// The setup namespace, created by the first setup program and opened by the later ones; an
// invalid handle when the system offers none, or the process is no administrator. The wide
// calls, since Wine has no ANSI ones: a call it lacks would end the program, while its wide
// ones give no namespace and the fallback holds.
HANDLE OpenSetupNamespace(SECURITY_ATTRIBUTES& attributes) {
    HANDLE descriptor = CreateBoundaryDescriptorW(SETUP_NAMESPACE, 0);
    if (descriptor == nullptr) {
        return nullptr;
    }
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(administrators);
    bool added = CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size) &&
                 AddSIDToBoundaryDescriptor(&descriptor, administrators);
    // Taken only now: adding the SID may have grown the descriptor into a new block.
    BoundaryHandle boundary(descriptor);
    if (!added) {
        return nullptr;
    }
    HANDLE created = CreatePrivateNamespaceW(&attributes, descriptor, SETUP_NAMESPACE);
    return created != nullptr ? created : OpenPrivateNamespaceW(descriptor, SETUP_NAMESPACE);
}

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
    Registry& registry() override { return m_registry; }
    Clock& clock() override { return m_clock; }
    WindowSystem& windows() override { return m_windows; }
    SystemInfo& system() override { return m_system; }

    bool acquireSetupLock() override {
        return acquireLock(SETUP_MUTEX_IN_NAMESPACE, SETUP_MUTEX_NAME, m_setupMutex);
    }
    bool acquireKeptSetupLock() override {
        return acquireLock(KEPT_MUTEX_IN_NAMESPACE, KEPT_MUTEX_NAME, m_keptMutex);
    }

private:
    // Holds the mutex of that name in `held`, in the setup namespace where there is one; false
    // when another process holds it.
    bool acquireLock(const char* inNamespace, const char* global, KernelHandle& held) {
        if (held.valid()) {
            return true;
        }
        LocalMemory descriptor;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(
                SETUP_LOCK_SDDL, SDDL_REVISION_1,
                reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.address()), nullptr)) {
            return false;
        }
        SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), descriptor.get(), FALSE};
        if (!m_setupNamespace.valid()) {
            m_setupNamespace.reset(OpenSetupNamespace(attributes));
        }
        const char* name = m_setupNamespace.valid() ? inNamespace : global;
        HANDLE mutex = CreateMutexA(&attributes, FALSE, name);
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
        held.reset(mutex);
        return true;
    }

    Win32FileSystem m_files;
    Win32Services m_services;
    Win32Processes m_processes;
    Win32Registry m_registry;
    Win32Clock m_clock;
    Win32WindowSystem m_windows;
    Win32SystemInfo m_system;
    NamespaceHandle m_setupNamespace;  // declared first, so it outlives the mutex in it
    KernelHandle m_setupMutex;         // the system releases it if the process dies
    KernelHandle m_keptMutex;
};

}  // namespace

std::unique_ptr<Platform> createPlatform(String&) {
    // Before anything can load a library: only System32 is searched, never the folder the
    // setup program was started from, where a planted DLL might wait.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    return std::make_unique<Win32Platform>();
}
