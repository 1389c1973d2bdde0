#include "platform/win32/Win32FileSystem.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>
#include <shellapi.h>

#include <cstddef>

#include "paths/WindowsPaths.h"
#include "platform/win32/Win32Handle.h"
#include "platform/win32/Win32LastError.h"

using namespace std::string_view_literals;

namespace {

class Win32File : public File {
public:
    explicit Win32File(HANDLE handle) : m_handle(handle) {}

    Win32Error read(void* buffer, std::uint32_t count, std::uint32_t& bytesRead) override {
        bytesRead = 0;
        auto* bytes = static_cast<unsigned char*>(buffer);
        while (bytesRead < count) {
            DWORD got = 0;
            if (!ReadFile(m_handle.get(), bytes + bytesRead, count - bytesRead, &got, nullptr)) {
                return LastError();
            }
            if (got == 0) {
                break;
            }
            bytesRead += got;
        }
        return WIN_OK;
    }

    Win32Error write(const void* buffer, std::uint32_t count) override {
        DWORD written = 0;
        if (!WriteFile(m_handle.get(), buffer, count, &written, nullptr)) {
            return LastError();
        }
        return written == count ? WIN_OK : WIN_DISK_FULL;
    }

    Win32Error flush() override { return Outcome(FlushFileBuffers(m_handle.get())); }

    Win32Error seek(std::int64_t offset, SeekOrigin origin) override {
        LARGE_INTEGER distance{};
        distance.QuadPart = offset;
        DWORD method = origin == SeekOrigin::Begin     ? FILE_BEGIN
                       : origin == SeekOrigin::Current ? FILE_CURRENT
                                                       : FILE_END;
        return Outcome(SetFilePointerEx(m_handle.get(), distance, nullptr, method));
    }

    Win32Error length(std::uint64_t& bytes) override {
        LARGE_INTEGER size{};
        if (!GetFileSizeEx(m_handle.get(), &size)) {
            return LastError();
        }
        bytes = static_cast<std::uint64_t>(size.QuadPart);
        return WIN_OK;
    }

private:
    KernelHandle m_handle;
};

// A path list for the shell: the path and an empty item; String adds the second NUL.
String PathList(const String& path) {
    return path + '\0';
}

bool IsLink(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool IsFolder(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Whether the path's own attributes call it a reparse point. Windows says so by the handle too;
// Wine 8.0 opens a Unix symbolic link through to what it points at, even with
// FILE_FLAG_OPEN_REPARSE_POINT, and only the attributes by path (a folder link's) tell it.
bool PathIsLink(const String& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && IsLink(attributes);
}

// A handle to the file or folder at the path itself, a reparse point not followed but opened.
HANDLE OpenItself(const String& path, DWORD access, DWORD sharing) {
    return CreateFileA(path.c_str(), access, sharing, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// Whether a handle opened on the path without following a reparse point shows one itself: then
// what is done through it (a deletion, a rename) is done to the link, not to what it points at.
bool HandleShowsLink(const String& path) {
    KernelHandle handle(OpenItself(path, FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE));
    FILE_BASIC_INFO basic{};
    return handle.valid() &&
           GetFileInformationByHandleEx(handle.get(), FileBasicInfo, &basic, sizeof(basic)) &&
           IsLink(basic.FileAttributes);
}

Win32Error ShellOperation(UINT function, const String& from, const String* to) {
    String fromList = PathList(from);
    String toList = to != nullptr ? PathList(*to) : String();
    SHFILEOPSTRUCTA operation{};
    operation.wFunc = function;
    operation.pFrom = fromList.c_str();
    operation.pTo = to != nullptr ? toList.c_str() : nullptr;
    // No question, no error box, no progress window: an unattended install has nobody to click.
    operation.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT | FOF_NOCONFIRMMKDIR;
    int result = SHFileOperationA(&operation);
    if (result != 0) {
        return static_cast<Win32Error>(result);
    }
    return operation.fAnyOperationsAborted ? WIN_CANCELLED : WIN_OK;
}

// A folder that a call writes into a buffer, returning its length: 0 for a failure, more than
// the buffer holds when it is too small.
Win32Error FolderPath(String& path, DWORD (*call)(char* buffer, DWORD size)) {
    char buffer[MAX_PATH + 1];
    DWORD length = call(buffer, sizeof(buffer));
    if (length == 0) {
        return LastError();
    }
    if (length >= sizeof(buffer)) {
        return WIN_INSUFFICIENT_BUFFER;
    }
    path.assign(buffer, length);
    return WIN_OK;
}

bool IsTrustedOwner(PSID owner) {
    if (IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
        IsWellKnownSid(owner, WinLocalSystemSid)) {
        return true;
    }
    // Wine, and an unelevated test run, record the running account as the owner.
    KernelHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.address())) {
        return false;
    }
    // The user and its SID, which is never longer than SECURITY_MAX_SID_SIZE.
    union {
        TOKEN_USER user;
        BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } buffer;
    DWORD needed = 0;
    return GetTokenInformation(token.get(), TokenUser, &buffer, sizeof buffer, &needed) &&
           EqualSid(owner, buffer.user.User.Sid);
}

bool OwnerIsTrusted(TextRef path) {
    PSID owner = nullptr;
    LocalMemory descriptor;
    return GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                                 nullptr, nullptr, nullptr,
                                 reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.address())) ==
               ERROR_SUCCESS &&
           IsTrustedOwner(owner);
}

// "." and "..", which a listing of a folder names besides its items.
bool IsDotName(std::string_view name) {
    return name == "."sv || name == ".."sv;
}

// The last item put in its place by path: not every file system lists names sorted.
void SortLast(std::vector<FolderItem>& items) {
    for (std::size_t at = items.size() - 1; at > 0 && items[at].path < items[at - 1].path; --at) {
        FolderItem& later = items[at];
        FolderItem& earlier = items[at - 1];
        later.path.swap(earlier.path);
        std::swap(later.kind, earlier.kind);
        std::swap(later.size, earlier.size);
    }
}

// An item found, in its place by path.
void AddItem(std::vector<FolderItem>& items, String path, const WIN32_FIND_DATAA& data) {
    DWORD attributes = data.dwFileAttributes;
    PathKind kind = IsLink(attributes)     ? PathKind::Link
                    : IsFolder(attributes) ? PathKind::Folder
                                           : PathKind::File;
    std::uint64_t size = std::uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow;
    items.push_back({std::move(path), kind, kind == PathKind::File ? size : 0});
    SortLast(items);
}

// The names in the folder the handle holds open, "." and ".." left out, read through that handle:
// a listing by path would follow whatever had taken the folder's name meanwhile.
Win32Error NamesIn(HANDLE folder, std::vector<String>& names) {
    // Not on the stack: no frame of this program may pass a page (it has no stack probes). One
    // thread, and the buffer is done with before anything else lists a folder.
    alignas(8) static char buffer[16384];
    for (bool first = true;; first = false) {
        FILE_INFO_BY_HANDLE_CLASS kind =
            first ? FileFullDirectoryRestartInfo : FileFullDirectoryInfo;
        if (!GetFileInformationByHandleEx(folder, kind, buffer, sizeof(buffer))) {
            Win32Error error = LastError();
            return error == ERROR_NO_MORE_FILES ? WIN_OK : error;
        }
        for (std::size_t offset = 0;;) {
            auto* entry = reinterpret_cast<FILE_FULL_DIR_INFO*>(buffer + offset);
            int wide = static_cast<int>(entry->FileNameLength / sizeof(WCHAR));
            char name[MAX_PATH * 2];
            int length = WideCharToMultiByte(CP_ACP, 0, entry->FileName, wide, name, sizeof(name),
                                             nullptr, nullptr);
            std::string_view found(name, length > 0 ? static_cast<std::size_t>(length) : 0);
            if (!IsDotName(found)) {
                names.push_back(String(found));
            }
            if (entry->NextEntryOffset == 0) {
                break;
            }
            offset += entry->NextEntryOffset;
        }
    }
}

// Checks what CreateDirectoryA made: a real folder, owned by someone who may own it.
Win32Error CheckPrivateFolder(TextRef path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (!IsFolder(attributes) || IsLink(attributes)) {
        return WIN_ACCESS_DENIED;
    }
    return OwnerIsTrusted(path) ? WIN_OK : WIN_ACCESS_DENIED;
}

}  // namespace

Win32Error Win32FileSystem::open(TextRef path, FileMode mode, std::unique_ptr<File>& file) {
    DWORD access = GENERIC_WRITE;
    DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
    DWORD disposition = CREATE_ALWAYS;
    // A link where the file is to be written (someone else's file behind it) is opened itself
    // rather than followed; a new file is made only where nothing has the name.
    DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
    switch (mode) {
        case FileMode::ReadShared:
            access = GENERIC_READ;
            disposition = OPEN_EXISTING;
            flags = FILE_ATTRIBUTE_NORMAL;
            break;
        case FileMode::ReadLocked:
            // Neither FILE_SHARE_WRITE nor FILE_SHARE_DELETE: while this handle lives, the file
            // can be neither written nor renamed nor deleted, so nothing can take its place.
            access = GENERIC_READ;
            sharing = FILE_SHARE_READ;
            disposition = OPEN_EXISTING;
            flags = FILE_ATTRIBUTE_NORMAL;
            break;
        case FileMode::DeleteCheck:
            // What a deletion asks for: refused while another holds the file without
            // FILE_SHARE_DELETE, whatever this handle lets others do.
            access = DELETE;
            sharing |= FILE_SHARE_DELETE;
            disposition = OPEN_EXISTING;
            break;
        case FileMode::CreateNew:
            disposition = CREATE_NEW;
            break;
        case FileMode::CreateWrite: {
            // A link planted where the file goes is removed as a link first.
            DWORD attributes = GetFileAttributesA(path.c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && IsLink(attributes) &&
                !(IsFolder(attributes) ? RemoveDirectoryA(path.c_str())
                                       : DeleteFileA(path.c_str()))) {
                return LastError();
            }
            break;
        }
    }
    HANDLE handle =
        CreateFileA(path.c_str(), access, sharing, nullptr, disposition, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return LastError();
    }
    file = std::make_unique<Win32File>(handle);
    return WIN_OK;
}

Win32Error Win32FileSystem::removeFile(TextRef path) {
    return Outcome(DeleteFileA(path.c_str()));
}

Win32Error Win32FileSystem::createDirectory(TextRef path) {
    return Outcome(CreateDirectoryA(path.c_str(), nullptr));
}

Win32Error Win32FileSystem::createPrivateDirectory(TextRef path) {
    // Protected: nothing is inherited from the parent, where others may have rights.
    // Administrators and SYSTEM full control, Users read and execute.
    const char* sddl = "D:P(A;OICI;GA;;;BA)(A;OICI;GA;;;SY)(A;OICI;GRGX;;;BU)";
    LocalMemory descriptor;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(
            sddl, SDDL_REVISION_1, reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.address()),
            nullptr)) {
        return LastError();
    }
    SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), descriptor.get(), FALSE};
    if (!CreateDirectoryA(path.c_str(), &attributes)) {
        return LastError();
    }
    if (Win32Error error = CheckPrivateFolder(path); error != WIN_OK) {
        RemoveDirectoryA(path.c_str());
        return error;
    }
    return WIN_OK;
}

// Each item is opened itself (a link, not what it points at), judged by what the handle shows,
// and deleted through that handle, so nothing can be swapped in between the look and the
// deletion. A folder is listed through its handle and stays open without delete sharing while
// its items go: then neither it nor a folder above it can be renamed or replaced by a link, and
// the paths of its items lead where they did when it was opened. (Under Wine a listing by path
// is refused while this handle holds the folder.)
Win32Error Win32FileSystem::removeTree(TextRef windowsPath) {
    String path = TrimSeparators(windowsPath);
    KernelHandle item(OpenItself(
        path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | FILE_LIST_DIRECTORY,
        FILE_SHARE_READ | FILE_SHARE_WRITE));
    if (!item.valid()) {
        return LastError();
    }
    FILE_BASIC_INFO basic{};
    if (!GetFileInformationByHandleEx(item.get(), FileBasicInfo, &basic, sizeof(basic))) {
        return LastError();
    }
    DWORD attributes = basic.FileAttributes;
    // A folder by its handle that its path calls a link is a link the handle reached through
    // (Wine's): nothing is listed, changed or deleted through it, since all of that would be done
    // to what it points at. Only folders are asked: they are few, files many.
    if (IsFolder(attributes) && !IsLink(attributes) && PathIsLink(path)) {
        return WIN_STOPPED_ON_SYMLINK;
    }
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        basic.FileAttributes = attributes & ~FILE_ATTRIBUTE_READONLY;
        if (basic.FileAttributes == 0) {
            basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        }
        SetFileInformationByHandle(item.get(), FileBasicInfo, &basic, sizeof(basic));
    }
    // A junction or folder link goes as a link; what it points at is someone else's.
    if (IsFolder(attributes) && !IsLink(attributes)) {
        std::vector<String> names;
        if (Win32Error error = NamesIn(item.get(), names); error != WIN_OK) {
            return error;
        }
        for (const String& name : names) {
            if (Win32Error error = removeTree(path + "\\" + name); error != WIN_OK) {
                return error;
            }
        }
    }
    FILE_DISPOSITION_INFO disposition{TRUE};
    return Outcome(SetFileInformationByHandle(item.get(), FileDispositionInfo, &disposition,
                                              sizeof(disposition)));
}

Win32Error Win32FileSystem::listItems(TextRef patternText, std::vector<FolderItem>& items) {
    items.clear();
    // A path without wildcards names the item itself, under the name it was asked by.
    const String pattern = TrimSeparators(patternText);
    std::size_t nameStart = pattern.find_last_of("\\/"sv) + 1;  // 0 without a separator
    bool wildcards = HasWildcards(std::string_view(pattern).substr(nameStart));
    WIN32_FIND_DATAA data;
    if (!wildcards) {
        // Asked of the item itself: a search for one name opens its folder, fifty times dearer
        // under Wine. The attribute data is the head of the find data, field for field.
        static_assert(offsetof(WIN32_FIND_DATAA, nFileSizeLow) ==
                      offsetof(WIN32_FILE_ATTRIBUTE_DATA, nFileSizeLow));
        if (!GetFileAttributesExA(pattern.c_str(), GetFileExInfoStandard, &data)) {
            return LastError();
        }
        AddItem(items, pattern, data);
        return WIN_OK;
    }
    FindHandle search(FindFirstFileA(pattern.c_str(), &data));
    if (!search.valid()) {
        Win32Error error = LastError();
        return error == ERROR_NO_MORE_FILES ? WIN_FILE_NOT_FOUND : error;
    }
    do {
        if (IsDotName(data.cFileName)) {
            continue;
        }
        AddItem(items, pattern.substr(0, nameStart) + data.cFileName, data);
    } while (FindNextFileA(search.get(), &data));
    return items.empty() ? WIN_FILE_NOT_FOUND : WIN_OK;
}

Win32Error Win32FileSystem::shellMove(TextRef fromPattern, TextRef toFolder) {
    std::vector<FolderItem> matches;
    if (Win32Error error = listItems(fromPattern, matches); error != WIN_OK) {
        return error;
    }
    String target = TrimSeparators(toFolder);
    if (Win32Error error = CreateFolders(*this, target); error != WIN_OK) {
        return error;
    }
    // Item by item: Wine refuses a shell move of several items at once with 1223, while Windows
    // gives the same outcome either way. A rename within the volume is what the shell would do
    // for an item whose name is free at the target, at a fraction of its cost (a shell operation
    // takes milliseconds under Wine); anything else (a folder to merge, a file to replace,
    // another volume) is left to the shell.
    for (const FolderItem& match : matches) {
        const String& from = match.path;
        String moved = target + '\\';
        moved += from.c_str() + from.find_last_of("\\/"sv) + 1;  // its name
        if (MoveFileExA(from.c_str(), moved.c_str(), 0)) {
            continue;
        }
        if (Win32Error error = ShellOperation(FO_MOVE, from, &target); error != WIN_OK) {
            return error;
        }
    }
    return WIN_OK;
}

Win32Error Win32FileSystem::shellDelete(TextRef patternText) {
    const String pattern(patternText);
    // Nothing to delete is not worth an error box from the shell.
    if (!findFile(pattern)) {
        return WIN_FILE_NOT_FOUND;
    }
    return ShellOperation(FO_DELETE, pattern, nullptr);
}

Win32Error Win32FileSystem::moveFile(TextRef from, TextRef to, bool replace) {
    // Wine renames what a Unix symbolic link points at, not the link: such a link stays put.
    if (String source = TrimSeparators(from); PathIsLink(source) && !HandleShowsLink(source)) {
        return WIN_STOPPED_ON_SYMLINK;
    }
    // Without MOVEFILE_REPLACE_EXISTING the rename fails when the new name is taken.
    return Outcome(MoveFileExA(from.c_str(), to.c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0));
}

Win32Error Win32FileSystem::systemDirectory(String& path) {
    return FolderPath(
        path, [](char* buffer, DWORD size) -> DWORD { return GetSystemDirectoryA(buffer, size); });
}

Win32Error Win32FileSystem::modulePath(String& path) {
    String buffer(32768, '\0');
    DWORD length = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) {
        return LastError();
    }
    if (length >= buffer.size()) {
        return WIN_INSUFFICIENT_BUFFER;  // truncated: no path at all beats a wrong one
    }
    path.assign(buffer.data(), length);
    return WIN_OK;
}

Win32Error Win32FileSystem::tempDirectory(String& path) {
    return FolderPath(path,
                      [](char* buffer, DWORD size) -> DWORD { return GetTempPathA(size, buffer); });
}

Win32Error Win32FileSystem::pathInfo(TextRef path, PathInfo& info) {
    // Only the file's identity and kind: a reparse point is opened itself.
    String trimmed = TrimSeparators(path);
    KernelHandle handle(
        OpenItself(trimmed, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE));
    if (!handle.valid()) {
        return LastError();
    }
    BY_HANDLE_FILE_INFORMATION details{};
    if (!GetFileInformationByHandle(handle.get(), &details)) {
        return LastError();
    }
    DWORD attributes = details.dwFileAttributes;
    // A link when the handle or the path says so: under Wine only the path does.
    info.kind = GetFileType(handle.get()) != FILE_TYPE_DISK ? PathKind::Other
                : IsLink(attributes) || PathIsLink(trimmed) ? PathKind::Link
                : IsFolder(attributes)                      ? PathKind::Folder
                                                            : PathKind::File;
    info.size = std::uint64_t{details.nFileSizeHigh} << 32 | details.nFileSizeLow;
    info.volume = details.dwVolumeSerialNumber;
    info.fileId = std::uint64_t{details.nFileIndexHigh} << 32 | details.nFileIndexLow;
    info.links = details.nNumberOfLinks;
    // The owner of what the path names; a link's own is never asked for, since a link is never
    // trusted as setup's state. Without the right to read it, the object is someone else's.
    info.trusted = info.kind != PathKind::Link && OwnerIsTrusted(trimmed);
    return WIN_OK;
}

// Windows deletes a folder at restart only once it is empty: what it holds is scheduled first.
Win32Error Win32FileSystem::deleteAtRestart(TextRef windowsPath) {
    String path = TrimSeparators(windowsPath);
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return LastError();
    }
    // A link that no handle shows (Wine's) would be deleted at the restart as what it points at:
    // it stays, and so does the folder that holds it.
    if (IsLink(attributes) && !HandleShowsLink(path)) {
        return WIN_OK;
    }
    if (IsFolder(attributes) && !IsLink(attributes)) {
        std::vector<FolderItem> children;
        listItems(path + "\\*", children);
        for (const FolderItem& child : children) {
            if (Win32Error error = deleteAtRestart(child.path); error != WIN_OK) {
                return error;
            }
        }
    }
    return Outcome(MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
}

bool standardOutputIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

std::unique_ptr<FileSystem> createNativeFileSystem() {
    return std::make_unique<Win32FileSystem>();
}
