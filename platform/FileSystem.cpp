#include "platform/FileSystem.h"

#include <memory>

#include "paths/WindowsPaths.h"

Win32Error CreateFolders(FileSystem& files, TextRef path) {
    String folder = TrimSeparators(String(path));
    // The first separator after the drive ("C:\") or the root ("/") starts the first folder.
    for (std::size_t at = folder.find_first_of("\\/", 3); at != String::npos;
         at = folder.find_first_of("\\/", at + 1)) {
        String parent = folder.substr(0, at);
        if (!files.findFile(parent)) {
            files.createDirectory(parent);
        }
    }
    Win32Error error = files.createDirectory(folder);
    return error == WIN_ALREADY_EXISTS ? WIN_OK : error;
}

Win32Error ReadExactlyAt(File& file, std::uint64_t position, void* buffer, std::uint32_t count) {
    std::uint32_t got = 0;
    Win32Error error = file.seek(static_cast<std::int64_t>(position), SeekOrigin::Begin);
    if (error == WIN_OK) {
        error = file.read(buffer, count, got);
    }
    return error != WIN_OK ? error : got == count ? WIN_OK : WIN_HANDLE_EOF;
}

CopyOutcome CopyRest(File& from, File& to) {
    constexpr std::uint32_t chunk = 64 * 1024;
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[chunk]);
    CopyOutcome outcome;
    while (true) {
        std::uint32_t got = 0;
        if ((outcome.error = from.read(buffer.get(), chunk, got)) != WIN_OK) {
            outcome.readFailed = true;
            return outcome;
        }
        if (got == 0) {
            return outcome;
        }
        if ((outcome.error = to.write(buffer.get(), got)) != WIN_OK) {
            return outcome;
        }
        outcome.copied += got;
    }
}
