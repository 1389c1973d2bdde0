// Another program that takes a mutex's name first and keeps it, as any user could with a
// machine-wide name; says on its standard output whether it made the mutex or found it, and
// holds it until the given number of seconds have passed.
//   HoldMutex.exe NAME SECONDS
// With --namespaces instead, says whether this system gives a private object namespace whose
// boundary requires the Administrators group (the kind no ordinary user can enter) to a
// process of that group: "private namespaces: yes", or "no" with the call and its error.

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <windows.h>

namespace {

int ProbeNamespaces() {
    HANDLE boundary = CreateBoundaryDescriptorW(L"ZIL_Probe", 0);
    if (boundary == nullptr) {
        std::printf("private namespaces: no (CreateBoundaryDescriptorW, error %lu)\n",
                    GetLastError());
        return 0;
    }
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(administrators);
    if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size) ||
        !AddSIDToBoundaryDescriptor(&boundary, administrators)) {
        std::printf("private namespaces: no (AddSIDToBoundaryDescriptor, error %lu)\n",
                    GetLastError());
        DeleteBoundaryDescriptor(boundary);
        return 0;
    }
    HANDLE space = CreatePrivateNamespaceW(nullptr, boundary, L"ZIL_Probe");
    if (space == nullptr) {
        std::printf("private namespaces: no (CreatePrivateNamespaceW, error %lu)\n",
                    GetLastError());
    } else {
        std::printf("private namespaces: yes\n");
        ClosePrivateNamespace(space, PRIVATE_NAMESPACE_FLAG_DESTROY);
    }
    DeleteBoundaryDescriptor(boundary);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--namespaces") == 0) {
        return ProbeNamespaces();
    }
    if (argc != 3) {
        std::fprintf(stderr, "usage: HoldMutex NAME SECONDS | HoldMutex --namespaces\n");
        return 2;
    }
    HANDLE mutex = CreateMutexA(nullptr, FALSE, argv[1]);
    DWORD error = GetLastError();
    if (mutex == nullptr) {
        std::printf("cannot create %s: error %lu\n", argv[1], error);
        return 1;
    }
    std::printf("holding %s (%s)\n", argv[1], error == ERROR_ALREADY_EXISTS ? "found" : "made");
    std::fflush(stdout);
    Sleep(static_cast<DWORD>(std::atoi(argv[2])) * 1000);
    CloseHandle(mutex);
    return 0;
}
