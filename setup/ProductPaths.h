#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "sfx/EntryName.h"

// A folder and a name in it, joined when the program is compiled: one source for each part, and
// no code to run.
template <std::size_t F, std::size_t N>
constexpr std::array<char, F + N> JoinPath(const char (&folder)[F], const char (&name)[N]) {
    std::array<char, F + N> path{};
    std::size_t at = 0;
    for (std::size_t i = 0; i + 1 < F; ++i) {
        path[at++] = folder[i];
    }
    path[at++] = '\\';
    for (std::size_t i = 0; i < N; ++i) {
        path[at++] = name[i];
    }
    return path;
}

// The fixed places of the product and the scripts that register its WMI classes. None is
// configurable: deployment scripts and the product's own service rely on them.
inline constexpr char SETUP_TEMP_DIR[] = "C:\\ZIL_Setup_temp";
inline constexpr char SETUP_PROGRAM_DIR[] = "C:\\Program Files (x86)\\ZIL";
inline constexpr auto SETUP_ICON_PATH = JoinPath(SETUP_PROGRAM_DIR, SFX_ICON_FOLDER_NAME);
inline constexpr const char* SETUP_ICON_DIR = SETUP_ICON_PATH.data();
inline constexpr auto SETUP_SERVICE_PATH = JoinPath(SETUP_PROGRAM_DIR, "ZIL_Service.exe");
inline constexpr const char* SETUP_SERVICE_EXE = SETUP_SERVICE_PATH.data();
inline constexpr auto SETUP_REDIST_PATH = JoinPath(SETUP_PROGRAM_DIR, "vcredist_x86.exe");
inline constexpr const char* SETUP_REDIST_EXE = SETUP_REDIST_PATH.data();
inline constexpr const char* SETUP_REDIST_PARAMETERS = " /q:a";
inline constexpr const char* SETUP_PREVIOUS_VERSION_MARK = "C:\\Program Files\\ZIL\\picture";

// Where an upgrade keeps the old program folder until the new files are in place: inside the
// temporary folder, which only administrators may write to and which goes at the end of the run.
// Renamed to the second name once the new files are in place, so that an interrupted run never
// brings back a folder that was already on its way out.
inline constexpr auto SETUP_SET_ASIDE_PATH = JoinPath(SETUP_TEMP_DIR, SFX_SET_ASIDE_FOLDER_NAME);
inline constexpr const char* SETUP_SET_ASIDE_DIR = SETUP_SET_ASIDE_PATH.data();
inline constexpr auto SETUP_RETIRED_PATH = JoinPath(SETUP_TEMP_DIR, SFX_RETIRED_FOLDER_NAME);
inline constexpr const char* SETUP_RETIRED_DIR = SETUP_RETIRED_PATH.data();

// The scripts that register and unregister the product's WMI classes; the lower-case drive
// letter is how the product has always written them.
inline constexpr const char* SETUP_INSTALL_MOF_SCRIPT = "c:\\ZIL_Setup_temp\\ZARN_ZIL.mof";
inline constexpr const char* SETUP_UNINSTALL_MOF_SCRIPT = "c:\\ZIL_Setup_temp\\Uninst_ZARN_ZIL.mof";

// Name and display name of the product's Windows service.
inline const std::string theServiceName = "JovixZIL";
