#include "sfx/ExtractTarget.h"

FolderTarget::FolderTarget(FileSystem& files, std::string folder)
    : m_files(files), m_folder(std::move(folder)) {
    if (m_folder.empty() || m_folder.back() != '\\') {
        m_folder += '\\';
    }
}

Win32Error FolderTarget::create(const std::string& name, std::unique_ptr<File>& file) {
    return m_files.open(m_folder + name, FileMode::CreateWrite, file);
}

void FolderTarget::remove(const std::string& name) {
    m_files.removeFile(m_folder + name);
}
