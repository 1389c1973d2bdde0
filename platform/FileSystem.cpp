#include "platform/FileSystem.h"

#include "platform/WindowsPaths.h"

Win32Error CreateFolders(FileSystem& files, const std::string& path) {
    std::string folder = TrimSeparators(path);
    // The first separator after the drive ("C:\") or the root ("/") starts the first folder.
    for (std::size_t at = folder.find_first_of("\\/", 3); at != std::string::npos;
         at = folder.find_first_of("\\/", at + 1)) {
        std::string parent = folder.substr(0, at);
        if (!files.findFile(parent)) {
            files.createDirectory(parent);
        }
    }
    Win32Error error = files.createDirectory(folder);
    return error == WIN_ALREADY_EXISTS ? WIN_OK : error;
}
