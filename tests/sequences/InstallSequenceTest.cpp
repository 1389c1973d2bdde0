#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "SequenceHarness.h"
#include "text/Format.h"
#include "res/ProductVersion.h"
#include "sfx/SfxExtractor.h"
#include "tests/faults/MachineFiles.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

namespace {

// One new file's move refused, halfway through them: the upgrade fails and restores.
const SimFault aNewFilesMoveRefused = SimFaultAt(
    SimFaultKind::Move, std::string(SETUP_TEMP_DIR) + "\\Alarm_04.bmp", WIN_SHARING_VIOLATION);
// Every stop request refused: the service will not stop.
const SimFault theStopsRefused = SimFaultAt(
    SimFaultKind::SvcControl, std::string(theServiceName) + "\\" + std::to_string(SVC_CONTROL_STOP),
    WIN_ACCESS_DENIED, true);

// What an install on a machine without the product logs, up to the service's start.
const std::string REMOVE_NOTHING =
    "Service Not Exist !!!\r\n"
    "Service Not Exist !!!\r\n"
    "Unistall ZIL Success !!!\r\n";
const std::string PLACE_AND_CREATE =
    "Create ZIL Directory Success !!!\r\n"
    "Delete ZIL Temp Directory Success !!!\r\n"
    "Install ZIL Service retcode = 0\r\n"
    "Request Successed !!!\r\n";
const std::string STARTED =
    "START ZIL Service retcode = 0\r\n"
    "Query Code = Running --> 4\r\n";
const std::string FINISHED =
    "Start Service Success !!!\r\n"
    "Write HKLM Launch_ZIL success !!!\r\n";

class InstallTest : public SequenceTest {
protected:
    std::string ProgramDir() const { return Host(SETUP_PROGRAM_DIR); }

    // The sample setup packed again without one of its files.
    std::string SetupWithout(const std::string& entry) {
        std::string payload = m_setups.string() + "/payload";
        std::string packer = ZIL_BINARY_DIR "/sfxpack";
        std::string setup = m_setups.string() + "/incomplete-setup";
        EXPECT_EQ(
            std::system(
                (packer + " extract " + SAMPLE_SETUP + " " + payload + " >/dev/null").c_str()),
            0);
        std::filesystem::remove(payload + "/" + entry);
        EXPECT_EQ(std::system((packer + " create -o " + setup + " --stub " + BARE_SETUP + " " +
                               payload + "/*")
                                  .c_str()),
                  0);
        return setup;
    }
};

TEST_F(InstallTest, CleanMachineFromTheCommandLine) {
    SetupRun run = Run("/I");
    EXPECT_EQ(run.exitCode, SETUP_EXIT_SUCCESS);
    std::string log = REMOVE_NOTHING + PLACE_AND_CREATE + STARTED + FINISHED;
    EXPECT_EQ(run.statusText, log);
    EXPECT_THAT(run.boxes, IsEmpty());
    EXPECT_TRUE(run.dialogEnded);
    ExpectInstalled();
    EXPECT_EQ(LogBody(LogText()), log);
    EXPECT_THAT(LogHeader(LogText()), HasSubstr("install (command line)"));
    EXPECT_THAT(LogHeader(LogText()), HasSubstr("exit code 0"));
    EXPECT_EQ(LogFooter(LogText()), "Result: install succeeded (exit code 0)\r\n");
    EXPECT_THAT(JournalOf(run.journal, "system"),
                ElementsAre("C:\\Windows\\System32\\wbem\\mofcomp.exe "
                            "c:\\ZIL_Setup_temp\\ZARN_ZIL.mof -> 0"));
    EXPECT_THAT(JournalOf(run.journal, "program"), IsEmpty());
    // The blank in the path must not let Windows start "C:\Program.exe".
    SimServices::Record record;
    ASSERT_TRUE(ServiceRecord(record));
    EXPECT_EQ(record.settings.imagePath, "\"C:\\Program Files (x86)\\ZIL\\ZIL_Service.exe\"");
    EXPECT_EQ(record.settings.startType, static_cast<std::uint32_t>(SVC_AUTO_START));
}

// Wherever the service comes to run without the runtime, the run log is the same: from the
// dialog; on a 32-bit Windows, which has no folder for 32-bit programs (it is made on the way to
// the program directory, as the shell would make it); with a service that takes three seconds to
// report that it runs.
TEST_F(InstallTest, EveryPathToARunningServiceLogsTheSameRun) {
    struct Case {
        const char* what;
        std::function<void()> before;
        std::string argument;
    };
    for (const Case& c :
         {Case{"from the dialog", [] {}, ""},
          Case{"on a 32-bit Windows",
               [this] { std::filesystem::remove(Host("C:\\Program Files (x86)")); }, "/I"},
          Case{"a slow start", [this] { SetServiceKnobs({.startDelay = 3000}); }, "/I"}}) {
        SCOPED_TRACE(c.what);
        FreshMachine();
        c.before();
        SetupRun run =
            RunProgram(c.argument, c.argument.empty() ? std::vector<std::string>{"click:1000"}
                                                      : std::vector<std::string>{});
        EXPECT_EQ(run.exitCode, SETUP_EXIT_SUCCESS);
        EXPECT_EQ(run.statusText, REMOVE_NOTHING + PLACE_AND_CREATE + STARTED + FINISHED);
        EXPECT_THAT(JournalOf(run.journal, "program"), IsEmpty());
        ExpectInstalled();
    }
}

TEST_F(InstallTest, OverARunningInstallationTheOldOneIsClosedStoppedAndReplaced) {
    ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
    // Something of the old installation that the new payload does not carry must go.
    WriteHostFile(ProgramDir() + "/old-only.txt", "left from an older version");
    SetupRun run = Run("/I");
    EXPECT_EQ(run.exitCode, SETUP_EXIT_SUCCESS);
    EXPECT_EQ(run.statusText,
              "Query Code = Running --> 4\r\n"
              "Query Code = STOP --> 1\r\n"
              "Request Successed !!!\r\n"
              "Unistall ZIL Success !!!\r\n" +
                  PLACE_AND_CREATE + STARTED + FINISHED);
    ExpectInstalled();
}

TEST_F(InstallTest, AServiceThatNeedsTheRuntimeGetsItOnceAndTheSweepClearsItsLeftovers) {
    SimServices::Knobs knobs;
    knobs.needsRuntime = true;
    SetServiceKnobs(knobs);
    // Files of the same names that were there before belong to someone else and stay.
    WriteHostFile(m_root + "/D/eula.txt", "someone else's");
    SetupRun run = Run("/I");
    EXPECT_EQ(run.exitCode, SETUP_EXIT_SUCCESS);
    EXPECT_EQ(run.statusText, REMOVE_NOTHING + PLACE_AND_CREATE +
                                  "START ZIL Service retcode = 1053\r\n"
                                  "Query Code = STOP --> 1\r\n"
                                  "Start Service Failed XXXXX Install Vcredist_x86 \r\n"
                                  "Query Code = Running --> 4\r\n" +
                                  FINISHED);
    ExpectInstalled();
    EXPECT_THAT(JournalOf(run.journal, "program"),
                ElementsAre(HasSubstr("C:\\Program Files (x86)\\ZIL\\vcredist_x86.exe /q:a -> 0")));
    EXPECT_TRUE(Exists("C:\\Windows\\System32\\msvcr_zil.marker"));
    for (const std::string& name : FilesBelow(m_root + "/C")) {
        EXPECT_NE(name.find('/'), std::string::npos) << "left at the root of C: " << name;
    }
    EXPECT_THAT(FilesBelow(m_root + "/D"), ElementsAre("eula.txt"));
}

// A service that never starts fails the install: from the command line silently, with the box's
// text in the run log and setup's helpers left (the steps after the start did not run); from the
// dialog with the box instead (the person saw it), the dialog left open with its buttons back
// until the person closes it.
TEST_F(InstallTest, AServiceThatNeverStartsFailsTheInstall) {
    const std::string log = REMOVE_NOTHING + PLACE_AND_CREATE +
                            "START ZIL Service retcode = 1056\r\n"
                            "Query Code = 2\r\n"
                            "Start Service Failed XXXXX Install Vcredist_x86 \r\n";
    const std::string box = "Start ZIL Service Failed ";
    SetServiceKnobs({.neverStarts = true});
    SetupRun run = Run("/I");
    EXPECT_EQ(run.exitCode, SETUP_EXIT_FAILURE);
    EXPECT_THAT(run.boxes, IsEmpty());
    EXPECT_TRUE(run.dialogEnded);
    EXPECT_EQ(run.statusText, log + box + "\r\nQuery Code = 2\r\n");
    EXPECT_EQ(LogBody(LogText()), run.statusText);
    EXPECT_THAT(LogHeader(LogText()), HasSubstr("exit code 1603"));
    EXPECT_TRUE(Exists(SETUP_REDIST_EXE));

    FreshMachine();
    SetServiceKnobs({.neverStarts = true});
    run = RunProgram("", {"click:1000"});
    EXPECT_EQ(run.exitCode, SETUP_EXIT_FAILURE);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text, box);
    EXPECT_EQ(run.statusText, log + "Query Code = 2\r\n");
    EXPECT_EQ(JournalOf(run.journal, "window"), (std::vector<std::string>{"click 1000", "close"}));
    EXPECT_TRUE(run.buttonsEnabled);
}

// Whatever is wrong with the archive, the machine keeps the installation it had.
TEST_F(InstallTest, ABadArchiveStopsBeforeAnythingIsRemoved) {
    ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
    std::vector<std::string> before = FilesBelow(ProgramDir());
    std::vector<std::string> names = ArchiveNames(SAMPLE_SETUP);
    ASSERT_FALSE(names.empty());
    struct Case {
        std::string setup;
        std::string text;
    };
    std::vector<Case> cases = {
        {BARE_SETUP, "Archive contins no data. Extraction cannot continue."},
        // The first entry is extracted last: everything else was written by then.
        {DamagedSetup(names.front()), "Archive data is damaged. Extraction cannot continue."},
        // Sound, but without the service that the install starts by name.
        {SetupWithout(SETUP_SERVICE_ENTRY),
         "Archive lacks ZIL_Service.exe. Setup cannot install from it."},
    };
    for (const Case& c : cases) {
        for (std::string argument : {"/I", ""}) {
            SCOPED_TRACE(c.setup + " " + argument);
            m_setupPath = c.setup;
            SetupRun run = Run(argument, {"click:1000"});
            EXPECT_EQ(run.exitCode, SETUP_EXIT_BAD_ARCHIVE);
            const std::string& text = c.text;
            EXPECT_EQ(run.statusText, text + "\r\n");
            EXPECT_EQ(LogBody(LogText()), text + "\r\n");
            if (argument[0] == '/') {
                EXPECT_THAT(run.boxes, IsEmpty());
            } else {
                ASSERT_EQ(run.boxes.size(), 1u);
                EXPECT_EQ(run.boxes[0].text, text);
            }
            EXPECT_TRUE(run.dialogEnded);
            EXPECT_FALSE(Exists(SETUP_TEMP_DIR));
            EXPECT_THAT(JournalOf(run.journal, "system"), IsEmpty());
            EXPECT_EQ(FilesBelow(ProgramDir()), before);
            EXPECT_EQ(ServiceState(), static_cast<std::uint32_t>(SVC_RUNNING));
        }
        m_setupPath = SAMPLE_SETUP;
        ExpectInstalled();
    }
}

// Files that cannot be written are the machine's fault, not the archive's: 1603.
TEST_F(InstallTest, AFullDiskDuringExtractionStopsWithAFailure) {
    InjectForNextRun(
        SimFaultAt(SimFaultKind::Write, std::string(SETUP_TEMP_DIR) + "\\*", WIN_DISK_FULL));
    SetupRun run = Run("/I");
    EXPECT_EQ(run.exitCode, SETUP_EXIT_FAILURE);
    EXPECT_EQ(run.statusText,
              "Extractor could not read the archive or write an output file. Please ensure that "
              "you have enough space on the target drive.\r\n");
    EXPECT_FALSE(Exists(SETUP_TEMP_DIR));
    EXPECT_FALSE(Exists(SETUP_PROGRAM_DIR));
    EXPECT_EQ(ServiceState(), 0u);
}

// A planted or stale temporary directory never reaches the program directory.
TEST_F(InstallTest, AStaleTemporaryDirectoryIsReplacedAndOneThatCannotBeMadeStopsTheRun) {
    WriteHostFile(Host(SETUP_TEMP_DIR) + "/planted.dll", "not ours");
    WriteHostFile(Host(SETUP_TEMP_DIR) + "/ZIL_Service.exe", "not ours either");
    ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
    ExpectInstalled();
    EXPECT_NE(ReadHostFile(ProgramDir() + "/ZIL_Service.exe"), "not ours either");

    std::vector<std::string> before = FilesBelow(ProgramDir());
    InjectForNextRun({SimFaultKind::Mkdir, 1, WIN_ACCESS_DENIED});
    SetupRun run = Run("/I");
    EXPECT_EQ(run.exitCode, SETUP_EXIT_FAILURE);
    EXPECT_THAT(run.statusText, HasSubstr(SETUP_TEMP_DIR));
    EXPECT_THAT(run.boxes, IsEmpty());
    EXPECT_EQ(FilesBelow(ProgramDir()), before);
    EXPECT_EQ(ServiceState(), static_cast<std::uint32_t>(SVC_RUNNING));
}

// Under the run log, the details: the program, its archive and the machine, then every step in
// order of time, a failed one with its error in words (or the want of words for a number the
// system has none for); no line that a reader of the run log could take for one of its own.
TEST_F(InstallTest, TheLogDetailsTheRunBelowTheRunLog) {
    InjectForNextRun({SimFaultKind::SvcCreate, 1, 4242});
    InjectForNextRun({SimFaultKind::SvcStart, 1, WIN_SERVICE_REQUEST_TIMEOUT, true});
    ASSERT_EQ(RunProgram("/I").exitCode, SETUP_EXIT_FAILURE);
    std::string details = LogDetails(LogText());
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = details.find("\r\n", at)) != std::string::npos;
         at = end + 2) {
        lines.push_back(details.substr(at, end - at));
    }
    ASSERT_GT(lines.size(), 6u) << details;
    auto size = std::filesystem::file_size(SAMPLE_SETUP);
    EXPECT_EQ(lines[0], "Details:");
    EXPECT_EQ(lines[1], "  setup program: version 1.0.0.0, " + std::to_string(size) +
                            " bytes, installs ZIL " ZIL_PRODUCT_VERSION);
    EXPECT_EQ(lines[2], "  archive: " + std::to_string(ArchiveNames(SAMPLE_SETUP).size()) +
                            " entries, ends at byte " + std::to_string(size) +
                            ", the end of the file (unsigned)");
    EXPECT_THAT(lines[3], ::testing::StartsWith("  Windows: 10.0."));
    EXPECT_EQ(lines[4], "  elevated: yes");
    const std::string timeout =
        "error 1053: The service did not respond to the start or control request in a timely "
        "fashion.";
    const std::string missing =
        "error 1060: The specified service does not exist as an installed service.";
    std::vector<std::string> steps;
    long previous = 0;
    for (std::size_t i = 6; i < lines.size(); ++i) {
        EXPECT_THAT(lines[i], ::testing::StartsWith("  "));
        EXPECT_THAT(lines[i], ::testing::Not(HasSubstr("!!!")));
        long milliseconds = std::stol(lines[i]);
        EXPECT_GE(milliseconds, previous) << lines[i];
        previous = milliseconds;
        steps.push_back(lines[i].substr(lines[i].find_first_not_of(" 0123456789")));
    }
    EXPECT_THAT(
        steps,
        ElementsAre(
            "Put Back ZIL Setup: ok", "Remove ZIL Setup Run Folder: ok",
            "Create ZIL Temp Directory: ok", "Extract ZIL Files: ok",
            "Register ZIL WMI Classes: ok", "Query ZIL Service: " + missing, "Stop ZIL Service: ok",
            "Restore Interrupted ZIL Upgrade: ok", "Remove Old ZIL Leftovers: ok",
            "Put Back ZIL Setup: ok", "Record ZIL Upgrade: ok", "Check Old ZIL Files: ok",
            "Delete ZIL Service: " + missing, "Set Aside Old ZIL Directory: ok",
            "Create ZIL Directory: ok", "Create ZIL Directory: ok", "Move ZIL Files: ok",
            "Keep ZIL Setup: ok", "Write ZIL Uninstall Entry: ok", "Delete ZIL Temp Directory: ok",
            "Create ZIL Service: error 4242: (no text for this number)", "Create ZIL Service: ok",
            "Start ZIL Service: " + timeout, "Install Runtime: ok", "Start ZIL Service: " + timeout,
            "Remove Old ZIL Directory: ok"));
    EXPECT_GT(previous, 0) << "the steps are timed";
}

// A previous version is named after the run log of a command-line install and turns its success
// into 1638; a failed install stays a failure: the deployment tool must learn that the product
// does not run.
TEST_F(InstallTest, APreviousVersionIsNamedAfterACommandLineInstall) {
    for (bool starts : {true, false}) {
        SCOPED_TRACE(starts ? "installed" : "failed");
        FreshMachine();
        WriteHostFile(Host(SETUP_PREVIOUS_VERSION_MARK), "");
        SetServiceKnobs({.neverStarts = !starts});
        SetupRun run = RunProgram("/I");
        EXPECT_EQ(run.exitCode, starts ? SETUP_EXIT_PREVIOUS_VERSION : SETUP_EXIT_FAILURE);
        EXPECT_THAT(run.boxes, IsEmpty());
        EXPECT_TRUE(LogBody(LogText()).ends_with(
            "Previous ZIL version Detected , Pleas use ZIL V1.04 to remove !!!\r\n"));
        EXPECT_THAT(LogHeader(LogText()), HasSubstr("exit code " + std::to_string(run.exitCode)));
    }
}

// Every path through the install moves the lower bar through the same positions in order,
// and the extraction keeps it at or below half.
TEST_F(InstallTest, TheLowerBarStepsThroughItsPositionsOnEveryPath) {
    const std::vector<int> steps = {60, 75, 80, 85, 89, 93, 95, 100};
    for (int path = 0; path < 3; ++path) {
        SCOPED_TRACE(path);
        SimServices::Knobs knobs;
        knobs.needsRuntime = path == 2;
        SetServiceKnobs(knobs);
        SetupRun run = Run(path == 1 ? "" : "/I", {"click:1000"});
        ASSERT_EQ(run.exitCode, SETUP_EXIT_SUCCESS);
        std::vector<int> positions = DistinctPositions(run.positions);
        auto first = std::find(positions.begin(), positions.end(), 60);
        ASSERT_NE(first, positions.end());
        EXPECT_EQ(std::vector<int>(first, positions.end()), steps);
        EXPECT_EQ(positions.front(), 0);
        EXPECT_TRUE(std::all_of(positions.begin(), first, [](int p) { return p >= 0 && p <= 50; }));
        EXPECT_GT(first - positions.begin(), 2) << "the extraction showed no progress";
    }
}

// While the extraction pumps messages a person may click anything: nothing starts a second
// sequence, nothing closes the dialog under the running one.
TEST_F(InstallTest, InputDuringTheExtractionStartsNothing) {
    for (std::string intrusion : {"click:1000", "click:1001", "close"}) {
        SCOPED_TRACE(intrusion);
        SetupRun run = RunProgram("", {"click:1000", intrusion});
        EXPECT_EQ(run.exitCode, SETUP_EXIT_SUCCESS);
        EXPECT_EQ(JournalOf(run.journal, "window").size(), 2u) << "the intrusion never came";
        ASSERT_EQ(run.boxes.size(), 1u);
        EXPECT_EQ(run.boxes[0].text, "Install ZIL Success");
        EXPECT_EQ(run.boxes[0].caption, "ZIL_Setup");
        EXPECT_THAT(LogHeader(LogText()), HasSubstr("install (interactive)"));
        EXPECT_EQ(JournalOf(run.journal, "system").size(), 1u);
        EXPECT_THAT(PausesAndControls(run.journal),
                    ::testing::Not(::testing::Contains("control 140")));
        ExpectInstalled();
    }
}

class UpgradeTest : public InstallTest {
protected:
    // A working installation of an older version: one of its files differs, one is its own.
    void SetUp() override {
        InstallTest::SetUp();
        ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
        WriteHostFile(ProgramDir() + "/ZIL.ini", "[old version]\r\n");
        WriteHostFile(ProgramDir() + "/old-only.txt", "left by the older version");
        m_old = ListBelow(ProgramDir());
        ASSERT_TRUE(ServiceRecord(m_oldService));
    }
    // The service under the product's name as another program registered it: another image with
    // its arguments, started on demand, running.
    void RegisterSomeoneElsesService(const std::string& account = "") {
        ServiceSettings foreign;
        foreign.account = account;
        foreign.displayName = "Someone else's service";
        foreign.serviceType = SVC_WIN32_OWN_PROCESS;
        foreign.startType = SVC_DEMAND_START;
        foreign.errorControl = SVC_ERROR_NORMAL;
        foreign.imagePath = "\"C:\\Other\\svc.exe\" -k run";
        WriteHostFile(Host("C:\\Other\\svc.exe"), "");
        SimPlatform sim(test_support::VirtualClockMachine(m_root));
        ProductService service(sim);
        service.StartOrStopWithRetry(SERVICE_MODE_STOP);
        service.DeleteProductService();
        ASSERT_EQ(service.RegisterService(foreign).error, 0);
        ASSERT_EQ(service.StartOrStopWithRetry(SERVICE_MODE_START).error, 0);
        ASSERT_TRUE(ServiceRecord(m_oldService));
    }
    // The folder without a file of the new version, the service registered as it was and
    // running, nothing left that a later run could take for an upgrade to bring back.
    void ExpectOldInstallationRunning() {
        EXPECT_EQ(ListBelow(ProgramDir()), m_old);
        EXPECT_FALSE(Exists(SETUP_TEMP_DIR));
        SimServices::Record record;
        ASSERT_TRUE(ServiceRecord(record));
        EXPECT_EQ(record.settings.imagePath, m_oldService.settings.imagePath);
        EXPECT_EQ(record.settings.startType, m_oldService.settings.startType);
        EXPECT_EQ(record.settings.displayName, m_oldService.settings.displayName);
        EXPECT_EQ(record.settings.account, m_oldService.settings.account);
        EXPECT_EQ(ServiceState(), static_cast<std::uint32_t>(SVC_RUNNING));
        EXPECT_FALSE(Exists(SETUP_UPGRADE_RECORD));
        EXPECT_FALSE(Exists(SETUP_SET_ASIDE_DIR));
    }

    Listing m_old;
    SimServices::Record m_oldService;
};

}  // namespace

// Whatever step of an upgrade fails, the old installation comes back running, and the run log
// says what failed and claims nothing that did not happen: the new files cannot all be placed
// (the shell refuses a move: they go again, the old folder comes back, its service is registered
// and started again); neither the program folder nor its image folder can be made; the old
// folder cannot even be set aside (a file in it is held open: nothing has moved); the service
// manager cannot say whether the product runs, or the running service will not stop (then its
// files are not replaced); the old service cannot be deleted; a step that a later change adds
// after the new service's start fails. The old service is one that another program registered
// under the name, so that the registration is seen to come back as it was, whoever made it.
TEST_F(UpgradeTest, AFailedStepBringsTheOldInstallationBack) {
    const std::string moveFailed =
        "Query Code = Running --> 4\r\n"
        "Query Code = STOP --> 1\r\n"
        "Request Successed !!!\r\n"
        "Unistall ZIL Success !!!\r\n"
        "Create ZIL Directory Success !!!\r\n"
        "Move ZIL Files Failed, error 32 !!!\r\n"
        "Restore Old ZIL Directory Success !!!\r\n"
        "Request Successed !!!\r\n"
        "START ZIL Service retcode = 0\r\n"
        "Query Code = Running --> 4\r\n"
        "Install ZIL Failed\r\n";
    const std::string folderFailed =
        "Create ZIL Directory Failed, error 5 !!!\r\nRestore Old ZIL Directory Success !!!\r\n";
    struct Case {
        const char* what;
        std::optional<SimFault> fault;  // none: the install has a failing step after the start
        std::string logged;
        std::string notLogged;  // "" when nothing in particular
    };
    // The set-aside is the program folder's move; a new file moves from the temporary folder.
    const std::string newFiles = std::string(SETUP_TEMP_DIR) + "\\*";
    const std::vector<Case> cases = {
        {"one move refused", aNewFilesMoveRefused, moveFailed, ""},
        {"every new file's move refused",
         SimFaultAt(SimFaultKind::Move, newFiles, WIN_SHARING_VIOLATION, true), moveFailed, ""},
        {"no program folder",
         SimFaultAt(SimFaultKind::Mkdir, SETUP_PROGRAM_DIR, WIN_ACCESS_DENIED, true), folderFailed,
         "Create ZIL Directory Success"},
        {"no image folder",
         SimFaultAt(SimFaultKind::Mkdir, SETUP_ICON_DIR, WIN_ACCESS_DENIED, true), folderFailed,
         "Create ZIL Directory Success"},
        {"no set-aside", SimFaultAt(SimFaultKind::Move, SETUP_PROGRAM_DIR, WIN_SHARING_VIOLATION),
         "Set Aside Old ZIL Directory Failed, error 32 !!!\r\n"
         "Request Successed !!!\r\n"
         "START ZIL Service retcode = 0\r\n",
         "Unistall ZIL Success"},
        {"the service's state unknown", SimFault{SimFaultKind::SvcOpen, 1, WIN_ACCESS_DENIED},
         "Error Code,5Query ZIL Service Failed, error 5 !!!\r\nInstall ZIL Failed\r\n",
         "Query Code = STOP"},
        {"the service will not stop", theStopsRefused, "Stop ZIL Service Failed, error 5 !!!\r\n",
         ""},
        {"the old service not deleted",
         SimFaultAt(SimFaultKind::SvcDelete, std::string(theServiceName), WIN_ACCESS_DENIED),
         "Delete ZIL Service Failed, error 5 !!!\r\n", "Unistall ZIL Success"},
        {"a step after the start", std::nullopt,
         "Check New ZIL Installation Failed, error 87 !!!\r\n", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FreshMachine();
        RegisterSomeoneElsesService();
        if (c.fault) {
            InjectForNextRun(*c.fault);
        } else {
            m_installSteps = StepsWithAFailedCheckAfterTheStart();
        }
        SetupRun run = Run("/I");
        EXPECT_EQ(run.exitCode, SETUP_EXIT_FAILURE);
        EXPECT_THAT(LogBody(LogText()), HasSubstr(c.logged));
        if (!c.notLogged.empty()) {
            EXPECT_THAT(LogBody(LogText()), ::testing::Not(HasSubstr(c.notLogged)));
        }
        EXPECT_EQ(LogFooter(LogText()), "Result: install failed (exit code 1603)\r\n");
        EXPECT_TRUE(run.dialogEnded);
        ExpectOldInstallationRunning();
    }
}

// A new service that cannot be registered, twice (refused, or the old one only marked for
// deletion because another program holds it open), gives the old installation back: it was not
// committed to a service that cannot start.
TEST_F(UpgradeTest, ANewServiceThatCannotBeRegisteredGivesTheOldOneBack) {
    for (Win32Error refusal : {WIN_ACCESS_DENIED, WIN_SERVICE_MARKED_FOR_DELETE}) {
        SCOPED_TRACE(refusal);
        FreshMachine();
        RegisterSomeoneElsesService();
        InjectForNextRun({SimFaultKind::SvcCreate, 1, refusal});
        InjectForNextRun({SimFaultKind::SvcCreate, 2, refusal});
        SetupRun run = Run("/I");
        EXPECT_EQ(run.exitCode, SETUP_EXIT_FAILURE);
        EXPECT_THAT(LogBody(LogText()),
                    HasSubstr(Format("Install NT Service Failed XXXXX\r\n"
                                     "Create ZIL Service Failed, error %d !!!\r\n",
                                     refusal)));
        EXPECT_THAT(LogBody(LogText()), ::testing::Not(HasSubstr("Start ZIL Service Failed")));
        ExpectOldInstallationRunning();
    }
}

// A running service that will not stop keeps running with its files, and nothing is started:
// it never stopped.
TEST_F(UpgradeTest, AServiceThatWillNotStopIsNeverStarted) {
    InjectForNextRun(theStopsRefused);
    SetupRun run = Run("/I");
    EXPECT_EQ(run.exitCode, SETUP_EXIT_FAILURE);
    for (const std::string& line : JournalOf(run.journal, "service")) {
        EXPECT_THAT(line, ::testing::Not(HasSubstr(" start ")));
    }
    EXPECT_THAT(LogBody(LogText()), ::testing::Not(HasSubstr("START ZIL Service")));
    EXPECT_EQ(LogBody(LogText()),
              "Query Code = Running --> 4\r\n"
              "Query Code = Running --> 4\r\n"
              "Stop ZIL Service Failed, error 5 !!!\r\n"
              "Install ZIL Failed\r\n");
    ExpectOldInstallationRunning();
}

// The old service's account comes back with a restore; an account that needs a password, which
// setup cannot know, stops the upgrade before the registration is touched, and the log says why.
TEST_F(UpgradeTest, TheServiceKeepsItsAccount) {
    struct Case {
        std::string account;
        std::optional<SimFault> fault;
        std::string logged;
    };
    const std::vector<Case> cases = {
        {"NT AUTHORITY\\LocalService", aNewFilesMoveRefused,
         "Restore Old ZIL Directory Success !!!"},
        {"NT SERVICE\\JovixZIL", aNewFilesMoveRefused, "Restore Old ZIL Directory Success !!!"},
        {"CORP\\zil-service", std::nullopt,
         "JovixZIL logs on as CORP\\zil-service: setup cannot know its password, nothing is "
         "replaced !!!\r\nRecord ZIL Upgrade Failed, error 50 !!!\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.account);
        FreshMachine();
        RegisterSomeoneElsesService(c.account);
        if (c.fault) {
            InjectForNextRun(*c.fault);
        }
        EXPECT_EQ(Run("/I").exitCode, SETUP_EXIT_FAILURE);
        EXPECT_THAT(LogBody(LogText()), HasSubstr(c.logged));
        ExpectOldInstallationRunning();
    }
}

// What earlier runs left of setup's own beside the program folder is finished by the next
// install or uninstall: every set-aside name taken (it never blocks an upgrade), a record that
// could only be emptied, folders moved out of the way. What can neither go nor be moved aside
// is named, and the run does not end 0.
TEST_F(UpgradeTest, LeftoversOfEarlierRunsAreFinished) {
    auto plantLeftovers = [&] {
        for (const char* suffix : {"", ".2", ".3", ".4", ".5", ".6", ".7", ".8", ".9"}) {
            WriteHostFile(Host(std::string(SETUP_SET_ASIDE_DIR) + suffix + "\\old.txt"), "old");
        }
        WriteHostFile(Host(SETUP_UPGRADE_RECORD), "");
        WriteHostFile(Host(std::string(SETUP_PROGRAM_DIR) + ".obsolete\\held.txt"), "old");
    };
    for (const char* argument : {"/I", "/U"}) {
        SCOPED_TRACE(argument);
        FreshMachine();
        plantLeftovers();
        EXPECT_EQ(Run(argument).exitCode, SETUP_EXIT_SUCCESS);
        ExpectNoLeftovers();
        EXPECT_THAT(LogBody(LogText()), ::testing::Not(HasSubstr("held open")))
            << "what went is not named as left for the restart";
        EXPECT_THAT(LogBody(LogText()), ::testing::Not(HasSubstr("cannot be removed")))
            << "what went is not named as left for a person";
    }
    FreshMachine();
    WriteHostFile(Host(std::string(SETUP_SET_ASIDE_DIR) + "\\old.txt"), "old");
    // Neither deleted nor moved: the temporary folder's removal is the first deletion, and the
    // leftover's the second; the set-aside folder's rename is the first move.
    InjectForNextRun({SimFaultKind::Delete, 2, WIN_ACCESS_DENIED, true});
    InjectForNextRun({SimFaultKind::Move, 1, WIN_ACCESS_DENIED, true});
    EXPECT_EQ(Run("/U").exitCode, SETUP_EXIT_FAILURE);
    EXPECT_THAT(LogBody(LogText()),
                HasSubstr("C:\\Program Files (x86)\\ZIL.previous: left by an earlier run, cannot "
                          "be removed, error 5 !!!"));
}

// A step added after the new files are placed that writes somewhere new (a file outside the
// program folder) registers how to give it back, and a failed upgrade gives it back with the
// rest; nothing of the upgrade or the runner knows of it.
TEST_F(UpgradeTest, AStepAddedLaterGivesBackWhatItWrote) {
    static const char* const settings = "C:\\ProgramData\\ZIL\\settings.ini";
    std::vector<InstallStep> steps = StepsWithAFailedCheckAfterTheStart();
    auto moved = std::find_if(steps.begin(), steps.end(), [](const InstallStep& step) {
        return std::string(step.name) == "Move ZIL Files";
    });
    ASSERT_NE(moved, steps.end());
    steps.insert(moved + 1, {"Write ZIL Settings",
                             [](Sequence& s) {
                                 FileSystem& files = s.platform().files();
                                 CreateFolders(files, "C:\\ProgramData\\ZIL");
                                 std::unique_ptr<File> file;
                                 StepOutcome written;
                                 written.error = files.open(settings, FileMode::CreateNew, file);
                                 if (written.error == WIN_OK) {
                                     written.error = file->write("[new]\r\n", 7);
                                     s.transaction().Made(settings, [&files] {
                                         return Undone{files.removeFile(settings), "", {}};
                                     });
                                 }
                                 return written;
                             },
                             -1, StepFailure::Restores});
    m_installSteps = steps;
    SetupRun run = Run("/I");
    EXPECT_EQ(run.exitCode, SETUP_EXIT_FAILURE);
    EXPECT_FALSE(Exists(settings));
    ExpectOldInstallationRunning();

    m_installSteps = steps;
    m_installSteps->erase(
        std::find_if(m_installSteps->begin(), m_installSteps->end(), [](const InstallStep& step) {
            return std::string(step.name) == "Check New ZIL Installation";
        }));
    EXPECT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
    EXPECT_EQ(ReadHostFile(Host(settings)), "[new]\r\n") << "kept once committed";
}

// A file of the old installation that another program holds open stops the upgrade before it
// changes anything, and the log names the file.
TEST_F(UpgradeTest, AFileHeldOpenStopsTheUpgradeBeforeAnyChange) {
    WriteHostFile(m_root + "/held-open.txt", "C:\\Program Files (x86)\\ZIL\\ZIL.ini\n");
    EXPECT_EQ(Run("/I").exitCode, SETUP_EXIT_FAILURE);
    EXPECT_THAT(LogBody(LogText()),
                HasSubstr("C:\\Program Files (x86)\\ZIL\\ZIL.ini: held open by another program"));
    ExpectOldInstallationRunning();
}

// A service still stopping when the wait for its stop ends keeps its files: nothing is replaced
// under it.
TEST_F(UpgradeTest, AServiceStillStoppingKeepsItsFiles) {
    SetServiceKnobs({.stopDelay = 40000});
    SetupRun run = Run("/I");
    EXPECT_EQ(run.exitCode, SETUP_EXIT_FAILURE);
    EXPECT_THAT(LogBody(LogText()), HasSubstr("Stop ZIL Service Failed, error 1061 !!!"));
    EXPECT_EQ(ListBelow(ProgramDir()), m_old);
    // It never stopped: no start request goes to it.
    for (const std::string& line : JournalOf(run.journal, "service")) {
        EXPECT_THAT(line, ::testing::Not(HasSubstr(" start ")));
    }
}

// An old service found on its way (starting, stopping, pausing, continuing, or paused) still runs
// from the program folder: the upgrade stops it, and sees it STOPPED, before it removes its
// registration or moves its folder. Only one that ran (state 4) gets the close request first,
// and only that one is started again by an upgrade that fails. One that never gets to STOPPED
// ends 1603 with its registration and files as they were, and gets no start request.
TEST_F(UpgradeTest, AServiceFoundOnItsWayIsStoppedBeforeItsFolderMoves) {
    const std::string forever = " 0 " + std::to_string(SimServices::SIM_FOREVER) + " -";
    struct Case {
        const char* what;
        std::uint32_t settled;  // the state it gets to
        std::string pending;    // the pending change the run finds, "" for none
        bool stops;
    };
    // The run looks at the service about a second after it starts (its pauses before): a change
    // found on its way gets there on the run's clock, at the time the line names.
    const std::vector<Case> cases = {
        {"running", SVC_RUNNING, "", true},
        {"start pending, then running", SVC_RUNNING, "2 0 1500 *", true},
        // Past the six requests (1.1 s): waited for within decision 20's half minute, then
        // asked once more.
        {"start pending for five seconds, then running", SVC_RUNNING, "2 0 5000 *", true},
        {"pause pending for five seconds, then paused", SimServices::SIM_PAUSED, "6 0 5000 *",
         true},
        {"stop pending, then stopped", SVC_STOPPED, "3 0 3000 *", true},
        {"paused", SimServices::SIM_PAUSED, "", true},
        {"continue pending, then running", SVC_RUNNING, "5 0 1500 *", true},
        {"pause pending, then paused", SimServices::SIM_PAUSED, "6 0 1500 *", true},
        {"stop pending for good", SVC_STOPPED, "3" + forever, false},
        {"start pending for good", SVC_RUNNING, "2" + forever, false},
    };
    auto firstAt = [](const std::vector<std::string>& lines, const std::string& text) {
        auto at = std::find_if(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.find(text) != std::string::npos;
        });
        return static_cast<std::size_t>(at - lines.begin());
    };
    auto count = [](const std::vector<std::string>& lines, const std::string& text) {
        return std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.find(text) != std::string::npos;
        });
    };
    const std::string rename = "rename: C:\\Program Files (x86)\\ZIL -> ";
    for (const Case& c : cases) {
        for (bool failsLater : {false, true}) {
            if (!c.stops && failsLater) {
                continue;
            }
            SCOPED_TRACE(std::string(c.what) +
                         (failsLater ? ", a step after the start fails" : ""));
            FreshMachine();
            SetServiceField(m_root, "state", std::to_string(c.settled));
            if (!c.pending.empty()) {
                SetServiceField(m_root, "pending", c.pending);
            }
            const std::uint32_t found = c.pending.empty() ? c.settled : std::stoul(c.pending);
            const bool ran = found == SVC_RUNNING;
            if (failsLater) {
                m_installSteps = StepsWithAFailedCheckAfterTheStart();
            }
            SetupRun run = Run("/I");
            const std::vector<std::string>& j = run.journal;
            ASSERT_LT(firstAt(j, "JovixZIL query -> 0, state"), j.size());
            ASSERT_THAT(j[firstAt(j, "JovixZIL query -> 0, state")],
                        HasSubstr("state " + std::to_string(found)))
                << "the run did not find the service as the case has it";
            EXPECT_EQ(count(j, "JovixZIL control 139 "), ran ? 1 : 0);
            if (ran) {
                EXPECT_LT(firstAt(j, "JovixZIL control 139 "), firstAt(j, "JovixZIL control 1 "));
            }
            // The new service's start, and the old one's again only if it ran and stopped.
            EXPECT_EQ(count(j, "JovixZIL start "), !c.stops ? 0 : failsLater && ran ? 2 : 1);
            if (!c.stops) {
                EXPECT_EQ(run.exitCode, SETUP_EXIT_FAILURE);
                EXPECT_THAT(LogBody(LogText()),
                            HasSubstr("Stop ZIL Service Failed, error 1061 !!!"));
                EXPECT_EQ(count(j, "JovixZIL delete"), 0);
                EXPECT_EQ(count(j, rename), 0);
                EXPECT_EQ(ListBelow(ProgramDir()), m_old);
                SimServices::Record record;
                ASSERT_TRUE(ServiceRecord(record));
                EXPECT_EQ(record.settings.imagePath, m_oldService.settings.imagePath);
                EXPECT_EQ(record.settings.startType, m_oldService.settings.startType);
                EXPECT_EQ(ServiceState(), found);
                EXPECT_FALSE(Exists(SETUP_UPGRADE_RECORD));
                EXPECT_FALSE(Exists(SETUP_SET_ASIDE_DIR));
                continue;
            }
            // Stopped and seen so before its registration goes and its folder moves.
            std::size_t stopped = firstAt(j, "JovixZIL query -> 0, state 1");
            EXPECT_LT(firstAt(j, "JovixZIL control 1 "), stopped);
            EXPECT_LT(stopped, firstAt(j, "JovixZIL delete"));
            EXPECT_LT(firstAt(j, "JovixZIL delete"), firstAt(j, rename));
            EXPECT_LT(firstAt(j, rename), j.size());
            if (!failsLater) {
                EXPECT_EQ(run.exitCode, SETUP_EXIT_SUCCESS);
                ExpectInstalled();
                continue;
            }
            EXPECT_EQ(run.exitCode, SETUP_EXIT_FAILURE);
            EXPECT_EQ(ListBelow(ProgramDir()), m_old);
            SimServices::Record record;
            ASSERT_TRUE(ServiceRecord(record));
            EXPECT_EQ(record.settings.imagePath, m_oldService.settings.imagePath);
            EXPECT_EQ(ServiceState(), ran ? SVC_RUNNING : SVC_STOPPED);
            EXPECT_FALSE(Exists(SETUP_UPGRADE_RECORD));
            EXPECT_FALSE(Exists(SETUP_SET_ASIDE_DIR));
        }
    }
}

// A successful upgrade replaces everything, and the old folder is gone afterwards.
TEST_F(UpgradeTest, ASuccessfulUpgradeLeavesOnlyTheNewFiles) {
    SetupRun run = Run("/I");
    EXPECT_EQ(run.exitCode, SETUP_EXIT_SUCCESS);
    ExpectInstalled();
    // The old folder moves once; the install's log before this one keeps its own name.
    EXPECT_THAT(
        JournalOf(run.journal, "rename"),
        ElementsAre("C:\\Program Files (x86)\\ZIL -> C:\\Program Files "
                    "(x86)\\ZIL.previous = 0",
                    "C:\\Windows\\Temp\\ZIL_Setup.log -> C:\\Windows\\Temp\\ZIL_Setup.1.log = 0"));
    // Nothing is left that a later run could take for an upgrade to bring back.
    EXPECT_FALSE(Exists(SETUP_SET_ASIDE_DIR));
    EXPECT_FALSE(Exists(SETUP_UPGRADE_RECORD));
}

// On a machine without the product, a failure after the new service's start takes all of the
// new installation away again: no folder, no service.
TEST_F(InstallTest, AFailureAfterTheStartOfAFirstInstallLeavesNothing) {
    m_installSteps = StepsWithAFailedCheckAfterTheStart();
    SetupRun run = Run("/I");
    EXPECT_EQ(run.exitCode, SETUP_EXIT_FAILURE);
    EXPECT_THAT(LogBody(LogText()), HasSubstr("Check New ZIL Installation Failed, error 87 !!!"));
    EXPECT_FALSE(Exists(SETUP_PROGRAM_DIR));
    EXPECT_FALSE(Exists(SETUP_TEMP_DIR));
    EXPECT_EQ(ServiceState(), 0u);
}

// A new installation that can neither be deleted nor moved out of the way is no change given
// back: the run log says so, and what stays is where it was.
TEST_F(InstallTest, ANewFolderThatCannotGoIsNamedAsNotGivenBack) {
    m_installSteps = StepsWithAFailedCheckAfterTheStart();
    const std::string held = std::string(SETUP_PROGRAM_DIR) + "\\ZIL.ini\n";
    WriteHostFile(m_root + "/undeletable.txt", held);
    WriteHostFile(m_root + "/unmovable.txt", held);
    SetupRun run = Run("/I");
    EXPECT_EQ(run.exitCode, SETUP_EXIT_FAILURE);
    EXPECT_THAT(LogBody(LogText()),
                HasSubstr(std::string(SETUP_PROGRAM_DIR) + ": not given back, error "));
    EXPECT_TRUE(Exists(SETUP_PROGRAM_DIR));
    EXPECT_EQ(ServiceState(), 0u);
}

// Where a failed upgrade's new files can neither go nor move out of the way, the old folder is
// not copied in over them: it stays where it was set aside, whole, for a later run to bring back.
TEST_F(UpgradeTest, AnOldFolderIsNeverCopiedOverNewFilesThatCannotGo) {
    static std::string theMachine;
    theMachine = m_root;
    std::vector<InstallStep> steps = InstallSteps();
    auto entry = std::find_if(steps.begin(), steps.end(), [](const InstallStep& step) {
        return std::string(step.name) == "Write ZIL Uninstall Entry";
    });
    ASSERT_NE(entry, steps.end());
    // A file in the new folder that nobody may delete or move, from here on.
    InstallStep held{"Hold A New File",
                     [](Sequence&) {
                         const std::string file = std::string(SETUP_PROGRAM_DIR) + "\\held.txt";
                         WriteHostFile(theMachine + "/C/Program Files (x86)/ZIL/held.txt", "held");
                         WriteHostFile(theMachine + "/undeletable.txt", file + "\n");
                         WriteHostFile(theMachine + "/unmovable.txt", file + "\n");
                         return StepOutcome::Failed(5);
                     },
                     -1, StepFailure::Restores};
    steps.insert(entry + 1, held);
    m_installSteps = steps;
    EXPECT_EQ(Run("/I").exitCode, SETUP_EXIT_FAILURE);
    EXPECT_EQ(ListBelow(Host(SETUP_SET_ASIDE_DIR)), m_old);
    EXPECT_FALSE(Exists(std::string(SETUP_PROGRAM_DIR) + "\\old-only.txt"));
}

// The old folder could not be deleted after a successful upgrade: the upgrade still ends 0, and
// nothing it leaves lets a later failing run bring the old version back over the new one; that
// run finishes the leftover.
TEST_F(UpgradeTest, ACleanUpThatFailsLeavesNothingALaterRunRestores) {
    // The fourth deletion is the old folder's, after the temporary folder's two and the record's.
    // Its move out of the way comes after the set-aside, one move an entry and the icons' two.
    int moves = 1 + static_cast<int>(ArchiveNames(SAMPLE_SETUP).size()) + 2;
    InjectForNextRun({SimFaultKind::Delete, 4, WIN_ACCESS_DENIED, true});
    InjectForNextRun({SimFaultKind::Move, moves + 1, WIN_ACCESS_DENIED, true});
    SetupRun run = Run("/I");
    EXPECT_EQ(run.exitCode, SETUP_EXIT_SUCCESS);
    EXPECT_THAT(LogBody(LogText()), HasSubstr("Remove Old ZIL Directory Failed, error 5 !!!"));
    Listing upgraded = ListBelow(ProgramDir());
    InjectForNextRun({SimFaultKind::Move, 5, WIN_SHARING_VIOLATION});
    EXPECT_EQ(Run("/I").exitCode, SETUP_EXIT_FAILURE);
    EXPECT_EQ(ListBelow(ProgramDir()), upgraded);
    // The leftover was finished first: it is no old version that a restore could bring back.
    ExpectNoLeftovers();
}

// Links that someone planted where setup writes are removed as links; what they point at is
// never written.
// The Windows temporary folder is one where users may create files. Whatever waits at the log's
// path that is not a plain file of administrators with one name (a hard link to a system file,
// a user's file, a folder) is removed, or renamed aside, and the log made afresh: the file
// behind a second name is never written.
TEST_F(InstallTest, TheLogIsNeverWrittenThroughWhatWaitsAtItsPath) {
    namespace fs = std::filesystem;
    const std::string victim = Host("C:\\Windows\\System32\\config.sys");
    auto list = [&](const char* name) {
        std::ofstream(m_root + "/" + name, std::ios::app) << LOG_FILE << "\n";
    };
    struct Case {
        const char* what;
        std::function<void()> plant;
    };
    const std::vector<Case> cases = {
        {"a hard link to a system file", [&] { fs::create_hard_link(victim, Host(LOG_FILE)); }},
        {"a hard link that cannot be removed",
         [&] {
             fs::create_hard_link(victim, Host(LOG_FILE));
             list("undeletable.txt");
         }},
        {"a user's file",
         [&] {
             WriteHostFile(Host(LOG_FILE), "a user's");
             list("user-owned.txt");
         }},
        {"a folder", [&] { fs::create_directories(Host(LOG_FILE) + "/inside"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FreshMachine();
        WriteHostFile(victim, "someone else's");
        fs::create_directories(Host("C:\\Windows\\Temp"));
        c.plant();
        SetupRun run = Run("/I");
        EXPECT_EQ(run.exitCode, SETUP_EXIT_SUCCESS);
        EXPECT_EQ(ReadHostFile(victim), "someone else's");
        ASSERT_TRUE(fs::is_regular_file(Host(LOG_FILE)));
        EXPECT_EQ(fs::hard_link_count(Host(LOG_FILE)), 1u);
        EXPECT_EQ(LogFooter(LogText()), "Result: install succeeded (exit code 0)\r\n");
        ExpectInstalled();
    }
}

// Runs in a row keep each other's logs: the newest at ZIL_Setup.log, the ones before numbered in
// the order they ran, each with its own first and last line.
TEST_F(InstallTest, RunsInARowLeaveALogEach) {
    const std::vector<std::string> arguments = {"/I", "/U", "/I", "/U", "/I"};
    for (const std::string& argument : arguments) {
        ASSERT_EQ(Run(argument).exitCode, SETUP_EXIT_SUCCESS) << argument;
    }
    const std::string temp = "C:\\Windows\\Temp\\";
    EXPECT_THAT(FilesBelow(Host(temp)),
                ElementsAre("ZIL_Setup.1.log", "ZIL_Setup.2.log", "ZIL_Setup.3.log",
                            "ZIL_Setup.4.log", "ZIL_Setup.log"));
    for (std::size_t run = 0; run < arguments.size(); ++run) {
        std::string name = run + 1 == arguments.size()
                               ? std::string("ZIL_Setup.log")
                               : "ZIL_Setup." + std::to_string(run + 1) + ".log";
        std::string sequence = arguments[run] == "/I" ? "install" : "uninstall";
        std::string text = ReadHostFile(Host(temp + name));
        EXPECT_THAT(LogHeader(text), HasSubstr("ZIL Setup " + sequence + " (command line), "))
            << name;
        EXPECT_EQ(LogFooter(text), "Result: " + sequence + " succeeded (exit code 0)\r\n") << name;
    }
    ExpectInstalled();
}

// An ordinary user's folder at the log's path, which setup can neither remove nor rename, and
// files of theirs at every name setup would move it aside to: every run still leaves its log, a
// file of setup's own under a name nobody could have taken, whose details say where it is; and
// what the user planted stays as it was.
TEST_F(InstallTest, WhatAUserPlantsAtTheLogsNamesKeepsNoRunFromLeavingItsLog) {
    const std::string temp = "C:\\Windows\\Temp\\";
    std::vector<std::string> planted = {std::string(LOG_FILE) + "\\theirs.txt"};
    for (int suffix = 1; suffix <= 9; ++suffix) {
        planted.push_back(std::string(LOG_FILE) + ".obsolete" +
                          (suffix > 1 ? "." + std::to_string(suffix) : ""));
    }
    for (const std::string& path : planted) {
        WriteHostFile(Host(path), "a user's");
        std::ofstream(m_root + "/user-owned.txt", std::ios::app) << path << "\n";
    }
    std::ofstream(m_root + "/user-owned.txt", std::ios::app) << LOG_FILE << "\n";
    for (const char* list : {"undeletable.txt", "unmovable.txt"}) {
        WriteHostFile(m_root + "/" + list, std::string(LOG_FILE) + "\n");
    }
    const std::vector<std::string> arguments = {"/I", "/U", "/I"};
    for (const std::string& argument : arguments) {
        ASSERT_EQ(Run(argument).exitCode, SETUP_EXIT_SUCCESS) << argument;
    }
    for (const std::string& path : planted) {
        EXPECT_EQ(ReadHostFile(Host(path)), "a user's") << path;
    }
    std::vector<std::string> logs;
    for (const std::string& name : FilesBelow(Host(temp))) {
        if (!name.starts_with("ZIL_Setup.log")) {
            logs.push_back(name);
        }
    }
    ASSERT_EQ(logs.size(), arguments.size()) << ::testing::PrintToString(logs);
    for (std::size_t run = 0; run < logs.size(); ++run) {
        EXPECT_TRUE(logs[run].starts_with("ZIL_Setup." + std::to_string(run + 1) + "."))
            << logs[run];
        std::string text = ReadHostFile(Host(temp + logs[run]));
        std::string sequence = arguments[run] == "/I" ? "install" : "uninstall";
        EXPECT_THAT(LogHeader(text), HasSubstr(sequence + " (command line)")) << logs[run];
        EXPECT_EQ(LogFooter(text), "Result: " + sequence + " succeeded (exit code 0)\r\n");
        EXPECT_THAT(LogDetails(text),
                    HasSubstr("  log: " + std::string(LOG_FILE) +
                              " is not setup's own and stays; this run's log is " + temp +
                              logs[run] + "\r\n"));
    }
    ExpectInstalled();
}

TEST_F(InstallTest, LinksPlantedWhereSetupWritesAreNotFollowed) {
    const std::string victim = Host("C:\\Windows\\System32\\config.sys");
    WriteHostFile(victim, "someone else's");
    std::filesystem::create_directories(m_root + "/C/Windows/important");
    WriteHostFile(m_root + "/C/Windows/important/keep.txt", "keep");
    std::filesystem::create_symlink(victim, Host(LOG_FILE));
    std::filesystem::create_directory_symlink(m_root + "/C/Windows/important",
                                              Host(SETUP_PROGRAM_DIR));
    SetupRun run = Run("/I");
    EXPECT_EQ(run.exitCode, SETUP_EXIT_SUCCESS);
    EXPECT_EQ(ReadHostFile(victim), "someone else's");
    EXPECT_FALSE(std::filesystem::is_symlink(Host(LOG_FILE)));
    EXPECT_THAT(LogFooter(LogText()), HasSubstr("exit code 0"));
    EXPECT_FALSE(std::filesystem::is_symlink(ProgramDir()));
    EXPECT_EQ(FilesBelow(m_root + "/C/Windows/important"), std::vector<std::string>{"keep.txt"});
    ExpectInstalled();
}

namespace {

// A user's folder that links planted in the folders setup clears point at, and that listings
// call folders (listed-as-folders.txt): the install over a fresh machine (the temporary folder
// cleared first), the upgrade (the in-use check, and the commit's deletion of the set-aside
// folder) and the uninstall (the temporary and program folders) remove the links as links and
// leave the folder as it was, even with a file in it held open.
TEST_F(InstallTest, LinksInTheFoldersSetupClearsLeaveWhatTheyPointAt) {
    const std::string docs = m_root + "/C/Users/joe/docs";
    WriteHostFile(docs + "/a.txt", "joe's");
    WriteHostFile(docs + "/sub/b.txt", "joe's too");
    auto plant = [&](const char* folder) {
        std::filesystem::create_directories(Host(folder));
        std::filesystem::create_directory_symlink(docs, Host(folder) + "/docs");
    };
    WriteHostFile(m_root + "/listed-as-folders.txt",
                  std::string(SETUP_TEMP_DIR) + "\\docs\n" + SETUP_PROGRAM_DIR + "\\docs\n");
    WriteHostFile(m_root + "/held-open.txt", std::string(SETUP_PROGRAM_DIR) + "\\docs\\a.txt\n");
    auto expectUntouched = [&] {
        EXPECT_EQ(FilesBelow(docs), (std::vector<std::string>{"a.txt", "sub/b.txt"}));
        EXPECT_EQ(ReadHostFile(docs + "/a.txt"), "joe's");
    };

    plant(SETUP_TEMP_DIR);
    EXPECT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
    expectUntouched();
    ExpectInstalled();

    plant(SETUP_TEMP_DIR);
    plant(SETUP_PROGRAM_DIR);
    EXPECT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS) << LogText();
    expectUntouched();
    EXPECT_FALSE(Exists(SETUP_SET_ASIDE_DIR));

    plant(SETUP_TEMP_DIR);
    plant(SETUP_PROGRAM_DIR);
    EXPECT_EQ(Run("/U").exitCode, SETUP_EXIT_SUCCESS) << LogText();
    expectUntouched();
    EXPECT_FALSE(Exists(SETUP_PROGRAM_DIR));
    EXPECT_FALSE(Exists(SETUP_TEMP_DIR));
}

// A program folder that is itself a link is not read through for files in use: what it points at
// is not the installation's, and the upgrade removes the link as a link (decision 18).
TEST_F(InstallTest, AProgramFolderThatIsALinkIsNotReadThrough) {
    const std::string target = m_root + "/C/Windows/important";
    WriteHostFile(target + "/keep.txt", "keep");
    std::filesystem::create_directories(Host("C:\\Program Files (x86)"));
    std::filesystem::create_directory_symlink(target, ProgramDir());
    WriteHostFile(m_root + "/held-open.txt", std::string(SETUP_PROGRAM_DIR) + "\\keep.txt\n");
    EXPECT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS) << LogText();
    EXPECT_FALSE(std::filesystem::is_symlink(ProgramDir()));
    EXPECT_EQ(FilesBelow(target), std::vector<std::string>{"keep.txt"});
    ExpectInstalled();
}

}  // namespace
