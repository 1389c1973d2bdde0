#pragma once

#include "platform/SystemInfo.h"

// The facts as Windows itself tells them, read when asked.
class Win32SystemInfo : public SystemInfo {
public:
    WindowsVersion windowsVersion() override;
    bool processElevated() override;
    bool desktopVisible() override;
    String errorText(Win32Error error) override;
    String programVersion() override;
    std::uint64_t programFileSize() override;
};
