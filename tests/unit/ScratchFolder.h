#pragma once

// Shared by the tests that need a folder of their own on the host, mostly to hold a simulated
// machine: the folder itself, the configuration of a machine rooted in it, plain file access
// and the reading of the machine's journal.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "platform/sim/SimMachine.h"

namespace test_support {

// A fresh folder under the host's temporary folder, removed with all it holds when it goes.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& name = "zil-test") {
        std::string pattern =
            (std::filesystem::temp_directory_path() / (name + ".XXXXXX")).string();
        // Without a folder of its own a test would write wherever an empty root leads.
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        m_path = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::string string() const { return m_path.string(); }

private:
    std::filesystem::path m_path;
};

// A machine in the folder whose clock only adds, so that pauses cost the tests no time.
inline SimConfig VirtualClockMachine(const std::string& root) {
    SimConfig config;
    config.root = root;
    config.virtualClock = true;
    return config;
}

inline std::string ReadHostFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Creates the folders on the way.
inline void WriteHostFile(const std::filesystem::path& path, const std::string& data) {
    if (path.has_parent_path()) {
        std::filesystem::create_directories(path.parent_path());
    }
    std::ofstream(path, std::ios::binary)
        .write(data.data(), static_cast<std::streamsize>(data.size()));
}

// The machine's journal lines of one kind ("sleep", "messagebox"), without the kind.
inline std::vector<std::string> JournalOf(const std::vector<std::string>& journal,
                                          const std::string& kind) {
    std::vector<std::string> lines;
    for (const std::string& line : journal) {
        if (line.rfind(kind + ": ", 0) == 0) {
            lines.push_back(line.substr(kind.size() + 2));
        }
    }
    return lines;
}

// The lines the machine journaled after its first `from`: what one step of a test made.
inline std::vector<std::string> JournalSince(const SimMachine& machine, std::size_t from) {
    std::vector<std::string> lines = machine.journalLines();
    lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(from));
    return lines;
}

// A command line as main gets it: argc and argv over words that this object keeps.
class CommandLine {
public:
    explicit CommandLine(std::vector<std::string> words) : m_words(std::move(words)) {
        for (std::string& word : m_words) {
            m_pointers.push_back(word.data());
        }
    }
    int argc() const { return static_cast<int>(m_pointers.size()); }
    char** argv() { return m_pointers.data(); }

private:
    std::vector<std::string> m_words;
    std::vector<char*> m_pointers;
};

}  // namespace test_support
