#pragma once

#include <algorithm>
#include <array>
#include <cstddef>

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
inline constexpr char SFX_TEMP_FOLDER[] = "C:\\ZIL_Setup_temp";
inline constexpr char SFX_PROGRAMS_FOLDER[] = "C:\\Program Files (x86)";
inline constexpr char SFX_PROGRAM_FOLDER_NAME[] = "ZIL";
inline constexpr char SFX_ICON_FOLDER_NAME[] = "ICONs";
inline constexpr char SFX_SET_ASIDE_FOLDER_NAME[] = "ZIL.previous";
inline constexpr char SFX_RETIRED_FOLDER_NAME[] = "ZIL.obsolete";
// The setup program that the install keeps in the program folder, to uninstall from.
inline constexpr char SFX_KEPT_SETUP_NAME[] = "ZIL_Setup.exe";
// The entry the install starts by name: a payload without it cannot be installed.
inline constexpr char SFX_SERVICE_ENTRY[] = "ZIL_Service.exe";

inline constexpr auto SFX_PROGRAM_PATH = JoinPath(SFX_PROGRAMS_FOLDER, SFX_PROGRAM_FOLDER_NAME);
inline constexpr auto SFX_ICON_PATH = JoinPath(SFX_PROGRAM_PATH, SFX_ICON_FOLDER_NAME);
inline constexpr auto SFX_SET_ASIDE_PATH = JoinPath(SFX_PROGRAMS_FOLDER, SFX_SET_ASIDE_FOLDER_NAME);
inline constexpr auto SFX_SET_ASIDE_ICON_PATH = JoinPath(SFX_SET_ASIDE_PATH, SFX_ICON_FOLDER_NAME);

// A folder that cannot be deleted now is renamed beside itself to "<folder>.obsolete"; a name
// that is taken already is tried with ".2" to ".9" behind it (the set-aside folder's too).
inline constexpr char SFX_RETIRED_SUFFIX[] = ".obsolete";
inline constexpr int SFX_FREE_NAME_SUFFIXES = 9;
// The deepest folder setup may rename with entries in it: the set-aside image folder once the
// set-aside folder took its last free name and then had to be moved out of the way under its
// own ("ZIL.previous.9.obsolete.9\ICONs"); each numbered suffix is a dot and one digit.
inline constexpr std::size_t SFX_RENAMED_ICON_PATH_SIZE =
    SFX_SET_ASIDE_ICON_PATH.size() + 2 * 2 + (sizeof(SFX_RETIRED_SUFFIX) - 1);

// Windows' limit on a path through its ANSI calls: MAX_PATH less the terminating NUL.
inline constexpr std::size_t SFX_MAX_PATH = 259;
// The longest name an entry may have: its path in the deepest of those folders stays within the
// limit (the separator counted).
inline constexpr std::size_t SFX_MAX_TARGET_NAME =
    SFX_MAX_PATH - 1 -
    std::max({sizeof(SFX_TEMP_FOLDER), SFX_PROGRAM_PATH.size(), SFX_ICON_PATH.size(),
              SFX_SET_ASIDE_ICON_PATH.size(), SFX_RENAMED_ICON_PATH_SIZE}) +
    1;
