#pragma once

#include <map>
#include <memory>
#include <string>

#include "sfx/ExtractTarget.h"
#include "tests/unit/MemoryFile.h"

// An extraction's target in memory: each file it creates is a string under the entry's name.
class MemoryTarget final : public ExtractTarget {
public:
    Win32Error create(const String& name, std::unique_ptr<File>& file) override {
        ++m_created;
        std::string& data = m_files[std::string(name)];
        data.clear();
        file = std::make_unique<MemoryFile>(&data);
        return WIN_OK;
    }
    void remove(const String& name) override { m_files.erase(std::string(name)); }

    const std::map<std::string, std::string>& files() const { return m_files; }
    int createdCount() const { return m_created; }

private:
    std::map<std::string, std::string> m_files;
    int m_created = 0;
};
