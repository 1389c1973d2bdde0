// Runs a program in a window station of its own, which no person sees (as a service's or session
// 0's), and passes on its exit code and its standard error.
//   HiddenStation.exe PROGRAM [ARGUMENT]
// Prints the station's visibility as the program will find it ("visible 0") first; exits 255
// when the station or the program cannot be made.
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: HiddenStation PROGRAM [ARGUMENT]\n");
        return 255;
    }
    HWINSTA station = CreateWindowStationA("ZilHidden", 0, WINSTA_ALL_ACCESS, nullptr);
    HWINSTA own = GetProcessWindowStation();
    if (station == nullptr || !SetProcessWindowStation(station)) {
        std::fprintf(stderr, "HiddenStation: no window station (%lu)\n", GetLastError());
        return 255;
    }
    HDESK desktop = CreateDesktopA("Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    USEROBJECTFLAGS flags{};
    DWORD needed = 0;
    GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags, &needed);
    SetProcessWindowStation(own);
    if (desktop == nullptr) {
        std::fprintf(stderr, "HiddenStation: no desktop (%lu)\n", GetLastError());
        return 255;
    }
    std::printf("visible %d\n", (flags.dwFlags & WSF_VISIBLE) != 0 ? 1 : 0);
    std::fflush(stdout);

    std::string command =
        std::string("\"") + argv[1] + "\"" + (argc == 3 ? " " : "") + (argc == 3 ? argv[2] : "");
    char desktopName[] = "ZilHidden\\Default";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.lpDesktop = desktopName;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &process)) {
        std::fprintf(stderr, "HiddenStation: cannot start %s (%lu)\n", argv[1], GetLastError());
        return 255;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 255;
    GetExitCodeProcess(process.hProcess, &code);
    return static_cast<int>(code);
}
