#pragma once

// Shared by the archive tests: archives built in memory by the product's writer, streams from
// compressors that are not ours, and a fresh simulated machine per test whose running program
// is the archive. Tests that damage a record find its fields through the format's constants.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/sim/SimFileSystem.h"
#include "platform/sim/SimMachine.h"
#include "sfx/SfxExtractor.h"
#include "tests/unit/ArchiveBytes.h"
#include "tests/unit/MemoryTarget.h"
#include "tests/unit/ScratchFolder.h"

namespace archive_test {

namespace fs = std::filesystem;

inline std::string BuildArchive(const std::vector<TestEntry>& entries,
                                const std::string& image = "",
                                std::uint64_t wholeEntryLimit = SFX_WHOLE_ENTRY_LIMIT) {
    std::string error;
    std::string archive = WriteArchive(entries, image, wholeEntryLimit, error);
    EXPECT_EQ(error, "");
    return archive;
}

using test_support::ReadHostFile;
using test_support::WriteHostFile;

// What a shell command prints, fed with input.
inline std::string Filter(const std::string& command, const std::string& input,
                          const fs::path& scratch) {
    WriteHostFile(scratch / "filter.in", input);
    std::string line = command + " < '" + (scratch / "filter.in").string() + "' > '" +
                       (scratch / "filter.out").string() + "'";
    EXPECT_EQ(std::system(line.c_str()), 0) << line;
    return ReadHostFile(scratch / "filter.out");
}

struct ToolRun {
    int status;
    std::string output;
};

// Runs the packer built beside the tests; its exit status and everything it printed.
inline ToolRun Sfxpack(const std::string& arguments) {
    std::string command = std::string(ZIL_BINARY_DIR) + "/sfxpack " + arguments + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string output;
    char buffer[4096];
    while (std::size_t got = std::fread(buffer, 1, sizeof(buffer), pipe)) {
        output.append(buffer, got);
    }
    int status = ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

// A fresh simulated machine with drive C: and a target folder C:\T; the archive is its
// running program.
class MachineTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(m_scratch / "machine" / "C" / "T");
        m_archivePath = (m_scratch / "setup.exe").string();
        SimConfig config = test_support::VirtualClockMachine((m_scratch / "machine").string());
        config.modulePath = m_archivePath;
        m_machine = std::make_unique<SimMachine>(config);
        m_files = std::make_unique<SimFileSystem>(*m_machine);
    }

    void UseArchive(const std::string& bytes) { WriteHostFile(m_archivePath, bytes); }
    fs::path Target() const { return m_scratch / "machine" / "C" / "T"; }
    // Every regular file in the machine except the journal, as paths relative to its root.
    std::vector<std::string> MachineFiles() const {
        std::vector<std::string> found;
        for (const auto& item : fs::recursive_directory_iterator(m_scratch / "machine")) {
            if (!item.is_directory() && item.path().filename() != "journal.log") {
                found.push_back(fs::relative(item.path(), m_scratch / "machine").string());
            }
        }
        std::sort(found.begin(), found.end());
        return found;
    }

    test_support::ScratchFolder m_folder{"zil-archive-test"};
    fs::path m_scratch = m_folder.path();
    std::string m_archivePath;
    std::unique_ptr<SimMachine> m_machine;
    std::unique_ptr<SimFileSystem> m_files;
};

}  // namespace archive_test
