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

    std::string read(const std::string& relative) {
        return test_support::ReadHostFile(m_root + "/" + relative);
    }

    std::vector<std::string> journalOf(const std::string& kind) {
        std::vector<std::string> lines;
        for (const std::string& line : m_machine->journalLines()) {
            if (line.rfind(kind + ": ", 0) == 0) {
                lines.push_back(line);
            }
        }
        return lines;
    }

    test_support::ScratchFolder m_folder{"zil-simprocesses"};
    std::string m_root = m_folder.string();
    std::unique_ptr<SimMachine> m_machine;
    std::unique_ptr<SimProcesses> m_processes;
};

TEST_F(SimProcessesTest, AScriptRunsThroughItsInterpreterInsideTheMachine) {
    // Extraction keeps no execute bit: the "#!" line alone must be enough.
    std::string script = hostFile("C/Program Files (x86)/ZIL/vcredist_x86.exe",
                                  "#!/bin/sh\n"
                                  "printf '%s|' \"$@\" > \"$ZIL_MACHINE/C/arguments.txt\"\n"
                                  "exit 7\n");
    std::filesystem::permissions(
        script, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    Win32Error error =
        m_processes->runAndWait("c:\\program files (x86)\\zil\\VCREDIST_X86.EXE", " /q:a");
    EXPECT_EQ(error, WIN_OK);
    EXPECT_EQ(read("C/arguments.txt"), "/q:a|");
    EXPECT_EQ(journalOf("program"),
              std::vector<std::string>{
                  "program: c:\\program files (x86)\\zil\\VCREDIST_X86.EXE /q:a -> 0, exit 7"});
}

TEST_F(SimProcessesTest, WhatCannotRunFailsAtOnce) {
    hostFile("C/data.txt", "just text\n");
    std::string tool = hostFile("C/tool", "#!/definitely/not/here\n");
    EXPECT_EQ(m_processes->runAndWait("C:\\missing.exe", ""), WIN_FILE_NOT_FOUND);
    EXPECT_EQ(m_processes->runAndWait("C:\\", ""), WIN_FILE_NOT_FOUND);
    EXPECT_EQ(m_processes->runAndWait("Z:\\elsewhere.exe", ""), WIN_FILE_NOT_FOUND);
    EXPECT_EQ(m_processes->runAndWait("C:\\data.txt", ""), WIN_BAD_EXE_FORMAT);
    EXPECT_NE(m_processes->runAndWait("C:\\tool", ""), WIN_OK);
    EXPECT_EQ(journalOf("program").front(), "program: C:\\missing.exe -> 2");
    EXPECT_EQ(m_machine->now(), 0u);  // nothing waited
}

TEST_F(SimProcessesTest, CommandLinesAreRecordedAndSucceedWhenTheirFileExists) {
    hostFile("C/ZIL_Setup_temp/ZARN_ZIL.mof", "#pragma\n");
    EXPECT_EQ(m_processes->runCommand("mofcomp c:\\ZIL_Setup_temp\\ZARN_ZIL.mof"), 0);
    EXPECT_EQ(m_processes->runCommand("mofcomp c:\\ZIL_Setup_temp\\Uninst_ZARN_ZIL.mof"), 1);
    EXPECT_EQ(m_processes->runCommand("mofcomp"), 1);
    EXPECT_EQ(m_processes->runCommand("mofcomp C:\\ZIL_Setup_temp"), 1);  // a folder, no file
    EXPECT_EQ(journalOf("system"),
              (std::vector<std::string>{
                  "system: mofcomp c:\\ZIL_Setup_temp\\ZARN_ZIL.mof -> 0",
                  "system: mofcomp c:\\ZIL_Setup_temp\\Uninst_ZARN_ZIL.mof -> 1",
                  "system: mofcomp -> 1",
                  "system: mofcomp C:\\ZIL_Setup_temp -> 1",
              }));
    EXPECT_TRUE(journalOf("program").empty());
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
