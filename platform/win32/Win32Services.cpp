#include "platform/win32/Win32Services.h"

#include <windows.h>

#include "platform/win32/Win32Handle.h"
#include "platform/win32/Win32LastError.h"

namespace {

void copyStatus(const SERVICE_STATUS& from, ServiceStatus& to) {
    to.currentState = from.dwCurrentState;
}

class Win32Service : public Service {
public:
    explicit Win32Service(SC_HANDLE handle) : m_handle(handle) {}

    Win32Error start() override { return Outcome(StartServiceA(m_handle.get(), 0, nullptr)); }

    Win32Error control(std::uint32_t code, ServiceStatus& status) override {
        SERVICE_STATUS raw{};
        Win32Error error = Outcome(ControlService(m_handle.get(), code, &raw));
        copyStatus(raw, status);
        return error;
    }

    Win32Error remove() override { return Outcome(DeleteService(m_handle.get())); }

    Win32Error queryStatus(ServiceStatus& status) override {
        SERVICE_STATUS raw{};
        Win32Error error = Outcome(QueryServiceStatus(m_handle.get(), &raw));
        copyStatus(raw, status);
        return error;
    }

    Win32Error queryConfig(ServiceSettings& settings) override {
        // The strings follow the record in the same buffer, which the system never fills beyond
        // 8 KB. A String of that size holds it on the heap, aligned for the record.
        String buffer(8192, '\0');
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
        DWORD needed = 0;
        if (!QueryServiceConfigA(m_handle.get(), config, buffer.size(), &needed)) {
            return LastError();
        }
        settings.displayName = config->lpDisplayName != nullptr ? config->lpDisplayName : "";
        settings.serviceType = config->dwServiceType;
        settings.startType = config->dwStartType;
        settings.errorControl = config->dwErrorControl;
        settings.imagePath = config->lpBinaryPathName != nullptr ? config->lpBinaryPathName : "";
        settings.account = config->lpServiceStartName != nullptr ? config->lpServiceStartName : "";
        return WIN_OK;
    }

private:
    ServiceHandle m_handle;
};

// The service that a call opened or created, or the error it left.
Win32Error Opened(SC_HANDLE handle, std::unique_ptr<Service>& service) {
    if (handle == nullptr) {
        return LastError();
    }
    service = std::make_unique<Win32Service>(handle);
    return WIN_OK;
}

class Win32ServiceManager : public ServiceManager {
public:
    explicit Win32ServiceManager(SC_HANDLE handle) : m_handle(handle) {}

    Win32Error openService(const String& name, std::uint32_t access,
                           std::unique_ptr<Service>& service) override {
        return Opened(OpenServiceA(m_handle.get(), name.c_str(), access), service);
    }

    Win32Error createService(const ServiceSettings& settings,
                             std::unique_ptr<Service>& service) override {
        SC_HANDLE handle = CreateServiceA(
            m_handle.get(), settings.name.c_str(), settings.displayName.c_str(),
            settings.desiredAccess, settings.serviceType, settings.startType, settings.errorControl,
            settings.imagePath.c_str(), nullptr, nullptr, nullptr,
            settings.account.empty() ? nullptr : settings.account.c_str(), nullptr);
        return Opened(handle, service);
    }

private:
    ServiceHandle m_handle;
};

}  // namespace

Win32Error Win32Services::openManager(std::uint32_t access,
                                      std::unique_ptr<ServiceManager>& manager) {
    SC_HANDLE handle = OpenSCManagerA(nullptr, nullptr, access);
    if (handle == nullptr) {
        return LastError();
    }
    manager = std::make_unique<Win32ServiceManager>(handle);
    return WIN_OK;
}
