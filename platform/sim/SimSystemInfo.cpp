#include "platform/sim/SimSystemInfo.h"

#include <filesystem>
#include <system_error>

#include "text/Format.h"
#include "res/resource.h"

namespace {

// The texts Windows gives these errors.
struct ErrorText {
    Win32Error error;
    const char* text;
};

constexpr ErrorText theErrorTexts[] = {
    {WIN_FILE_NOT_FOUND, "The system cannot find the file specified."},
    {WIN_PATH_NOT_FOUND, "The system cannot find the path specified."},
    {WIN_ACCESS_DENIED, "Access is denied."},
    {WIN_INVALID_HANDLE, "The handle is invalid."},
    {WIN_NOT_ENOUGH_MEMORY, "Not enough memory resources are available to process this command."},
    {WIN_WRITE_FAULT, "The system cannot write to the specified device."},
    {WIN_READ_FAULT, "The system cannot read from the specified device."},
    {WIN_SHARING_VIOLATION,
     "The process cannot access the file because it is being used by another process."},
    {WIN_LOCK_VIOLATION,
     "The process cannot access the file because another process has locked a portion of the "
     "file."},
    {WIN_HANDLE_EOF, "Reached the end of the file."},
    {WIN_NOT_SUPPORTED, "The request is not supported."},
    {WIN_FILE_EXISTS, "The file exists."},
    {WIN_INVALID_PARAMETER, "The parameter is incorrect."},
    {WIN_DISK_FULL, "There is not enough space on the disk."},
    {WIN_INVALID_NAME, "The filename, directory name, or volume label syntax is incorrect."},
    {WIN_DIR_NOT_EMPTY, "The directory is not empty."},
    {WIN_ALREADY_EXISTS, "Cannot create a file when that file already exists."},
    {WIN_BAD_EXE_FORMAT, "%1 is not a valid Win32 application."},
    {WIN_STOPPED_ON_SYMLINK, "The create operation stopped after reaching a symbolic link."},
    {WIN_SERVICE_REQUEST_TIMEOUT,
     "The service did not respond to the start or control request in a timely fashion."},
    {WIN_SERVICE_ALREADY_RUNNING, "An instance of the service is already running."},
    {WIN_SERVICE_DISABLED,
     "The service cannot be started, either because it is disabled or because it has no enabled "
     "devices associated with it."},
    {WIN_SERVICE_DOES_NOT_EXIST, "The specified service does not exist as an installed service."},
    {WIN_SERVICE_CANNOT_ACCEPT_CTRL, "The service cannot accept control messages at this time."},
    {WIN_SERVICE_NOT_ACTIVE, "The service has not been started."},
    {WIN_SERVICE_MARKED_FOR_DELETE, "The specified service has been marked for deletion."},
    {WIN_SERVICE_EXISTS, "The specified service already exists."},
    {WIN_CANCELLED, "The operation was canceled by the user."},
    {WIN_INVALID_WINDOW_HANDLE, "Invalid window handle."},
};

}  // namespace

WindowsVersion SimSystemInfo::windowsVersion() {
    return WindowsVersion{10, 0, 19045, "x64", true};
}

String SimSystemInfo::errorText(Win32Error error) {
    for (const ErrorText& known : theErrorTexts) {
        if (known.error == error) {
            return known.text;
        }
    }
    return "";
}

String SimSystemInfo::programVersion() {
    constexpr unsigned parts[] = {ZIL_FILE_VERSION};
    return Format("%d.%d.%d.%d", parts[0], parts[1], parts[2], parts[3]);
}

std::uint64_t SimSystemInfo::programFileSize() {
    std::error_code failed;
    std::uintmax_t size = std::filesystem::file_size(m_machine.modulePath(), failed);
    return failed ? 0 : size;
}
