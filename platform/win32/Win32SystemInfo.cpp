#include "platform/win32/Win32SystemInfo.h"

#include <windows.h>

#include "text/Format.h"
#include "platform/win32/Win32Handle.h"

namespace {

// A function that older Windows versions lack, looked up in a library every process has loaded.
template <class Function>
Function systemFunction(const char* library, const char* name) {
    HMODULE module = GetModuleHandleA(library);
    FARPROC found = module != nullptr ? GetProcAddress(module, name) : nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

String machineName(USHORT machine) {
    switch (machine) {
        case IMAGE_FILE_MACHINE_I386:
            return "x86";
        case IMAGE_FILE_MACHINE_AMD64:
            return "x64";
        case 0xAA64:  // IMAGE_FILE_MACHINE_ARM64
            return "ARM64";
        default:
            return Format("machine %d", machine);
    }
}

USHORT machineOfArchitecture(WORD architecture) {
    switch (architecture) {
        case PROCESSOR_ARCHITECTURE_AMD64:
            return IMAGE_FILE_MACHINE_AMD64;
        case 12:  // PROCESSOR_ARCHITECTURE_ARM64
            return 0xAA64;
        default:
            return IMAGE_FILE_MACHINE_I386;
    }
}

}  // namespace

WindowsVersion Win32SystemInfo::windowsVersion() {
    WindowsVersion version;
    // Unlike GetVersionEx, this answers the version that runs, whatever the manifest declares.
    using GetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
    if (auto getVersion = systemFunction<GetVersionFunction>("ntdll.dll", "RtlGetVersion")) {
        OSVERSIONINFOW info{};
        info.dwOSVersionInfoSize = sizeof info;
        if (getVersion(&info) == 0) {
            version.major = info.dwMajorVersion;
            version.minor = info.dwMinorVersion;
            version.build = info.dwBuildNumber;
        }
    }
    // Only this call tells the machine of an ARM64 Windows to an x86 program; before Windows 10
    // (1709) there was no such Windows, and the native system information tells the truth.
    using Wow64Function = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
    USHORT process = IMAGE_FILE_MACHINE_UNKNOWN;
    USHORT native = IMAGE_FILE_MACHINE_UNKNOWN;
    auto isWow64Process2 = systemFunction<Wow64Function>("kernel32.dll", "IsWow64Process2");
    if (isWow64Process2 == nullptr || !isWow64Process2(GetCurrentProcess(), &process, &native)) {
        SYSTEM_INFO info{};
        GetNativeSystemInfo(&info);
        native = machineOfArchitecture(info.wProcessorArchitecture);
        BOOL wow64 = FALSE;
        IsWow64Process(GetCurrentProcess(), &wow64);
        process = wow64 ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_UNKNOWN;
    }
    version.machine = machineName(native);
    version.wow64 = process != IMAGE_FILE_MACHINE_UNKNOWN;
    return version;
}

bool Win32SystemInfo::processElevated() {
    KernelHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.address())) {
        return false;
    }
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    return GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size) &&
           elevation.TokenIsElevated != 0;
}

bool Win32SystemInfo::desktopVisible() {
    USEROBJECTFLAGS flags{};
    DWORD needed = 0;
    // Not owned: a process's window station handle must not be closed.
    HWINSTA station = GetProcessWindowStation();
    if (station == nullptr ||
        !GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags, &needed)) {
        return true;
    }
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}

String Win32SystemInfo::errorText(Win32Error error) {
    char text[512];
    // One line: the message's own line breaks become blanks.
    DWORD length = FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
        nullptr, error, 0, text, sizeof text, nullptr);
    while (length > 0 &&
           (text[length - 1] == ' ' || text[length - 1] == '\r' || text[length - 1] == '\n')) {
        --length;
    }
    return String(text, length);
}

// The fixed part of the version resource, found by its signature (a DWORD-aligned 0xFEEF04BD
// behind the resource's header and key) rather than by parsing the header's wide strings.
String Win32SystemInfo::programVersion() {
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(VS_VERSION_INFO), RT_VERSION);
    HGLOBAL loaded = found != nullptr ? LoadResource(nullptr, found) : nullptr;
    const auto* data =
        static_cast<const DWORD*>(loaded != nullptr ? LockResource(loaded) : nullptr);
    if (data == nullptr) {
        return "";
    }
    std::size_t words = SizeofResource(nullptr, found) / sizeof(DWORD);
    constexpr std::size_t FIXED_WORDS = sizeof(VS_FIXEDFILEINFO) / sizeof(DWORD);
    for (std::size_t at = 0; at + FIXED_WORDS <= words; ++at) {
        if (data[at] == VS_FFI_SIGNATURE) {
            const auto* fixed = reinterpret_cast<const VS_FIXEDFILEINFO*>(data + at);
            return Format("%d.%d.%d.%d", HIWORD(fixed->dwFileVersionMS),
                          LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
                          LOWORD(fixed->dwFileVersionLS));
        }
    }
    return "";
}

std::uint64_t Win32SystemInfo::programFileSize() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    // The attributes tell the size without opening the file.
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (length == 0 || length >= MAX_PATH ||
        !GetFileAttributesExA(path, GetFileExInfoStandard, &data)) {
        return 0;
    }
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}
