#pragma once

#include <windows.h>

#include "platform/Win32Error.h"

// The error of a call that just failed, read right after it. A failing call that left no code
// still failed: it gives `fallback`.
inline Win32Error LastError(Win32Error fallback = WIN_INVALID_PARAMETER) {
    DWORD error = GetLastError();
    return error != 0 ? Win32Error{error} : fallback;
}

// The outcome of a call that answers with a BOOL: WIN_OK, or the error it left.
inline Win32Error Outcome(BOOL succeeded) {
    return succeeded ? WIN_OK : LastError();
}
