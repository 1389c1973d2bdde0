#include "setup/FileOperations.h"

#include <algorithm>
#include <array>

#include "setup/ProductPaths.h"

namespace {

enum : int {
    DIRECTORY_WAIT_PAUSE = 123,
    DIRECTORY_WAIT_CHECKS = 9,
};

const std::array<const char*, 5> theSetupTools = {
    "C:\\Program Files (x86)\\ZIL\\Close_ZIL.exe",    "C:\\Program Files (x86)\\ZIL\\MOFINS.exe",
    "C:\\Program Files (x86)\\ZIL\\MOFUINS.exe",      "C:\\Program Files (x86)\\ZIL\\mofcomp.exe",
    "C:\\Program Files (x86)\\ZIL\\vcredist_x86.exe",
};
const char* const theSetupScripts = "C:\\Program Files (x86)\\ZIL\\*.mof";

const std::array<const char*, 3> theSweptDrives = {"C:\\", "D:\\", "E:\\"};
// The first pattern decides whether a drive is swept at all.
const std::array<const char*, 4> theRedistLeftovers = {"eula.*", "install.*", "VC_RED.*",
                                                       "vcredist.*"};

}  // namespace

FileOperations::FileOperations(Platform& platform) : m_platform(platform) {}

Win32Error FileOperations::EnsureDirectory(const std::string& path) {
    FileSystem& files = m_platform.files();
    if (!files.findFile(path)) {
        files.createDirectory(path);
    }
    // A folder the shell has just made can take a moment to show; give up after about a second
    // rather than wait for one that will never come.
    for (int check = 0; check < DIRECTORY_WAIT_CHECKS; ++check) {
        m_platform.clock().sleep(DIRECTORY_WAIT_PAUSE);
        if (files.findFile(path)) {
            return WIN_OK;
        }
    }
    return WIN_PATH_NOT_FOUND;
}

Win32Error FileOperations::DeleteProgramDirectory() {
    if (!m_platform.files().findFile(SETUP_PROGRAM_DIR)) {
        return WIN_OK;
    }
    return m_platform.files().shellDelete(SETUP_PROGRAM_DIR);
}

Win32Error FileOperations::DeleteTempDirectory() {
    if (!m_platform.files().findFile(SETUP_TEMP_DIR)) {
        return WIN_OK;
    }
    return m_platform.files().shellDelete(SETUP_TEMP_DIR);
}

Win32Error FileOperations::MoveFilesIntoPlace() {
    FileSystem& files = m_platform.files();
    Win32Error error = files.shellMove(std::string(SETUP_TEMP_DIR) + "\\*.*", SETUP_PROGRAM_DIR);
    Win32Error images = files.shellMove(std::string(SETUP_PROGRAM_DIR) + "\\*.bmp", SETUP_ICON_DIR);
    Win32Error icons = files.shellMove(std::string(SETUP_PROGRAM_DIR) + "\\*.ico", SETUP_ICON_DIR);
    // A payload may lack either kind of image; only a move that found something can fail.
    for (Win32Error step : {images, icons}) {
        if (error == WIN_OK && step != WIN_FILE_NOT_FOUND) {
            error = step;
        }
    }
    return error;
}

bool FileOperations::RunAndWait(const std::string& file, const std::string& parameters) {
    m_redistBaseline = RedistLeftovers();
    m_redistBaselineTaken = true;
    return m_platform.processes().runAndWait(file, parameters) == WIN_OK;
}

void FileOperations::DeleteSetupTools() {
    FileSystem& files = m_platform.files();
    for (const char* tool : theSetupTools) {
        if (files.findFile(tool)) {
            files.shellDelete(tool);
        }
    }
    files.shellDelete(theSetupScripts);
}

void FileOperations::SweepRedistLeftovers() {
    if (!m_redistBaselineTaken) {
        return;  // no program ran, so nothing at a drive root can be its leftover
    }
    FileSystem& files = m_platform.files();
    for (const char* drive : theSweptDrives) {
        if (NewMatches(std::string(drive) + theRedistLeftovers[0]).empty()) {
            continue;
        }
        for (const char* pattern : theRedistLeftovers) {
            for (const std::string& path : NewMatches(std::string(drive) + pattern)) {
                files.shellDelete(path);
            }
        }
    }
}

std::vector<std::string> FileOperations::RedistLeftovers() {
    std::vector<std::string> found;
    for (const char* drive : theSweptDrives) {
        for (const char* pattern : theRedistLeftovers) {
            std::vector<std::string> matches;
            m_platform.files().listMatches(std::string(drive) + pattern, matches);
            found.insert(found.end(), matches.begin(), matches.end());
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

std::vector<std::string> FileOperations::NewMatches(const std::string& pattern) {
    std::vector<std::string> matches;
    m_platform.files().listMatches(pattern, matches);
    std::erase_if(matches, [&](const std::string& path) {
        return std::binary_search(m_redistBaseline.begin(), m_redistBaseline.end(), path);
    });
    return matches;
}
