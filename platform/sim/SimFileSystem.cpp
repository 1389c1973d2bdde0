#include "platform/sim/SimFileSystem.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include <sys/stat.h>
#include <unistd.h>

#include "paths/WindowsPaths.h"
#include "platform/posix/HostFileSystem.h"

SimFileSystem::SimFileSystem(SimMachine& machine) : m_machine(machine) {}

namespace {

// Running programs on the machine: this one, and the setup program that started it and waits
// for it (a kept setup program runs its copy so). Windows deletes neither, nor a folder that
// holds one; it renames a running program within its volume.
bool HoldsRunningProgram(const std::string& host) {
    struct stat running[2] = {};
    std::string images[2] = {"/proc/self/exe", "/proc/" + std::to_string(::getppid()) + "/exe"};
    auto isRunning = [&](const std::filesystem::path& path) {
        struct stat item {};
        if (::lstat(path.c_str(), &item) != 0 || !S_ISREG(item.st_mode)) {
            return false;
        }
        for (int i = 0; i < 2; ++i) {
            if (::stat(images[i].c_str(), &running[i]) == 0 && running[i].st_dev == item.st_dev &&
                running[i].st_ino == item.st_ino) {
                return true;
            }
        }
        return false;
    };
    std::error_code failed;
    if (!std::filesystem::is_directory(std::filesystem::symlink_status(host, failed))) {
        return isRunning(host);
    }
    for (auto it = std::filesystem::recursive_directory_iterator(host, failed);
         !failed && it != std::filesystem::recursive_directory_iterator(); it.increment(failed)) {
        if (isRunning(it->path())) {
            return true;
        }
    }
    return false;
}

// A removal that would take a running program (or the folder that holds it) is refused.
template <typename Remove>
auto UnlessRunning(Remove remove) {
    return [remove](const std::string& host) {
        return HoldsRunningProgram(host) ? WIN_ACCESS_DENIED : remove(host);
    };
}

}  // namespace

Win32Error SimFileSystem::record(const char* kind, const String& detail, Win32Error outcome) {
    m_machine.journal(kind, detail + " = " + ToString(outcome));
    return outcome;
}

Win32Error SimFileSystem::open(TextRef pathText, FileMode mode, std::unique_ptr<File>& file) {
    const String path(pathText);
    if (mode == FileMode::DeleteCheck && Listed("held-open.txt", path)) {
        return WIN_SHARING_VIOLATION;
    }
    std::string host;
    // The program's own file by its host path, when it runs from outside the machine.
    std::string module = m_machine.modulePath();
    bool reading = mode == FileMode::ReadShared || mode == FileMode::ReadLocked;
    if (reading && !module.empty() && path == std::string_view(module)) {
        host = module;
    } else if (Win32Error error = m_machine.hostPath(path, host); error != WIN_OK) {
        return error;
    }
    return HostFile::Open(host, mode, file);
}

// Does `act` on the path's host file; the journal line says what was asked and what came of it.
template <typename Act>
Win32Error SimFileSystem::onHost(const char* kind, const String& path, Act act) {
    std::string host;
    Win32Error error = m_machine.hostPath(TrimSeparators(path), host);
    return record(kind, path, error != WIN_OK ? error : act(host));
}

Win32Error SimFileSystem::removeFile(TextRef pathText) {
    const String path(pathText);
    return onHost("remove-file", path, [&](const std::string& host) {
        return HostExists(host) && Guarded("undeletable.txt", path)
                   ? WIN_ACCESS_DENIED
                   : UnlessRunning(HostRemoveFile)(host);
    });
}

Win32Error SimFileSystem::createDirectory(TextRef pathText) {
    const String path(pathText);
    return onHost("create-directory", path, HostCreateDirectory);
}

Win32Error SimFileSystem::createPrivateDirectory(TextRef pathText) {
    const String path(pathText);
    return onHost("create-private-directory", path, HostCreatePrivateDirectory);
}

Win32Error SimFileSystem::removeTree(TextRef pathText) {
    const String path(pathText);
    return onHost("remove-tree", path, [&](const std::string& host) {
        return HostExists(host) && Guarded("undeletable.txt", path)
                   ? WIN_ACCESS_DENIED
                   : UnlessRunning(HostRemoveTree)(host);
    });
}

Win32Error SimFileSystem::moveFile(TextRef fromText, TextRef toText, bool replace) {
    const String from(fromText);
    const String to(toText);
    std::string hostFrom;
    std::string hostTo;
    Win32Error error = m_machine.hostPath(TrimSeparators(from), hostFrom);
    if (error == WIN_OK && HostExists(hostFrom) && Guarded("unmovable.txt", from)) {
        error = WIN_ACCESS_DENIED;
    }
    if (error == WIN_OK) {
        error = m_machine.hostPath(TrimSeparators(to), hostTo);
    }
    if (error == WIN_OK && std::filesystem::is_directory(hostFrom) &&
        HoldsRunningProgram(hostFrom)) {
        error = WIN_ACCESS_DENIED;
    }
    return record("rename", from + " -> " + to,
                  error != WIN_OK ? error : HostRename(hostFrom, hostTo, replace));
}

Win32Error SimFileSystem::pathInfo(TextRef pathText, PathInfo& info) {
    const String path(pathText);
    std::string host;
    Win32Error error = m_machine.hostPath(TrimSeparators(path), host);
    if (error == WIN_OK && (error = HostPathInfo(host, info)) == WIN_OK) {
        info.trusted = !Listed("user-owned.txt", path);
    }
    return error;
}

// Whether a list in the machine's folder names the Windows path, one a line: user-owned.txt for
// what an ordinary user made (or planted), held-open.txt for files another program holds open
// without sharing their deletion.
bool SimFileSystem::Listed(const char* listName, const String& path) const {
    std::ifstream list(m_machine.root() + "/" + listName);
    for (std::string line; std::getline(list, line);) {
        if (EqualsIgnoringCase(TrimSeparators(line), TrimSeparators(path))) {
            return true;
        }
    }
    return false;
}

// A listed path is guarded with all it holds, and so is every folder that holds it: neither can
// go without it.
bool SimFileSystem::Guarded(const char* listName, const String& path) const {
    std::ifstream list(m_machine.root() + "/" + listName);
    String asked = TrimSeparators(path);
    for (std::string line; std::getline(list, line);) {
        String guarded = TrimSeparators(line);
        if (guarded.empty()) {
            continue;
        }
        const String& inner = asked.size() < guarded.size() ? guarded : asked;
        const String& outer = asked.size() < guarded.size() ? asked : guarded;
        if (EqualsIgnoringCase(inner.substr(0, outer.size()), outer) &&
            (inner.size() == outer.size() || inner[outer.size()] == '\\')) {
            return true;
        }
    }
    return false;
}

// No restart comes on the simulated machine: the request is journaled for the tests to see.
Win32Error SimFileSystem::deleteAtRestart(TextRef pathText) {
    const String path(pathText);
    return onHost("delete-at-restart", path, [](const std::string& host) {
        return HostExists(host) ? WIN_OK : WIN_FILE_NOT_FOUND;
    });
}

Win32Error SimFileSystem::matches(const String& pattern, std::vector<String>& windowsPaths,
                                  std::vector<std::string>& hostPaths) {
    windowsPaths.clear();
    hostPaths.clear();
    String folder;
    String name;
    SplitWindowsPath(pattern, folder, name);
    std::string host;
    if (!HasWildcards(name)) {
        String path = TrimSeparators(pattern);
        if (Win32Error error = m_machine.hostPath(path, host); error != WIN_OK) {
            return error;
        }
        if (!HostExists(host)) {
            std::string hostFolder = host.substr(0, host.find_last_of('/'));
            return HostExists(hostFolder) ? WIN_FILE_NOT_FOUND : WIN_PATH_NOT_FOUND;
        }
        windowsPaths.push_back(path);
        hostPaths.push_back(host);
        return WIN_OK;
    }
    if (Win32Error error = m_machine.hostPath(folder, host); error != WIN_OK) {
        return error;
    }
    std::vector<std::string> names;
    if (Win32Error error = HostListNames(host, std::string(name), names); error != WIN_OK) {
        return error;
    }
    for (const std::string& match : names) {
        windowsPaths.push_back(folder + "\\" + std::string_view(match));
        hostPaths.push_back(host + "/" + match);
    }
    return names.empty() ? WIN_FILE_NOT_FOUND : WIN_OK;
}

Win32Error SimFileSystem::listItems(TextRef patternText, std::vector<FolderItem>& items) {
    const String pattern(patternText);
    std::vector<String> windowsPaths;
    std::vector<std::string> hostPaths;
    Win32Error error = matches(pattern, windowsPaths, hostPaths);
    items.clear();
    for (std::size_t i = 0; i < windowsPaths.size(); ++i) {
        items.push_back(HostFolderItem(std::move(windowsPaths[i]), hostPaths[i]));
        if (items.back().kind == PathKind::Link && ListedAsFolder(items.back().path)) {
            items.back().kind = PathKind::Folder;
        }
    }
    return error;
}

// A link that listed-as-folders.txt names: listings call it a folder.
bool SimFileSystem::ListedAsFolder(const String& path) const {
    return Listed("listed-as-folders.txt", path);
}

// The shell goes into what its listing calls a folder: into a link that listings call one, it
// deletes what the link points at, then the link. Only inside the machine.
Win32Error SimFileSystem::ShellRemove(const String& path, const std::string& host) {
    namespace fs = std::filesystem;
    std::error_code failed;
    fs::file_status status = fs::symlink_status(host, failed);
    bool listedFolder =
        fs::is_directory(status) || (fs::is_symlink(status) && ListedAsFolder(path));
    if (!listedFolder) {
        return UnlessRunning(HostRemoveTree)(host);
    }
    std::string inside = host;
    if (fs::is_symlink(status)) {
        inside = fs::canonical(host, failed).string();
        std::string machine = fs::canonical(m_machine.root(), failed).string() + "/";
        if (failed || inside.compare(0, machine.size(), machine) != 0) {
            return WIN_ACCESS_DENIED;
        }
    }
    std::vector<std::string> names;
    HostListNames(inside, "*", names);
    for (const std::string& name : names) {
        if (Win32Error error =
                ShellRemove(path + "\\" + std::string_view(name), inside + "/" + name);
            error != WIN_OK) {
            return error;
        }
    }
    return UnlessRunning(HostRemoveTree)(host);
}

Win32Error SimFileSystem::shellMove(TextRef fromPatternText, TextRef toFolderText) {
    const String fromPattern(fromPatternText);
    const String toFolder(toFolderText);
    String detail = fromPattern + " -> " + toFolder;
    std::vector<String> windowsPaths;
    std::vector<std::string> hostPaths;
    std::string target;
    Win32Error error = m_machine.hostPath(TrimSeparators(toFolder), target);
    if (error == WIN_OK) {
        error = matches(fromPattern, windowsPaths, hostPaths);
    }
    if (error == WIN_OK && !HostExists(target)) {
        // The shell creates a missing destination folder, parents included, without asking.
        std::error_code created;
        std::filesystem::create_directories(target, created);
        error = created ? Win32ErrorFromErrno(created.value()) : WIN_OK;
    }
    for (size_t i = 0; error == WIN_OK && i < hostPaths.size(); ++i) {
        error = HostMoveInto(hostPaths[i], target);
    }
    return record("shell-move", detail, error);
}

Win32Error SimFileSystem::shellDelete(TextRef patternText) {
    const String pattern(patternText);
    std::vector<String> windowsPaths;
    std::vector<std::string> hostPaths;
    Win32Error error = matches(pattern, windowsPaths, hostPaths);
    for (size_t i = 0; error == WIN_OK && i < hostPaths.size(); ++i) {
        error = Guarded("undeletable.txt", windowsPaths[i])
                    ? WIN_ACCESS_DENIED
                    : ShellRemove(windowsPaths[i], hostPaths[i]);
    }
    return record("shell-delete", pattern, error);
}

Win32Error SimFileSystem::modulePath(String& path) {
    std::string module = m_machine.modulePath();
    if (module.empty()) {
        return WIN_FILE_NOT_FOUND;
    }
    path = module;
    // A program inside the machine (the kept setup program, its copy) knows its Windows path.
    std::error_code failed;
    std::filesystem::path relative =
        std::filesystem::weakly_canonical(module, failed)
            .lexically_relative(std::filesystem::weakly_canonical(m_machine.root(), failed));
    std::string drive = relative.empty() ? "" : relative.begin()->string();
    if (!failed && (drive == "C" || drive == "D" || drive == "E")) {
        path = drive + ":";
        for (auto part = std::next(relative.begin()); part != relative.end(); ++part) {
            path += '\\';
            path += part->string();
        }
    }
    return WIN_OK;
}

Win32Error SimFileSystem::systemDirectory(String& path) {
    path = "C:\\Windows\\System32";
    return WIN_OK;
}

Win32Error SimFileSystem::tempDirectory(String& path) {
    path = "C:\\Windows\\Temp\\";
    return WIN_OK;
}
