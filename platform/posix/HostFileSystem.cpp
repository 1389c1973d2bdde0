#include "platform/posix/HostFileSystem.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <filesystem>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "paths/WindowsPaths.h"

namespace {

std::string ParentOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string HostForm(std::string path) {
    for (char& c : path) {
        if (c == '\\') {
            c = '/';
        }
    }
    return path;
}

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Windows tells a missing file (2) from a missing folder on the way (3).
Win32Error NotFound(const std::string& path) {
    return IsDirectory(ParentOf(path)) ? WIN_FILE_NOT_FOUND : WIN_PATH_NOT_FOUND;
}

Win32Error FromErrno(int error, const std::string& path) {
    if (error == ENOENT) {
        return NotFound(path);
    }
    return Win32ErrorFromErrno(error);
}

Win32Error MergeFolder(const std::string& source, const std::string& target) {
    std::vector<std::string> names;
    if (Win32Error error = HostListNames(source, "*", names); error != WIN_OK) {
        return error;
    }
    for (const std::string& name : names) {
        if (Win32Error error = HostMoveInto(source + "/" + name, target); error != WIN_OK) {
            return error;
        }
    }
    return ::rmdir(source.c_str()) == 0 ? WIN_OK : Win32ErrorFromErrno(errno);
}

bool HostIsLink(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

}  // namespace

Win32Error Win32ErrorFromErrno(int error) {
    switch (error) {
        case 0:
            return WIN_OK;
        case ENOENT:
            return WIN_FILE_NOT_FOUND;
        case ENOTDIR:
            return WIN_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EISDIR:
        case EROFS:
        case ELOOP:
            return WIN_ACCESS_DENIED;
        case EEXIST:
            return WIN_ALREADY_EXISTS;
        case ENOTEMPTY:
            return WIN_DIR_NOT_EMPTY;
        case ENOSPC:
        case EDQUOT:
            return WIN_DISK_FULL;
        case ENOMEM:
            return WIN_NOT_ENOUGH_MEMORY;
        case EINVAL:
            return WIN_INVALID_PARAMETER;
        case ENAMETOOLONG:
            return WIN_INVALID_NAME;
        case EBADF:
            return WIN_INVALID_HANDLE;
        default:
            return WIN_ACCESS_DENIED;
    }
}

HostFile::~HostFile() {
    ::close(m_fd);
}

Win32Error HostFile::read(void* buffer, std::uint32_t count, std::uint32_t& bytesRead) {
    bytesRead = 0;
    auto* bytes = static_cast<unsigned char*>(buffer);
    while (bytesRead < count) {
        ssize_t got = ::read(m_fd, bytes + bytesRead, count - bytesRead);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return Win32ErrorFromErrno(errno);
        }
        if (got == 0) {
            break;
        }
        bytesRead += static_cast<std::uint32_t>(got);
    }
    return WIN_OK;
}

Win32Error HostFile::flush() {
    return ::fsync(m_fd) == 0 ? WIN_OK : Win32ErrorFromErrno(errno);
}

Win32Error HostFile::write(const void* buffer, std::uint32_t count) {
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    std::uint32_t done = 0;
    while (done < count) {
        ssize_t put = ::write(m_fd, bytes + done, count - done);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return put == 0 ? WIN_DISK_FULL : Win32ErrorFromErrno(errno);
        }
        done += static_cast<std::uint32_t>(put);
    }
    return WIN_OK;
}

Win32Error HostFile::seek(std::int64_t offset, SeekOrigin origin) {
    int whence = origin == SeekOrigin::Begin ? SEEK_SET
                 : origin == SeekOrigin::End ? SEEK_END
                                             : SEEK_CUR;
    // Windows refuses a position before the start with 131; the callers only see a failure.
    if (::lseek(m_fd, static_cast<off_t>(offset), whence) < 0) {
        return errno == EINVAL ? WIN_INVALID_PARAMETER : Win32ErrorFromErrno(errno);
    }
    return WIN_OK;
}

Win32Error HostFile::length(std::uint64_t& bytes) {
    struct stat info {};
    if (::fstat(m_fd, &info) != 0) {
        return Win32ErrorFromErrno(errno);
    }
    bytes = static_cast<std::uint64_t>(info.st_size);
    return WIN_OK;
}

Win32Error HostFile::Open(const std::string& path, FileMode mode, std::unique_ptr<File>& file) {
    bool reading = mode == FileMode::ReadShared || mode == FileMode::ReadLocked ||
                   mode == FileMode::DeleteCheck;
    if (reading && IsDirectory(path)) {
        return WIN_ACCESS_DENIED;  // Windows cannot open a folder as a file either
    }
    // A link where a file is to be written goes as a link; O_NOFOLLOW refuses one that appears
    // in the meantime instead of writing through it. A new file is made only where nothing is.
    int flags = O_CLOEXEC;
    if (reading) {
        flags |= O_RDONLY;
    } else if (mode == FileMode::CreateNew) {
        flags |= O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW;
    } else {
        flags |= O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW;
        if (HostIsLink(path) && ::unlink(path.c_str()) != 0) {
            return FromErrno(errno, path);
        }
    }
    int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0) {
        return errno == EEXIST ? WIN_FILE_EXISTS : FromErrno(errno, path);
    }
    file = std::make_unique<HostFile>(fd);
    return WIN_OK;
}

Win32Error HostRemoveFile(const std::string& path) {
    if (IsDirectory(path)) {
        return WIN_ACCESS_DENIED;
    }
    return ::unlink(path.c_str()) == 0 ? WIN_OK : FromErrno(errno, path);
}

Win32Error HostCreateDirectory(const std::string& path) {
    return ::mkdir(path.c_str(), 0755) == 0 ? WIN_OK : FromErrno(errno, path);
}

Win32Error HostCreatePrivateDirectory(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0) {
        return WIN_ALREADY_EXISTS;
    }
    // Owner only: the nearest host equivalent of an access list for administrators alone.
    return ::mkdir(path.c_str(), 0700) == 0 ? WIN_OK : FromErrno(errno, path);
}

Win32Error HostRemoveTree(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return FromErrno(errno, path);
    }
    // remove_all never follows a symbolic link: the link itself goes.
    std::error_code error;
    std::filesystem::remove_all(path, error);
    return error ? Win32ErrorFromErrno(error.value()) : WIN_OK;
}

bool HostExists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

Win32Error HostRename(const std::string& from, const std::string& to, bool replace) {
    if (!HostExists(from)) {
        return NotFound(from);
    }
    // rename(2) would replace an empty folder or a file of the new name without a word.
    if (!replace && HostExists(to)) {
        return WIN_ALREADY_EXISTS;
    }
    return ::rename(from.c_str(), to.c_str()) == 0 ? WIN_OK : FromErrno(errno, to);
}

Win32Error HostPathInfo(const std::string& path, PathInfo& info) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
        return FromErrno(errno, path);
    }
    info.kind = S_ISREG(status.st_mode)   ? PathKind::File
                : S_ISDIR(status.st_mode) ? PathKind::Folder
                : S_ISLNK(status.st_mode) ? PathKind::Link
                                          : PathKind::Other;
    info.size = static_cast<std::uint64_t>(status.st_size);
    info.volume = static_cast<std::uint64_t>(status.st_dev);
    info.fileId = static_cast<std::uint64_t>(status.st_ino);
    info.links = static_cast<std::uint32_t>(status.st_nlink);
    // Only the account that runs the program and root stand for administrators here.
    info.trusted = status.st_uid == ::geteuid() || status.st_uid == 0;
    return WIN_OK;
}

FolderItem HostFolderItem(String path, const std::string& hostPath) {
    PathInfo info;
    HostPathInfo(hostPath, info);  // an item gone since the listing stays a file of no bytes
    return {std::move(path), info.kind, info.kind == PathKind::File ? info.size : 0};
}

Win32Error HostListNames(const std::string& folder, const std::string& pattern,
                         std::vector<std::string>& names) {
    names.clear();
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return errno == EACCES ? WIN_ACCESS_DENIED : WIN_PATH_NOT_FOUND;
    }
    while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != ".." && MatchesWildcard(pattern, name)) {
            names.push_back(name);
        }
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return WIN_OK;
}

Win32Error HostMoveInto(const std::string& source, const std::string& folder) {
    // Windows names ignore case: "a.bmp" replaces an existing "A.BMP", keeping its spelling.
    std::vector<std::string> existing;
    HostListNames(folder, NameOf(source), existing);
    std::string target = folder + "/" + (existing.empty() ? NameOf(source) : existing.front());
    if (target == source) {
        return WIN_OK;
    }
    bool sourceIsFolder = IsDirectory(source);
    if (HostExists(target)) {
        if (sourceIsFolder && IsDirectory(target)) {
            return MergeFolder(source, target);
        }
        if (sourceIsFolder != IsDirectory(target)) {
            return WIN_ALREADY_EXISTS;
        }
    }
    if (::rename(source.c_str(), target.c_str()) == 0) {
        return WIN_OK;
    }
    if (errno != EXDEV) {
        return FromErrno(errno, source);
    }
    // Another host file system: copy, then remove the original.
    std::error_code error;
    std::filesystem::copy(source, target,
                          std::filesystem::copy_options::recursive |
                              std::filesystem::copy_options::overwrite_existing |
                              std::filesystem::copy_options::copy_symlinks,
                          error);
    if (error) {
        return Win32ErrorFromErrno(error.value());
    }
    return HostRemoveTree(source);
}

// --- HostFileSystem ------------------------------------------------------------------------

Win32Error HostFileSystem::open(TextRef pathText, FileMode mode, std::unique_ptr<File>& file) {
    const std::string path(pathText);
    return HostFile::Open(HostForm(path), mode, file);
}

Win32Error HostFileSystem::removeFile(TextRef pathText) {
    const std::string path(pathText);
    return HostRemoveFile(HostForm(path));
}

Win32Error HostFileSystem::createDirectory(TextRef pathText) {
    const std::string path(pathText);
    return HostCreateDirectory(HostForm(path));
}

Win32Error HostFileSystem::createPrivateDirectory(TextRef pathText) {
    const std::string path(pathText);
    return HostCreatePrivateDirectory(HostForm(path));
}

Win32Error HostFileSystem::removeTree(TextRef pathText) {
    const std::string path(pathText);
    return HostRemoveTree(HostForm(path));
}

Win32Error HostFileSystem::listItems(TextRef windowsPatternText, std::vector<FolderItem>& items) {
    const std::string windowsPattern(windowsPatternText);
    items.clear();
    std::string pattern = HostForm(windowsPattern);
    if (pattern.empty()) {
        return WIN_FILE_NOT_FOUND;
    }
    String folder;
    String name;
    SplitWindowsPath(String(pattern), folder, name);
    if (!HasWildcards(name)) {
        std::string path = pattern;
        while (path.size() > 1 && path.back() == '/') {
            path.pop_back();
        }
        if (!HostExists(path)) {
            return NotFound(path);
        }
        items.push_back(HostFolderItem(path, path));
        return WIN_OK;
    }
    std::string hostFolder = folder.empty() && pattern[0] != '/' ? "."
                             : folder.empty()                    ? "/"
                                                                 : std::string(folder);
    std::vector<std::string> names;
    if (Win32Error error = HostListNames(hostFolder, std::string(name), names); error != WIN_OK) {
        return error;
    }
    for (const std::string& match : names) {
        std::string path =
            folder.empty() && pattern[0] != '/' ? match : std::string(folder) + "/" + match;
        items.push_back(HostFolderItem(path, path));
    }
    return items.empty() ? WIN_FILE_NOT_FOUND : WIN_OK;
}

Win32Error HostFileSystem::shellMove(TextRef fromPatternText, TextRef toPathText) {
    const std::string fromPattern(fromPatternText);
    const std::string toPath(toPathText);
    std::string toFolder = HostForm(toPath);
    std::vector<FolderItem> items;
    if (Win32Error error = listItems(fromPattern.c_str(), items); error != WIN_OK) {
        return error;
    }
    if (!IsDirectory(toFolder)) {
        std::error_code error;
        std::filesystem::create_directories(toFolder, error);
        if (error) {
            return Win32ErrorFromErrno(error.value());
        }
    }
    for (const FolderItem& item : items) {
        if (Win32Error error = HostMoveInto(std::string(item.path), toFolder); error != WIN_OK) {
            return error;
        }
    }
    return WIN_OK;
}

Win32Error HostFileSystem::shellDelete(TextRef patternText) {
    const std::string pattern(patternText);
    std::vector<FolderItem> items;
    if (Win32Error error = listItems(pattern.c_str(), items); error != WIN_OK) {
        return error;
    }
    for (const FolderItem& item : items) {
        if (Win32Error error = HostRemoveTree(std::string(item.path)); error != WIN_OK) {
            return error;
        }
    }
    return WIN_OK;
}

Win32Error HostFileSystem::modulePath(String& path) {
    char buffer[PATH_MAX];
    ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    if (length < 0) {
        return Win32ErrorFromErrno(errno);
    }
    path.assign(buffer, static_cast<size_t>(length));
    return WIN_OK;
}

Win32Error HostFileSystem::moveFile(TextRef fromText, TextRef toText, bool replace) {
    const std::string from(fromText);
    const std::string to(toText);
    return HostRename(HostForm(from), HostForm(to), replace);
}

Win32Error HostFileSystem::systemDirectory(String& path) {
    path.clear();
    return WIN_NOT_SUPPORTED;
}

Win32Error HostFileSystem::tempDirectory(String& path) {
    std::error_code error;
    std::string temp = std::filesystem::temp_directory_path(error).string();
    if (error) {
        return Win32ErrorFromErrno(error.value());
    }
    path = temp.empty() || temp.back() == '/' ? temp : temp + "/";
    return WIN_OK;
}

Win32Error HostFileSystem::pathInfo(TextRef pathText, PathInfo& info) {
    const std::string path(pathText);
    return HostPathInfo(HostForm(path), info);
}

// Linux has no pending deletions; the tools never need one.
Win32Error HostFileSystem::deleteAtRestart(TextRef pathText) {
    const std::string path(pathText);
    (void)path;
    return WIN_NOT_SUPPORTED;
}

bool standardOutputIsTerminal() {
    return ::isatty(STDOUT_FILENO) != 0;
}

std::unique_ptr<FileSystem> createNativeFileSystem() {
    return std::make_unique<HostFileSystem>();
}
