#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/OwnImage.h"

// An open host file descriptor; closes it when it dies. Shared with the simulated machine,
// whose files are host files below its folder.
class HostFile : public File {
public:
    explicit HostFile(int fd) : m_fd(fd) {}
    ~HostFile() override;
    HostFile(const HostFile&) = delete;
    HostFile& operator=(const HostFile&) = delete;

    Win32Error read(void* buffer, std::uint32_t count, std::uint32_t& bytesRead) override;
    Win32Error write(const void* buffer, std::uint32_t count) override;
    Win32Error seek(std::int64_t offset, SeekOrigin origin) override;
    Win32Error length(std::uint64_t& bytes) override;
    Win32Error flush() override;

    // Opens a host path; the Win32 error number of the outcome.
    static Win32Error Open(const std::string& path, FileMode mode, std::unique_ptr<File>& file);

private:
    int m_fd;
};

// The Win32 number closest to a host errno, for the cases this program meets.
Win32Error Win32ErrorFromErrno(int error);

// Host-level operations on host paths, shared by the host and the simulated file systems.
// Each returns the Win32 number of its outcome.
Win32Error HostRemoveFile(const std::string& path);
Win32Error HostCreateDirectory(const std::string& path);
// Fails with WIN_ALREADY_EXISTS when anything, a dangling link included, has the name.
Win32Error HostCreatePrivateDirectory(const std::string& path);
// A link is removed as a link; a folder with all it holds.
Win32Error HostRemoveTree(const std::string& path);
bool HostExists(const std::string& path);
// rename(2); without `replace`, never over an existing name.
Win32Error HostRename(const std::string& from, const std::string& to, bool replace);
// What a host path names, a link not followed.
Win32Error HostPathInfo(const std::string& path, PathInfo& info);
// A listing's item named `path` for what the host path names.
FolderItem HostFolderItem(String path, const std::string& hostPath);
// Names in a host folder that match a Windows wildcard pattern, sorted by byte order.
Win32Error HostListNames(const std::string& folder, const std::string& pattern,
                         std::vector<std::string>& names);
// Moves one file or folder into a folder under its own name, replacing a file of that name
// and merging into a folder of that name, as the shell does without asking.
Win32Error HostMoveInto(const std::string& source, const std::string& folder);

// Plain host paths, for the tools on Linux (sfxpack). A backslash separates as '/' does, as on
// Windows, so that paths the program builds ("DIR" + "\\" + name) land where they should;
// archive entry names never hold one. Wildcards work in the last component as on Windows;
// there is no shell, so moves and deletes act directly.
class HostFileSystem : public FileSystem {
public:
    Win32Error open(TextRef path, FileMode mode, std::unique_ptr<File>& file) override;
    Win32Error removeFile(TextRef path) override;
    Win32Error createDirectory(TextRef path) override;
    Win32Error createPrivateDirectory(TextRef path) override;
    Win32Error removeTree(TextRef path) override;
    Win32Error listItems(TextRef pattern, std::vector<FolderItem>& items) override;
    Win32Error shellMove(TextRef fromPattern, TextRef toFolder) override;
    Win32Error shellDelete(TextRef pattern) override;
    Win32Error moveFile(TextRef from, TextRef to, bool replace) override;
    Win32Error pathInfo(TextRef path, PathInfo& info) override;
    Win32Error deleteAtRestart(TextRef path) override;
    Win32Error modulePath(String& path) override;
    Win32Error ownImage(File*& image) override { return m_ownImage.Get(*this, image); }
    // Linux has no such folder.
    Win32Error systemDirectory(String& path) override;
    Win32Error tempDirectory(String& path) override;

private:
    OwnImage m_ownImage;
};
