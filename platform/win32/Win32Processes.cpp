#include "platform/win32/Win32Processes.h"

#include <cstdlib>

#include <windows.h>
#include <shellapi.h>

#include "platform/win32/Win32Handle.h"
#include "platform/win32/Win32LastError.h"

Win32Error Win32Processes::runForExitCode(const String& file, const String& parameters,
                                          std::uint32_t& exitCode) {
    exitCode = 0;
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    // Without FLAG_NO_UI the shell answers a missing program with its own "file not found" box,
    // which would hold an unattended install until somebody clicks it.
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.hwnd = nullptr;
    info.lpVerb = nullptr;
    info.lpFile = file.c_str();
    info.lpParameters = parameters.c_str();
    info.lpDirectory = nullptr;
    info.nShow = SW_SHOW;
    if (!ShellExecuteExA(&info)) {
        return LastError(WIN_FILE_NOT_FOUND);
    }
    // A document opened in an already running program gives no process to wait for.
    KernelHandle process(info.hProcess);
    if (process.get() != nullptr) {
        WaitForSingleObject(process.get(), INFINITE);
        DWORD code = 0;
        if (GetExitCodeProcess(process.get(), &code)) {
            exitCode = code;
        }
    }
    return WIN_OK;
}

int Win32Processes::runCommand(const String& commandLine) {
    return std::system(commandLine.c_str());
}
