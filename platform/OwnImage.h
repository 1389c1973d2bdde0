#pragma once

#include <memory>
#include "text/StringType.h"

#include "platform/FileSystem.h"

// The running executable opened once, for a file system's ownImage: the first request opens it
// (locked against writers, renames and deletion), every later one gets the same open file, or
// the same error.
class OwnImage {
public:
    Win32Error Get(FileSystem& files, File*& image) {
        if (!m_tried) {
            m_tried = true;
            String path;
            m_error = files.modulePath(path);
            if (m_error == WIN_OK) {
                m_error = files.open(path, FileMode::ReadLocked, m_file);
            }
        }
        image = m_file.get();
        return m_error;
    }

private:
    std::unique_ptr<File> m_file;
    Win32Error m_error = WIN_OK;
    bool m_tried = false;
};
