#pragma once

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/FileSystem.h"

// A file system in memory for the fuzzer and the archive torture tests: one readable archive,
// output files kept as strings. Everything else is refused, so they check only what the
// extractor asks for. A read that asks for a byte beyond the end of the archive is counted:
// the reader checks every position against the file first, so there should be none.
class MemoryFileSystem : public FileSystem {
public:
    MemoryFileSystem(std::string archivePath, std::string archive)
        : m_archivePath(std::move(archivePath)), m_archive(std::move(archive)) {}

    const std::map<std::string, std::string>& outputs() const { return m_outputs; }
    int createdCount() const { return m_created; }
    int strayReads() const { return m_strayReads; }

    Win32Error open(const std::string& path, FileMode mode, std::unique_ptr<File>& file) override {
        if (mode == FileMode::ReadShared) {
            if (path != m_archivePath) {
                return WIN_FILE_NOT_FOUND;
            }
            file = std::make_unique<MemoryFile>(&m_archive, nullptr, &m_strayReads);
            return WIN_OK;
        }
        if (path.empty() || path.back() == '\\') {
            return WIN_ACCESS_DENIED;  // the folder itself
        }
        ++m_created;
        std::string& data = m_outputs[path];
        data.clear();
        file = std::make_unique<MemoryFile>(nullptr, &data, &m_strayReads);
        return WIN_OK;
    }
    Win32Error removeFile(const std::string& path) override {
        return m_outputs.erase(path) == 1 ? WIN_OK : WIN_FILE_NOT_FOUND;
    }
    Win32Error createDirectory(const std::string&) override { return WIN_ACCESS_DENIED; }
    Win32Error createPrivateDirectory(const std::string&) override { return WIN_ACCESS_DENIED; }
    Win32Error removeTree(const std::string&) override { return WIN_ACCESS_DENIED; }
    Win32Error listMatches(const std::string&, std::vector<std::string>&) override {
        return WIN_FILE_NOT_FOUND;
    }
    Win32Error shellMove(const std::string&, const std::string&) override {
        return WIN_ACCESS_DENIED;
    }
    Win32Error shellDelete(const std::string&) override { return WIN_ACCESS_DENIED; }
    Win32Error moveFile(const std::string&, const std::string&, bool) override {
        return WIN_ACCESS_DENIED;
    }
    Win32Error pathInfo(const std::string&, PathInfo&) override { return WIN_NOT_SUPPORTED; }
    Win32Error deleteAtRestart(const std::string&) override { return WIN_NOT_SUPPORTED; }
    Win32Error systemDirectory(std::string&) override { return WIN_NOT_SUPPORTED; }
    Win32Error modulePath(std::string& path) override {
        path = m_archivePath;
        return WIN_OK;
    }
    Win32Error tempDirectory(std::string& path) override {
        path = "T\\";
        return WIN_OK;
    }

private:
    class MemoryFile : public File {
    public:
        MemoryFile(const std::string* source, std::string* sink, int* strayReads)
            : m_source(source), m_sink(sink), m_strayReads(strayReads) {}
        Win32Error read(void* buffer, std::uint32_t count, std::uint32_t& bytesRead) override {
            bytesRead = 0;
            if (m_source == nullptr) {
                return WIN_ACCESS_DENIED;
            }
            if (m_position > m_source->size() || m_source->size() - m_position < count) {
                ++*m_strayReads;
            }
            if (m_position < m_source->size()) {
                bytesRead = static_cast<std::uint32_t>(
                    std::min<std::size_t>(count, m_source->size() - m_position));
                std::memcpy(buffer, m_source->data() + m_position, bytesRead);
                m_position += bytesRead;
            }
            return WIN_OK;
        }
        Win32Error write(const void* buffer, std::uint32_t count) override {
            if (m_sink == nullptr) {
                return WIN_ACCESS_DENIED;
            }
            // Bounded like a small disk, so a stream that claims gigabytes cannot exhaust memory.
            if (m_sink->size() + count > (64u << 20)) {
                return WIN_DISK_FULL;
            }
            m_sink->append(static_cast<const char*>(buffer), count);
            return WIN_OK;
        }
        Win32Error seek(std::int64_t offset, SeekOrigin origin) override {
            std::int64_t size =
                m_source != nullptr ? static_cast<std::int64_t>(m_source->size()) : 0;
            std::int64_t base = origin == SeekOrigin::Begin ? 0
                                : origin == SeekOrigin::Current
                                    ? static_cast<std::int64_t>(m_position)
                                    : size;
            if (base + offset < 0) {
                return WIN_INVALID_PARAMETER;
            }
            m_position = static_cast<std::size_t>(base + offset);
            return WIN_OK;
        }
        Win32Error length(std::uint64_t& bytes) override {
            bytes = m_source != nullptr ? m_source->size() : m_sink->size();
            return WIN_OK;
        }

    private:
        const std::string* m_source;
        std::string* m_sink;
        int* m_strayReads;
        std::size_t m_position = 0;
    };

    std::string m_archivePath;
    std::string m_archive;
    std::map<std::string, std::string> m_outputs;
    int m_created = 0;
    int m_strayReads = 0;
};
