// A service's registration as the service control manager keeps it, read and changed the way an
// administrator would (Wine's sc has no `qc`, and cannot set an account):
//   ServiceConfig.exe NAME show              prints image, start type, account and state
//   ServiceConfig.exe NAME account ACCOUNT   logs the service on as ACCOUNT, with no password
// Exits 0, or 1 with the call and its error when the manager refuses.

#include <cstdio>
#include <cstring>
#include <vector>

#include <windows.h>

namespace {

int Refused(const char* call) {
    std::printf("%s failed: error %lu\n", call, GetLastError());
    return 1;
}

int Show(SC_HANDLE service) {
    DWORD needed = 0;
    QueryServiceConfigA(service, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
    if (needed == 0 || !QueryServiceConfigA(service, config, needed, &needed)) {
        return Refused("QueryServiceConfigA");
    }
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(service, &status)) {
        return Refused("QueryServiceStatus");
    }
    std::printf("image %s\nstart %lu\naccount %s\nstate %lu\n", config->lpBinaryPathName,
                config->dwStartType, config->lpServiceStartName ? config->lpServiceStartName : "",
                status.dwCurrentState);
    return 0;
}

int SetAccount(SC_HANDLE service, const char* account) {
    if (!ChangeServiceConfigA(service, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                              nullptr, nullptr, nullptr, nullptr, account, "", nullptr)) {
        return Refused("ChangeServiceConfigA");
    }
    std::printf("account set\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    bool show = argc == 3 && std::strcmp(argv[2], "show") == 0;
    bool account = argc == 4 && std::strcmp(argv[2], "account") == 0;
    if (!show && !account) {
        std::fprintf(stderr,
                     "usage: ServiceConfig NAME show | ServiceConfig NAME account ACCOUNT\n");
        return 2;
    }
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr) {
        return Refused("OpenSCManagerA");
    }
    DWORD access = show ? SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS : SERVICE_CHANGE_CONFIG;
    SC_HANDLE service = OpenServiceA(manager, argv[1], access);
    if (service == nullptr) {
        int result = Refused("OpenServiceA");
        CloseServiceHandle(manager);
        return result;
    }
    int result = show ? Show(service) : SetAccount(service, argv[3]);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return result;
}
