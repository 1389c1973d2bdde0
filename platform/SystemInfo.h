#pragma once

#include <cstdint>
#include "text/StringType.h"

#include "platform/Win32Error.h"

// The Windows that runs the program: its version and processor, as the system itself tells them.
struct WindowsVersion {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t build = 0;
    // The machine Windows runs on ("x86", "x64", "ARM64"), not what this process was built for.
    String machine;
    // This program runs in the 32-bit subsystem of a 64-bit Windows.
    bool wow64 = false;
};

// Facts about the machine and the running program that the log file reports, and the one that
// decides whether a box may be shown. Each is read when asked; none fails: what cannot be read
// comes back empty or as the safe answer given.
class SystemInfo {
public:
    virtual ~SystemInfo() = default;
    virtual WindowsVersion windowsVersion() = 0;
    // Whether the process runs with its administrator rights in force; false when unknown.
    virtual bool processElevated() = 0;
    // Whether the process's window station is one a person sees: not so in a service or in
    // session 0, where a box would wait for ever. True when unknown.
    virtual bool desktopVisible() = 0;
    // What the system says a Win32 error means, on one line without a line end; "" when it has
    // no text for the number.
    virtual String errorText(Win32Error error) = 0;
    // The running program's file version ("1.0.0.0"); "" when it carries none.
    virtual String programVersion() = 0;
    // The running program's file in bytes, whatever is appended to it; 0 when unknown.
    virtual std::uint64_t programFileSize() = 0;
};
