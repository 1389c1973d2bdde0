// Stand-in for the runtime redistributable's installer: marks the runtime as installed and,
// like the real one, leaves its unpacked files at the root of drive C: for setup to sweep.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

bool writeText(const std::string& path, const std::string& text) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace

int main() {
    const char* leftovers[] = {"eula.1033.txt", "eula.1041.txt",        "install.exe",
                               "install.ini",   "install.res.1033.dll", "VC_RED.MSI",
                               "VC_RED.cab",    "vcredist.bmp"};
    bool ok = true;
    for (const char* name : leftovers) {
        ok = writeText(std::string("C:\\") + name,
                       std::string("runtime redistributable file ") + name + "\r\n") &&
             ok;
    }
    char windowsDir[MAX_PATH] = {};
    UINT length = GetWindowsDirectoryA(windowsDir, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return 1;
    }
    ok = writeText(std::string(windowsDir) + "\\System32\\msvcr_zil.marker", "1\r\n") && ok;
    return ok ? 0 : 1;
}
