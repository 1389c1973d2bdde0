#include <algorithm>
#include <filesystem>
#include <sstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "SequenceHarness.h"
#include "res/ProductVersion.h"
#include "tests/faults/SetupProcess.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

namespace {

class UninstallTest : public SequenceTest {};

TEST_F(UninstallTest, AnInstallationIsSignalledStoppedAndRemoved) {
    ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
    SetupRun run = Run("/U");
    EXPECT_EQ(run.exitCode, SETUP_EXIT_SUCCESS);
    std::string log =
        "Query Code = Running --> 4\r\n"
        "Query Code = STOP --> 1\r\n"
        "Request Successed !!!\r\n"
        "Unistall ZIL Success !!!\r\n";
    EXPECT_EQ(LogBody(LogText()), log);
    EXPECT_THAT(LogHeader(LogText()), HasSubstr("uninstall (command line)"));
    EXPECT_THAT(LogHeader(LogText()), HasSubstr("exit code 0"));
    EXPECT_EQ(LogFooter(LogText()), "Result: uninstall succeeded (exit code 0)\r\n");
    // From the command line the status edit is not given the run log.
    EXPECT_THAT(run.statusText, ::testing::Not(HasSubstr("Unistall ZIL Success")));
    EXPECT_THAT(run.boxes, IsEmpty());
    EXPECT_TRUE(run.dialogEnded);
    ExpectProductGone();
    EXPECT_THAT(JournalOf(run.journal, "system"),
                ElementsAre("C:\\Windows\\System32\\wbem\\mofcomp.exe "
                            "c:\\ZIL_Setup_temp\\Uninst_ZARN_ZIL.mof -> 0"));
}

// A registration that cannot be read for another reason than its absence (its configuration
// withheld) does not hide the state: the running service is still stopped before it goes.
TEST_F(UninstallTest, AWithheldRegistrationDoesNotHideTheState) {
    ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
    InjectForNextRun({SimFaultKind::SvcQuery, 1, WIN_ACCESS_DENIED});
    SetupRun run = Run("/U");
    EXPECT_EQ(run.exitCode, SETUP_EXIT_SUCCESS);
    EXPECT_EQ(LogBody(LogText()),
              "Query Code = Running --> 4\r\n"
              "Query Code = STOP --> 1\r\n"
              "Request Successed !!!\r\n"
              "Unistall ZIL Success !!!\r\n");
    ExpectProductGone();
}

TEST_F(UninstallTest, NothingInstalledStillSucceeds) {
    for (std::string argument : {"/u", ""}) {
        SCOPED_TRACE(argument);
        SetupRun run = Run(argument, {"click:1001"});
        EXPECT_EQ(run.exitCode, SETUP_EXIT_SUCCESS);
        std::string log =
            "Service Not Exist !!!\r\n"
            "Service Not Exist !!!\r\n"
            "Unistall ZIL Success !!!\r\n";
        EXPECT_EQ(LogBody(LogText()), log);
        if (argument.empty()) {
            EXPECT_EQ(run.statusText, log);
            ASSERT_EQ(run.boxes.size(), 1u);
            EXPECT_EQ(run.boxes[0].text, "Uninstall ZIL Success");
        } else {
            EXPECT_THAT(run.boxes, IsEmpty());
        }
        ExpectProductGone();
    }
}

// The archive only brings the uninstall script: without it the product still goes.
TEST_F(UninstallTest, AnArchiveThatCannotBeReadDoesNotStopTheRemoval) {
    ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
    m_setupPath = BARE_SETUP;
    SetupRun run = Run("/U");
    EXPECT_EQ(run.exitCode, SETUP_EXIT_SUCCESS);
    // The uninstall script never came out of the archive: the log says so, and goes on.
    EXPECT_EQ(LogBody(LogText()),
              "Unregister ZIL WMI Classes Failed, exit code 1 !!!\r\n"
              "Query Code = Running --> 4\r\n"
              "Query Code = STOP --> 1\r\n"
              "Request Successed !!!\r\n"
              "Unistall ZIL Success !!!\r\n");
    EXPECT_THAT(JournalOf(run.journal, "system"), ElementsAre(HasSubstr("Uninst_ZARN_ZIL.mof")));
    ExpectProductGone();
}

TEST_F(UninstallTest, TheLowerBarStepsThroughItsPositions) {
    ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
    SetupRun run = Run("", {"click:1001"});
    std::vector<int> positions = DistinctPositions(run.positions);
    auto first = std::find(positions.begin(), positions.end(), 58);
    ASSERT_NE(first, positions.end());
    EXPECT_EQ(std::vector<int>(first, positions.end()),
              (std::vector<int>{58, 66, 78, 83, 89, 93, 98, 100}));
    EXPECT_TRUE(std::all_of(positions.begin(), first, [](int p) { return p >= 0 && p <= 50; }));
}

// An uninstall that could not remove the product says so, to a person and to a tool, and claims
// nothing that did not happen: a service that cannot be deleted or would not stop (it goes only
// once it has stopped, and is left running with its files: deleting them under it would break
// it), a folder that could not be deleted nor moved out of the way.
TEST_F(UninstallTest, WhatCannotBeRemovedMakesItAFailure) {
    struct Case {
        const char* what;
        std::vector<SimFault> refused;
        const char* kept;  // the folder that must still be there, if any
    };
    auto from = [](SimFaultKind kind, int nth) {
        return SimFault{kind, nth, WIN_ACCESS_DENIED, true};
    };
    // The stops come after the first query's three codes. The deletions: the temporary folder's
    // clearing at the start, the program folder, then the temporary folder.
    const std::vector<Case> cases = {
        {"service kept", {from(SimFaultKind::SvcDelete, 1)}, nullptr},
        {"service running", {from(SimFaultKind::SvcControl, 4)}, SETUP_PROGRAM_DIR},
        {"program directory kept",
         {from(SimFaultKind::Delete, 2), from(SimFaultKind::Move, 1)},
         SETUP_PROGRAM_DIR},
        {"temporary folder kept",
         {from(SimFaultKind::Delete, 3), from(SimFaultKind::Move, 1)},
         SETUP_TEMP_DIR},
    };
    for (const Case& c : cases) {
        for (std::string argument : {"/U", ""}) {
            SCOPED_TRACE(std::string(c.what) + " " + argument);
            ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
            for (const SimFault& fault : c.refused) {
                InjectForNextRun(fault);
            }
            SetupRun run = Run(argument, {"click:1001"});
            EXPECT_EQ(run.exitCode, SETUP_EXIT_FAILURE);
            EXPECT_THAT(LogBody(LogText()), HasSubstr("Uninstall ZIL Failed !!!\r\n"));
            EXPECT_THAT(LogBody(LogText()), ::testing::Not(HasSubstr("Unistall ZIL Success")));
            EXPECT_EQ(LogFooter(LogText()), "Result: uninstall failed (exit code 1603)\r\n");
            if (argument.empty()) {
                ASSERT_EQ(run.boxes.size(), 1u);
                EXPECT_EQ(run.boxes[0].text, "Uninstall ZIL Failed");
            } else {
                EXPECT_THAT(run.boxes, IsEmpty());
            }
            EXPECT_TRUE(run.dialogEnded);
            if (c.kept != nullptr) {
                EXPECT_TRUE(Exists(c.kept));
            }
            if (c.refused[0].kind == SimFaultKind::Delete) {
                EXPECT_EQ(ServiceState(), 0u) << "the run got as far as the folders";
            }
            if (c.refused[0].kind == SimFaultKind::SvcControl) {
                EXPECT_EQ(ServiceState(), static_cast<std::uint32_t>(SVC_RUNNING));
                EXPECT_TRUE(Exists("C:\\Program Files (x86)\\ZIL\\ZIL_Service.exe"));
            }
            ASSERT_EQ(Run("/U").exitCode, SETUP_EXIT_SUCCESS);
            ExpectProductGone();
        }
    }
}

// What cannot be deleted now (a file held open) moves out of the way and goes at the next
// restart: the product is gone, and no later install or uninstall is held up by the leftover.
TEST_F(UninstallTest, WhatIsHeldOpenGoesAtTheNextRestart) {
    ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
    InjectForNextRun({SimFaultKind::Delete, 1, WIN_SHARING_VIOLATION, true});
    SetupRun run = Run("/U");
    // Done, and a deployment tool is told to schedule the restart that completes it.
    EXPECT_EQ(run.exitCode, SETUP_EXIT_RESTART_REQUIRED);
    EXPECT_EQ(LogFooter(LogText()),
              "Result: uninstall succeeded. A restart of Windows completes "
              "it. (exit code 3010)\r\n");
    EXPECT_THAT(LogHeader(LogText()), HasSubstr("exit code 3010"));
    EXPECT_THAT(JournalOf(run.journal, "delete-at-restart"),
                ElementsAre("C:\\Program Files (x86)\\ZIL.obsolete = 0",
                            "C:\\ZIL_Setup_temp.obsolete = 0"));
    EXPECT_THAT(LogBody(LogText()), HasSubstr("C:\\Program Files (x86)\\ZIL.obsolete: held open, "
                                              "deleted at the next restart !!!\r\n"));
    ExpectProductGone();
    EXPECT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
    EXPECT_EQ(Run("/U").exitCode, SETUP_EXIT_SUCCESS);
    ExpectProductGone();
}

// A program folder that can be neither deleted nor moved aside (a file in it that nobody may
// delete, in a folder that cannot be renamed; or the folder itself) keeps the product: /U ends
// 1603, Apps & features still lists it, its uninstaller is there byte for byte, nothing of it is
// handed to the restart, and the log says which step left it; from the download and from the
// kept program alike. One that can still be moved aside goes at the next restart: scheduled,
// named, 3010, the entry gone.
TEST_F(UninstallTest, AProgramFolderThatCannotGoKeepsTheProductListed) {
    const std::string file = std::string(SETUP_PROGRAM_DIR) + "\\ZIL.ini";
    const std::string folder = SETUP_PROGRAM_DIR;
    const std::string retired = folder + ".obsolete";
    struct Case {
        const char* what;
        std::string undeletable;
        std::string unmovable;  // "" for none
    };
    const std::vector<Case> cases = {
        {"a file that cannot go, in a folder that cannot move", file, file},
        {"a folder that can neither go nor move", folder, folder},
        {"a file that cannot go", file, ""},
        {"a folder that cannot go", folder, ""},
    };
    auto listed = [&] {
        SimPlatform sim(test_support::VirtualClockMachine(m_root));
        std::vector<RegistryValue> entry;
        sim.simRegistry().readValues(SETUP_ENTRY_KEY, entry);
        return std::find(entry.begin(), entry.end(),
                         RegistryValue::Text("DisplayVersion", ZIL_PRODUCT_VERSION)) != entry.end();
    };
    for (const Case& c : cases) {
        for (bool fromKept : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (fromKept ? ", the kept program" : ", /U"));
            FreshMachine();
            ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
            const std::string uninstaller = ReadHostFile(Host(SETUP_KEPT_SETUP));
            const std::vector<std::string> files = FilesBelow(Host(folder));
            WriteHostFile(m_root + "/undeletable.txt", c.undeletable + "\n");
            WriteHostFile(m_root + "/unmovable.txt", c.unmovable + "\n");
            int exitCode = -1;
            std::vector<std::string> journal;
            if (fromKept) {
                std::filesystem::permissions(Host(SETUP_KEPT_SETUP),
                                             std::filesystem::perms::owner_exec,
                                             std::filesystem::perm_options::add);
                SetupProcessRun run = RunSetupProcess(Host(SETUP_KEPT_SETUP), m_root, "/U", "");
                ASSERT_TRUE(run.exited);
                exitCode = run.status;
                std::istringstream lines(run.journal);
                for (std::string line; std::getline(lines, line);) {
                    journal.push_back(line);
                }
            } else {
                SetupRun run = Run("/U");
                exitCode = run.exitCode;
                journal = run.journal;
            }
            std::vector<std::string> restart = JournalOf(journal, "delete-at-restart");
            if (!c.unmovable.empty()) {
                EXPECT_EQ(exitCode, fromKept ? SETUP_EXIT_FAILURE % 256 : SETUP_EXIT_FAILURE);
                EXPECT_TRUE(listed()) << "Apps & features no longer lists a product still there";
                EXPECT_EQ(ReadHostFile(Host(SETUP_KEPT_SETUP)), uninstaller);
                EXPECT_EQ(FilesBelow(Host(folder)), files);
                for (const std::string& line : restart) {
                    EXPECT_FALSE(line.starts_with(folder)) << line;
                }
                EXPECT_FALSE(Exists(retired));
                EXPECT_THAT(LogDetails(LogText()),
                            ::testing::Not(HasSubstr("Waits For The Next Restart")));
                // Nothing in a folder that cannot move moves: not even the kept program, which
                // then cannot hand over.
                if (fromKept && c.unmovable == folder) {
                    EXPECT_THAT(LogBody(LogText()),
                                HasSubstr("Move ZIL Setup Out Of Program Folder Failed, error 5"));
                    EXPECT_EQ(LogFooter(LogText()), "Result: setup failed (exit code 1603)\r\n");
                } else {
                    EXPECT_THAT(LogBody(LogText()), HasSubstr("Uninstall ZIL Failed !!!\r\n"));
                    EXPECT_THAT(LogBody(LogText()),
                                ::testing::Not(HasSubstr("Unistall ZIL Success")));
                    EXPECT_THAT(LogDetails(LogText()),
                                HasSubstr("Delete ZIL Directory: error 5: Access is denied."));
                    EXPECT_EQ(LogFooter(LogText()),
                              "Result: uninstall failed (exit code 1603)\r\n");
                }
                // Once it can go, it goes.
                std::filesystem::remove(m_root + "/undeletable.txt");
                std::filesystem::remove(m_root + "/unmovable.txt");
                EXPECT_EQ(Run("/U").exitCode, SETUP_EXIT_SUCCESS);
                ExpectProductGone();
                continue;
            }
            EXPECT_EQ(exitCode,
                      fromKept ? SETUP_EXIT_RESTART_REQUIRED % 256 : SETUP_EXIT_RESTART_REQUIRED);
            EXPECT_THAT(restart, ::testing::Contains(retired + " = 0"));
            EXPECT_FALSE(listed());
            ExpectProductGone();
            EXPECT_THAT(LogBody(LogText()),
                        HasSubstr(retired + ": held open, deleted at the next restart !!!\r\n"));
            EXPECT_THAT(LogDetails(LogText()), HasSubstr("Waits For The Next Restart: " + retired));
            EXPECT_THAT(LogFooter(LogText()), HasSubstr("(exit code 3010)"));
        }
    }
}

// An ordinary user's C:\\ZIL_Setup_temp that setup can neither remove nor move aside is no veto:
// the uninstall and the install run in a private folder of another name and succeed, the
// user's folder is left as it was, and nothing of it is handed to the restart's deletion,
// which would run as SYSTEM. One that can be moved aside is, and the usual folder is used.
TEST_F(UninstallTest, AnOrdinaryUsersTemporaryFolderIsNoVeto) {
    for (bool movable : {false, true}) {
        SCOPED_TRACE(movable ? "movable" : "neither removable nor movable");
        FreshMachine();
        ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
        WriteHostFile(Host(SETUP_TEMP_DIR) + "/theirs.txt", "someone else's");
        for (const char* list : {"user-owned.txt", "undeletable.txt", "unmovable.txt"}) {
            if (movable && std::string(list) == "unmovable.txt") {
                continue;
            }
            WriteHostFile(m_root + "/" + list, std::string(SETUP_TEMP_DIR) + "\n");
        }
        const std::string theirs =
            movable ? std::string(SETUP_TEMP_DIR) + ".obsolete" : std::string(SETUP_TEMP_DIR);
        auto followTheirs = [&] {
            for (const char* list : {"user-owned.txt", "undeletable.txt"}) {
                WriteHostFile(m_root + "/" + list, theirs + "\n");
            }
        };
        bool first = true;
        for (const char* argument : {"/U", "/I", "/U"}) {
            SCOPED_TRACE(argument);
            SetupRun run = Run(argument);
            EXPECT_EQ(run.exitCode, SETUP_EXIT_SUCCESS);
            EXPECT_THAT(JournalOf(run.journal, "delete-at-restart"), IsEmpty());
            EXPECT_EQ(ReadHostFile(Host(theirs) + "/theirs.txt"), "someone else's");
            std::vector<std::string> scripts;
            for (const std::string& line : JournalOf(run.journal, "system")) {
                std::string command = line.substr(0, line.find(" -> "));
                scripts.push_back(command.substr(command.rfind(' ') + 1));
            }
            ASSERT_EQ(scripts.size(), 1u);
            // Never a script out of the user's folder.
            EXPECT_EQ(scripts[0].starts_with("c:\\ZIL_Setup_temp\\"), movable) << scripts[0];
            if (first || !movable) {
                EXPECT_THAT(LogBody(LogText()),
                            HasSubstr(theirs + ": not setup's own, left alone !!!\r\n"));
            }
            if (first && movable) {
                followTheirs();  // the machine's lists name paths; the folder has moved
            }
            first = false;
            if (!movable) {
                EXPECT_THAT(LogBody(LogText()),
                            HasSubstr(std::string(SETUP_TEMP_DIR) +
                                      ": cannot be cleared, setup uses " + SETUP_TEMP_DIR + "."));
            }
        }
        EXPECT_FALSE(Exists(SETUP_PROGRAM_DIR));
        EXPECT_EQ(ServiceState(), 0u);
        EXPECT_EQ(FilesBelow(Host(theirs)), std::vector<std::string>{"theirs.txt"});
    }
}

// A deletion at the restart that Windows refuses to schedule is not told as done: the leftover
// waits for a person, and the log says so.
TEST_F(UninstallTest, ARefusedRestartSchedulingIsNotToldAsDone) {
    ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
    InjectForNextRun({SimFaultKind::Delete, 1, WIN_SHARING_VIOLATION, true});
    InjectForNextRun({SimFaultKind::Restart, 1, WIN_ACCESS_DENIED, true});
    SetupRun run = Run("/U");
    EXPECT_EQ(run.exitCode, SETUP_EXIT_SUCCESS);
    std::string log = LogBody(LogText());
    EXPECT_THAT(log, HasSubstr("C:\\Program Files (x86)\\ZIL.obsolete: held open, its restart "
                               "deletion refused !!!\r\n"));
    EXPECT_THAT(log, ::testing::Not(HasSubstr("deleted at the next restart")));
    EXPECT_FALSE(Exists(SETUP_PROGRAM_DIR));
}

// A service stuck starting is marked for deletion but never goes: that is no success.
TEST_F(UninstallTest, AServiceStuckStartingIsAFailure) {
    SimServices::Knobs knobs;
    knobs.neverStarts = true;
    SetServiceKnobs(knobs);
    ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_FAILURE);
    SetupRun run = Run("/U");
    EXPECT_EQ(run.exitCode, SETUP_EXIT_FAILURE);
    SimServices::Record record;
    EXPECT_TRUE(ServiceRecord(record));
}

}  // namespace
