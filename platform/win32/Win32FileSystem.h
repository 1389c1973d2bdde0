#pragma once

#include "StringType.h"
#include <vector>

#include "platform/FileSystem.h"
#include "platform/OwnImage.h"

// The file system of Windows itself: CreateFileA and friends, the shell's file operations,
// and a private folder with its own access list for the extraction.
class Win32FileSystem : public FileSystem {
public:
    Win32Error open(const String& path, FileMode mode, std::unique_ptr<File>& file) override;
    Win32Error removeFile(const String& path) override;
    Win32Error createDirectory(const String& path) override;
    Win32Error createPrivateDirectory(const String& path) override;
    Win32Error removeTree(const String& path) override;
    Win32Error listMatches(const String& pattern, std::vector<String>& paths) override;
    Win32Error shellMove(const String& fromPattern, const String& toFolder) override;
    Win32Error shellDelete(const String& pattern) override;
    Win32Error moveFile(const String& from, const String& to, bool replace) override;
    Win32Error modulePath(String& path) override;
    Win32Error ownImage(File*& image) override { return m_ownImage.Get(*this, image); }
    Win32Error systemDirectory(String& path) override;
    Win32Error tempDirectory(String& path) override;
    Win32Error pathInfo(const String& path, PathInfo& info) override;
    Win32Error deleteAtRestart(const String& path) override;

private:
    OwnImage m_ownImage;
};
