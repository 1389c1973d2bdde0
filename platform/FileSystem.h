#pragma once

#include <cstdint>
#include <memory>
#include "text/StringType.h"
#include <vector>

#include "text/TextRef.h"
#include "platform/Win32Error.h"

// The file part of the platform layer: what the program knows of files and folders.
// Paths are Windows paths in the ANSI code page ("C:\ZIL_Setup_temp\a.bmp"); the simulated
// machine maps them below its folder, the tool build on Linux takes host paths as they stand.
// Method names are lower camel case because <windows.h> turns many Win32 names into macros.

enum class SeekOrigin { Begin, Current, End };

// An open file; the destructor closes it.
class File {
public:
    virtual ~File() = default;
    // Reads up to count bytes; bytesRead may be less than count only at the end of the file.
    virtual Win32Error read(void* buffer, std::uint32_t count, std::uint32_t& bytesRead) = 0;
    // Writes all count bytes or fails (a full disk is WIN_DISK_FULL).
    virtual Win32Error write(const void* buffer, std::uint32_t count) = 0;
    virtual Win32Error seek(std::int64_t offset, SeekOrigin origin) = 0;
    virtual Win32Error length(std::uint64_t& bytes) = 0;
    // What was written reaches the disk before this returns (a record that a later run must be
    // able to trust after a power cut). Files that never reach a disk have nothing to do.
    virtual Win32Error flush() { return WIN_OK; }
};

enum class FileMode {
    ReadShared,  // an existing file for reading; others may read and write it meanwhile
    // An existing file for reading that nobody may write, rename or delete while it is open
    // (others may read it): what is read from it is what was there when it was opened.
    ReadLocked,
    // A new file for writing, an existing one truncated; others may share it. A link at the path
    // (planted there to redirect the write) is removed as a link first, never followed.
    CreateWrite,
    // A new file for writing that must not exist yet (WIN_FILE_EXISTS when anything has the name,
    // a link included): nothing that was there is ever replaced or written through.
    CreateNew,
    // An existing file opened as its deletion would open it, neither read nor written:
    // WIN_SHARING_VIOLATION while another program holds it open without letting it go.
    DeleteCheck,
};

// What a path names, as found without following a link there.
enum class PathKind {
    File,
    Folder,
    Link,   // a symbolic link, junction or other reparse point
    Other,  // a device, pipe or socket
};

// An item of a folder listing, with what the listing itself tells of it: nothing is opened for
// it, which under Wine is a hundred times dearer than the listing.
struct FolderItem {
    String path;
    PathKind kind = PathKind::File;  // a file, a folder or a link (any reparse point)
    std::uint64_t size = 0;          // a file's bytes; 0 for the rest
};

struct PathInfo {
    PathKind kind = PathKind::File;
    std::uint64_t size = 0;
    // Equal for two paths to one file or folder (hard links included) while both exist.
    std::uint64_t volume = 0;
    std::uint64_t fileId = 0;
    // Owned by Administrators, SYSTEM or the account running setup: not something an ordinary
    // user made (and so may have planted).
    bool trusted = false;
    // The names the file has: more than one is a hard link, which writes another name's file too.
    std::uint32_t links = 1;

    bool SameFileAs(const PathInfo& other) const {
        return volume == other.volume && fileId == other.fileId;
    }
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    virtual Win32Error open(TextRef path, FileMode mode, std::unique_ptr<File>& file) = 0;
    virtual Win32Error removeFile(TextRef path) = 0;
    // One folder; its parent must exist (WIN_ALREADY_EXISTS when it is there already).
    virtual Win32Error createDirectory(TextRef path) = 0;
    // A folder that only Administrators and SYSTEM may write to. Fails when anything of that
    // name exists already, so a planted folder or link is never taken over.
    virtual Win32Error createPrivateDirectory(TextRef path) = 0;
    // Removes a folder and all it holds; a link (junction, symbolic link) is removed as a link,
    // never followed. WIN_FILE_NOT_FOUND/WIN_PATH_NOT_FOUND when there is nothing to remove.
    // Each folder is proved by its own handle before anything in it goes; a link that a handle
    // cannot open as a link (Wine's Unix symbolic link, opened through to what it points at) is
    // left as it is, with what it points at: WIN_STOPPED_ON_SYMLINK.
    virtual Win32Error removeTree(TextRef path) = 0;

    // True when the pattern matches a file or folder. Wildcards '*' and '?' work in the last
    // component as on Windows ("*.*" matches every name, with or without a dot); a folder path
    // without wildcards matches the folder itself.
    bool findFile(TextRef pattern) {
        std::vector<FolderItem> items;
        return listItems(pattern, items) == WIN_OK;
    }
    // The pattern's matches, sorted by their full paths.
    virtual Win32Error listItems(TextRef pattern, std::vector<FolderItem>& items) = 0;

    // The shell's move and delete (FOF_NOCONFIRMATION: overwrite, create and delete without
    // asking, no recycle bin). The source is a path whose last component may hold wildcards.
    virtual Win32Error shellMove(TextRef fromPattern, TextRef toFolder) = 0;
    virtual Win32Error shellDelete(TextRef pattern) = 0;

    // Renames a file or folder within its volume, a link as a link. Without `replace` it fails
    // when anything has the new name; with it, a file (or a link, not what it points at) of the
    // new name is replaced in one step. A link that cannot be renamed as a link (Wine's Unix
    // symbolic link) stays where it is: WIN_STOPPED_ON_SYMLINK.
    virtual Win32Error moveFile(TextRef from, TextRef to, bool replace) = 0;
    // What the path names, without following a link in its last component: a link when either
    // its handle or its path's attributes say so (Wine's handle goes through a Unix symbolic
    // link; its attributes by path still call a folder link one).
    virtual Win32Error pathInfo(TextRef path, PathInfo& info) = 0;
    // Has the file or folder (everything in it first) deleted when the machine next starts:
    // for what is held open now and cannot go until then. A link in the tree is scheduled as a
    // link, never followed (the deletion happens by name, as SYSTEM, long after this call).
    virtual Win32Error deleteAtRestart(TextRef path) = 0;

    // Full path of the running executable.
    virtual Win32Error modulePath(String& path) = 0;
    // The running executable itself, opened at the first call (main makes it at start-up) for
    // reading while nobody may write, rename or delete it, and kept open for the life of this
    // object: every later call hands out the same open file, so whatever is put at the path
    // afterwards is never read. The opening's error, at every call, when it could not be opened.
    virtual Win32Error ownImage(File*& image) = 0;
    // Windows' system folder (where its own programs live), without a trailing backslash.
    virtual Win32Error systemDirectory(String& path) = 0;
    // The Windows temporary folder, ending in a backslash.
    virtual Win32Error tempDirectory(String& path) = 0;
};

// True when the path names a folder itself (a link to a folder is not one).
inline bool IsFolder(FileSystem& files, TextRef path) {
    PathInfo info;
    return files.pathInfo(path, info) == WIN_OK && info.kind == PathKind::Folder;
}

// True when a listed item is a folder to go into: the listing says so, and so does what the
// item's own handle shows (pathInfo). A listing only informs: it can make a folder a link, never
// a link a folder, and what is deleted, read or copied through is proved item by item. Files are
// taken at the listing's word (they are many, and nothing lies below them).
inline bool IsListedFolder(FileSystem& files, const FolderItem& item) {
    return item.kind == PathKind::Folder && IsFolder(files, item.path);
}

// Reads exactly `count` bytes at an absolute position of the file; a short read is a failure
// (WIN_HANDLE_EOF).
Win32Error ReadExactlyAt(File& file, std::uint64_t position, void* buffer, std::uint32_t count);

// What copying a file's contents did: the bytes copied, and the error of the read or the write
// that failed (readFailed tells which).
struct CopyOutcome {
    Win32Error error = WIN_OK;
    bool readFailed = false;
    std::uint64_t copied = 0;
};
// Copies what is left of `from` to the end of what `to` has been given, 64 KiB at a time.
CopyOutcome CopyRest(File& from, File& to);

// Makes the folder and every missing one on its way from the drive down, as the shell does for a
// move's destination (a 32-bit Windows has no "Program Files (x86)", a fresh machine may lack
// its temporary folder). WIN_OK when the folder is there at the end, else the last creation's
// error.
Win32Error CreateFolders(FileSystem& files, TextRef path);

// Plain files of the machine that runs a tool: host paths on Linux, Win32 on Windows.
std::unique_ptr<FileSystem> createNativeFileSystem();

// True when the process's standard output is a terminal (the tools draw progress only there).
bool standardOutputIsTerminal();
