#include "platform/sim/SimProcesses.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include <unistd.h>

#include "tests/unit/ScratchFolder.h"

namespace {

class SimProcessesTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_machine = std::make_unique<SimMachine>(test_support::VirtualClockMachine(m_root));
        m_processes = std::make_unique<SimProcesses>(*m_machine);
    }
    std::string hostFile(const std::string& relative, const std::string& content) {
        std::string path = m_root + "/" + relative;
        test_support::WriteHostFile(path, content);
        return path;
    }

    test_support::ScratchFolder m_folder{"zil-simprocesses"};
    std::string m_root = m_folder.string();
    std::unique_ptr<SimMachine> m_machine;
    std::unique_ptr<SimProcesses> m_processes;
};

TEST_F(SimProcessesTest, WhatCannotRunFailsAtOnce) {
    hostFile("C/data.txt", "just text\n");
    std::string tool = hostFile("C/tool", "#!/definitely/not/here\n");
    std::uint32_t exitCode = 0;
    EXPECT_EQ(m_processes->runForExitCode("C:\\missing.exe", "", exitCode), WIN_FILE_NOT_FOUND);
    EXPECT_EQ(m_processes->runForExitCode("C:\\", "", exitCode), WIN_FILE_NOT_FOUND);
    EXPECT_EQ(m_processes->runForExitCode("Z:\\elsewhere.exe", "", exitCode), WIN_FILE_NOT_FOUND);
    EXPECT_EQ(m_processes->runForExitCode("C:\\data.txt", "", exitCode), WIN_BAD_EXE_FORMAT);
    EXPECT_NE(m_processes->runForExitCode("C:\\tool", "", exitCode), WIN_OK);
    EXPECT_EQ(test_support::JournalOf(m_machine->journalLines(), "program").front(),
              "C:\\missing.exe -> 2");
    EXPECT_EQ(m_machine->now(), 0u);  // nothing waited
}

TEST_F(SimProcessesTest, ParametersSplitLikeTheRuntimeDoes) {
    using Words = std::vector<std::string>;
    EXPECT_EQ(SimProcesses::splitArguments(" /q:a"), Words{"/q:a"});
    EXPECT_EQ(SimProcesses::splitArguments(""), Words{});
    EXPECT_EQ(SimProcesses::splitArguments("  a \t b  "), (Words{"a", "b"}));
    EXPECT_EQ(SimProcesses::splitArguments("/x \"C:\\Program Files\\a b\" \"\""),
              (Words{"/x", "C:\\Program Files\\a b", ""}));
}

}  // namespace
