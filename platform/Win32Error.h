#pragma once

#include <cstdint>

// Every platform operation returns the Win32 error number of its outcome itself (0 for success),
// so no caller can read a code that an earlier call left behind, and the real and the simulated
// machine report the same numbers. The names carry a WIN_ prefix because <windows.h> defines the
// ERROR_ names as macros.
using Win32Error = std::uint32_t;

enum : Win32Error {
    WIN_OK = 0,
    WIN_FILE_NOT_FOUND = 2,
    WIN_PATH_NOT_FOUND = 3,
    WIN_ACCESS_DENIED = 5,
    WIN_INVALID_HANDLE = 6,
    WIN_NOT_ENOUGH_MEMORY = 8,
    WIN_WRITE_FAULT = 29,
    WIN_READ_FAULT = 30,
    WIN_SHARING_VIOLATION = 32,
    WIN_LOCK_VIOLATION = 33,
    WIN_HANDLE_EOF = 38,
    WIN_NOT_SUPPORTED = 50,
    WIN_FILE_EXISTS = 80,
    WIN_INVALID_PARAMETER = 87,
    WIN_DISK_FULL = 112,
    WIN_INSUFFICIENT_BUFFER = 122,
    WIN_INVALID_NAME = 123,
    WIN_DIR_NOT_EMPTY = 145,
    WIN_ALREADY_EXISTS = 183,
    WIN_BAD_EXE_FORMAT = 193,
    WIN_STOPPED_ON_SYMLINK = 681,
    WIN_IO_PENDING = 997,
    WIN_INVALID_SERVICE_CONTROL = 1052,
    WIN_SERVICE_REQUEST_TIMEOUT = 1053,
    WIN_SERVICE_ALREADY_RUNNING = 1056,
    WIN_SERVICE_DISABLED = 1058,
    WIN_SERVICE_DOES_NOT_EXIST = 1060,
    WIN_SERVICE_CANNOT_ACCEPT_CTRL = 1061,
    WIN_SERVICE_NOT_ACTIVE = 1062,
    WIN_SERVICE_MARKED_FOR_DELETE = 1072,
    WIN_SERVICE_EXISTS = 1073,
    WIN_CANCELLED = 1223,
    WIN_INVALID_WINDOW_HANDLE = 1400,
};

// Nothing is at the path (or at a folder on the way to it): what a check for a file or folder
// answers when it has gone, as against one that could not look.
constexpr bool IsMissing(Win32Error error) {
    return error == WIN_FILE_NOT_FOUND || error == WIN_PATH_NOT_FOUND;
}
