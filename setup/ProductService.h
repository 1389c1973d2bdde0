#pragma once

#include <memory>
#include "text/StringType.h"

#include "platform/Platform.h"
#include "progress/StatusDisplay.h"

// What a service operation did: its Win32 error (0 for success) and the one status line that
// tells a person the outcome.
struct ServiceOutcome {
    Win32Error error = WIN_OK;
    String statusLine;
};

// What a start of the service leaves in the run log, the install's and an upgrade's restore
// alike: its code, then its status line.
String StartLines(const ServiceOutcome& started);

// A state query: the state read, or the error of the step that failed (state 0 then).
struct ServiceQuery {
    int state = 0;
    Win32Error error = WIN_OK;
    String statusLine;
};

// The service's registration as the manager holds it, or the error that kept it from being read
// (WIN_SERVICE_DOES_NOT_EXIST when there is none).
struct ServiceRegistration {
    Win32Error error = WIN_OK;
    ServiceSettings settings;
};

// User-defined control codes that setup sends the product's service, from the sequences and the
// dialog's hidden buttons; what each does is the service's own affair.
enum : int {
    SERVICE_CODE_LAUNCH = 133,
    SERVICE_CODE_STARTED = 137,
    SERVICE_CODE_UNINSTALL_LAST = 138,
    SERVICE_CODE_CLOSE = 139,
    SERVICE_CODE_UNINSTALL = 140,
};

// Milliseconds between a service request and its query, and between the queries that follow.
inline constexpr unsigned SERVICE_RETRY_PAUSE = 189;

enum : int {
    SERVICE_MODE_START = 0,
    SERVICE_MODE_STOP = 1,
};

// The product's Windows service through the service control manager. Every operation opens its
// own handles and closes them before it returns, and returns its outcome; nothing is shown here.
class ProductService {
public:
    explicit ProductService(Platform& platform);

    ServiceOutcome SendServiceControl(int code);
    ServiceQuery QueryServiceState();
    // Registers the service: own process, automatic start, the quoted image path.
    ServiceOutcome CreateProductService();
    // The registration of the service of the product's name, whoever made it.
    ServiceRegistration QueryRegistration();
    // Registers a service of the product's name exactly as described (a registration read
    // before, given back).
    ServiceOutcome RegisterService(const ServiceSettings& settings);
    // A stop request, then the deletion; the outcome is that of the deletion when it was reached.
    ServiceOutcome DeleteProductService();
    // One request each, no status line.
    Win32Error StopProductService();
    Win32Error StartProductService();
    // Up to six requests, each followed by a pause and a query, until the service runs (start) or
    // has stopped (stop); a service still start (stop) pending after them is queried on, a pause
    // apart, until 30 s have passed since the first request. The error is 0 once the wanted
    // state was seen, else the last request's; the status line is the last query's.
    ServiceOutcome StartOrStopWithRetry(int mode, StatusDisplay* show = nullptr);
    // The status line for a Win32 error code; codes without a line of their own give
    // "Error Code,N", without a line end.
    static String ReportErrorCode(Win32Error code);

private:
    // Closed when they go, in reverse order: the service, then the manager.
    struct Handles {
        std::unique_ptr<ServiceManager> manager;
        std::unique_ptr<Service> service;
    };
    // The manager, then the product's service in it: the error of the first that failed.
    Win32Error OpenProductService(std::uint32_t managerAccess, std::uint32_t serviceAccess,
                                  Handles& handles);

    Platform& m_platform;
};
