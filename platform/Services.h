#pragma once

#include <cstdint>
#include <memory>
#include "text/StringType.h"

#include "platform/Win32Error.h"

// The service control manager, one call per Win32 call. Handles close when their object dies.

enum : std::uint32_t {
    SVC_MANAGER_CONNECT = 0x0001,
    SVC_MANAGER_CREATE_SERVICE = 0x0002,
    SVC_MANAGER_ALL_ACCESS = 0xF003F,

    SVC_QUERY_CONFIG = 0x0001,
    SVC_QUERY_STATUS = 0x0004,
    SVC_START = 0x0010,
    SVC_STOP = 0x0020,
    SVC_USER_DEFINED_CONTROL = 0x0100,
    SVC_DELETE = 0x10000,
    SVC_ALL_ACCESS = 0xF01FF,

    SVC_WIN32_OWN_PROCESS = 0x10,
    SVC_AUTO_START = 2,
    SVC_DEMAND_START = 3,
    SVC_ERROR_NORMAL = 1,

    SVC_CONTROL_STOP = 1,

    SVC_STOPPED = 1,
    SVC_START_PENDING = 2,
    SVC_STOP_PENDING = 3,
    SVC_RUNNING = 4,
    SVC_CONTINUE_PENDING = 5,
    SVC_PAUSE_PENDING = 6,
};

// Setup decides on the state alone: whether to wait, stop, start or give up.
struct ServiceStatus {
    std::uint32_t currentState = 0;
};

struct ServiceSettings {
    String name;
    String displayName;
    std::uint32_t desiredAccess = 0;
    std::uint32_t serviceType = 0;
    std::uint32_t startType = 0;
    std::uint32_t errorControl = 0;
    String imagePath;  // as registered, quotes included
    String account;    // the account it logs on as; "" for the local system
};

// An open service handle.
class Service {
public:
    virtual ~Service() = default;
    virtual Win32Error start() = 0;
    virtual Win32Error control(std::uint32_t code, ServiceStatus& status) = 0;
    virtual Win32Error remove() = 0;  // DeleteService: marks the service for deletion
    virtual Win32Error queryStatus(ServiceStatus& status) = 0;
    // The service's registration as it stands: names, type, start type, error control, the
    // image path with its arguments and the account it logs on as (desiredAccess stays 0).
    virtual Win32Error queryConfig(ServiceSettings& settings) = 0;
};

// An open handle to the service control manager of the local machine.
class ServiceManager {
public:
    virtual ~ServiceManager() = default;
    virtual Win32Error openService(const String& name, std::uint32_t access,
                                   std::unique_ptr<Service>& service) = 0;
    virtual Win32Error createService(const ServiceSettings& settings,
                                     std::unique_ptr<Service>& service) = 0;
};

class ServiceControl {
public:
    virtual ~ServiceControl() = default;
    virtual Win32Error openManager(std::uint32_t access,
                                   std::unique_ptr<ServiceManager>& manager) = 0;
};
