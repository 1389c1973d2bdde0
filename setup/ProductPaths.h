#pragma once

#include <algorithm>
#include <array>
#include <cstddef>

#include "text/StringType.h"

// Two texts, or a folder and a name in it, joined when the program is compiled: one source for
// each part, and no code to run.
template <std::size_t F, std::size_t N>
constexpr std::array<char, F + N - 1> Join(const char (&first)[F], const char (&second)[N]) {
    std::array<char, F + N - 1> joined{};
    std::copy(first, first + F - 1, joined.begin());
    std::copy(second, second + N, joined.begin() + (F - 1));
    return joined;
}

template <std::size_t F, std::size_t N>
constexpr std::array<char, F + N> JoinPath(const char (&folder)[F], const char (&name)[N]) {
    std::array<char, F + N> path{};
    std::copy(folder, folder + F - 1, path.begin());
    path[F - 1] = '\\';
    std::copy(name, name + N, path.begin() + F);
    return path;
}

template <std::size_t F, std::size_t N>
constexpr std::array<char, F + N> JoinPath(const std::array<char, F>& folder,
                                           const char (&name)[N]) {
    char plain[F] = {};
    std::copy(folder.begin(), folder.end(), plain);
    return JoinPath(plain, name);
}

// Where the payload's entries land on the machine: the temporary folder, the program folder and
// its image folder, and, during an upgrade, the old program folder set aside beside it (renamed
// once more when it is on its way out). These fixed places are what deployment scripts and the
// product's own service rely on; none is configurable.
inline constexpr char SETUP_TEMP_DIR[] = "C:\\ZIL_Setup_temp";
inline constexpr char SETUP_PROGRAMS_DIR[] = "C:\\Program Files (x86)";
inline constexpr char SETUP_PROGRAM_FOLDER_NAME[] = "ZIL";
inline constexpr char SETUP_ICON_FOLDER_NAME[] = "ICONs";
inline constexpr char SETUP_SET_ASIDE_FOLDER_NAME[] = "ZIL.previous";
inline constexpr char SETUP_RETIRED_FOLDER_NAME[] = "ZIL.obsolete";
// The setup program that the install keeps in the program folder, to uninstall from.
inline constexpr char SETUP_KEPT_SETUP_NAME[] = "ZIL_Setup.exe";
// The entry the install starts by name: a payload without it cannot be installed.
inline constexpr char SETUP_SERVICE_ENTRY[] = "ZIL_Service.exe";

inline constexpr auto SETUP_PROGRAM_PATH = JoinPath(SETUP_PROGRAMS_DIR, SETUP_PROGRAM_FOLDER_NAME);
inline constexpr auto SETUP_ICON_PATH = JoinPath(SETUP_PROGRAM_PATH, SETUP_ICON_FOLDER_NAME);
inline constexpr auto SETUP_SET_ASIDE_PATH =
    JoinPath(SETUP_PROGRAMS_DIR, SETUP_SET_ASIDE_FOLDER_NAME);
inline constexpr auto SETUP_SET_ASIDE_ICON_PATH =
    JoinPath(SETUP_SET_ASIDE_PATH, SETUP_ICON_FOLDER_NAME);

// A folder that cannot be deleted now is renamed beside itself to "<folder>.obsolete"; a name
// that is taken already is tried with ".2" to ".9" behind it (the set-aside folder's too).
inline constexpr char SETUP_RETIRED_SUFFIX[] = ".obsolete";
inline constexpr int SETUP_FREE_NAME_SUFFIXES = 9;
// The deepest folder setup may rename with entries in it: the set-aside image folder once the
// set-aside folder took its last free name and then had to be moved out of the way under its
// own ("ZIL.previous.9.obsolete.9\ICONs"); each numbered suffix is a dot and one digit.
inline constexpr std::size_t SETUP_RENAMED_ICON_PATH_SIZE =
    SETUP_SET_ASIDE_ICON_PATH.size() + 2 * 2 + (sizeof(SETUP_RETIRED_SUFFIX) - 1);

// The same places as the operations take them, the product's other places beside them, and the
// scripts that register its WMI classes. None is configurable either.
inline constexpr const char* SETUP_PROGRAM_DIR = SETUP_PROGRAM_PATH.data();
inline constexpr const char* SETUP_ICON_DIR = SETUP_ICON_PATH.data();
inline constexpr auto SETUP_SERVICE_PATH = JoinPath(SETUP_PROGRAM_PATH, SETUP_SERVICE_ENTRY);
inline constexpr const char* SETUP_SERVICE_EXE = SETUP_SERVICE_PATH.data();
inline constexpr auto SETUP_REDIST_PATH = JoinPath(SETUP_PROGRAM_PATH, "vcredist_x86.exe");
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
inline constexpr const char* SETUP_SET_ASIDE_DIR = SETUP_SET_ASIDE_PATH.data();
inline constexpr auto SETUP_UPGRADE_RECORD_PATH = JoinPath(SETUP_PROGRAMS_DIR, "ZIL.upgrade");
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
inline constexpr auto SETUP_KEPT_SETUP_PATH = JoinPath(SETUP_PROGRAM_PATH, SETUP_KEPT_SETUP_NAME);
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
    WithLowerCaseDrive(JoinPath(SETUP_TEMP_DIR, "ZARN_ZIL.mof"));
inline constexpr const char* SETUP_INSTALL_MOF_SCRIPT = SETUP_INSTALL_MOF_PATH.data();
inline constexpr auto SETUP_UNINSTALL_MOF_PATH =
    WithLowerCaseDrive(JoinPath(SETUP_TEMP_DIR, "Uninst_ZARN_ZIL.mof"));
inline constexpr const char* SETUP_UNINSTALL_MOF_SCRIPT = SETUP_UNINSTALL_MOF_PATH.data();

// Name and display name of the product's Windows service.
inline constexpr char SETUP_SERVICE_NAME[] = "JovixZIL";
inline const String theServiceName = SETUP_SERVICE_NAME;
