// The product's service through the service control manager. Every operation opens its own
// handles and closes them before it returns (the handle objects close when they go out of
// scope), and leaves exactly one line describing its outcome in the status text.

#include <cstdio>
#include <memory>
#include <string>

#include "shell/SetupDialog.h"

namespace {

enum : int {
    SERVICE_STATE_NONE = 101,  // QueryServiceState has read no state yet
    SERVICE_RETRY_PAUSE = 189,
    SERVICE_RETRY_REQUESTS = 6,
    SERVICE_MODE_START = 0,
};

std::string formatted(const char* format, int value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string errorCodeLine(int code) {
    switch (code) {
        case WIN_OK:
            return "Request Successed !!!\r\n";
        case WIN_FILE_NOT_FOUND:
            return "EXE File Not Found !!!\r\n";
        case WIN_IO_PENDING:
            return formatted("ERROR_IO_PENDING = %d\r\n", code);
        case WIN_SERVICE_DISABLED:
            return "ERROR_SERVICE_DISABLED = 1058 !!!\r\n";
        case WIN_SERVICE_DOES_NOT_EXIST:
            return "Service Not Exist !!!\r\n";
        case WIN_SERVICE_CANNOT_ACCEPT_CTRL:
            return "Service Can't control !!!\r\n";
        case WIN_SERVICE_NOT_ACTIVE:
            return "Service Not Start !!!\r\n";
        case WIN_SERVICE_MARKED_FOR_DELETE:
            return "Service Mark Delete = 1072 !!!\r\n";
        case WIN_SERVICE_EXISTS:
            return formatted("ERROR_SERVICE_EXISTS = %d\r\n", code);
        default: {
            // No line end: whatever a run log appends next continues this line.
            char text[64];
            std::snprintf(text, sizeof text, "%s,%d", "Error Code", code);
            return text;
        }
    }
}

std::string queryLine(int state) {
    if (state == SVC_STOPPED) {
        return "Query Code = STOP --> 1\r\n";
    }
    if (state == SVC_RUNNING) {
        return "Query Code = Running --> 4\r\n";
    }
    return formatted("Query Code = %d\r\n", state);
}

// The registered image path is quoted, so the blank in "Program Files (x86)" cannot make
// Windows start "C:\Program.exe" instead.
std::string quotedServiceImage() {
    return std::string("\"") + SETUP_SERVICE_EXE + "\"";
}

}  // namespace

void SetupDialog::OnCloseProduct() {
    SendServiceControl(139);
}

void SetupDialog::OnLaunch() {
    SendServiceControl(133);
}

void SetupDialog::SendServiceControl(int code) {
    SetStatus("");
    std::unique_ptr<ServiceManager> manager;
    if (m_platform.services().openManager(SVC_MANAGER_CONNECT, manager) != WIN_OK) {
        SetStatus("Open SCM Failed... \r\n");
        return;
    }
    std::unique_ptr<Service> service;
    if (manager->openService(theServiceName, SVC_USER_DEFINED_CONTROL, service) != WIN_OK) {
        SetStatus("Open Service Failed... \r\n");
        return;
    }
    ServiceStatus status;
    if (service->control(static_cast<std::uint32_t>(code), status) == WIN_OK) {
        SetStatus("ControlService Success... \r\n");
    } else {
        SetStatus("ControlService Failed... \r\n");
    }
}

int SetupDialog::QueryServiceState() {
    int state = SERVICE_STATE_NONE;
    SetStatus("");
    Win32Error error = WIN_OK;
    std::unique_ptr<ServiceManager> manager;
    std::unique_ptr<Service> service;
    error = m_platform.services().openManager(SVC_MANAGER_CONNECT, manager);
    if (error == WIN_OK) {
        error = manager->openService(theServiceName, SVC_QUERY_CONFIG, service);
    }
    // The configuration probe only tells whether the service answers; an existing service
    // always fails it for want of room, and only then is its state read through new handles.
    if (error == WIN_OK && (error = service->probeConfig()) != WIN_OK) {
        std::unique_ptr<ServiceManager> statusManager;
        std::unique_ptr<Service> statusService;
        ServiceStatus status;
        error = m_platform.services().openManager(SVC_MANAGER_CONNECT, statusManager);
        if (error == WIN_OK) {
            error = statusManager->openService(theServiceName, SVC_QUERY_STATUS, statusService);
        }
        if (error == WIN_OK) {
            error = statusService->queryStatus(status);
        }
        if (error == WIN_OK) {
            state = static_cast<int>(status.currentState);
        }
    }
    service.reset();
    manager.reset();
    if (state == SERVICE_STATE_NONE) {
        ReportErrorCode(static_cast<int>(error));
        return static_cast<int>(error);
    }
    SetStatus(queryLine(state));
    UpdateData(false);
    return state;
}

int SetupDialog::CreateProductService() {
    SetStatus("");
    std::unique_ptr<ServiceManager> manager;
    Win32Error error = m_platform.services().openManager(SVC_MANAGER_ALL_ACCESS, manager);
    if (error != WIN_OK) {
        ReportErrorCode(static_cast<int>(error));
        return static_cast<int>(error);
    }
    ServiceSettings settings;
    settings.name = theServiceName;
    settings.displayName = theServiceName;
    settings.desiredAccess = SVC_ALL_ACCESS;
    settings.serviceType = SVC_WIN32_OWN_PROCESS;
    settings.startType = SVC_AUTO_START;
    settings.errorControl = SVC_ERROR_NORMAL;
    settings.imagePath = quotedServiceImage();
    std::unique_ptr<Service> service;
    error = manager->createService(settings, service);
    ReportErrorCode(static_cast<int>(error));
    return static_cast<int>(error);
}

int SetupDialog::DeleteProductService() {
    SetStatus("");
    // The outcome is that of the last call that ran: the deletion itself when it was reached,
    // whatever the stop request before it answered.
    std::unique_ptr<ServiceManager> manager;
    std::unique_ptr<Service> service;
    Win32Error error = m_platform.services().openManager(SVC_MANAGER_ALL_ACCESS, manager);
    if (error == WIN_OK) {
        error = manager->openService(theServiceName, SVC_ALL_ACCESS, service);
    }
    if (error == WIN_OK) {
        ServiceStatus status;
        service->control(SVC_CONTROL_STOP, status);
        error = service->remove();
    }
    ReportErrorCode(static_cast<int>(error));
    return static_cast<int>(error);
}

int SetupDialog::StopProductService() {
    std::unique_ptr<ServiceManager> manager;
    Win32Error error = m_platform.services().openManager(SVC_MANAGER_CONNECT, manager);
    if (error != WIN_OK) {
        return static_cast<int>(error);
    }
    std::unique_ptr<Service> service;
    error = manager->openService(theServiceName, SVC_STOP, service);
    if (error == WIN_OK) {
        ServiceStatus status;
        error = service->control(SVC_CONTROL_STOP, status);
    }
    return static_cast<int>(error);
}

int SetupDialog::StartProductService() {
    std::unique_ptr<ServiceManager> manager;
    Win32Error error = m_platform.services().openManager(SVC_MANAGER_CONNECT, manager);
    if (error != WIN_OK) {
        return static_cast<int>(error);
    }
    std::unique_ptr<Service> service;
    error = manager->openService(theServiceName, SVC_START, service);
    if (error == WIN_OK) {
        error = service->start();
    }
    return static_cast<int>(error);
}

int SetupDialog::StartOrStopWithRetry(int mode) {
    SetStatus("");
    bool starting = mode == SERVICE_MODE_START;
    int wanted = starting ? SVC_RUNNING : SVC_STOPPED;
    int result = 0;
    // Six requests at most, each given 189 ms before the state is looked at: a service that
    // needs longer is reported as failed rather than waited for.
    for (int attempt = 0; attempt < SERVICE_RETRY_REQUESTS; ++attempt) {
        result = starting ? StartProductService() : StopProductService();
        ReportErrorCode(result);
        m_platform.clock().sleep(SERVICE_RETRY_PAUSE);
        if (QueryServiceState() == wanted) {
            // The wanted state is what counts: a later request that only found the service
            // already starting or stopping is no failure.
            return 0;
        }
    }
    return result;
}

void SetupDialog::ReportErrorCode(int code) {
    SetStatus("");
    AppendStatus(errorCodeLine(code));
    UpdateData(false);
}
