// Directories, the shell's moves and deletes, and the one child program of the install. None of
// these reports anything: the sequences go on whatever the outcome.

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "shell/SetupDialog.h"

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

void SetupDialog::EnsureDirectory(const std::string& path) {
    FileSystem& files = m_platform.files();
    if (!files.findFile(path)) {
        files.createDirectory(path);
    }
    // A directory the shell has just made can take a moment to show; give up after about a
    // second rather than wait for one that will never come.
    for (int check = 0; check < DIRECTORY_WAIT_CHECKS; ++check) {
        m_platform.clock().sleep(DIRECTORY_WAIT_PAUSE);
        if (files.findFile(path)) {
            break;
        }
    }
}

void SetupDialog::DeleteProgramDirectory() {
    if (m_platform.files().findFile(SETUP_PROGRAM_DIR)) {
        m_platform.files().shellDelete(SETUP_PROGRAM_DIR);
    }
}

void SetupDialog::DeleteTempDirectory() {
    if (m_platform.files().findFile(SETUP_TEMP_DIR)) {
        m_platform.files().shellDelete(SETUP_TEMP_DIR);
    }
}

void SetupDialog::MoveFilesIntoPlace() {
    FileSystem& files = m_platform.files();
    files.shellMove(std::string(SETUP_TEMP_DIR) + "\\*.*", SETUP_PROGRAM_DIR);
    files.shellMove(std::string(SETUP_PROGRAM_DIR) + "\\*.bmp", SETUP_ICON_DIR);
    files.shellMove(std::string(SETUP_PROGRAM_DIR) + "\\*.ico", SETUP_ICON_DIR);
}

bool SetupDialog::RunAndWait(const std::string& file, const std::string& parameters) {
    // What lies at the drive roots before the program starts belongs to someone else; the
    // sweep afterwards removes only what is new.
    m_redistBaseline = RedistLeftovers();
    m_redistBaselineTaken = true;
    return m_platform.processes().runAndWait(file, parameters) == WIN_OK;
}

void SetupDialog::DeleteSetupTools() {
    FileSystem& files = m_platform.files();
    for (const char* tool : theSetupTools) {
        if (files.findFile(tool)) {
            files.shellDelete(tool);
        }
    }
    files.shellDelete(theSetupScripts);
}

void SetupDialog::SweepRedistLeftovers() {
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

std::vector<std::string> SetupDialog::RedistLeftovers() {
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

std::vector<std::string> SetupDialog::NewMatches(const std::string& pattern) {
    std::vector<std::string> matches;
    m_platform.files().listMatches(pattern, matches);
    std::erase_if(matches, [&](const std::string& path) {
        return std::binary_search(m_redistBaseline.begin(), m_redistBaseline.end(), path);
    });
    return matches;
}
