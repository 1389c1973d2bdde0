// Stand-in for the runtime redistributable's installer: marks the runtime as installed and,
// like the real one, leaves its unpacked files at the root of drive C: for setup to sweep.
// Each run adds a line to a log that the sweep leaves alone, so the checks can count the runs.
// It ends ZIL_REDIST_EXIT_CODE when it has done so: 0, or 3010 for the variant that asks for a
// restart, as the real installer does when a runtime file was in use.
#include <windows.h>

#include <cstdio>

#include "../common/RuntimeMarker.h"

namespace {

const char* const REDIST_RUN_LOG = "C:\\ZIL_Redist_runs.log";

bool writeText(const char* path, const char* text, const char* mode = "wb") {
    std::FILE* file = std::fopen(path, mode);
    if (file == nullptr) {
        return false;
    }
    bool written = std::fputs(text, file) >= 0;
    return std::fclose(file) == 0 && written;
}

}  // namespace

int main() {
    writeText(REDIST_RUN_LOG, "ran\r\n", "ab");
    const char* leftovers[] = {"eula.1033.txt", "eula.1041.txt",        "install.exe",
                               "install.ini",   "install.res.1033.dll", "VC_RED.MSI",
                               "VC_RED.cab",    "vcredist.bmp"};
    bool ok = true;
    char path[MAX_PATH];
    for (const char* name : leftovers) {
        std::snprintf(path, sizeof(path), "C:\\%s", name);
        ok = writeText(path, "runtime redistributable file\r\n") && ok;
    }
    char windowsDir[MAX_PATH] = {};
    UINT length = GetWindowsDirectoryA(windowsDir, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return 1;
    }
    std::snprintf(path, sizeof(path), "%s%s", windowsDir, SAMPLE_RUNTIME_MARKER);
    return writeText(path, "1\r\n") && ok ? ZIL_REDIST_EXIT_CODE : 1;
}
