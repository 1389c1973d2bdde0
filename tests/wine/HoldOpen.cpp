// Another program that keeps a file busy: opens it without sharing it with anyone, says so on
// its standard output, and holds it until the given number of seconds have passed.
//   HoldOpen.exe PATH SECONDS

#include <cstdio>
#include <cstdlib>

#include <windows.h>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: HoldOpen PATH SECONDS\n");
        return 2;
    }
    HANDLE file = CreateFileA(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::printf("cannot open %s: error %lu\n", argv[1], GetLastError());
        return 1;
    }
    std::printf("holding %s\n", argv[1]);
    std::fflush(stdout);
    Sleep(static_cast<DWORD>(std::atoi(argv[2])) * 1000);
    CloseHandle(file);
    return 0;
}
