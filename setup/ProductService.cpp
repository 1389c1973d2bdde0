// The handle objects close when they go out of scope, so every return below leaves no handle
// open, which is what lets the service manager complete a deletion.

#include "setup/ProductService.h"

#include <memory>

#include "text/Format.h"
#include "setup/ProductPaths.h"

namespace {

enum : int {
    SERVICE_RETRY_REQUESTS = 6,
    // What Windows' own service manager gives a service to report that it runs.
    SERVICE_PENDING_LIMIT = 30000,
};

String QueryLine(int state) {
    if (state == SVC_STOPPED) {
        return "Query Code = STOP --> 1\r\n";
    }
    if (state == SVC_RUNNING) {
        return "Query Code = Running --> 4\r\n";
    }
    return Format("Query Code = %d\r\n", state);
}

// The blank in "Program Files (x86)" would otherwise let Windows start "C:\Program.exe".
String QuotedServiceImage() {
    return String("\"") + SETUP_SERVICE_EXE + "\"";
}

ServiceOutcome Reported(Win32Error error) {
    return {error, ProductService::ReportErrorCode(error)};
}

// The status lines of the codes a person may meet; "%d" is the code.
struct ErrorLine {
    Win32Error code;
    const char* text;
};
const ErrorLine theErrorLines[] = {
    {WIN_OK, "Request Successed !!!\r\n"},
    {WIN_FILE_NOT_FOUND, "EXE File Not Found !!!\r\n"},
    {WIN_IO_PENDING, "ERROR_IO_PENDING = %d\r\n"},
    {WIN_SERVICE_DISABLED, "ERROR_SERVICE_DISABLED = 1058 !!!\r\n"},
    {WIN_SERVICE_DOES_NOT_EXIST, "Service Not Exist !!!\r\n"},
    {WIN_SERVICE_CANNOT_ACCEPT_CTRL, "Service Can't control !!!\r\n"},
    {WIN_SERVICE_NOT_ACTIVE, "Service Not Start !!!\r\n"},
    {WIN_SERVICE_MARKED_FOR_DELETE, "Service Mark Delete = 1072 !!!\r\n"},
    {WIN_SERVICE_EXISTS, "ERROR_SERVICE_EXISTS = %d\r\n"},
};

}  // namespace

String StartLines(const ServiceOutcome& started) {
    String lines = Format("START ZIL Service retcode = %d\r\n", started.error);
    lines += started.statusLine;
    return lines;
}

ProductService::ProductService(Platform& platform) : m_platform(platform) {}

String ProductService::ReportErrorCode(Win32Error code) {
    // The status lines show a code as a signed number, as they always have.
    const int shown = static_cast<int>(code);
    for (const ErrorLine& line : theErrorLines) {
        if (line.code == code) {
            return Format(line.text, shown);
        }
    }
    // No line end: whatever a run log appends next continues this line.
    return Format("Error Code,%d", shown);
}

Win32Error ProductService::OpenProductService(std::uint32_t managerAccess,
                                              std::uint32_t serviceAccess, Handles& handles) {
    Win32Error error = m_platform.services().openManager(managerAccess, handles.manager);
    if (error == WIN_OK) {
        error = handles.manager->openService(theServiceName, serviceAccess, handles.service);
    }
    return error;
}

ServiceOutcome ProductService::SendServiceControl(int code) {
    std::unique_ptr<ServiceManager> manager;
    std::unique_ptr<Service> service;
    // The line names the first call that failed.
    const char* line = "Open SCM Failed... \r\n";
    Win32Error error = m_platform.services().openManager(SVC_MANAGER_CONNECT, manager);
    if (error == WIN_OK) {
        line = "Open Service Failed... \r\n";
        error = manager->openService(theServiceName, SVC_USER_DEFINED_CONTROL, service);
    }
    if (error == WIN_OK) {
        ServiceStatus status;
        error = service->control(static_cast<std::uint32_t>(code), status);
        line = error == WIN_OK ? "ControlService Success... \r\n" : "ControlService Failed... \r\n";
    }
    return {error, line};
}

ServiceQuery ProductService::QueryServiceState() {
    // A service that can be opened to read its registration is there; its state is then read
    // through handles of its own. The registration is read whole, with room for it: a read that
    // fails for another reason (its configuration withheld, say) does not hide a state that can
    // still be read.
    Handles config;
    Win32Error error = OpenProductService(SVC_MANAGER_CONNECT, SVC_QUERY_CONFIG, config);
    if (error == WIN_OK) {
        ServiceSettings registration;
        config.service->queryConfig(registration);
        Handles query;
        ServiceStatus status;
        error = OpenProductService(SVC_MANAGER_CONNECT, SVC_QUERY_STATUS, query);
        if (error == WIN_OK) {
            error = query.service->queryStatus(status);
        }
        if (error == WIN_OK) {
            int state = static_cast<int>(status.currentState);
            return {state, WIN_OK, QueryLine(state)};
        }
    }
    return {0, error, ReportErrorCode(error)};
}

ServiceOutcome ProductService::CreateProductService() {
    ServiceSettings settings;
    settings.displayName = theServiceName;
    settings.serviceType = SVC_WIN32_OWN_PROCESS;
    settings.startType = SVC_AUTO_START;
    settings.errorControl = SVC_ERROR_NORMAL;
    settings.imagePath = QuotedServiceImage();
    return RegisterService(settings);
}

ServiceOutcome ProductService::RegisterService(const ServiceSettings& settings) {
    std::unique_ptr<ServiceManager> manager;
    Win32Error error = m_platform.services().openManager(SVC_MANAGER_ALL_ACCESS, manager);
    if (error != WIN_OK) {
        return Reported(error);
    }
    ServiceSettings named = settings;
    named.name = theServiceName;
    named.desiredAccess = SVC_ALL_ACCESS;
    std::unique_ptr<Service> service;
    return Reported(manager->createService(named, service));
}

ServiceRegistration ProductService::QueryRegistration() {
    Handles handles;
    ServiceRegistration registration;
    registration.error = OpenProductService(SVC_MANAGER_CONNECT, SVC_QUERY_CONFIG, handles);
    if (registration.error == WIN_OK) {
        registration.error = handles.service->queryConfig(registration.settings);
    }
    return registration;
}

ServiceOutcome ProductService::DeleteProductService() {
    Handles handles;
    Win32Error error = OpenProductService(SVC_MANAGER_ALL_ACCESS, SVC_ALL_ACCESS, handles);
    if (error == WIN_OK) {
        // The deletion does not wait for the stop: the manager completes it once the service
        // has stopped and every handle is closed.
        ServiceStatus status;
        handles.service->control(SVC_CONTROL_STOP, status);
        error = handles.service->remove();
    }
    return Reported(error);
}

Win32Error ProductService::StopProductService() {
    Handles handles;
    Win32Error error = OpenProductService(SVC_MANAGER_CONNECT, SVC_STOP, handles);
    if (error == WIN_OK) {
        ServiceStatus status;
        error = handles.service->control(SVC_CONTROL_STOP, status);
    }
    return error;
}

Win32Error ProductService::StartProductService() {
    Handles handles;
    Win32Error error = OpenProductService(SVC_MANAGER_CONNECT, SVC_START, handles);
    if (error == WIN_OK) {
        error = handles.service->start();
    }
    return error;
}

ServiceOutcome ProductService::StartOrStopWithRetry(int mode, StatusDisplay* show) {
    bool starting = mode == SERVICE_MODE_START;
    int wanted = starting ? SVC_RUNNING : SVC_STOPPED;
    std::uint64_t began = m_platform.clock().now();
    ServiceOutcome outcome;
    ServiceQuery query;
    // Query after a pause; true when the wanted state is reached.
    auto reached = [&] {
        m_platform.clock().sleep(SERVICE_RETRY_PAUSE);
        query = QueryServiceState();
        outcome.statusLine = query.statusLine;
        if (show != nullptr) {
            show->ShowStatus(query.statusLine);
        }
        return query.error == WIN_OK && query.state == wanted;
    };
    auto request = [&] {
        outcome.error = starting ? StartProductService() : StopProductService();
        if (show != nullptr) {
            show->ShowStatus(ReportErrorCode(outcome.error));
        }
    };
    // Starting, stopping, continuing or pausing: the manager refuses requests until it is there.
    auto onItsWay = [&] {
        return query.error == WIN_OK &&
               (query.state == SVC_START_PENDING || query.state == SVC_STOP_PENDING ||
                query.state == SVC_CONTINUE_PENDING || query.state == SVC_PAUSE_PENDING);
    };
    // The wanted state is what counts: a later request that only found the service already
    // starting or stopping is no failure.
    for (int attempt = 0; attempt < SERVICE_RETRY_REQUESTS; ++attempt) {
        request();
        if (reached()) {
            outcome.error = WIN_OK;
            return outcome;
        }
    }
    // A service still on its way (to the wanted state, or, found starting or pausing, to one
    // that a request can then turn round) gets the time Windows would give it, counted from the
    // first request; requests would only be refused while it is pending, so one more goes once
    // it has got where it was going.
    while (onItsWay() && m_platform.clock().now() - began < SERVICE_PENDING_LIMIT) {
        if (reached()) {
            outcome.error = WIN_OK;
            return outcome;
        }
        if (query.error == WIN_OK && !onItsWay()) {
            request();
            if (reached()) {
                outcome.error = WIN_OK;
                return outcome;
            }
        }
    }
    return outcome;
}
