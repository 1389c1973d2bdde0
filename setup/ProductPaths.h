#pragma once

#include "platform/StringType.h"

#include "sfx/TargetFolders.h"

// The fixed places of the product (where the payload lands: sfx/TargetFolders.h) and the
// scripts that register its WMI classes. None is configurable: deployment scripts and the
// product's own service rely on them.
inline constexpr const char* SETUP_TEMP_DIR = SFX_TEMP_FOLDER;
inline constexpr const char* SETUP_PROGRAM_DIR = SFX_PROGRAM_PATH.data();
inline constexpr const char* SETUP_ICON_DIR = SFX_ICON_PATH.data();
inline constexpr auto SETUP_SERVICE_PATH = JoinPath(SFX_PROGRAM_PATH, SFX_SERVICE_ENTRY);
inline constexpr const char* SETUP_SERVICE_EXE = SETUP_SERVICE_PATH.data();
inline constexpr auto SETUP_REDIST_PATH = JoinPath(SFX_PROGRAM_PATH, "vcredist_x86.exe");
inline constexpr const char* SETUP_REDIST_EXE = SETUP_REDIST_PATH.data();
inline constexpr const char* SETUP_REDIST_PARAMETERS = " /q:a";
inline constexpr const char* SETUP_PREVIOUS_VERSION_MARK = "C:\\Program Files\\ZIL\\picture";

// The programs and scripts in the payload that only setup needs, deleted from the program folder
// once the service runs: the programs in this order, then the scripts.
inline constexpr const char* SETUP_ONLY_PROGRAMS[] = {"Close_ZIL.exe", "MOFINS.exe", "MOFUINS.exe",
                                                      "mofcomp.exe", "vcredist_x86.exe"};
inline constexpr const char* SETUP_ONLY_SCRIPTS = "*.mof";

// An upgrade's own state, beside the program folder where only administrators may write: the
// old program folder set aside until the new files are in place, and the record of what the
// upgrade changed, which a run cut off halfway leaves for the next one.
inline constexpr const char* SETUP_SET_ASIDE_DIR = SFX_SET_ASIDE_PATH.data();
inline constexpr auto SETUP_UPGRADE_RECORD_PATH = JoinPath(SFX_PROGRAMS_FOLDER, "ZIL.upgrade");
inline constexpr const char* SETUP_UPGRADE_RECORD = SETUP_UPGRADE_RECORD_PATH.data();

// The product's entry in Apps & features, in the 32-bit view of HKLM where a 32-bit product
// belongs, and the key below it that keeps the entry an install replaced until the install is
// committed (Apps & features reads only the entry's own values).
inline constexpr char SETUP_ENTRY_KEY[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ZIL";
inline constexpr auto SETUP_ENTRY_REPLACED_PATH = JoinPath(SETUP_ENTRY_KEY, "Replaced");
inline constexpr const char* SETUP_ENTRY_REPLACED_KEY = SETUP_ENTRY_REPLACED_PATH.data();

// The setup program the install keeps, so that the machine can uninstall the product without
// the download. Started from there, it runs a copy of itself from a folder of setup's own, so
// that nothing of the program folder is running while the folder is replaced or removed.
inline constexpr auto SETUP_KEPT_SETUP_PATH = JoinPath(SFX_PROGRAM_PATH, SFX_KEPT_SETUP_NAME);
inline constexpr const char* SETUP_KEPT_SETUP = SETUP_KEPT_SETUP_PATH.data();
inline constexpr char SETUP_RUN_DIR[] = "C:\\ZIL_Setup_run";
// The name under which the kept program itself waits there while its copy runs: out of the
// program folder, on its volume (a running program can be renamed there, not deleted).
inline constexpr char SETUP_RUN_KEPT_NAME[] = "ZIL_Setup.kept.exe";

// The scripts that register and unregister the product's WMI classes, from the temporary folder;
// the lower-case drive letter is how the product has always written them.
template <std::size_t N>
constexpr std::array<char, N> WithLowerCaseDrive(std::array<char, N> path) {
    path[0] = static_cast<char>(path[0] - 'A' + 'a');
    return path;
}
inline constexpr auto SETUP_INSTALL_MOF_PATH =
    WithLowerCaseDrive(JoinPath(SFX_TEMP_FOLDER, "ZARN_ZIL.mof"));
inline constexpr const char* SETUP_INSTALL_MOF_SCRIPT = SETUP_INSTALL_MOF_PATH.data();
inline constexpr auto SETUP_UNINSTALL_MOF_PATH =
    WithLowerCaseDrive(JoinPath(SFX_TEMP_FOLDER, "Uninst_ZARN_ZIL.mof"));
inline constexpr const char* SETUP_UNINSTALL_MOF_SCRIPT = SETUP_UNINSTALL_MOF_PATH.data();

// Name and display name of the product's Windows service.
inline const String theServiceName = "JovixZIL";
