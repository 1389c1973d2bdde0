#pragma once

#include <memory>
#include "text/StringType.h"

#include "platform/FileSystem.h"

// Where an extraction puts its entries: all the extractor needs of a file system. Names are the
// entries' own, checked by the directory read; the target decides where they land.
class ExtractTarget {
public:
    // A new file of the name, open for writing (an existing one is truncated).
    virtual Win32Error create(const String& name, std::unique_ptr<File>& file) = 0;
    // Removes the file create made, once its entry has failed: no partial file stays behind.
    virtual void remove(const String& name) = 0;

protected:
    ~ExtractTarget() = default;
};

// One folder of a file system: each entry becomes the file of its name in it.
class FolderTarget final : public ExtractTarget {
public:
    FolderTarget(FileSystem& files, String folder);

    Win32Error create(const String& name, std::unique_ptr<File>& file) override;
    void remove(const String& name) override;

private:
    FileSystem& m_files;
    String m_folder;  // ends in a backslash
};
