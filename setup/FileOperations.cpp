#include "setup/FileOperations.h"

#include <algorithm>
#include <array>
#include <memory>

#include "platform/WindowsPaths.h"
#include "setup/ProductPaths.h"

namespace {

enum : int {
    DIRECTORY_WAIT_PAUSE = 123,
    DIRECTORY_WAIT_CHECKS = 9,
};

// In deletion order; then the scripts.
const std::array<const char*, 5> theSetupTools = {"Close_ZIL.exe", "MOFINS.exe", "MOFUINS.exe",
                                                  "mofcomp.exe", "vcredist_x86.exe"};
const char* const theSetupScripts = "*.mof";

const std::array<const char*, 3> theSweptDrives = {"C:\\", "D:\\", "E:\\"};
// The first pattern decides whether a drive is swept at all.
const std::array<const char*, 4> theRedistLeftovers = {"eula.*", "install.*", "VC_RED.*",
                                                       "vcredist.*"};

}  // namespace

FileOperations::FileOperations(Platform& platform) : m_platform(platform) {}

Win32Error FileOperations::EnsureDirectory(const std::string& path) {
    FileSystem& files = m_platform.files();
    if (PathInfo info; files.pathInfo(path, info) == WIN_OK && info.kind == PathKind::Link) {
        if (Win32Error error = files.removeTree(path); error != WIN_OK) {
            return error;
        }
    }
    Win32Error created = WIN_OK;
    if (!files.findFile(path)) {
        created = CreateWithParents(path);
    }
    // A folder the shell has just made can take a moment to show; give up after about a second
    // rather than wait for one that will never come.
    for (int check = 0; check < DIRECTORY_WAIT_CHECKS; ++check) {
        m_platform.clock().sleep(DIRECTORY_WAIT_PAUSE);
        if (files.findFile(path)) {
            return WIN_OK;
        }
    }
    return created != WIN_OK ? created : WIN_PATH_NOT_FOUND;
}

// A 32-bit Windows has no "Program Files (x86)": the folders on the way are made as the shell
// would make them for a move.
Win32Error FileOperations::CreateWithParents(const std::string& path) {
    FileSystem& files = m_platform.files();
    for (std::size_t at = path.find('\\', 3); at != std::string::npos;
         at = path.find('\\', at + 1)) {
        std::string parent = path.substr(0, at);
        if (!files.findFile(parent)) {
            files.createDirectory(parent);
        }
    }
    return files.createDirectory(path);
}

Win32Error FileOperations::DeleteProgramDirectory() {
    return DeleteIfPresent(SETUP_PROGRAM_DIR);
}

Win32Error FileOperations::DeleteTempDirectory() {
    return DeleteIfPresent(SETUP_TEMP_DIR);
}

Win32Error FileOperations::DeleteIfPresent(const char* path) {
    if (!m_platform.files().findFile(path)) {
        return WIN_OK;
    }
    return m_platform.files().shellDelete(path);
}

Win32Error FileOperations::MoveFilesIntoPlace() {
    FileSystem& files = m_platform.files();
    std::vector<std::string> extracted;
    Win32Error error = files.listMatches(std::string(SETUP_TEMP_DIR) + "\\*.*", extracted);
    for (const std::string& item : extracted) {
        // The old program folder waits beside the extracted files; it is not part of the payload.
        if (EqualsIgnoringCase(item, SETUP_SET_ASIDE_DIR) ||
            EqualsIgnoringCase(item, SETUP_RETIRED_DIR)) {
            continue;
        }
        if (error == WIN_OK) {
            error = files.shellMove(item, SETUP_PROGRAM_DIR);
        }
    }
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

Win32Error FileOperations::SetAsideProgramDirectory() {
    FileSystem& files = m_platform.files();
    if (!files.findFile(SETUP_PROGRAM_DIR)) {
        return WIN_OK;
    }
    return files.moveFile(SETUP_PROGRAM_DIR, SETUP_SET_ASIDE_DIR, false);
}

bool FileOperations::HasSetAside() {
    return m_platform.files().findFile(SETUP_SET_ASIDE_DIR);
}

Win32Error FileOperations::RestoreProgramDirectory() {
    FileSystem& files = m_platform.files();
    Win32Error removed =
        files.findFile(SETUP_PROGRAM_DIR) ? files.removeTree(SETUP_PROGRAM_DIR) : WIN_OK;
    if (!HasSetAside()) {
        return removed;
    }
    if (files.moveFile(SETUP_SET_ASIDE_DIR, SETUP_PROGRAM_DIR, false) == WIN_OK) {
        return WIN_OK;
    }
    // Renames are refused (or what is left of the new folder is in the way): the old files go
    // back one by one, over the new ones, and the old folder is kept until they are.
    Win32Error error =
        files.findFile(SETUP_PROGRAM_DIR)
            ? files.shellMove(std::string(SETUP_SET_ASIDE_DIR) + "\\*.*", SETUP_PROGRAM_DIR)
            : CopyTree(SETUP_SET_ASIDE_DIR, SETUP_PROGRAM_DIR);
    if (error == WIN_OK) {
        files.removeTree(SETUP_SET_ASIDE_DIR);
    }
    return error;
}

Win32Error FileOperations::RetireSetAside() {
    FileSystem& files = m_platform.files();
    if (!HasSetAside() || files.moveFile(SETUP_SET_ASIDE_DIR, SETUP_RETIRED_DIR, false) == WIN_OK) {
        return WIN_OK;
    }
    return files.removeTree(SETUP_SET_ASIDE_DIR);
}

Win32Error FileOperations::CopyTree(const std::string& from, const std::string& to) {
    FileSystem& files = m_platform.files();
    if (Win32Error error = files.createDirectory(to);
        error != WIN_OK && error != WIN_ALREADY_EXISTS) {
        return error;
    }
    std::vector<std::string> items;
    files.listMatches(from + "\\*", items);
    for (const std::string& item : items) {
        std::string target = to + item.substr(from.size());
        Win32Error error =
            files.isDirectory(item) ? CopyTree(item, target) : CopyFile(item, target);
        if (error != WIN_OK) {
            return error;
        }
    }
    return WIN_OK;
}

Win32Error FileOperations::CopyFile(const std::string& from, const std::string& to) {
    FileSystem& files = m_platform.files();
    std::unique_ptr<File> source;
    std::unique_ptr<File> target;
    if (Win32Error error = files.open(from, FileMode::ReadShared, source); error != WIN_OK) {
        return error;
    }
    if (Win32Error error = files.open(to, FileMode::CreateWrite, target); error != WIN_OK) {
        return error;
    }
    std::array<unsigned char, 4096> buffer{};
    while (true) {
        std::uint32_t got = 0;
        if (Win32Error error = source->read(buffer.data(), buffer.size(), got); error != WIN_OK) {
            return error;
        }
        if (got == 0) {
            return WIN_OK;
        }
        if (Win32Error error = target->write(buffer.data(), got); error != WIN_OK) {
            return error;
        }
    }
}

int FileOperations::CompileMof(const std::string& script) {
    std::string system;
    if (m_platform.files().systemDirectory(system) != WIN_OK) {
        return -1;
    }
    std::string compiler = system + "\\wbem\\mofcomp.exe";
    if (compiler.find(' ') != std::string::npos) {
        compiler = "\"" + compiler + "\"";
    }
    return m_platform.processes().runCommand(compiler + " " + script);
}

bool FileOperations::RunAndWait(const std::string& file, const std::string& parameters) {
    m_redistBaseline = RedistLeftovers();
    m_redistBaselineTaken = true;
    return m_platform.processes().runAndWait(file, parameters) == WIN_OK;
}

void FileOperations::DeleteSetupTools() {
    FileSystem& files = m_platform.files();
    for (const char* tool : theSetupTools) {
        std::string path = std::string(SETUP_PROGRAM_DIR) + "\\" + tool;
        if (files.findFile(path)) {
            files.shellDelete(path);
        }
    }
    files.shellDelete(std::string(SETUP_PROGRAM_DIR) + "\\" + theSetupScripts);
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
    return found;
}

std::vector<std::string> FileOperations::NewMatches(const std::string& pattern) {
    std::vector<std::string> matches;
    m_platform.files().listMatches(pattern, matches);
    // A handful of names at most: a plain search does.
    std::erase_if(matches, [&](const std::string& path) {
        return std::find(m_redistBaseline.begin(), m_redistBaseline.end(), path) !=
               m_redistBaseline.end();
    });
    return matches;
}
