// A library to plant beside a program under a system library's name: when anything loads it,
// it appends the program's path to C:\ZIL_planted.log and refuses to stay loaded.
#include <windows.h>

#include <cstdio>

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) {
        return TRUE;
    }
    char library[MAX_PATH] = {};
    char program[MAX_PATH] = {};
    GetModuleFileNameA(self, library, MAX_PATH);
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    if (std::FILE* log = std::fopen("C:\\ZIL_planted.log", "ab")) {
        std::fprintf(log, "%s loaded by %s\n", library, program);
        std::fclose(log);
    }
    return FALSE;
}
