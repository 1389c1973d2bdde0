// The sample product's Windows service. It does no work of its own: it runs until it is told to
// stop and appends every control code it receives, one decimal number a line, to a log outside
// the program directory, so that the log outlives an uninstall and the checks can read it.
// Built in variants that differ in how long the service says it is starting
// (ZIL_SERVICE_START_DELAY_MS): at once, after a while, or never; and in whether it needs the
// runtime that the redistributable's stand-in installs (ZIL_SERVICE_NEEDS_RUNTIME): without it,
// such a service stops at once, as a program whose runtime library is missing does.

#include <windows.h>

#include <cstdio>

#include "../common/RuntimeMarker.h"

namespace {

const char* const SERVICE_NAME = "JovixZIL";
const char* const SERVICE_CONTROL_LOG = "C:\\ZIL_Service_controls.log";

// Milliseconds of START_PENDING before the service runs; a negative value never runs.
constexpr long SERVICE_START_DELAY_MS = ZIL_SERVICE_START_DELAY_MS;
constexpr DWORD SERVICE_CHECKPOINT_MS = 500;
constexpr bool SERVICE_NEEDS_RUNTIME = ZIL_SERVICE_NEEDS_RUNTIME != 0;

SERVICE_STATUS_HANDLE theStatusHandle = nullptr;
HANDLE theStopEvent = nullptr;

void AppendControl(DWORD code) {
    // Binary mode: one "\n" per line, the same bytes whoever reads the log.
    if (FILE* log = std::fopen(SERVICE_CONTROL_LOG, "ab")) {
        std::fprintf(log, "%lu\n", static_cast<unsigned long>(code));
        std::fclose(log);
    }
}

void ReportState(DWORD state, DWORD checkPoint = 0, DWORD exitCode = NO_ERROR) {
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    status.dwWin32ExitCode = exitCode;
    status.dwCheckPoint = checkPoint;
    status.dwWaitHint = state == SERVICE_RUNNING || state == SERVICE_STOPPED ? 0 : 3000;
    SetServiceStatus(theStatusHandle, &status);
}

// Says "starting" with a fresh checkpoint every half second, as a slow service that is still
// making progress does, for the whole delay; one that never runs keeps saying it for ever.
void StartSlowly() {
    DWORD checkPoint = 0;
    for (long waited = 0; SERVICE_START_DELAY_MS < 0 || waited < SERVICE_START_DELAY_MS;
         waited += SERVICE_CHECKPOINT_MS) {
        ReportState(SERVICE_START_PENDING, ++checkPoint);
        Sleep(SERVICE_CHECKPOINT_MS);
    }
}

DWORD WINAPI OnControl(DWORD code, DWORD, LPVOID, LPVOID) {
    AppendControl(code);
    if (code == SERVICE_CONTROL_STOP) {
        ReportState(SERVICE_STOP_PENDING);
        SetEvent(theStopEvent);
        return NO_ERROR;
    }
    if (code == SERVICE_CONTROL_INTERROGATE || (code >= 128 && code <= 255)) {
        return NO_ERROR;
    }
    return ERROR_CALL_NOT_IMPLEMENTED;
}

// The marker that the redistributable's stand-in leaves in the system folder.
bool RuntimeInstalled() {
    char path[MAX_PATH] = {};
    UINT length = GetWindowsDirectoryA(path, MAX_PATH);
    if (length == 0 || length + lstrlenA(SAMPLE_RUNTIME_MARKER) >= MAX_PATH) {
        return false;
    }
    lstrcatA(path, SAMPLE_RUNTIME_MARKER);
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

void WINAPI ServiceMain(DWORD, LPSTR*) {
    theStatusHandle = RegisterServiceCtrlHandlerExA(SERVICE_NAME, OnControl, nullptr);
    if (theStatusHandle == nullptr) {
        return;
    }
    if (SERVICE_NEEDS_RUNTIME && !RuntimeInstalled()) {
        ReportState(SERVICE_STOPPED, 0, ERROR_MOD_NOT_FOUND);
        return;
    }
    theStopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (theStopEvent == nullptr) {
        ReportState(SERVICE_STOPPED);
        return;
    }
    StartSlowly();
    ReportState(SERVICE_RUNNING);
    WaitForSingleObject(theStopEvent, INFINITE);
    CloseHandle(theStopEvent);
    ReportState(SERVICE_STOPPED);
}

}  // namespace

int main() {
    char name[] = "JovixZIL";
    SERVICE_TABLE_ENTRYA table[] = {{name, ServiceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherA(table)) {
        std::fprintf(stderr, "ZIL_Service runs only as the Windows service %s.\n", SERVICE_NAME);
        return 1;
    }
    return 0;
}
