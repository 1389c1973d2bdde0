#pragma once

#include "text/StringType.h"
#include <vector>

#include "platform/FileSystem.h"
#include "platform/OwnImage.h"

// The file system of Windows itself: CreateFileA and friends, the shell's file operations,
// and a private folder with its own access list for the extraction.
class Win32FileSystem : public FileSystem {
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
    Win32Error modulePath(String& path) override;
    Win32Error ownImage(File*& image) override { return m_ownImage.Get(*this, image); }
    Win32Error systemDirectory(String& path) override;
    Win32Error tempDirectory(String& path) override;
    Win32Error pathInfo(TextRef path, PathInfo& info) override;
    Win32Error deleteAtRestart(TextRef path) override;

private:
    OwnImage m_ownImage;
};
