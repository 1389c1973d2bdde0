// The setup program killed halfway, as by a power cut, on the simulated machine: whatever it
// left, the next install completes and the next uninstall removes everything.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "SequenceHarness.h"
#include "setup/ProductService.h"
#include "tests/faults/MachineFiles.h"
#include "tests/faults/SetupProcess.h"

using ::testing::HasSubstr;

namespace {

class CrashTest : public SequenceTest {
protected:
    // The packed setup program as its own process; -1 when a signal ended it.
    int RunProcess(const std::string& argument, const std::string& faults = "",
                   const std::string& setup = SAMPLE_SETUP) {
        SetupProcessRun run = RunSetupProcess(setup, m_root, argument, faults);
        return run.exited ? run.status : -1;
    }

    // The old service as an administrator may have set it up, unlike anything setup registers:
    // another display name and type, under LocalService, with an argument, started on demand,
    // with another error control; running or stopped.
    ServiceSettings RegisterTheOldService(bool running) {
        ServiceSettings old;
        old.name = theServiceName;
        old.displayName = "ZIL sensors (old)";
        old.serviceType = 0x20;  // one that shares its process
        old.startType = SVC_DEMAND_START;
        old.errorControl = 2;  // severe
        old.imagePath = "\"C:\\Program Files (x86)\\ZIL\\ZIL_Service.exe\" -k old";
        old.account = "NT AUTHORITY\\LocalService";
        SimPlatform sim(test_support::VirtualClockMachine(m_root));
        ProductService service(sim);
        EXPECT_EQ(service.StartOrStopWithRetry(SERVICE_MODE_STOP).error, 0);
        EXPECT_EQ(service.DeleteProductService().error, 0);
        EXPECT_EQ(service.RegisterService(old).error, 0);
        if (running) {
            EXPECT_EQ(service.StartOrStopWithRetry(SERVICE_MODE_START).error, 0);
        }
        return old;
    }

    // Every field of the registration as it was, and its state.
    void ExpectRegistration(const ServiceSettings& old, std::uint32_t state) {
        SimServices::Record record;
        ASSERT_TRUE(ServiceRecord(record)) << "no service registered";
        const ServiceSettings& now = record.settings;
        EXPECT_EQ(now.name, old.name);
        EXPECT_EQ(now.displayName, old.displayName);
        EXPECT_EQ(now.serviceType, old.serviceType);
        EXPECT_EQ(now.startType, old.startType);
        EXPECT_EQ(now.errorControl, old.errorControl);
        EXPECT_EQ(now.imagePath, old.imagePath);
        EXPECT_EQ(now.account, old.account);
        EXPECT_EQ(ServiceState(), state);
    }
};

// The points where the tests cut a run off, named by what the call there touches.
const std::string theWmiRegistration =
    FaultAt("system", std::string("*") + SETUP_INSTALL_MOF_SCRIPT);
const std::string theOldServiceRemoval = FaultAt("svc-delete", std::string(theServiceName));
const std::string theSetAside = FaultAt("move", SETUP_PROGRAM_DIR);
const std::string theNewProgramFolder = FaultAt("mkdir", SETUP_PROGRAM_DIR);
// Halfway through the new files' moves into the program folder.
const std::string theNewFilesMoves =
    FaultAt("move", std::string(SETUP_TEMP_DIR) + "\\Gauge_04.bmp");
// A restore's removal of what is in the program folder's place, then its rename back.
const std::string theRemovalBeforeTheRenameBack = FaultAt("delete", SETUP_PROGRAM_DIR);
const std::string theRenameBack = FaultAt("move", SETUP_SET_ASIDE_DIR);
const std::string theServiceCreation = FaultAt("svc-create", std::string(theServiceName));
// The commit's removal of the old folder, once the record is gone.
const std::string theOldFolderRemoval = FaultAt("delete", SETUP_SET_ASIDE_DIR);
// A new file's move refused: the upgrade fails and restores.
const std::string aRefusedMove =
    FaultAt("move", std::string(SETUP_TEMP_DIR) + "\\Alarm_04.bmp", "32");

std::size_t Count(const std::vector<std::string>& lines, const std::string& text) {
    return static_cast<std::size_t>(std::count_if(
        lines.begin(), lines.end(),
        [&](const std::string& line) { return line.find(text) != std::string::npos; }));
}

// Killed anywhere, the next install completes and the next uninstall removes everything: right
// after the extraction (the WMI registration is the first command after it), on a clean machine
// or over an installation; over an installation once its folder is set aside (at the program
// folder's creation, the second folder made, and in the middle of the new files' moves), where
// the next run brings the old folder back before anything else, or the next run is an uninstall;
// killed again while the next run brings the old folder back (before and at the rename), or while
// a failed upgrade restores it (before the rename back, and before the old service is registered
// again).
TEST_F(CrashTest, KilledAnywhereTheNextRunsFinishTheJob) {
    struct Case {
        bool installed;
        std::vector<std::string> kills;
        std::string left;  // what the kills leave behind, "" when not looked at
        bool restored;     // the next install says it brought the old folder back
        std::string next = "/I";
    };
    const std::string extracted = "C:\\ZIL_Setup_temp\\ZIL_Service.exe";
    const std::vector<Case> cases = {
        {false, {theWmiRegistration}, extracted, false},
        {true, {theWmiRegistration}, extracted, false},
        {true, {theNewProgramFolder}, SETUP_SET_ASIDE_DIR, true},
        {true, {theNewFilesMoves}, SETUP_SET_ASIDE_DIR, true},
        {true, {theNewFilesMoves}, SETUP_SET_ASIDE_DIR, false, "/U"},
        {true, {theNewFilesMoves, theRemovalBeforeTheRenameBack}, "", true},
        {true, {theNewFilesMoves, theRenameBack}, "", true},
        {true, {aRefusedMove + "," + theRemovalBeforeTheRenameBack}, "", true},
        {true, {aRefusedMove + "," + theServiceCreation}, "", true},
        // Inside the commit: the record is gone, the old folder not yet.
        {true, {theOldFolderRemoval}, SETUP_SET_ASIDE_DIR, false},
        {true, {theOldFolderRemoval}, SETUP_SET_ASIDE_DIR, false, "/U"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kills.back() + (c.kills.size() > 1 ? " the second time" : "") + " " +
                     c.next);
        FreshMachine();
        if (c.installed) {
            ASSERT_EQ(RunProcess("/I"), SETUP_EXIT_SUCCESS);
        }
        for (const std::string& kill : c.kills) {
            EXPECT_EQ(RunProcess("/I", kill), -1);
        }
        EXPECT_TRUE(c.left.empty() || Exists(c.left));
        if (c.next == "/I") {
            EXPECT_EQ(RunProcess("/I"), SETUP_EXIT_SUCCESS);
            EXPECT_EQ(c.restored,
                      LogBody(LogText()).find("Restore Interrupted ZIL Upgrade Success !!!\r\n") !=
                          std::string::npos);
            EXPECT_FALSE(Exists(SETUP_TEMP_DIR));
            EXPECT_EQ(ServiceState(), static_cast<std::uint32_t>(SVC_RUNNING));
            EXPECT_TRUE(Exists("C:\\Program Files (x86)\\ZIL\\ICONs\\ZIL.ico"));
            ExpectNoLeftovers();
        }
        EXPECT_EQ(RunProcess("/U"), SETUP_EXIT_SUCCESS);
        ExpectProductGone();
        ExpectNoLeftovers();
    }
}

// An upgrade killed once the old registration is gone (at the new service's creation), over an
// old service registered unlike setup's own: the next /I brings it back from the record, every
// field as it was, and starts it again only when that run fails, and only if it ran: then the
// restore of that run gives it back the same way. A /U after it removes everything.
TEST_F(CrashTest, AResumedUpgradeGivesTheRegistrationBackExactly) {
    for (bool ran : {true, false}) {
        for (bool nextFails : {true, false}) {
            SCOPED_TRACE(std::string(ran ? "running" : "stopped") +
                         (nextFails ? ", the next /I fails" : ", the next /I succeeds"));
            FreshMachine();
            ASSERT_EQ(RunProcess("/I"), SETUP_EXIT_SUCCESS);
            ServiceSettings old = RegisterTheOldService(ran);
            Listing folder = ListBelow(Host(SETUP_PROGRAM_DIR));
            ASSERT_EQ(RunProcess("/I", theServiceCreation), -1);
            ASSERT_EQ(ServiceState(), 0u) << "killed before the old registration went";
            ASSERT_TRUE(Exists(SETUP_SET_ASIDE_DIR));
            if (nextFails) {
                m_installSteps = StepsWithAFailedCheckAfterTheStart();
            }
            SetupRun next = Run("/I");
            EXPECT_THAT(LogBody(LogText()),
                        HasSubstr("Restore Interrupted ZIL Upgrade Success !!!"));
            // The new service's start; the old one's only to end a failed run, if it ran.
            const std::vector<std::string> services = JournalOf(next.journal, "service");
            EXPECT_EQ(Count(services, "JovixZIL start "), nextFails && ran ? 2u : 1u);
            if (!nextFails) {
                EXPECT_EQ(next.exitCode, SETUP_EXIT_SUCCESS);
                ExpectInstalled();
                ExpectNoLeftovers();
                continue;
            }
            EXPECT_EQ(next.exitCode, SETUP_EXIT_FAILURE);
            ExpectRegistration(old, ran ? SVC_RUNNING : SVC_STOPPED);
            EXPECT_EQ(ListBelow(Host(SETUP_PROGRAM_DIR)), folder);
            ExpectNoLeftovers();
            EXPECT_EQ(RunProcess("/U"), SETUP_EXIT_SUCCESS);
            ExpectProductGone();
            ExpectNoLeftovers();
        }
    }
}

// The record reaches the disk before the first change it names: an upgrade killed at any point
// after it is written (before the old registration goes, before the old folder moves, once it
// has moved), losing whatever it had not flushed, is resumed by the next run with everything the
// record names: that run, failing, gives back the old registration with its account, running as
// it ran, and the old folder whole.
TEST_F(CrashTest, TheRecordOutlivesAKillAfterIt) {
    struct Case {
        std::string kill;
        bool registered;  // the old registration is still there after the kill
        bool setAside;    // the old folder is set aside
    };
    const std::vector<Case> cases = {
        {theOldServiceRemoval, true, false},
        {theSetAside, false, false},
        {theNewProgramFolder, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kill);
        FreshMachine();
        ASSERT_EQ(RunProcess("/I"), SETUP_EXIT_SUCCESS);
        ServiceSettings old = RegisterTheOldService(true);
        Listing folder = ListBelow(Host(SETUP_PROGRAM_DIR));
        ASSERT_EQ(RunProcess("/I", c.kill), -1);
        // Where the kill came: after the record, at the change the case names.
        ASSERT_TRUE(Exists(SETUP_UPGRADE_RECORD));
        ASSERT_EQ(ServiceState() != 0, c.registered);
        ASSERT_EQ(Exists(SETUP_SET_ASIDE_DIR), c.setAside);
        ASSERT_EQ(Exists(SETUP_PROGRAM_DIR), !c.setAside);
        m_installSteps = StepsWithAFailedCheckAfterTheStart();
        SetupRun next = Run("/I");
        EXPECT_EQ(next.exitCode, SETUP_EXIT_FAILURE);
        EXPECT_THAT(LogBody(LogText()), HasSubstr("Restore Interrupted ZIL Upgrade Success !!!"));
        ExpectRegistration(old, SVC_RUNNING);
        EXPECT_EQ(ListBelow(Host(SETUP_PROGRAM_DIR)), folder);
        ExpectNoLeftovers();
    }
}

// State that someone else planted where setup keeps its own is never taken for it: at the old
// place of the set-aside folder, at the new one without a record, a link in place of the folder
// that a real record names, and a record that an ordinary user wrote. An install that fails on
// a damaged archive leaves the installation as it was, and neither it nor the next install or
// uninstall moves a planted file anywhere.
TEST_F(CrashTest, PlantedStateIsNeverActedOn) {
    const std::string damaged = DamagedSetup(ArchiveNames(SAMPLE_SETUP).front());
    const std::string setAside = Host(SETUP_SET_ASIDE_DIR);
    const std::string elsewhere = m_root + "/D/data";
    struct Case {
        const char* what;
        std::function<void()> plant;
        std::string planted;  // the planted file, which must stay where it is
    };
    auto plantFolder = [&](const std::string& folder) {
        std::filesystem::create_directories(folder);
        WriteHostFile(folder + "/planted.txt", "someone else's");
    };
    auto userOwned = [&](const std::string& path) {
        std::ofstream(m_root + "/user-owned.txt", std::ios::app) << path << "\n";
    };
    auto interrupted = [&] { EXPECT_EQ(RunProcess("/I", theNewFilesMoves), -1); };
    const std::vector<Case> cases = {
        {"a folder at the old place",
         [&] {
             plantFolder(m_root + "/C/ZIL_Setup_temp/ZIL.previous");
             userOwned("C:\\ZIL_Setup_temp");
         },
         ""},
        {"a user's folder without a record",
         [&] {
             plantFolder(setAside);
             userOwned(SETUP_SET_ASIDE_DIR);
         },
         setAside + "/planted.txt"},
        {"a link in place of the recorded folder",
         [&] {
             interrupted();
             std::filesystem::remove_all(setAside);
             plantFolder(elsewhere);
             std::filesystem::create_directory_symlink(elsewhere, setAside);
         },
         elsewhere + "/planted.txt"},
        {"a record that a user wrote",
         [&] {
             interrupted();
             WriteHostFile(setAside + "/planted.txt", "someone else's");
             userOwned(SETUP_UPGRADE_RECORD);
         },
         // The folder is administrators', setup's own: it goes as a leftover, with the file.
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FreshMachine();
        ASSERT_EQ(RunProcess("/I"), SETUP_EXIT_SUCCESS);
        c.plant();
        std::vector<std::string> before = FilesBelow(Host(SETUP_PROGRAM_DIR));
        EXPECT_EQ(RunProcess("/I", "", damaged), SETUP_EXIT_BAD_ARCHIVE % 256);
        EXPECT_EQ(FilesBelow(Host(SETUP_PROGRAM_DIR)), before);
        EXPECT_EQ(RunProcess("/I"), SETUP_EXIT_SUCCESS);
        EXPECT_TRUE(Exists("C:\\Program Files (x86)\\ZIL\\ICONs\\ZIL.ico"));
        EXPECT_FALSE(Exists("C:\\Program Files (x86)\\ZIL\\planted.txt"));
        EXPECT_EQ(RunProcess("/U"), SETUP_EXIT_SUCCESS);
        if (!c.planted.empty()) {
            EXPECT_EQ(ReadHostFile(c.planted), "someone else's");
        }
        EXPECT_FALSE(Exists(SETUP_PROGRAM_DIR));
    }
}

}  // namespace
