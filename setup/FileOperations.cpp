#include "setup/FileOperations.h"

#include <algorithm>
#include <array>
#include <memory>

#include "paths/WindowsPaths.h"
#include "setup/ProductPaths.h"
#include "setup/StepLine.h"

namespace {

enum : int {
    DIRECTORY_WAIT_CHECKS = 9,
    // Names a substitute temporary folder may try: each one taken already was planted, and a
    // handful of unguessable names cannot all be.
    SUBSTITUTE_ATTEMPTS = 8,
};

const std::array<const char*, 3> theSweptDrives = {"C:\\", "D:\\", "E:\\"};
// The first pattern decides whether a drive is swept at all.
const std::array<const char*, 4> theRedistLeftovers = {"eula.*", "install.*", "VC_RED.*",
                                                       "vcredist.*"};

// The images among the extracted files, once they are in the program folder.
constexpr auto SETUP_PROGRAM_IMAGES = JoinPath(SETUP_PROGRAM_PATH, "*.bmp");
constexpr auto SETUP_PROGRAM_ICONS = JoinPath(SETUP_PROGRAM_PATH, "*.ico");

}  // namespace

// The stack's address adds what the clock alone would let someone guess.
std::uint64_t FreshSeed(Clock& clock) {
    std::uint64_t seed = clock.now();
    return seed ^ reinterpret_cast<std::uintptr_t>(&seed);
}

String UnguessableSuffix(std::uint64_t seed, int attempt) {
    std::uint64_t mixed = (seed + static_cast<std::uint64_t>(attempt) * 0x632BE59BD9B4E019ULL) *
                          0x9E3779B97F4A7C15ULL;
    mixed ^= mixed >> 29;
    String suffix;
    for (int shift = 28; shift >= 0; shift -= 4) {
        suffix += "0123456789abcdef"[(mixed >> shift) & 0xF];
    }
    return suffix;
}

FileOperations::FileOperations(Platform& platform)
    : m_platform(platform), m_tempDirectory(SETUP_TEMP_DIR) {}

// Whatever waits at the usual path may have been planted there (a folder with someone else's
// files, a link to elsewhere): it goes, or out of the way, and the fresh folder is one that
// nobody else may write to. Only something left at the path (which a user can keep there, by
// holding a file in it open or by its access list) earns a folder of another name; a folder that
// cannot be made at all could not be made under another name either.
TempFolder FileOperations::MakePrivateFolder(TextRef usual) {
    FileSystem& files = m_platform.files();
    TempFolder made;
    made.path = usual.c_str();
    made.cleared = RemoveOrRetire(usual);
    made.error = files.createPrivateDirectory(usual);
    PathInfo info;
    if (made.error != WIN_OK && files.pathInfo(usual, info) == WIN_OK) {
        made.substitute = true;
        made.error = MakeSubstituteFolder(usual, made.path);
    }
    return made;
}

TempFolder FileOperations::MakeTempDirectory() {
    TempFolder made = MakePrivateFolder(SETUP_TEMP_DIR);
    m_tempDirectory = made.error == WIN_OK ? made.path : String(SETUP_TEMP_DIR);
    return made;
}

Win32Error FileOperations::MakeSubstituteFolder(TextRef usual, String& made) {
    std::uint64_t seed = FreshSeed(m_platform.clock());
    Win32Error error = WIN_ALREADY_EXISTS;
    for (int attempt = 0; attempt < SUBSTITUTE_ATTEMPTS && error != WIN_OK; ++attempt) {
        String name = String(usual.c_str()) + "." + UnguessableSuffix(seed, attempt);
        error = m_platform.files().createPrivateDirectory(name);
        if (error == WIN_OK) {
            made = name;
        }
    }
    return error;
}

// The scripts' paths are fixed texts under the usual folder; the drive letter keeps its case.
String FileOperations::InTempDirectory(const String& path) const {
    std::string_view usual = SETUP_TEMP_DIR;
    std::string_view given = path;
    if (given.size() <= usual.size() || given[usual.size()] != '\\' ||
        !EqualsIgnoringCase(given.substr(0, usual.size()), usual)) {
        return path;
    }
    String moved = path.substr(0, 1);
    moved += std::string_view(m_tempDirectory).substr(1);
    moved += given.substr(usual.size());
    return moved;
}

Win32Error FileOperations::EnsureDirectory(TextRef path) {
    FileSystem& files = m_platform.files();
    if (PathInfo info; files.pathInfo(path, info) == WIN_OK && info.kind == PathKind::Link) {
        if (Win32Error error = files.removeTree(path); error != WIN_OK) {
            return error;
        }
    }
    Win32Error created = WIN_OK;
    if (!files.findFile(path)) {
        created = CreateFolders(files, path);
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

Removal FileOperations::DeleteProgramDirectory() {
    return DeleteIfPresent(SETUP_PROGRAM_DIR);
}

Removal FileOperations::DeleteTempDirectory() {
    return DeleteIfPresent(m_tempDirectory);
}

// Not the shell's delete: it goes into whatever its listing calls a folder (Wine's shell into a
// Unix symbolic link, and so deletes what it points at). The tree removal proves each folder by
// its own handle first.
Removal FileOperations::DeleteIfPresent(TextRef path) {
    if (!m_platform.files().findFile(path)) {
        return {};
    }
    return RemoveOrRetire(path);
}

Removal FileOperations::RemoveOrRetire(TextRef path) {
    Win32Error error = m_platform.files().removeTree(path);
    if (error == WIN_OK || IsMissing(error)) {
        return {};
    }
    // What is not there any more has gone, whatever the removal answered: nothing is left to
    // move aside, and nothing of someone else's to name.
    PathInfo info;
    Win32Error found = m_platform.files().pathInfo(path, info);
    if (IsMissing(found)) {
        return {};
    }
    return Retire(path.c_str(), error);
}

// What is left goes out of the way under a new name and is deleted when Windows next starts
// (the files held open then go first). Without a rename, the deletion's error stands.
Removal FileOperations::Retire(const String& path, Win32Error error) {
    if (!IsSetupsOwn(path)) {
        return SetAside(path, error);
    }
    String retired = MoveAside(path);
    if (retired.empty()) {
        return {error, Leftover::None, {}};
    }
    // A scheduling refused is told as such: the leftover then waits for a person.
    FileSystem& files = m_platform.files();
    Leftover leftover =
        files.deleteAtRestart(retired) == WIN_OK ? Leftover::AtRestart : Leftover::Stays;
    return {WIN_OK, leftover, retired};
}

// The restart deletes by name, as SYSTEM, long after this run: the owner of a tree could swap a
// folder in it for a link to anything by then. So someone else's tree is only renamed (which
// moves the name, never what a link points at), or left where it is.
Removal FileOperations::SetAside(const String& path, Win32Error error) {
    String aside = MoveAside(path);
    if (!aside.empty()) {
        return {WIN_OK, Leftover::SomeoneElses, aside};
    }
    return {error, Leftover::SomeoneElses, TrimSeparators(path)};
}

String FileOperations::MoveAside(const String& path) {
    String aside = FreeName(TrimSeparators(path) + SETUP_RETIRED_SUFFIX);
    if (!aside.empty() && m_platform.files().moveFile(path, aside, false) != WIN_OK) {
        aside.clear();
    }
    return aside;
}

// A real file or folder of Administrators, SYSTEM or this account: a folder setup made. What
// cannot be told counts as someone else's.
bool FileOperations::IsSetupsOwn(const String& path) {
    PathInfo info;
    return m_platform.files().pathInfo(path, info) == WIN_OK && info.kind != PathKind::Link &&
           info.trusted;
}

String AsideName(TextRef base, int number) {
    String name = base.c_str();
    if (number > 1) {
        name += '.';
        name += static_cast<char>('0' + number);
    }
    return name;
}

String FileOperations::FreeName(TextRef base) {
    for (int suffix = 1; suffix <= SETUP_FREE_NAME_SUFFIXES; ++suffix) {
        String name = AsideName(base, suffix);
        PathInfo info;
        Win32Error error = m_platform.files().pathInfo(name, info);
        if (IsMissing(error)) {
            return name;
        }
    }
    return "";
}

Win32Error FileOperations::MoveFilesIntoPlace() {
    FileSystem& files = m_platform.files();
    std::vector<FolderItem> extracted;
    Win32Error error = files.listItems(m_tempDirectory + "\\*.*", extracted);
    // Item by item, as the Windows layer would move a pattern anyway; the first failure stops
    // the rest.
    for (const FolderItem& item : extracted) {
        if (error == WIN_OK) {
            error = files.shellMove(item.path, SETUP_PROGRAM_DIR);
        }
    }
    Win32Error images = files.shellMove(SETUP_PROGRAM_IMAGES.data(), SETUP_ICON_DIR);
    Win32Error icons = files.shellMove(SETUP_PROGRAM_ICONS.data(), SETUP_ICON_DIR);
    // A payload may lack either kind of image; only a move that found something can fail.
    for (Win32Error step : {images, icons}) {
        if (error == WIN_OK && step != WIN_FILE_NOT_FOUND) {
            error = step;
        }
    }
    return error;
}

// A folder that is a link holds nothing of setup's: what it points at is never read through,
// and the upgrade moves or removes the link itself.
FileInUse FileOperations::FirstFileInUse(TextRef folder) {
    FileSystem& files = m_platform.files();
    if (!IsFolder(files, folder)) {
        return {};
    }
    std::vector<FolderItem> items;
    files.listItems(PathIn(folder, "*"), items);
    for (const FolderItem& item : items) {
        if (item.kind == PathKind::Link) {
            continue;
        }
        if (item.kind == PathKind::Folder) {
            if (FileInUse inUse = FirstFileInUse(item.path); inUse.error != WIN_OK) {
                return inUse;
            }
            continue;
        }
        std::unique_ptr<File> file;
        // A file gone since the listing holds nothing up.
        if (Win32Error error = files.open(item.path, FileMode::DeleteCheck, file);
            error != WIN_OK && error != WIN_FILE_NOT_FOUND) {
            return {error, item.path};
        }
    }
    return {};
}

Win32Error FileOperations::MoveBack(const String& setAside, const String& folder) {
    FileSystem& files = m_platform.files();
    if (files.moveFile(setAside, folder, false) == WIN_OK) {
        return WIN_OK;
    }
    // Renames are refused: the old files are copied back, and the old folder is kept until
    // they all are.
    Win32Error error = CopyTree(setAside, folder);
    if (error == WIN_OK) {
        RemoveOrRetire(setAside);
    }
    return error;
}

Win32Error FileOperations::CopyTree(const String& from, const String& to) {
    FileSystem& files = m_platform.files();
    if (Win32Error error = files.createDirectory(to);
        error != WIN_OK && error != WIN_ALREADY_EXISTS) {
        return error;
    }
    std::vector<FolderItem> items;
    files.listItems(from + "\\*", items);
    for (const FolderItem& item : items) {
        // A link is not copied through: what it points at is not the old installation's.
        if (item.kind != PathKind::File && !IsListedFolder(files, item)) {
            continue;
        }
        String target = to + item.path.substr(from.size());
        Win32Error error = item.kind == PathKind::Folder ? CopyTree(item.path, target)
                                                         : CopyFile(item.path, target);
        if (error != WIN_OK) {
            return error;
        }
    }
    return WIN_OK;
}

Win32Error FileOperations::KeepOwnImage(TextRef to) {
    FileSystem& files = m_platform.files();
    File* image = nullptr;
    std::unique_ptr<File> target;
    if (Win32Error error = files.ownImage(image); error != WIN_OK) {
        return error;
    }
    if (Win32Error error = image->seek(0, SeekOrigin::Begin); error != WIN_OK) {
        return error;
    }
    if (Win32Error error = files.open(to, FileMode::CreateWrite, target); error != WIN_OK) {
        return error;
    }
    // The uninstaller of an installation that may have nothing else of setup's left: it must
    // outlive a power cut that follows.
    Win32Error error = CopyRest(*image, *target).error;
    return error != WIN_OK ? error : target->flush();
}

Win32Error FileOperations::CopyFile(TextRef from, TextRef to) {
    FileSystem& files = m_platform.files();
    std::unique_ptr<File> source;
    std::unique_ptr<File> target;
    if (Win32Error error = files.open(from, FileMode::ReadShared, source); error != WIN_OK) {
        return error;
    }
    if (Win32Error error = files.open(to, FileMode::CreateWrite, target); error != WIN_OK) {
        return error;
    }
    return CopyRest(*source, *target).error;
}

int FileOperations::CompileMof(const String& script) {
    String command;
    if (m_platform.files().systemDirectory(command) != WIN_OK) {
        return -1;
    }
    command += "\\wbem\\mofcomp.exe";
    if (command.find(' ') != String::npos) {
        command.insert(0, "\"");
        command += '"';
    }
    command += ' ';
    command += InTempDirectory(script);
    return m_platform.processes().runCommand(command);
}

bool FileOperations::RunAndWait(const String& file, const String& parameters) {
    std::uint32_t exitCode = 0;
    return RunAndWait(file, parameters, exitCode);
}

bool FileOperations::RunAndWait(const String& file, const String& parameters,
                                std::uint32_t& exitCode) {
    m_redistBaseline = RedistLeftovers();
    m_redistBaselineTaken = true;
    return m_platform.processes().runForExitCode(file, parameters, exitCode) == WIN_OK;
}

void FileOperations::DeleteSetupTools() {
    FileSystem& files = m_platform.files();
    for (const char* tool : SETUP_ONLY_PROGRAMS) {
        String path = PathIn(SETUP_PROGRAM_DIR, tool);
        if (files.findFile(path)) {
            files.shellDelete(path);
        }
    }
    files.shellDelete(PathIn(SETUP_PROGRAM_DIR, SETUP_ONLY_SCRIPTS));
}

void FileOperations::SweepRedistLeftovers() {
    if (!m_redistBaselineTaken) {
        return;  // no program ran, so nothing at a drive root can be its leftover
    }
    FileSystem& files = m_platform.files();
    for (const char* drive : theSweptDrives) {
        for (const char* pattern : theRedistLeftovers) {
            std::vector<String> added = NewMatches(String(drive) + pattern);
            if (added.empty() && pattern == theRedistLeftovers[0]) {
                break;
            }
            for (const String& path : added) {
                files.shellDelete(path);
            }
        }
    }
}

std::vector<String> FileOperations::RedistLeftovers() {
    std::vector<String> found;
    for (const char* drive : theSweptDrives) {
        for (const char* pattern : theRedistLeftovers) {
            std::vector<FolderItem> matches;
            m_platform.files().listItems(String(drive) + pattern, matches);
            for (const FolderItem& match : matches) {
                found.push_back(match.path);
            }
        }
    }
    return found;
}

std::vector<String> FileOperations::NewMatches(const String& pattern) {
    std::vector<FolderItem> matches;
    m_platform.files().listItems(pattern, matches);
    // A handful of names at most: a plain search does. The installer leaves files: a folder or
    // a link of such a name is someone else's, and the shell's delete would go into it.
    std::vector<String> added;
    for (const FolderItem& match : matches) {
        if (match.kind == PathKind::File &&
            std::ranges::find(m_redistBaseline, match.path) == m_redistBaseline.end()) {
            added.push_back(match.path);
        }
    }
    return added;
}

String PathIn(TextRef folder, const char* name) {
    String path = folder.c_str();
    path += '\\';
    path += name;
    return path;
}

String InUseLine(const FileInUse& inUse) {
    if (inUse.error == WIN_SHARING_VIOLATION || inUse.error == WIN_LOCK_VIOLATION) {
        return NoteLine(inUse.path, "held open by another program");
    }
    return NoteLine(inUse.path, "cannot be checked", inUse.error);
}

String LeftoverLine(const Removal& removal) {
    switch (removal.leftover) {
        case Leftover::None:
            break;
        case Leftover::AtRestart:
            return NoteLine(removal.leftAt, "held open, deleted at the next restart");
        case Leftover::Stays:
            return NoteLine(removal.leftAt, "held open, its restart deletion refused");
        case Leftover::SomeoneElses:
            return NoteLine(removal.leftAt, "not setup's own, left alone");
    }
    return String();
}
