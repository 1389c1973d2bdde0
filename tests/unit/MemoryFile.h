#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#include "platform/FileSystem.h"

// A file held in a string, for the archive tests and the fuzz target: an archive to read, the
// writer's output, an extracted entry. It keeps its bytes or writes into a string held
// elsewhere. A read that asks for a byte beyond the end is counted: the reader checks every
// position against the file first, so there should be none. Writes stop at 64 MiB, like a
// small disk, so a stream that claims gigabytes cannot exhaust memory.
class MemoryFile : public File {
public:
    explicit MemoryFile(std::string data = "") : m_own(std::move(data)), m_data(&m_own) {}
    explicit MemoryFile(std::string* data) : m_data(data) {}
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    Win32Error read(void* buffer, std::uint32_t count, std::uint32_t& bytesRead) override {
        std::size_t left = m_position < m_data->size() ? m_data->size() - m_position : 0;
        m_strayReads += count > left;
        bytesRead = static_cast<std::uint32_t>(std::min<std::size_t>(count, left));
        std::copy_n(m_data->data() + m_position, bytesRead, static_cast<char*>(buffer));
        m_position += bytesRead;
        return WIN_OK;
    }
    Win32Error write(const void* buffer, std::uint32_t count) override {
        if (m_position + count > DISK_SIZE) {
            return WIN_DISK_FULL;
        }
        m_data->resize(std::max(m_data->size(), m_position));
        m_data->replace(m_position, std::min<std::size_t>(count, m_data->size() - m_position),
                        static_cast<const char*>(buffer), count);
        m_position += count;
        return WIN_OK;
    }
    Win32Error seek(std::int64_t offset, SeekOrigin origin) override {
        std::int64_t base = origin == SeekOrigin::Begin ? 0
                            : origin == SeekOrigin::Current
                                ? static_cast<std::int64_t>(m_position)
                                : static_cast<std::int64_t>(m_data->size());
        if (base + offset < 0) {
            return WIN_INVALID_PARAMETER;
        }
        m_position = static_cast<std::size_t>(base + offset);
        return WIN_OK;
    }
    Win32Error length(std::uint64_t& bytes) override {
        bytes = m_data->size();
        return WIN_OK;
    }

    const std::string& data() const { return *m_data; }
    int strayReads() const { return m_strayReads; }

private:
    static constexpr std::size_t DISK_SIZE = std::size_t{64} << 20;

    std::string m_own;
    std::string* m_data;
    std::size_t m_position = 0;
    int m_strayReads = 0;
};
