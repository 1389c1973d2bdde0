#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/sim/SimPlatform.h"
#include "setup/SetupExitCode.h"
#include "setup/SetupLogFile.h"
#include "tests/unit/ScratchFolder.h"

namespace {

namespace fs = std::filesystem;
using test_support::ReadHostFile;
using test_support::WriteHostFile;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::Not;

// The log file on a fresh simulated machine; each run is a process of its own (a new platform
// and log over the same folder) that rewrites its log as a run does: the run log, a line after
// it, a code decided afterwards.
class SetupLogFileTest : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(Temp()); }

    void RunOnce(const std::string& text, const std::string& copy = "") {
        SimPlatform sim(test_support::VirtualClockMachine(m_root));
        SetupLogFile log(sim, copy);
        log.Begin("install", true);
        EXPECT_EQ(log.Write(text + "\r\n", SETUP_EXIT_FAILURE), WIN_OK);
        EXPECT_EQ(log.Append("a line after the run log"), WIN_OK);
        EXPECT_EQ(log.SetExitCode(SETUP_EXIT_SUCCESS), WIN_OK);
        m_writtenTo = log.WrittenTo();
    }

    fs::path Temp() const { return fs::path(m_root) / "C/Windows/Temp"; }
    std::string InTemp(const std::string& name) const { return (Temp() / name).string(); }
    // The names in the temporary folder, sorted.
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& item : fs::directory_iterator(Temp())) {
            names.push_back(item.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    // The run log of a log file: its second line.
    std::string RunOf(const std::string& name) const {
        std::string text = ReadHostFile(InTemp(name));
        std::size_t first = text.find("\r\n");
        return first == std::string::npos
                   ? ""
                   : text.substr(first + 2, text.find("\r\n", first + 2) - first - 2);
    }
    void List(const char* list, const std::string& windowsPath) const {
        std::ofstream(fs::path(m_root) / list, std::ios::app) << windowsPath << "\n";
    }

    test_support::ScratchFolder m_folder{"zil-log-test"};
    std::string m_root = m_folder.string();
    std::string m_writtenTo;
};

// Each run keeps the ones before: the newest at ZIL_Setup.log, the older ones numbered in the
// order they ran, and of those only the newest nine. Three rewrites a run move nothing: one run,
// one log, and the oldest go first.
TEST_F(SetupLogFileTest, EveryRunKeepsTheLastRunsLogsTheNewestAtTheUsualName) {
    for (int run = 1; run <= 5; ++run) {
        RunOnce("run " + std::to_string(run));
    }
    EXPECT_THAT(Names(), ElementsAre("ZIL_Setup.1.log", "ZIL_Setup.2.log", "ZIL_Setup.3.log",
                                     "ZIL_Setup.4.log", "ZIL_Setup.log"));
    EXPECT_EQ(RunOf("ZIL_Setup.log"), "run 5");
    for (int run = 1; run <= 4; ++run) {
        EXPECT_EQ(RunOf("ZIL_Setup." + std::to_string(run) + ".log"), "run " + std::to_string(run));
    }
    EXPECT_EQ(m_writtenTo, "C:\\Windows\\Temp\\ZIL_Setup.log");
    std::string newest = ReadHostFile(InTemp("ZIL_Setup.log"));
    EXPECT_THAT(newest, HasSubstr(", exit code 0\r\nrun 5\r\na line after the run log\r\n"));
    EXPECT_THAT(newest, Not(HasSubstr("log: "))) << "a log where it always was says nothing of it";

    for (int run = 6; run <= 12; ++run) {
        RunOnce("run " + std::to_string(run));
    }
    std::vector<std::string> expected;
    for (int number = 3; number <= 11; ++number) {
        expected.push_back("ZIL_Setup." + std::to_string(number) + ".log");
    }
    expected.push_back("ZIL_Setup.log");
    std::sort(expected.begin(), expected.end());
    EXPECT_THAT(Names(), ElementsAreArray(expected));
    EXPECT_EQ(RunOf("ZIL_Setup.log"), "run 12");
    EXPECT_EQ(RunOf("ZIL_Setup.3.log"), "run 3");
    EXPECT_EQ(RunOf("ZIL_Setup.11.log"), "run 11");
}

// Install and then Uninstall in one window are two runs: each has a log of its own, the first kept
// under a number as any earlier run's.
TEST_F(SetupLogFileTest, EachSequenceOfOneProcessHasALogOfItsOwn) {
    SimPlatform sim(test_support::VirtualClockMachine(m_root));
    SetupLogFile log(sim);
    log.Begin("install", false);
    EXPECT_EQ(log.Write("the install\r\n", SETUP_EXIT_SUCCESS), WIN_OK);
    log.Begin("uninstall", false);
    EXPECT_EQ(log.Write("the uninstall\r\n", SETUP_EXIT_SUCCESS), WIN_OK);
    EXPECT_THAT(Names(), ElementsAre("ZIL_Setup.1.log", "ZIL_Setup.log"));
    EXPECT_EQ(RunOf("ZIL_Setup.1.log"), "the install");
    EXPECT_EQ(RunOf("ZIL_Setup.log"), "the uninstall");
}

// What an ordinary user (or a hard link, or a link) puts at the names old logs take is neither
// renamed, written nor deleted, and counts for nothing: setup's own logs take other names (an
// unguessable part where the number is taken), ten of them stay, and the oldest of setup's own
// go, never the planted ones.
TEST_F(SetupLogFileTest, SomeoneElsesFilesAmongTheOldNamesAreNeverTouched) {
    const fs::path victim = fs::path(m_root) / "C/Windows/System32/config.sys";
    WriteHostFile(victim, "administrators' own");
    WriteHostFile(InTemp("ZIL_Setup.1.log"), "a user's");
    WriteHostFile(InTemp("ZIL_Setup.2.log"), "a user's");
    List("user-owned.txt", "C:\\Windows\\Temp\\ZIL_Setup.1.log");
    List("user-owned.txt", "C:\\Windows\\Temp\\ZIL_Setup.2.log");
    fs::create_hard_link(victim, InTemp("ZIL_Setup.3.log"));
    fs::create_symlink(victim, InTemp("ZIL_Setup.4.log"));
    fs::create_directories(InTemp("ZIL_Setup.5.log"));
    const std::vector<std::string> planted = {"ZIL_Setup.1.log", "ZIL_Setup.2.log",
                                              "ZIL_Setup.3.log", "ZIL_Setup.4.log",
                                              "ZIL_Setup.5.log"};
    for (int run = 1; run <= 14; ++run) {
        RunOnce("run " + std::to_string(run));
    }
    EXPECT_EQ(ReadHostFile(victim), "administrators' own");
    EXPECT_EQ(ReadHostFile(InTemp("ZIL_Setup.1.log")), "a user's");
    EXPECT_EQ(ReadHostFile(InTemp("ZIL_Setup.2.log")), "a user's");
    EXPECT_EQ(fs::hard_link_count(InTemp("ZIL_Setup.3.log")), 2u);
    EXPECT_TRUE(fs::is_symlink(InTemp("ZIL_Setup.4.log")));
    EXPECT_TRUE(fs::is_directory(InTemp("ZIL_Setup.5.log")));
    std::vector<std::string> own;
    for (const std::string& name : Names()) {
        if (std::find(planted.begin(), planted.end(), name) == planted.end()) {
            own.push_back(name);
        }
    }
    ASSERT_EQ(own.size(), 10u) << ::testing::PrintToString(Names());
    EXPECT_EQ(RunOf("ZIL_Setup.log"), "run 14");
    // The runs that met a planted name at their number: an unguessable part, in the same order.
    std::vector<std::string> runs;
    for (const std::string& name : own) {
        runs.push_back(RunOf(name));
    }
    EXPECT_THAT(
        runs, ::testing::UnorderedElementsAre("run 5", "run 6", "run 7", "run 8", "run 9", "run 10",
                                              "run 11", "run 12", "run 13", "run 14"));
    for (const std::string& name : own) {
        EXPECT_TRUE(name == "ZIL_Setup.log" || name.starts_with("ZIL_Setup.")) << name;
    }
}

// A folder at the log's path that setup cannot clear and files of someone else's at every name it
// would move it aside to: the run's log still is a file of setup's own, under a name created
// exclusively with an unguessable part, and its details say where it is; nothing planted moves.
TEST_F(SetupLogFileTest, WhatIsPlantedAtTheLogsPathAndAsideNamesLeavesALogOfSetupsOwn) {
    WriteHostFile(InTemp("ZIL_Setup.log/inside.txt"), "a user's");
    List("user-owned.txt", "C:\\Windows\\Temp\\ZIL_Setup.log");
    std::vector<std::string> aside = {"ZIL_Setup.log.obsolete"};
    for (int suffix = 2; suffix <= 9; ++suffix) {
        aside.push_back("ZIL_Setup.log.obsolete." + std::to_string(suffix));
    }
    for (const std::string& name : aside) {
        WriteHostFile(InTemp(name), "a user's");
        List("user-owned.txt", "C:\\Windows\\Temp\\" + name);
    }
    RunOnce("run 1");
    RunOnce("run 2");
    EXPECT_EQ(ReadHostFile(InTemp("ZIL_Setup.log/inside.txt")), "a user's");
    for (const std::string& name : aside) {
        EXPECT_EQ(ReadHostFile(InTemp(name)), "a user's") << name;
    }
    std::vector<std::string> logs;
    for (const std::string& name : Names()) {
        if (name.starts_with("ZIL_Setup.") && !name.starts_with("ZIL_Setup.log")) {
            logs.push_back(name);
        }
    }
    ASSERT_EQ(logs.size(), 2u) << ::testing::PrintToString(Names());
    EXPECT_EQ(m_writtenTo, "C:\\Windows\\Temp\\" + logs[1]);
    for (std::size_t run = 0; run < logs.size(); ++run) {
        const std::string& name = logs[run];
        // ZIL_Setup.<n>.<eight hex digits>.log
        ASSERT_EQ(name.size(), std::string("ZIL_Setup.1.01234567.log").size()) << name;
        EXPECT_EQ(name.substr(0, 12), "ZIL_Setup." + std::to_string(run + 1) + ".") << name;
        EXPECT_EQ(name.find_first_not_of("0123456789abcdef", 12), 20u) << name;
        EXPECT_EQ(RunOf(name), "run " + std::to_string(run + 1));
        std::string text = ReadHostFile(InTemp(name));
        EXPECT_THAT(text, HasSubstr("\r\n  log: C:\\Windows\\Temp\\ZIL_Setup.log is not setup's "
                                    "own and stays; this run's log is C:\\Windows\\Temp\\" +
                                    name + "\r\n"));
        EXPECT_TRUE(text.ends_with("Result: install succeeded (exit code 0)\r\n")) << text;
    }
}

// A previous log of setup's own that cannot be renamed (held by a program that lets no one
// rename it) is replaced rather than costing this run its log at the usual place, and the log
// says the previous one is gone.
TEST_F(SetupLogFileTest, APreviousLogThatCannotBeKeptIsReplacedAndTheLogSaysSo) {
    RunOnce("run 1");
    List("unmovable.txt", "C:\\Windows\\Temp\\ZIL_Setup.log");
    RunOnce("run 2");
    EXPECT_THAT(Names(), ElementsAre("ZIL_Setup.log"));
    EXPECT_EQ(RunOf("ZIL_Setup.log"), "run 2");
    EXPECT_THAT(ReadHostFile(InTemp("ZIL_Setup.log")),
                HasSubstr("\r\n  log: the previous run's log could not be kept, error 5: "));
}

// The copy a /LOG= asks for is written only where nothing is yet, or over a plain file of
// setup's own with no second name: a link, someone else's file, a hard link, a folder or a
// missing folder stay as they are, the run's log stays in the temporary folder, and its details
// say why the copy is not there.
TEST_F(SetupLogFileTest, TheCopyGoesOnlyWhereSetupMayWrite) {
    const fs::path victim = fs::path(m_root) / "C/Windows/System32/config.sys";
    const fs::path logs = fs::path(m_root) / "C/logs";
    const std::string copy = "C:\\logs\\setup run.log";
    const fs::path host = logs / "setup run.log";
    struct Case {
        const char* what;
        std::function<void()> plant;
        const char* why;  // "" when the copy is written
    };
    const std::vector<Case> cases = {
        {"nothing there", [] {}, ""},
        {"a log of an earlier run",
         [&] { WriteHostFile(host, "an earlier log, longer than this one will be"); }, ""},
        {"a link", [&] { fs::create_symlink(victim, host); },
         "a link is there, and setup writes through none"},
        {"someone else's file",
         [&] {
             WriteHostFile(host, "a user's");
             List("user-owned.txt", copy);
         },
         "someone else's file is there"},
        {"a hard link", [&] { fs::create_hard_link(victim, host); },
         "the file there has another name too (a hard link)"},
        {"a folder", [&] { fs::create_directories(host); }, "a folder is there"},
        {"a missing folder", [&] { fs::remove_all(logs); }, "error 3: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(m_root);
        fs::create_directories(Temp());
        fs::create_directories(logs);
        WriteHostFile(victim, "administrators' own");
        c.plant();
        const std::string before = fs::is_regular_file(host) ? ReadHostFile(host) : "";
        RunOnce("run 1", copy);
        std::string log = ReadHostFile(InTemp("ZIL_Setup.log"));
        EXPECT_TRUE(log.ends_with("Result: install succeeded (exit code 0)\r\n")) << log;
        EXPECT_EQ(ReadHostFile(victim), "administrators' own");
        if (std::string(c.why).empty()) {
            EXPECT_THAT(log, HasSubstr("\r\n  log: also written to " + copy + "\r\n"));
            EXPECT_EQ(ReadHostFile(host), log);
            continue;
        }
        EXPECT_THAT(log, HasSubstr("\r\n  log: not written to " + copy + ": " + c.why));
        if (fs::is_regular_file(host)) {
            EXPECT_EQ(ReadHostFile(host), before);
        }
    }
    EXPECT_FALSE(fs::exists(logs)) << "the folder is never made";
}

// A copy refused once stays refused for the run: what stood at the /LOG= path at the first write
// and is gone by a later one must not leave a copy that begins halfway through the run, nor
// details that say the copy is not there beside one that is.
TEST_F(SetupLogFileTest, ACopyRefusedOnceIsNotWrittenLaterInTheRun) {
    const std::string copy = "C:\\logs\\setup run.log";
    const fs::path host = fs::path(m_root) / "C/logs/setup run.log";
    fs::create_directories(host);
    SimPlatform sim(test_support::VirtualClockMachine(m_root));
    SetupLogFile log(sim, copy);
    log.Begin("install", true);
    EXPECT_EQ(log.Write("run 1\r\n", SETUP_EXIT_FAILURE), WIN_OK);
    fs::remove(host);
    EXPECT_EQ(log.Append("a line after the run log"), WIN_OK);
    EXPECT_EQ(log.SetExitCode(SETUP_EXIT_SUCCESS), WIN_OK);
    EXPECT_FALSE(fs::exists(host)) << "the copy was written after its refusal";
    std::string text = ReadHostFile(InTemp("ZIL_Setup.log"));
    EXPECT_THAT(text, HasSubstr("\r\n  log: not written to " + copy + ": a folder is there"));
    EXPECT_TRUE(text.ends_with("Result: install succeeded (exit code 0)\r\n")) << text;
}

}  // namespace
