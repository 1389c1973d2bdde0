#pragma once

#include <memory>

#include "platform/Services.h"

// The Windows service control manager (advapi32). Each operation returns the error of its own
// call: 0 on success, GetLastError read right after a failing call, never a code that an
// earlier call left behind.
class Win32Services : public ServiceControl {
public:
    // OpenSCManagerA on the local machine and its default database.
    Win32Error openManager(std::uint32_t access, std::unique_ptr<ServiceManager>& manager) override;
};
