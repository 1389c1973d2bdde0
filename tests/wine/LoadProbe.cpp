// Loads a library by bare name, as a program that never restricts its search would, or, with
// --system32-only, after restricting the search the way the setup program does at start-up.
// The Wine checks use it to show that a library planted beside a program is found there at all,
// and that Wine honours the restriction.
//   LoadProbe.exe [--system32-only] NAME
// Exits 0 whether or not the load succeeded; the planted library says whether it ran.
#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    bool restricted = argc == 3 && std::strcmp(argv[1], "--system32-only") == 0;
    if (argc != 2 && !restricted) {
        std::fprintf(stderr, "usage: LoadProbe [--system32-only] NAME\n");
        return 1;
    }
    if (restricted && !SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        std::fprintf(stderr, "LoadProbe: SetDefaultDllDirectories failed (%lu)\n", GetLastError());
        return 1;
    }
    const char* name = argv[argc - 1];
    HMODULE library = LoadLibraryA(name);
    std::printf("LoadLibrary(%s): %s\n", name, library != nullptr ? "loaded" : "refused");
    return 0;
}
