#pragma once

#include <string>

// The fixed places of the product and the commands that register its WMI classes. None is
// configurable: deployment scripts and the product's own service rely on them.
inline constexpr const char* SETUP_TEMP_DIR = "C:\\ZIL_Setup_temp";
inline constexpr const char* SETUP_PROGRAM_DIR = "C:\\Program Files (x86)\\ZIL";
inline constexpr const char* SETUP_ICON_DIR = "C:\\Program Files (x86)\\ZIL\\ICONs";
inline constexpr const char* SETUP_SERVICE_EXE = "C:\\Program Files (x86)\\ZIL\\ZIL_Service.exe";
inline constexpr const char* SETUP_REDIST_EXE = "C:\\Program Files (x86)\\ZIL\\vcredist_x86.exe";
inline constexpr const char* SETUP_REDIST_PARAMETERS = " /q:a";
inline constexpr const char* SETUP_PREVIOUS_VERSION_MARK = "C:\\Program Files\\ZIL\\picture";

// Where an upgrade keeps the old program folder until the new files are in place: inside the
// temporary folder, which only administrators may write to and which goes at the end of the run.
// Renamed to the second name once the new files are in place, so that an interrupted run never
// brings back a folder that was already on its way out.
inline constexpr const char* SETUP_SET_ASIDE_DIR = "C:\\ZIL_Setup_temp\\ZIL.previous";
inline constexpr const char* SETUP_RETIRED_DIR = "C:\\ZIL_Setup_temp\\ZIL.obsolete";

// The scripts that register and unregister the product's WMI classes; the lower-case drive
// letter is how the product has always written them.
inline constexpr const char* SETUP_INSTALL_MOF_SCRIPT = "c:\\ZIL_Setup_temp\\ZARN_ZIL.mof";
inline constexpr const char* SETUP_UNINSTALL_MOF_SCRIPT = "c:\\ZIL_Setup_temp\\Uninst_ZARN_ZIL.mof";

// Name and display name of the product's Windows service.
inline const std::string theServiceName = "JovixZIL";
