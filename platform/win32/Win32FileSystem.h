#pragma once

#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/OwnImage.h"

// The file system of Windows itself: CreateFileA and friends, the shell's file operations,
// and a private folder with its own access list for the extraction.
class Win32FileSystem : public FileSystem {
public:
    Win32Error open(const std::string& path, FileMode mode, std::unique_ptr<File>& file) override;
    Win32Error removeFile(const std::string& path) override;
    Win32Error createDirectory(const std::string& path) override;
    Win32Error createPrivateDirectory(const std::string& path) override;
    Win32Error removeTree(const std::string& path) override;
    Win32Error listMatches(const std::string& pattern, std::vector<std::string>& paths) override;
    Win32Error shellMove(const std::string& fromPattern, const std::string& toFolder) override;
    Win32Error shellDelete(const std::string& pattern) override;
    Win32Error moveFile(const std::string& from, const std::string& to, bool replace) override;
    Win32Error modulePath(std::string& path) override;
    Win32Error ownImage(File*& image) override { return m_ownImage.Get(*this, image); }
    Win32Error systemDirectory(std::string& path) override;
    Win32Error tempDirectory(std::string& path) override;
    Win32Error pathInfo(const std::string& path, PathInfo& info) override;
    Win32Error deleteAtRestart(const std::string& path) override;

private:
    OwnImage m_ownImage;
};
