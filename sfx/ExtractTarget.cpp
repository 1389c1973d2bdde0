#include "sfx/ExtractTarget.h"

FolderTarget::FolderTarget(FileSystem& files, String folder)
    : m_files(files), m_folder(std::move(folder)) {
    if (m_folder.empty() || m_folder.back() != '\\') {
        m_folder += '\\';
    }
}

Win32Error FolderTarget::create(const String& name, std::unique_ptr<File>& file) {
    return m_files.open(m_folder + name, FileMode::CreateWrite, file);
}

void FolderTarget::remove(const String& name) {
    m_files.removeFile(m_folder + name);
}
