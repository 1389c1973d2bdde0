// What Windows and deployment tools see of the product on the simulated machine: its Apps &
// features entry through installs, failed upgrades, kills and uninstalls; the setup program
// kept on the machine, which removes everything from inside the program folder; and the exit
// code that asks for a restart.

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "SequenceHarness.h"
#include "res/ProductVersion.h"
#include "setup/KeptSetup.h"
#include "setup/ProductEntry.h"
#include "tests/faults/SetupProcess.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

namespace {

// A service that will not stop: every stop request refused, as one that cannot take it.
const std::string theServiceWillNotStop = FaultAt(
    "svc-control", std::string(theServiceName) + "\\" + std::to_string(SVC_CONTROL_STOP), "1061+");

class DeployTest : public SequenceTest {
protected:
    // The entry's values, or none; whether the key that keeps a replaced entry is there.
    std::vector<RegistryValue> Entry(bool* keeping = nullptr) {
        SimPlatform sim(test_support::VirtualClockMachine(m_root));
        std::vector<RegistryValue> values;
        sim.simRegistry().readValues(SETUP_ENTRY_KEY, values);
        if (keeping != nullptr) {
            std::vector<RegistryValue> kept;
            *keeping = sim.simRegistry().readValues(SETUP_ENTRY_REPLACED_KEY, kept) == WIN_OK;
        }
        return values;
    }
    // The kept setup program, started as Apps & features starts it (the host needs an execute
    // bit, which Windows does not).
    SetupProcessRun RunKept(const std::string& argument, const std::string& faults = "") {
        std::string kept = Host(SETUP_KEPT_SETUP);
        std::filesystem::permissions(kept, std::filesystem::perms::owner_exec,
                                     std::filesystem::perm_options::add);
        return RunSetupProcess(kept, m_root, argument, faults);
    }
    std::string Value(const std::string& name) {
        for (const RegistryValue& value : Entry()) {
            if (value.name == std::string_view(name)) {
                return std::string(value.type == REG_VALUE_TEXT
                                       ? value.data.substr(0, value.data.size() - 1)
                                       : value.data);
            }
        }
        return "(none)";
    }
    // An entry of this setup's unlike any this program writes: another version's, its command
    // retyped in another case, with a value of its own and bytes that only an exact copy keeps.
    std::vector<RegistryValue> PlantOldEntry() {
        return PlantEntry({
            RegistryValue::Text("DisplayName", "ZIL"),
            RegistryValue::Text("DisplayVersion", "0.9"),
            {"UninstallString", REG_VALUE_EXPANDABLE,
             std::string("\"c:\\program files (x86)\\zil\\ZIL_SETUP.EXE\"") + '\0'},
            {"Comments", REG_VALUE_EXPANDABLE, std::string("%SystemRoot%\\x \"\x01\xff") + '\0'},
            RegistryValue::Dword("EstimatedSize", 0x01020304),
            {"Blob", REG_VALUE_BINARY, std::string("\0\n\r\"=", 5)},
        });
    }
    // The entry's values become exactly these.
    std::vector<RegistryValue> PlantEntry(const std::vector<RegistryValue>& old) {
        SimPlatform sim(test_support::VirtualClockMachine(m_root));
        std::vector<RegistryValue> values;
        sim.simRegistry().readValues(SETUP_ENTRY_KEY, values);
        for (const RegistryValue& value : values) {
            sim.simRegistry().deleteValue(SETUP_ENTRY_KEY, value.name);
        }
        sim.simRegistry().createKey(SETUP_ENTRY_KEY);
        for (const RegistryValue& value : old) {
            sim.simRegistry().setValue(SETUP_ENTRY_KEY, value);
        }
        return old;
    }
    // Whether there is a key at the entry's place, with values or without.
    bool EntryKeyThere() {
        SimPlatform sim(test_support::VirtualClockMachine(m_root));
        std::vector<RegistryValue> values;
        return sim.simRegistry().readValues(SETUP_ENTRY_KEY, values) != WIN_FILE_NOT_FOUND;
    }
    std::string RegistryText() { return ReadHostFile(m_root + "/registry.txt"); }
    // The install's steps with one that fails right after the named one.
    static std::vector<InstallStep> FailingAfter(const char* name) {
        std::vector<InstallStep> steps = InstallSteps();
        auto step = std::find_if(steps.begin(), steps.end(),
                                 [&](const InstallStep& s) { return std::string(s.name) == name; });
        EXPECT_NE(step, steps.end()) << name;
        steps.insert(step + 1, InstallStep{"Fail", [](Sequence&) { return StepOutcome::Failed(5); },
                                           -1, StepFailure::Restores});
        return steps;
    }
    // For each kind, a run killed at its first call, then its second, and so on until `killed`
    // gives a run that was not killed by a call of its own: each on a fresh machine installed
    // from the small payload, and each followed by `finish`. The kills it made.
    int KillAtEveryCall(std::initializer_list<const char*> kinds,
                        const std::function<SetupProcessRun(const std::string&)>& killed,
                        const std::function<void(int)>& finish) {
        int kills = 0;
        for (const char* kind : kinds) {
            for (int call = 1;; ++call) {
                const std::string fault = std::string(kind) + "@" + std::to_string(call) + "=kill";
                SCOPED_TRACE(fault);
                FreshMachine();
                m_setupPath = SMALL_SETUP;
                EXPECT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
                SetupProcessRun run = killed(fault);
                if (run.exited) {
                    break;
                }
                ++kills;
                finish(call);
            }
        }
        return kills;
    }
    // The small payload: runs that copy the whole program do it a read and a write a block.
    static constexpr const char* SMALL_SETUP = ZIL_BINARY_DIR "/tests/faults/ZIL_Setup_sweep";

    std::uint64_t InstalledBytes() {
        std::uint64_t bytes = 0;
        for (const auto& item :
             std::filesystem::recursive_directory_iterator(Host(SETUP_PROGRAM_DIR))) {
            bytes += item.is_regular_file() ? item.file_size() : 0;
        }
        return bytes;
    }
};

// After an install the entry holds every value tools read, each as this program knows it, and
// the setup program that ran is kept byte for byte where the entry points; the uninstall
// takes both.
TEST_F(DeployTest, AnInstallIsListedWithEveryValueAndTheUninstallTakesItAway) {
    ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
    const std::string kept = "C:\\Program Files (x86)\\ZIL\\ZIL_Setup.exe";
    EXPECT_EQ(ReadHostFile(Host(kept)), ReadHostFile(SAMPLE_SETUP));
    std::vector<std::string> names;
    bool keeping = true;
    for (const RegistryValue& value : Entry(&keeping)) {
        names.push_back(std::string(value.name));
    }
    EXPECT_FALSE(keeping) << "a committed install keeps no old entry";
    EXPECT_THAT(names,
                ElementsAre("DisplayName", "DisplayVersion", "Publisher", "InstallLocation",
                            "DisplayIcon", "InstallDate", "UninstallString", "QuietUninstallString",
                            "EstimatedSize", "NoModify", "NoRepair"));
    EXPECT_EQ(Value("DisplayName"), "ZIL");
    EXPECT_EQ(Value("DisplayVersion"), ZIL_PRODUCT_VERSION);
    EXPECT_EQ(Value("Publisher"), "ZIL");
    EXPECT_EQ(Value("InstallLocation"), SETUP_PROGRAM_DIR);
    EXPECT_EQ(Value("DisplayIcon"), kept);
    EXPECT_EQ(Value("UninstallString"), "\"" + kept + "\"");
    EXPECT_EQ(Value("QuietUninstallString"), "\"" + kept + "\" /U");
    EXPECT_EQ(Value("NoModify"), RegistryValue::Dword("", 1).data);
    EXPECT_EQ(Value("NoRepair"), RegistryValue::Dword("", 1).data);
    // Counted before setup's own tools go, without them: what stays once they have gone.
    EXPECT_EQ(Value("EstimatedSize"),
              RegistryValue::Dword("", static_cast<std::uint32_t>((InstalledBytes() + 1023) / 1024))
                  .data);
    EXPECT_THAT(Value("InstallDate"), ::testing::MatchesRegex("20[0-9][0-9][01][0-9][0-3][0-9]"));

    ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
    EXPECT_EQ(Entry().size(), names.size()) << "an upgrade leaves one entry";
    ASSERT_EQ(Run("/U").exitCode, SETUP_EXIT_SUCCESS);
    ExpectProductGone();
    EXPECT_THAT(Entry(&keeping), IsEmpty());
    EXPECT_FALSE(keeping);
}

// Setup's own tools count in no case of their names; the same names anywhere else are the
// product's and count.
TEST_F(DeployTest, TheSizeLeavesOutSetupsOwnToolsOnlyInTheProgramFolder) {
    ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
    const struct {
        const char* path;
        bool counts;
    } planted[] = {
        {"C:\\Program Files (x86)\\ZIL\\mofins.EXE", false},
        {"C:\\Program Files (x86)\\ZIL\\Extra.Mof", false},
        {"C:\\Program Files (x86)\\ZIL\\ICONs\\MOFINS.exe", true},
        {"C:\\Program Files (x86)\\ZIL\\ICONs\\extra.mof", true},
        {"C:\\Program Files (x86)\\ZIL\\MOFINS.exe.old", true},
        {"C:\\Program Files (x86)\\ZIL\\Extra.mof.txt", true},
    };
    std::uint64_t expected = InstalledBytes();
    for (const auto& [path, counts] : planted) {
        WriteHostFile(Host(path), std::string(4096, 'x'));
        expected += counts ? 4096 : 0;
    }
    SimPlatform sim(test_support::VirtualClockMachine(m_root));
    std::vector<RegistryValue> values = ProductEntry(sim).Values();
    auto size = std::find_if(values.begin(), values.end(), [](const RegistryValue& value) {
        return value.name == "EstimatedSize";
    });
    ASSERT_NE(size, values.end());
    EXPECT_EQ(size->data,
              RegistryValue::Dword("", static_cast<std::uint32_t>((expected + 1023) / 1024)).data);
}

// Whichever call of the entry's writing fails, and when a step after it fails, the old
// installation comes back with its entry exactly as it was, byte for byte, or with none where
// there was none.
TEST_F(DeployTest, AFailedUpgradeGivesTheOldEntryBackByteForByte) {
    struct Case {
        const char* name;
        SimFault fault;
        bool failingStepAfter;
        bool needsOldEntry;
    };
    // Over an entry of six values: the old entry read, then the key below it; a stale copy's
    // removal, the key that keeps the old entry made, the upgrade it belongs to, its values, its
    // mark; the entry read again, its six values removed, its key and its eleven values.
    const std::string entry = SETUP_ENTRY_KEY;
    const std::string copy = SETUP_ENTRY_REPLACED_KEY;
    const Win32Error denied = WIN_ACCESS_DENIED;
    const std::vector<Case> cases = {
        {"the read of the old entry", SimFaultAt(SimFaultKind::RegRead, entry, denied), false,
         false},
        {"the read of the key below", SimFaultAt(SimFaultKind::RegRead, copy, denied), false, true},
        {"the stale copy's removal", SimFaultAt(SimFaultKind::RegDelete, copy, denied), false,
         false},
        {"the copy's upgrade", SimFaultAt(SimFaultKind::RegWrite, copy + "\\upgrade", denied),
         false, true},
        // Only an old entry has values to copy.
        {"the old entry's copy", SimFaultAt(SimFaultKind::RegWrite, copy + "\\value:*", denied),
         false, true},
        {"the mark of the copy", SimFaultAt(SimFaultKind::RegWrite, copy + "\\kept", denied), false,
         false},
        {"an old value's removal",
         SimFaultAt(SimFaultKind::RegDelete, entry + "\\DisplayVersion", denied), false, true},
        {"the new entry's third value",
         SimFaultAt(SimFaultKind::RegWrite, entry + "\\Publisher", WIN_DISK_FULL), false, false},
        {"a step after the entry", {}, true, false},
    };
    for (bool installed : {true, false}) {
        for (const Case& c : cases) {
            if (c.needsOldEntry && !installed) {
                continue;
            }
            SCOPED_TRACE(std::string(c.name) + (installed ? " over an installation" : ""));
            FreshMachine();
            std::vector<RegistryValue> old;
            if (installed) {
                ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
                old = PlantOldEntry();
            }
            std::vector<std::string> files = FilesBelow(Host(SETUP_PROGRAM_DIR));
            if (c.failingStepAfter) {
                m_installSteps = FailingAfter("Write ZIL Uninstall Entry");
            } else {
                InjectForNextRun(c.fault);
            }
            ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_FAILURE);
            bool keeping = true;
            EXPECT_EQ(Entry(&keeping), old);
            EXPECT_FALSE(keeping);
            EXPECT_EQ(EntryKeyThere(), installed) << "a failed first install leaves no key";
            EXPECT_EQ(FilesBelow(Host(SETUP_PROGRAM_DIR)), files);
            EXPECT_THAT(LogDetails(LogText()), HasSubstr("Restore Old ZIL Installation: ok"));
        }
    }
}

// Killed at any call of the entry's writing or its commit, the next
// install ends with one entry of this version and nothing kept, and an uninstall after a kill
// leaves none.
TEST_F(DeployTest, KilledAtEveryCallOfTheNewStepsTheNextRunFinishesTheJob) {
    int kills = 0;
    for (const char* kind : {"reg-read", "reg-write", "reg-delete"}) {
        for (int call = 1;; ++call) {
            SCOPED_TRACE(std::string(kind) + " call " + std::to_string(call));
            FreshMachine();
            ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
            PlantOldEntry();
            std::string fault = std::string(kind) + "@" + std::to_string(call) + "=kill";
            SetupProcessRun killed = RunSetupProcess(SAMPLE_SETUP, m_root, "/I", fault);
            if (killed.exited) {
                EXPECT_EQ(killed.status, 0);
                break;
            }
            ++kills;
            bool keeping = true;
            const std::string next = call % 2 == 0 ? "/U" : "/I";
            ASSERT_EQ(RunSetupProcess(SAMPLE_SETUP, m_root, next, "").status, 0);
            std::vector<RegistryValue> entry = Entry(&keeping);
            EXPECT_FALSE(keeping);
            if (next == "/U") {
                EXPECT_THAT(entry, IsEmpty());
                ExpectProductGone();
            } else {
                EXPECT_EQ(Value("DisplayVersion"), ZIL_PRODUCT_VERSION);
                EXPECT_EQ(entry.size(), 11u);
            }
        }
    }
    EXPECT_GT(kills, 20) << "every call of the new steps was reached";
}

// Started from the program folder as Apps & features starts it, the kept program removes
// everything, itself and its folder included, and returns only then, with the outcome's code;
// where the product stays (its service would not stop), the kept program stays with it.
TEST_F(DeployTest, TheKeptSetupRemovesEverythingFromInsideTheProgramFolder) {
    ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
    std::string kept = Host(SETUP_KEPT_SETUP);
    SetupProcessRun run = RunKept("/U");
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, 0);
    ExpectProductGone();
    EXPECT_THAT(Entry(), IsEmpty());
    // The copy ran the uninstall; the kept program waited out of the folder, and goes with
    // setup's own folder at the next restart (the product asks for none).
    EXPECT_THAT(run.journal, HasSubstr("program: C:\\ZIL_Setup_run\\ZIL_Setup.exe/U -> 0, exit 0"));
    EXPECT_THAT(run.journal, HasSubstr("delete-at-restart: C:\\ZIL_Setup_run = 0"));
    EXPECT_THAT(FilesBelow(Host("C:\\ZIL_Setup_run")), ElementsAre("ZIL_Setup.kept.exe"));
    EXPECT_THAT(LogFooter(LogText()), HasSubstr("(exit code 0)"));

    // A service that will not stop keeps the product, and its uninstaller with it.
    ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
    SetupProcessRun stuck = RunKept("/U", theServiceWillNotStop);
    ASSERT_TRUE(stuck.exited);
    EXPECT_EQ(stuck.status, SETUP_EXIT_FAILURE % 256);
    EXPECT_EQ(ReadHostFile(kept), ReadHostFile(SAMPLE_SETUP));
    EXPECT_EQ(Value("DisplayVersion"), ZIL_PRODUCT_VERSION);
}

// The kept setup program started with /LOG= (before or after /U) hands the option on to the
// copy that does the work, quoted so that a path with blanks arrives whole: the copy's log goes
// there too.
TEST_F(DeployTest, TheKeptSetupHandsTheLogOptionToItsCopy) {
    const std::string copy = "C:\\some logs\\zil uninstall.log";
    const std::string option = "/LOG=" + copy;
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"/U", option}, std::vector<std::string>{option, "/U"}}) {
        SCOPED_TRACE(arguments.front());
        FreshMachine();
        std::filesystem::create_directories(Host("C:\\some logs"));
        ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
        std::string kept = Host(SETUP_KEPT_SETUP);
        std::filesystem::permissions(kept, std::filesystem::perms::owner_exec,
                                     std::filesystem::perm_options::add);
        SetupProcessRun run = RunSetupProcess(kept, m_root, arguments, "");
        ASSERT_TRUE(run.exited);
        EXPECT_EQ(run.status, 0);
        ExpectProductGone();
        EXPECT_THAT(run.journal, HasSubstr("program: C:\\ZIL_Setup_run\\ZIL_Setup.exe/U \"" +
                                           option + "\" -> 0, exit 0"));
        EXPECT_THAT(LogHeader(LogText()), HasSubstr("ZIL Setup uninstall (command line), "));
        EXPECT_THAT(LogDetails(LogText()), HasSubstr("  log: also written to " + copy + "\r\n"));
        EXPECT_EQ(ReadHostFile(Host(copy)), LogText());
    }
}

// Whichever call of the hand-over fails (the run folder, the copy, the move out of the program
// folder, the copy's start), the kept program ends as a failed uninstall ends: 1603 and the log
// file of a failed run, naming the step and its error, with the product, its entry and the kept
// program as they were and no run folder left.
TEST_F(DeployTest, AKeptSetupThatCannotHandOverLeavesTheLogOfAFailedRun) {
    struct Sweep {
        const char* kind;
        const char* error;
        const char* step;  // the one a fault of this kind stops, as the log names it
    };
    const std::vector<Sweep> sweeps = {
        {"mkdir", "5+", "Make ZIL Setup Run Folder"},
        {"open", "5", "Copy ZIL Setup"},
        {"read", "5", "Copy ZIL Setup"},
        {"write", "112", "Copy ZIL Setup"},
        {"move", "5", "Move ZIL Setup Out Of Program Folder"},
        {"exec", "2", "Start ZIL Setup Copy"},
    };
    const std::string kept = Host(SETUP_KEPT_SETUP);
    for (const Sweep& sweep : sweeps) {
        FreshMachine();
        ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
        int failed = 0;
        for (int call = 1; call <= 8; ++call) {
            const std::string fault = sweep.kind + ("@" + std::to_string(call)) + "=" + sweep.error;
            SCOPED_TRACE(fault);
            std::filesystem::remove(Host(LOG_FILE));
            SetupProcessRun run = RunKept("/U", fault);
            ASSERT_TRUE(run.exited);
            if (run.journal.find("program: C:\\ZIL_Setup_run") != std::string::npos) {
                break;  // past the hand-over: the copy ran
            }
            ++failed;
            EXPECT_EQ(run.status, SETUP_EXIT_FAILURE % 256);
            const std::string log = LogText();
            EXPECT_THAT(LogHeader(log), HasSubstr("exit code 1603"));
            EXPECT_THAT(LogBody(log), HasSubstr(std::string(sweep.step) + " Failed, error"));
            EXPECT_THAT(LogDetails(log), HasSubstr(std::string(sweep.step) + ": error"));
            EXPECT_EQ(LogFooter(log), "Result: setup failed (exit code 1603)\r\n");
            EXPECT_EQ(ReadHostFile(kept), ReadHostFile(SAMPLE_SETUP));
            EXPECT_TRUE(Exists(SETUP_SERVICE_EXE));
            EXPECT_EQ(Value("DisplayVersion"), ZIL_PRODUCT_VERSION);
            EXPECT_FALSE(Exists(SETUP_RUN_DIR));
        }
        EXPECT_GT(failed, 0) << sweep.kind << ": no call of the hand-over was reached";
    }
}

// A second kept program started while the first hands over (Uninstall clicked twice, a tool's
// retry) ends as a second setup ends, 1618, before it touches anything: the first one's folder,
// its copy and the log stay as they are. Once the first has ended, the next one runs.
TEST_F(DeployTest, ASecondKeptSetupLeavesTheFirstAlone) {
    ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
    const std::string log = LogText();
    const std::string firstCopy = Host(SETUP_RUN_DIR) + "/" + SETUP_KEPT_SETUP_NAME;
    {
        SimPlatform first(test_support::VirtualClockMachine(m_root));
        ASSERT_TRUE(first.acquireKeptSetupLock());
        std::filesystem::create_directories(Host(SETUP_RUN_DIR));
        WriteHostFile(firstCopy, "the first one's copy");
        const std::size_t journalBefore = ReadHostFile(m_root + "/journal.log").size();
        SetupProcessRun second = RunKept("/U");
        ASSERT_TRUE(second.exited);
        EXPECT_EQ(second.status, SETUP_EXIT_ALREADY_RUNNING % 256);
        EXPECT_EQ(second.journal.substr(journalBefore), "");
        EXPECT_EQ(ReadHostFile(firstCopy), "the first one's copy");
        EXPECT_EQ(ReadHostFile(Host(SETUP_KEPT_SETUP)), ReadHostFile(SAMPLE_SETUP));
        EXPECT_EQ(LogText(), log);
    }
    std::filesystem::remove_all(Host(SETUP_RUN_DIR));
    SetupProcessRun next = RunKept("/U");
    ASSERT_TRUE(next.exited);
    EXPECT_EQ(next.status, 0);
    ExpectProductGone();
}

// The kept program is known by its file, not by the spelling of the path it was started by:
// a short name, another case or a trailing dot is still the kept program; a byte-for-byte copy
// of it elsewhere, or the path before anything is installed there, is not.
TEST_F(DeployTest, TheKeptSetupIsKnownByItsFileHoweverItsPathIsSpelled) {
    auto isKept = [&](const std::string& hostBelowC) {
        SimConfig config = test_support::VirtualClockMachine(m_root);
        config.modulePath = m_root + "/C/" + hostBelowC;
        SimPlatform sim(config);
        return KeptSetup(sim).IsThisProgram();
    };
    const std::string longPath = "Program Files (x86)/ZIL/ZIL_Setup.exe";
    EXPECT_FALSE(isKept(longPath)) << "nothing installed yet";
    ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
    std::filesystem::create_directories(m_root + "/C/Program Files/ZIL");
    std::filesystem::copy_file(Host(SETUP_KEPT_SETUP),
                               m_root + "/C/Program Files/ZIL/ZIL_Setup.exe");
    std::filesystem::create_directories(m_root + "/C/Users/Public");
    std::filesystem::copy_file(Host(SETUP_KEPT_SETUP), m_root + "/C/Users/Public/ZIL_Setup.exe");
    const struct {
        const char* path;
        bool kept;
    } spellings[] = {
        {"Program Files (x86)/ZIL/ZIL_Setup.exe", true},
        {"PROGRA~2/ZIL/ZIL_SE~2.EXE", true},
        {"progra~2/zil/zil_se~2.exe", true},
        {"PROGRA~2/ZIL/ZIL_SE~1.EXE", false},  // ZIL_Service.exe, first in the machine's order
        {"program files (x86)/zil/ZIL_SETUP.EXE", true},
        {"Program Files (x86)/ZIL/ZIL_Setup.exe.", true},
        {"Program Files (x86)./ZIL/ZIL_Setup.exe", true},
        {"PROGRA~1/ZIL/ZIL_Setup.exe", false},
        {"Program Files/ZIL/ZIL_Setup.exe", false},
        {"Users/Public/ZIL_Setup.exe", false},
        {"Program Files (x86)/ZIL", false},
        {"Program Files (x86)/ZIL/ZIL_Setup.ex", false},
    };
    for (const auto& spelling : spellings) {
        EXPECT_EQ(isKept(spelling.path), spelling.kept) << spelling.path;
    }
}

// The run folders are the names setup gives, in any case: the folder itself and the names beside
// it with a dot; a program counts as in one only directly inside it.
TEST_F(DeployTest, TheRunFoldersAreTheNamesSetupGives) {
    const struct {
        const char* path;
        bool runFolder;
    } folders[] = {
        {"C:\\ZIL_Setup_run", true},       {"c:\\zil_setup_RUN", true},
        {"C:\\ZIL_Setup_run.2", true},     {"C:\\ZIL_Setup_run.obsolete", true},
        {"C:\\ZIL_Setup_runbook", false},  {"C:\\ZIL_Setup_ru", false},
        {"C:\\ZIL_Setup_run\\sub", false}, {"C:\\ZIL_Setup_run.2\\sub", false},
        {"D:\\ZIL_Setup_run", false},
    };
    for (const auto& folder : folders) {
        EXPECT_EQ(IsRunFolder(folder.path), folder.runFolder) << folder.path;
        EXPECT_EQ(IsInRunFolder(std::string(folder.path) + "\\ZIL_Setup.exe"), folder.runFolder)
            << folder.path;
    }
    EXPECT_FALSE(IsInRunFolder("ZIL_Setup.exe"));
}

// An ordinary user's C:\\ZIL_Setup_run that setup can neither remove nor move aside is no veto
// over the uninstaller that Apps & features starts: its copy runs from a private folder of
// another name, and the user's folder stays as it was, never handed to the restart.
TEST_F(DeployTest, AnOrdinaryUsersRunFolderIsNoVeto) {
    ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
    std::filesystem::create_directories(Host(SETUP_RUN_DIR));
    WriteHostFile(Host(SETUP_RUN_DIR) + "/theirs.txt", "someone else's");
    for (const char* list : {"user-owned.txt", "undeletable.txt", "unmovable.txt"}) {
        WriteHostFile(m_root + "/" + list, std::string(SETUP_RUN_DIR) + "\n");
    }
    SetupProcessRun run = RunKept("/U");
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, 0);
    ExpectProductGone();
    EXPECT_EQ(ReadHostFile(Host(SETUP_RUN_DIR) + "/theirs.txt"), "someone else's");
    EXPECT_THAT(run.journal, HasSubstr("program: C:\\ZIL_Setup_run."));
    EXPECT_THAT(run.journal, ::testing::Not(HasSubstr("delete-at-restart: C:\\ZIL_Setup_run =")));
}

// Of what lies beside the run folder, setup takes for its own only the names it gives: what only
// begins like them, and a file under such a name, is an administrator's own, and stays.
TEST_F(DeployTest, OnlyTheRunFoldersSetupNamesAreCleared) {
    const std::string folder = std::string(SETUP_RUN_DIR) + "book\\notes.txt";
    const std::string file = std::string(SETUP_RUN_DIR) + ".txt";
    WriteHostFile(Host(folder), "an administrator's");
    WriteHostFile(Host(file), "an administrator's");
    for (const char* run : {"/I", "/U"}) {
        SCOPED_TRACE(run);
        EXPECT_EQ(Run(run).exitCode, SETUP_EXIT_SUCCESS);
        EXPECT_EQ(ReadHostFile(Host(folder)), "an administrator's");
        EXPECT_EQ(ReadHostFile(Host(file)), "an administrator's");
    }
}

// A kept program whose copy could not uninstall, and that can neither move nor copy itself back
// into the program folder, ends with a log of its own that names what failed; the next run puts
// the uninstaller back.
TEST_F(DeployTest, AKeptSetupThatCannotComeBackSaysSo) {
    ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
    const std::string waiting = std::string(SETUP_RUN_DIR) + "\\" + SETUP_RUN_KEPT_NAME;
    WriteHostFile(m_root + "/unmovable.txt", waiting + "\n");
    SetupProcessRun run =
        RunKept("/U", theServiceWillNotStop + "," + FaultAt("open", waiting, "5+"));
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, SETUP_EXIT_FAILURE % 256);
    EXPECT_THAT(LogBody(LogText()), HasSubstr("Move ZIL Setup Back Failed, error 5"));
    EXPECT_FALSE(Exists(SETUP_KEPT_SETUP));
    std::filesystem::remove(m_root + "/unmovable.txt");
    EXPECT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
    EXPECT_EQ(ReadHostFile(Host(SETUP_KEPT_SETUP)), ReadHostFile(SAMPLE_SETUP));
}

// A run that leaves something held open for the restart to delete has done its work and says
// so with 3010: an install over a stale temporary folder that will not go, and an uninstall
// whose folders will not go, from the command line and from the dialog.
TEST_F(DeployTest, WhatWaitsForTheRestartEnds3010) {
    WriteHostFile(Host(SETUP_TEMP_DIR) + "/stale.txt", "held");
    InjectForNextRun({SimFaultKind::Delete, 1, WIN_SHARING_VIOLATION});
    SetupRun install = Run("/I");
    EXPECT_EQ(install.exitCode, SETUP_EXIT_RESTART_REQUIRED);
    EXPECT_THAT(LogBody(LogText()),
                HasSubstr("C:\\ZIL_Setup_temp.obsolete: held open, deleted at the next restart"));
    EXPECT_THAT(LogFooter(LogText()), HasSubstr("A restart of Windows completes it."));
    EXPECT_EQ(Value("DisplayVersion"), ZIL_PRODUCT_VERSION);

    ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS) << "a run with nothing held open ends 0";
    InjectForNextRun({SimFaultKind::Delete, 1, WIN_SHARING_VIOLATION, true});
    SetupRun uninstall = Run("", {"click:1001"});
    EXPECT_EQ(uninstall.exitCode, SETUP_EXIT_RESTART_REQUIRED);
    ASSERT_EQ(uninstall.boxes.size(), 1u);
    EXPECT_EQ(uninstall.boxes[0].text,
              "Uninstall ZIL Success\r\nA restart of Windows completes it.");
    ExpectProductGone();

    // The install's box says it too, for a person who clicked Install.
    WriteHostFile(Host(SETUP_TEMP_DIR) + "/stale.txt", "held");
    InjectForNextRun({SimFaultKind::Delete, 1, WIN_SHARING_VIOLATION});
    SetupRun clicked = Run("", {"click:1000"});
    EXPECT_EQ(clicked.exitCode, SETUP_EXIT_RESTART_REQUIRED);
    ASSERT_EQ(clicked.boxes.size(), 1u);
    EXPECT_EQ(clicked.boxes[0].text, "Install ZIL Success\r\nA restart of Windows completes it.");
}

// An entry the registry will not let go still lists the product in Apps & features: the
// uninstall that leaves it is no success, and a person can start it again from there.
TEST_F(DeployTest, AnEntryThatCannotGoFailsTheUninstall) {
    ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
    InjectForNextRun({SimFaultKind::RegDelete, 1, WIN_ACCESS_DENIED, true});
    EXPECT_EQ(Run("/U").exitCode, SETUP_EXIT_FAILURE);
    EXPECT_EQ(Value("DisplayVersion"), ZIL_PRODUCT_VERSION);
    EXPECT_THAT(LogDetails(LogText()), HasSubstr("Delete ZIL Uninstall Entry: error 5"));
}

// Killed at any call of the hand-over (the run folder, the copy, the move out of the program
// folder, the copy's start, the move back, the folder left for the restart), the next /I or /U
// from the download finishes the job: an installation left listed has its uninstaller back,
// byte for byte, and no run folder outlives a run that finds nothing running from it.
TEST_F(DeployTest, KilledAtEveryCallOfTheHandOverTheNextRunFinishesTheJob) {
    int kills = KillAtEveryCall(
        {"mkdir", "open", "read", "write", "move", "exec", "delete", "restart"},
        [&](const std::string& fault) {
            SetupProcessRun run = RunKept("/U", fault);
            // Only the hand-over's own calls: the copy meets the faults too, and counts its own.
            run.exited =
                run.exited || run.journal.find("program: C:\\ZIL_Setup_run") != std::string::npos;
            return run;
        },
        [&](int call) {
            const bool install = call % 2 == 1;
            SetupProcessRun next = RunSetupProcess(SMALL_SETUP, m_root, install ? "/I" : "/U", "");
            ASSERT_TRUE(next.exited);
            EXPECT_EQ(next.status, 0);
            EXPECT_FALSE(Exists(SETUP_RUN_DIR));
            if (install) {
                EXPECT_EQ(ReadHostFile(Host(SETUP_KEPT_SETUP)), ReadHostFile(SMALL_SETUP));
                EXPECT_EQ(Value("DisplayVersion"), ZIL_PRODUCT_VERSION);
            } else {
                ExpectProductGone();
            }
        });
    EXPECT_GT(kills, 8) << "every kind of the hand-over's calls was reached";
}

// A kept program that cannot move back into the product it failed to remove is put back all
// the same: its bytes are copied where the move is refused; where it could not even be, the
// next run from the download puts it back from where it waits, or keeps itself there.
TEST_F(DeployTest, AListedInstallationAlwaysGetsItsUninstallerBack) {
    ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
    const std::string waiting = std::string(SETUP_RUN_DIR) + "\\" + SETUP_RUN_KEPT_NAME;
    WriteHostFile(m_root + "/unmovable.txt", waiting + "\n");
    SetupProcessRun stuck = RunKept("/U", theServiceWillNotStop);
    ASSERT_TRUE(stuck.exited);
    EXPECT_EQ(stuck.status, SETUP_EXIT_FAILURE % 256);
    EXPECT_EQ(ReadHostFile(Host(SETUP_KEPT_SETUP)), ReadHostFile(SAMPLE_SETUP));
    std::filesystem::remove(m_root + "/unmovable.txt");

    // The state a cut-off hand-over leaves: the product listed, its uninstaller waiting in the
    // run folder. Whatever the next run is, the uninstaller goes back whole and the folder goes.
    for (const char* next : {"/I", "/U"}) {
        SCOPED_TRACE(next);
        FreshMachine();
        ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
        std::filesystem::create_directories(Host(SETUP_RUN_DIR));
        std::filesystem::rename(Host(SETUP_KEPT_SETUP), Host(waiting));
        // An uninstall that cannot remove the service keeps the product: its uninstaller too.
        const std::string faults = std::string(next) == "/U" ? theServiceWillNotStop : "";
        SetupProcessRun run = RunSetupProcess(SAMPLE_SETUP, m_root, next, faults);
        ASSERT_TRUE(run.exited);
        EXPECT_EQ(ReadHostFile(Host(SETUP_KEPT_SETUP)), ReadHostFile(SAMPLE_SETUP));
        EXPECT_FALSE(Exists(SETUP_RUN_DIR));
    }

    // Nothing waits anywhere: the running program keeps itself in the product's folder.
    FreshMachine();
    ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
    std::filesystem::remove(Host(SETUP_KEPT_SETUP));
    SetupProcessRun run = RunSetupProcess(SAMPLE_SETUP, m_root, "/U", theServiceWillNotStop);
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(ReadHostFile(Host(SETUP_KEPT_SETUP)), ReadHostFile(SAMPLE_SETUP));
    EXPECT_THAT(LogBody(LogText()), HasSubstr("ZIL_Setup.exe: missing, put back !!!"));
}

// Only a listed installation is promised an uninstaller, and only a file of setup's waits as one:
// a program folder that Apps & features does not list gets none, and neither a folder under the
// waiting program's name nor a file in a run folder that someone else owns (who could swap it
// between the look and the move) is moved in for it.
TEST_F(DeployTest, OnlyAListedInstallationGetsAnUninstallerAndOnlyAFileServesAsOne) {
    const std::string waiting = std::string(SETUP_RUN_DIR) + "\\" + SETUP_RUN_KEPT_NAME;
    {
        SCOPED_TRACE("not listed");
        ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
        std::filesystem::remove(Host(SETUP_KEPT_SETUP));
        std::filesystem::remove(m_root + "/registry.txt");
        SetupProcessRun run = RunSetupProcess(SAMPLE_SETUP, m_root, "/U", theServiceWillNotStop);
        ASSERT_TRUE(run.exited);
        EXPECT_FALSE(Exists(SETUP_KEPT_SETUP));
        EXPECT_THAT(LogBody(LogText()), ::testing::Not(HasSubstr("missing, put back")));
    }
    {
        SCOPED_TRACE("a folder at the waiting program's name");
        FreshMachine();
        ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
        std::filesystem::remove(Host(SETUP_KEPT_SETUP));
        std::filesystem::create_directories(Host(waiting));
        SetupProcessRun run = RunSetupProcess(SAMPLE_SETUP, m_root, "/U", theServiceWillNotStop);
        ASSERT_TRUE(run.exited);
        EXPECT_EQ(ReadHostFile(Host(SETUP_KEPT_SETUP)), ReadHostFile(SAMPLE_SETUP));
    }
    {
        SCOPED_TRACE("a waiting program in someone else's run folder");
        FreshMachine();
        ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
        std::filesystem::remove(Host(SETUP_KEPT_SETUP));
        WriteHostFile(Host(waiting), "swapped in by its folder's owner");
        WriteHostFile(m_root + "/user-owned.txt", std::string(SETUP_RUN_DIR) + "\n");
        SetupProcessRun run = RunSetupProcess(SAMPLE_SETUP, m_root, "/U", theServiceWillNotStop);
        ASSERT_TRUE(run.exited);
        EXPECT_EQ(ReadHostFile(Host(SETUP_KEPT_SETUP)), ReadHostFile(SAMPLE_SETUP));
        EXPECT_EQ(ReadHostFile(Host(waiting)), "swapped in by its folder's owner");
    }
}

// A kept program started while another setup runs (the download's /I, say) ends 1618 before it
// makes its folder, copies itself or moves out of the program folder: the other run's set-aside
// and restore never meet its moves.
TEST_F(DeployTest, AKeptSetupStartedWhileAnotherSetupRunsChangesNothing) {
    ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
    const std::string log = LogText();
    SimPlatform other(test_support::VirtualClockMachine(m_root));
    ASSERT_TRUE(other.acquireSetupLock());
    const std::size_t journalBefore = ReadHostFile(m_root + "/journal.log").size();
    SetupProcessRun kept = RunKept("/U");
    ASSERT_TRUE(kept.exited);
    EXPECT_EQ(kept.status, SETUP_EXIT_ALREADY_RUNNING % 256);
    EXPECT_EQ(kept.journal.substr(journalBefore), "");
    EXPECT_FALSE(Exists(SETUP_RUN_DIR));
    EXPECT_EQ(ReadHostFile(Host(SETUP_KEPT_SETUP)), ReadHostFile(SAMPLE_SETUP));
    EXPECT_EQ(LogText(), log);
}

// A copy left in the run folder by a hand-over that was cut off is no hand-over's copy once no
// kept program waits for it: started while another setup runs, it ends 1618 as any second setup
// does, before it changes anything.
TEST_F(DeployTest, ALeftoverCopyInTheRunFolderWaitsForAnotherSetupAsAnyProgramDoes) {
    ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
    const std::string log = LogText();
    const std::string leftover = Host(SETUP_RUN_DIR) + "/" + SETUP_KEPT_SETUP_NAME;
    std::filesystem::create_directories(Host(SETUP_RUN_DIR));
    std::filesystem::copy_file(SAMPLE_SETUP, leftover);
    SimPlatform other(test_support::VirtualClockMachine(m_root));
    ASSERT_TRUE(other.acquireSetupLock());
    const std::size_t journalBefore = ReadHostFile(m_root + "/journal.log").size();
    for (const char* mode : {"/I", "/U"}) {
        SCOPED_TRACE(mode);
        SetupProcessRun run = RunSetupProcess(leftover, m_root, mode, "");
        ASSERT_TRUE(run.exited);
        EXPECT_EQ(run.status, SETUP_EXIT_ALREADY_RUNNING % 256);
        EXPECT_EQ(run.journal.substr(journalBefore), "");
    }
    EXPECT_EQ(ReadHostFile(leftover), ReadHostFile(SAMPLE_SETUP));
    EXPECT_EQ(ReadHostFile(Host(SETUP_KEPT_SETUP)), ReadHostFile(SAMPLE_SETUP));
    EXPECT_EQ(LogText(), log);
    ExpectInstalled();
}

// Whatever a run leaves for the next restart ends it 3010, named in the log: a leftover of an
// earlier run that still cannot go, a resumed upgrade whose new files are held open, a runtime
// whose installer asks for a restart. A previous version found afterwards does not hide it.
TEST_F(DeployTest, EveryRestartThatCompletesARunIsReported) {
    const std::string waits = "Waits For The Next Restart: ";
    {
        SCOPED_TRACE("a leftover of an earlier run");
        ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
        const std::string leftover = "C:\\Program Files (x86)\\ZIL.obsolete";
        WriteHostFile(Host(leftover) + "/old.dll", "held");
        for (const char* list : {"undeletable.txt", "unmovable.txt"}) {
            WriteHostFile(m_root + "/" + list, leftover + "\n");
        }
        EXPECT_EQ(Run("/I").exitCode, SETUP_EXIT_RESTART_REQUIRED);
        EXPECT_THAT(LogDetails(LogText()), HasSubstr(waits + leftover));
        EXPECT_EQ(Run("/U").exitCode, SETUP_EXIT_RESTART_REQUIRED);
        EXPECT_THAT(LogDetails(LogText()), HasSubstr(waits + leftover));
    }
    {
        SCOPED_TRACE("a resumed upgrade whose new files are held open");
        FreshMachine();
        ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
        SetupProcessRun cut = RunSetupProcess(SAMPLE_SETUP, m_root, "/I",
                                              FaultAt("svc-create", std::string(theServiceName)));
        ASSERT_FALSE(cut.exited);
        ASSERT_TRUE(Exists(SETUP_UPGRADE_RECORD));
        // Held open: it can be neither deleted nor, once moved out of the way, moved again.
        const std::string held = std::string(SETUP_PROGRAM_DIR) + "\\ZIL.ini\n";
        const std::string retired = "C:\\Program Files (x86)\\ZIL.obsolete\\ZIL.ini\n";
        WriteHostFile(m_root + "/undeletable.txt", held + retired);
        WriteHostFile(m_root + "/unmovable.txt", retired);
        EXPECT_EQ(Run("/I").exitCode, SETUP_EXIT_RESTART_REQUIRED);
        const std::string log = LogText();
        EXPECT_THAT(LogBody(log),
                    HasSubstr("ZIL.obsolete: held open, deleted at the next restart"));
        EXPECT_THAT(LogDetails(log), HasSubstr(waits + "C:\\Program Files (x86)\\ZIL.obsolete"));
        EXPECT_EQ(Value("DisplayVersion"), ZIL_PRODUCT_VERSION);
    }
    {
        SCOPED_TRACE("the commit, whose old folder holds a file that cannot go now");
        FreshMachine();
        ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
        // Held by a program that started after the check for files in use.
        WriteHostFile(m_root + "/undeletable.txt",
                      std::string(SETUP_SET_ASIDE_DIR) + "\\ZIL.ini\n");
        SetupRun run = Run("/I");
        EXPECT_EQ(run.exitCode, SETUP_EXIT_RESTART_REQUIRED);
        const std::string retired = std::string(SETUP_SET_ASIDE_DIR) + ".obsolete";
        EXPECT_THAT(LogDetails(LogText()), HasSubstr(waits + retired));
        EXPECT_THAT(LogBody(LogText()),
                    HasSubstr(retired + ": held open, deleted at the next restart !!!\r\n"));
        EXPECT_THAT(LogFooter(LogText()), HasSubstr("A restart of Windows completes it."));
        EXPECT_THAT(JournalOf(run.journal, "delete-at-restart"), ElementsAre(retired + " = 0"));
        EXPECT_TRUE(Exists(retired + "\\ZIL.ini"));
        EXPECT_FALSE(Exists(SETUP_SET_ASIDE_DIR));
        EXPECT_FALSE(Exists(SETUP_UPGRADE_RECORD));
        ExpectInstalled();
    }
    {
        SCOPED_TRACE("the commit, whose old folder can neither go nor move");
        FreshMachine();
        ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
        for (const char* list : {"undeletable.txt", "unmovable.txt"}) {
            WriteHostFile(m_root + "/" + list, std::string(SETUP_SET_ASIDE_DIR) + "\\ZIL.ini\n");
        }
        SetupRun run = Run("/I");
        // The new installation is complete; nothing waits for a restart, and none is asked for.
        EXPECT_NE(run.exitCode, SETUP_EXIT_RESTART_REQUIRED);
        EXPECT_THAT(JournalOf(run.journal, "delete-at-restart"), IsEmpty());
        EXPECT_THAT(LogDetails(LogText()), ::testing::Not(HasSubstr(waits)));
        EXPECT_THAT(LogBody(LogText()), HasSubstr("Remove Old ZIL Directory Failed, error 5 !!!"));
        EXPECT_THAT(LogDetails(LogText()), HasSubstr("Remove Old ZIL Directory: error 5"));
        EXPECT_TRUE(Exists(std::string(SETUP_SET_ASIDE_DIR) + "\\ZIL.ini"));
        EXPECT_FALSE(Exists(SETUP_UPGRADE_RECORD)) << "nothing a later run would restore";
        ExpectInstalled();
    }
    for (const char* code : {"3010", "1641"}) {
        SCOPED_TRACE(std::string("a runtime whose installer ends ") + code);
        FreshMachine();
        SetServiceKnobs({0, 0, true, false});
        WriteHostFile(m_root + "/runtime-exit.txt", code);
        EXPECT_EQ(Run("/I").exitCode, SETUP_EXIT_RESTART_REQUIRED);
        const std::string details = LogDetails(LogText());
        EXPECT_THAT(details, HasSubstr(std::string("Install Runtime: exit code ") + code));
        EXPECT_THAT(details, HasSubstr(waits + "the runtime redistributable"));
        // ... and with a previous version found afterwards, 3010 stands and the message is logged.
        WriteHostFile(Host(SETUP_PREVIOUS_VERSION_MARK), "V1.04");
        std::filesystem::remove(Host(SIM_RUNTIME_MARKER));
        EXPECT_EQ(RunProgram("/I").exitCode, SETUP_EXIT_RESTART_REQUIRED);
        EXPECT_THAT(LogBody(LogText()), HasSubstr("Pleas use ZIL V1.04"));
        std::filesystem::remove(m_root + "/runtime-exit.txt");
        EXPECT_EQ(RunProgram("/I").exitCode, SETUP_EXIT_PREVIOUS_VERSION) << "after a run of 0";
    }
    {
        SCOPED_TRACE("a runtime that asks for a restart, and a service that still will not start");
        FreshMachine();
        SetServiceKnobs({0, 0, false, true});
        WriteHostFile(m_root + "/runtime-exit.txt", "3010");
        EXPECT_EQ(Run("/I").exitCode, SETUP_EXIT_FAILURE);
    }
}

// An entry at the key that is not this setup's (its uninstall command is another program's) is
// another product's: an install leaves it as it is, byte for byte with the key below it, and says
// so in the run log and the details; the product is installed all the same, unlisted. An upgrade
// and an uninstall leave it too, and the uninstall succeeds.
TEST_F(DeployTest, AnotherProductsEntryIsNeitherChangedNorRemoved) {
    PlantEntry({
        RegistryValue::Text("DisplayName", "ZIL Viewer"),
        RegistryValue::Text("Publisher", "Someone Else"),
        RegistryValue::Text("DisplayIcon", SETUP_KEPT_SETUP),
        RegistryValue::Text("UninstallString", "\"C:\\Program Files\\Viewer\\uninst.exe\""),
        RegistryValue::Text("QuietUninstallString",
                            "\"C:\\Program Files (x86)\\ZIL\\ZIL_Setup.exe\" /S"),
    });
    {
        SimPlatform sim(test_support::VirtualClockMachine(m_root));
        const std::string below = std::string(SETUP_ENTRY_KEY) + "\\Replaced";
        ASSERT_EQ(sim.simRegistry().createKey(below.c_str()), WIN_OK);
        ASSERT_EQ(sim.simRegistry().setValue(below.c_str(), RegistryValue::Text("theirs", "x")),
                  WIN_OK);
    }
    const std::string registry = RegistryText();
    const std::string note =
        "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ZIL: "
        "another product's entry, left alone !!!";
    for (const char* argument : {"/I", "/I", "/U"}) {
        SCOPED_TRACE(argument);
        ASSERT_EQ(Run(argument).exitCode, SETUP_EXIT_SUCCESS);
        EXPECT_EQ(RegistryText(), registry);
        const std::string log = LogText();
        EXPECT_THAT(LogBody(log), HasSubstr(note));
        EXPECT_THAT(
            LogDetails(log),
            HasSubstr(std::string(argument) == "/U"
                          ? "Delete ZIL Uninstall Entry: another product's entry, left alone"
                          : "Write ZIL Uninstall Entry: another product's entry, left alone"));
        EXPECT_EQ(Exists(SETUP_SERVICE_EXE), std::string(argument) == "/I");
    }
    EXPECT_EQ(ServiceState(), 0u);
}

// Setup takes an entry for its own only where one of its commands is the kept setup program's
// (in any case, as every release wrote it), or where the key has no values: the rest is another
// product's, whatever else it shares with this one's.
TEST_F(DeployTest, OnlyAnEntryThatRunsTheKeptSetupIsSetupsOwn) {
    const std::string kept = "\"C:\\Program Files (x86)\\ZIL\\ZIL_Setup.exe\"";
    const struct {
        const char* name;
        std::vector<RegistryValue> values;
        bool own;
    } cases[] = {
        {"the uninstall command", {RegistryValue::Text("UninstallString", kept)}, true},
        {"the quiet one in another case",
         {RegistryValue::Text("QuietUninstallString",
                              "\"c:\\PROGRAM FILES (X86)\\zil\\zil_setup.exe\" /u")},
         true},
        {"no values", {}, true},
        {"the kept program with another argument",
         {RegistryValue::Text("UninstallString", kept + " /X")},
         false},
        {"the quiet command as the dialog's",
         {RegistryValue::Text("QuietUninstallString", kept)},
         false},
        {"not quoted",
         {RegistryValue::Text("UninstallString", "C:\\Program Files (x86)\\ZIL\\ZIL_Setup.exe")},
         false},
        {"a number", {{"UninstallString", REG_VALUE_BINARY, kept + '\0'}}, false},
        {"the name, the place and the icon only",
         {RegistryValue::Text("DisplayName", "ZIL"),
          RegistryValue::Text("InstallLocation", SETUP_PROGRAM_DIR),
          RegistryValue::Text("DisplayIcon", SETUP_KEPT_SETUP)},
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FreshMachine();
        PlantEntry(c.values);
        const std::string registry = RegistryText();
        ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
        if (c.own) {
            EXPECT_EQ(Value("DisplayVersion"), ZIL_PRODUCT_VERSION);
            EXPECT_EQ(Entry().size(), 11u);
        } else {
            EXPECT_EQ(RegistryText(), registry);
        }
    }
}

// A first install that fails at any call of the registry, or at a step after the entry, leaves
// no key behind (a detection rule that asks only whether the key exists must not find one); one
// that a failed call does not stop leaves the whole entry.
TEST_F(DeployTest, AFailedFirstInstallLeavesNoKey) {
    for (SimFaultKind kind :
         {SimFaultKind::RegRead, SimFaultKind::RegWrite, SimFaultKind::RegDelete}) {
        int failed = 0;
        for (int call = 1;; ++call) {
            SCOPED_TRACE(std::string(SimFaultKindName(kind)) + " call " + std::to_string(call));
            FreshMachine();
            InjectForNextRun({kind, call, WIN_ACCESS_DENIED});
            SetupRun run = Run("/I");
            const std::string fired = "fault: " + std::string(SimFaultKindName(kind)) + " call " +
                                      std::to_string(call) + " ";
            if (std::none_of(run.journal.begin(), run.journal.end(),
                             [&](const std::string& line) { return line.starts_with(fired); })) {
                EXPECT_EQ(run.exitCode, SETUP_EXIT_SUCCESS);
                break;
            }
            if (run.exitCode == SETUP_EXIT_SUCCESS) {
                EXPECT_EQ(Entry().size(), 11u);
                continue;
            }
            ++failed;
            EXPECT_EQ(run.exitCode, SETUP_EXIT_FAILURE);
            ExpectProductGone();
        }
        EXPECT_GT(failed, kind == SimFaultKind::RegWrite ? 13 : 0);
    }
    FreshMachine();
    m_installSteps = FailingAfter("Write ZIL Uninstall Entry");
    ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_FAILURE);
    ExpectProductGone();
}

// A first install cut off at any call of the registry leaves a key that the next run takes for
// setup's own: an install that then fails leaves none (or, where the cut-off run had installed the
// product, its whole entry), an uninstall removes it.
TEST_F(DeployTest, AFirstInstallCutOffAnywhereLeavesNoKeyForLong) {
    int kills = 0;
    int unlisted = 0;
    for (const char* kind : {"reg-read", "reg-write", "reg-delete"}) {
        for (int call = 1;; ++call) {
            SCOPED_TRACE(std::string(kind) + " call " + std::to_string(call));
            FreshMachine();
            std::string fault = std::string(kind) + "@" + std::to_string(call) + "=kill";
            if (RunSetupProcess(SAMPLE_SETUP, m_root, "/I", fault).exited) {
                break;
            }
            ++kills;
            m_installSteps = FailingAfter("Write ZIL Uninstall Entry");
            EXPECT_EQ(Run("/I").exitCode, SETUP_EXIT_FAILURE);
            if (EntryKeyThere()) {
                EXPECT_EQ(Entry().size(), 11u);
                EXPECT_NE(ServiceState(), 0u) << "an entry without its installation";
            } else {
                ++unlisted;
            }
            m_installSteps.reset();
            EXPECT_EQ(Run("/U").exitCode, SETUP_EXIT_SUCCESS);
            ExpectProductGone();
        }
    }
    EXPECT_GT(unlisted, 15);
    EXPECT_GT(kills, unlisted);
}

// A kept copy that a commit could not drop belongs to that upgrade alone: a later upgrade that
// fails before its entry, after it, or once it has resumed an upgrade cut off before its entry,
// leaves the newer entry as it was and never gives the old one back.
TEST_F(DeployTest, AStaleCopyIsNeverGivenBack) {
    ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
    PlantOldEntry();
    // The commit's drop of the copy is the second removal at the copy's key: the first is a
    // stale copy's, before the copy is made.
    InjectForNextRun(
        {SimFaultKind::RegDelete, 2, WIN_ACCESS_DENIED, false, false, SETUP_ENTRY_REPLACED_KEY});
    Run("/I");
    bool keeping = false;
    const std::vector<RegistryValue> newer = Entry(&keeping);
    ASSERT_TRUE(keeping) << "the commit dropped the copy";
    ASSERT_EQ(Value("DisplayVersion"), ZIL_PRODUCT_VERSION);
    const std::string machine = m_root + ".stale";
    std::filesystem::remove_all(machine);
    std::filesystem::copy(m_root, machine, std::filesystem::copy_options::recursive);

    InjectForNextRun(SimFaultAt(SimFaultKind::RegRead, SETUP_ENTRY_KEY, WIN_ACCESS_DENIED));
    EXPECT_EQ(Run("/I").exitCode, SETUP_EXIT_FAILURE);
    EXPECT_EQ(Entry(), newer) << "failed at the entry's first read";

    m_installSteps = FailingAfter("Write ZIL Uninstall Entry");
    EXPECT_EQ(Run("/I").exitCode, SETUP_EXIT_FAILURE);
    EXPECT_EQ(Entry(&keeping), newer) << "failed after the entry";
    EXPECT_FALSE(keeping) << "the stale copy goes with the entry's next write";

    std::filesystem::remove_all(m_root);
    std::filesystem::copy(machine, m_root, std::filesystem::copy_options::recursive);
    std::filesystem::remove_all(machine);
    ASSERT_FALSE(RunSetupProcess(SAMPLE_SETUP, m_root, "/I",
                                 FaultAt("svc-delete", std::string(theServiceName)))
                     .exited);
    ASSERT_TRUE(Exists(SETUP_UPGRADE_RECORD));
    m_installSteps = FailingAfter("Restore Interrupted ZIL Upgrade");
    EXPECT_EQ(Run("/I").exitCode, SETUP_EXIT_FAILURE);
    EXPECT_FALSE(Exists(SETUP_UPGRADE_RECORD)) << "the cut-off upgrade was resumed";
    EXPECT_EQ(Entry(), newer) << "resumed an upgrade cut off before its entry";
    m_installSteps.reset();
    ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
    EXPECT_EQ(Entry(&keeping).size(), 11u);
    EXPECT_FALSE(keeping);
}

// A key that an inventory or management tool made below the entry does not keep the uninstall
// from taking the entry: the key goes whole, and the uninstall succeeds.
TEST_F(DeployTest, AToolsKeyBelowTheEntryGoesWithIt) {
    ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
    {
        SimPlatform sim(test_support::VirtualClockMachine(m_root));
        const std::string tool = std::string(SETUP_ENTRY_KEY) + "\\Inventory\\Scan";
        ASSERT_EQ(sim.simRegistry().createKey(tool.c_str()), WIN_OK);
        ASSERT_EQ(sim.simRegistry().setValue(tool.c_str(), RegistryValue::Text("Seen", "2024")),
                  WIN_OK);
    }
    ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
    EXPECT_EQ(Run("/U").exitCode, SETUP_EXIT_SUCCESS);
    ExpectProductGone();
    EXPECT_EQ(RegistryText().find("Inventory"), std::string::npos);
}

// Killed at any deletion, rename or restart scheduling while it clears what earlier runs left
// beside the program folder (set-aside folders, a folder moved out of the way, an emptied
// record), and at every one after, an upgrade is finished by the next /I: one installation,
// listed with its uninstaller, and nothing of setup's own left beside the program folder.
TEST_F(DeployTest, KilledWhileClearingLeftoversTheNextRunFinishesTheJob) {
    int kills = KillAtEveryCall(
        {"delete", "move", "restart"},
        [&](const std::string& fault) {
            for (const char* suffix : {"", ".2", ".3"}) {
                WriteHostFile(Host(std::string(SETUP_SET_ASIDE_DIR) + suffix + "\\old.txt"), "old");
            }
            WriteHostFile(Host(std::string(SETUP_PROGRAM_DIR) + ".obsolete\\held.txt"), "old");
            WriteHostFile(Host(SETUP_UPGRADE_RECORD), "");
            return RunSetupProcess(SMALL_SETUP, m_root, "/I", fault);
        },
        [&](int) {
            SetupProcessRun next = RunSetupProcess(SMALL_SETUP, m_root, "/I", "");
            ASSERT_TRUE(next.exited);
            EXPECT_EQ(next.status, 0);
            ExpectNoLeftovers();
            EXPECT_EQ(ReadHostFile(Host(SETUP_KEPT_SETUP)), ReadHostFile(SMALL_SETUP));
            EXPECT_EQ(Value("DisplayVersion"), ZIL_PRODUCT_VERSION);
        });
    EXPECT_GT(kills, 6) << "the clearing's calls were reached";
}

// What a run leaves for the restart is counted wherever it comes from: an uninstall or an install
// whose temporary folder alone is held, an earlier run's leftover that can be moved aside but not
// deleted, the resume of a cut-off upgrade that fails once it moved held-open new files aside,
// and the undos of a failed upgrade (named, while the runs keep their failure).
TEST_F(DeployTest, EachPlaceThatLeavesSomethingForTheRestartIsCounted) {
    const std::string waits = "Waits For The Next Restart: ";
    {
        SCOPED_TRACE("the uninstall's temporary folder alone");
        ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
        WriteHostFile(m_root + "/undeletable.txt", std::string(SETUP_TEMP_DIR) + "\\ZIL.ini\n");
        EXPECT_EQ(Run("/U").exitCode, SETUP_EXIT_RESTART_REQUIRED);
        EXPECT_THAT(LogDetails(LogText()), HasSubstr(waits + SETUP_TEMP_DIR + ".obsolete"));
    }
    {
        SCOPED_TRACE("the install's temporary folder alone");
        FreshMachine();
        WriteHostFile(m_root + "/undeletable.txt", std::string(SETUP_TEMP_DIR) + "\\ZIL.ini\n");
        EXPECT_EQ(Run("/I").exitCode, SETUP_EXIT_RESTART_REQUIRED);
        EXPECT_THAT(LogDetails(LogText()), HasSubstr(waits + SETUP_TEMP_DIR + ".obsolete"));
        ExpectInstalled();
    }
    {
        SCOPED_TRACE("an earlier run's leftover that moves but does not go");
        FreshMachine();
        ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
        const std::string leftover = std::string(SETUP_SET_ASIDE_DIR) + ".2";
        WriteHostFile(Host(leftover + "\\old.txt"), "old");
        WriteHostFile(m_root + "/undeletable.txt", leftover + "\\old.txt\n");
        EXPECT_EQ(Run("/I").exitCode, SETUP_EXIT_RESTART_REQUIRED);
        EXPECT_THAT(LogDetails(LogText()), HasSubstr(waits + leftover));
    }
    {
        // Nothing after the resume looks at what it moved aside: the run ends at it.
        SCOPED_TRACE(
            "a resumed upgrade whose new files are held open and whose old folder stays out");
        FreshMachine();
        ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
        SetupProcessRun cut = RunSetupProcess(SAMPLE_SETUP, m_root, "/I",
                                              FaultAt("svc-create", std::string(theServiceName)));
        ASSERT_FALSE(cut.exited);
        ASSERT_TRUE(Exists(SETUP_UPGRADE_RECORD));
        WriteHostFile(m_root + "/undeletable.txt", std::string(SETUP_PROGRAM_DIR) + "\\ZIL.ini\n");
        // The old folder can be neither renamed back nor copied back.
        InjectForNextRun(
            SimFaultAt(SimFaultKind::Move, SETUP_SET_ASIDE_DIR, WIN_ACCESS_DENIED, true));
        InjectForNextRun(
            SimFaultAt(SimFaultKind::Mkdir, SETUP_PROGRAM_DIR, WIN_ACCESS_DENIED, true));
        EXPECT_EQ(Run("/I").exitCode, SETUP_EXIT_FAILURE);
        const std::string retired = std::string(SETUP_PROGRAM_DIR) + ".obsolete";
        EXPECT_THAT(LogBody(LogText()),
                    HasSubstr(retired + ": held open, deleted at the next restart"));
        EXPECT_THAT(LogDetails(LogText()), HasSubstr(waits + retired));
        EXPECT_TRUE(Exists(SETUP_UPGRADE_RECORD)) << "the next run resumes it again";
    }
    // A failed upgrade whose new files are held open; where Windows refuses to delete them at the
    // restart, nothing is said to wait for one.
    for (bool refused : {false, true}) {
        SCOPED_TRACE(refused ? "held open, the restart refused" : "a failed upgrade, held open");
        FreshMachine();
        ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
        std::vector<InstallStep> steps = InstallSteps();
        auto entry = std::find_if(steps.begin(), steps.end(), [](const InstallStep& s) {
            return std::string(s.name) == "Write ZIL Uninstall Entry";
        });
        ASSERT_NE(entry, steps.end());
        steps.insert(entry + 1,
                     InstallStep{"Fail", [](Sequence&) { return StepOutcome::Failed(5); }, -1,
                                 StepFailure::Restores});
        m_installSteps = steps;
        WriteHostFile(m_root + "/undeletable.txt", std::string(SETUP_PROGRAM_DIR) + "\\ZIL.ini\n");
        if (refused) {
            InjectForNextRun(
                SimFaultAt(SimFaultKind::Restart, "*ZIL.obsolete*", WIN_ACCESS_DENIED, true));
        }
        EXPECT_EQ(Run("/I").exitCode, SETUP_EXIT_FAILURE);
        EXPECT_THAT(LogDetails(LogText()), HasSubstr("Restore Old ZIL Installation: ok"));
        if (refused) {
            EXPECT_THAT(LogDetails(LogText()), ::testing::Not(HasSubstr(waits)));
        } else {
            EXPECT_THAT(LogDetails(LogText()),
                        HasSubstr(waits + "C:\\Program Files (x86)\\ZIL.obsolete"));
        }
    }
}

// What the steps below leave for the restart. The step table takes plain functions, so each
// path gets a function of its own.
constexpr char theWaitingFile[] = "C:\\waits.txt";
constexpr char theGoneFile[] = "C:\\gone.txt";
constexpr char theUnreadableFile[] = "F:\\unreadable.txt";
template <const char* path>
StepOutcome LeaveForRestart(Sequence&) {
    StepOutcome left;
    left.restart.push_back(path);
    return left;
}

// A file held open for a moment (a scanner's look) keeps the resume from deleting the new files:
// they go aside for the restart, and "Remove Old ZIL Leftovers" then deletes them after all.
// Nothing is left for a restart to complete, so the run does not ask for one.
TEST_F(DeployTest, WhatALaterStepRemovesWaitsForNoRestart) {
    ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
    SetupProcessRun cut = RunSetupProcess(SAMPLE_SETUP, m_root, "/I",
                                          FaultAt("svc-create", std::string(theServiceName)));
    ASSERT_FALSE(cut.exited);
    ASSERT_TRUE(Exists(SETUP_UPGRADE_RECORD));
    InjectForNextRun(SimFaultAt(SimFaultKind::Delete, std::string(SETUP_PROGRAM_DIR) + "*",
                                WIN_SHARING_VIOLATION));
    EXPECT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS);
    const std::string retired = std::string(SETUP_PROGRAM_DIR) + ".obsolete";
    EXPECT_FALSE(Exists(retired));
    const std::string details = LogDetails(LogText());
    EXPECT_THAT(details, HasSubstr("Waits For The Next Restart: " + retired));
    EXPECT_THAT(details, HasSubstr("No Longer Waits For The Next Restart: " + retired));
    EXPECT_THAT(LogText(), HasSubstr("install succeeded (exit code 0)"));
    ExpectInstalled();

    SCOPED_TRACE("what still waits counts, whatever is found gone after it");
    FreshMachine();
    WriteHostFile(Host(theWaitingFile), "held");
    std::vector<InstallStep> steps = InstallSteps();
    steps.push_back({"Leave A File", LeaveForRestart<theWaitingFile>, -1, StepFailure::GoesOn});
    steps.push_back({"Leave Another", LeaveForRestart<theGoneFile>, -1, StepFailure::GoesOn});
    m_installSteps = steps;
    EXPECT_EQ(Run("/I").exitCode, SETUP_EXIT_RESTART_REQUIRED);
    EXPECT_THAT(LogDetails(LogText()),
                HasSubstr(std::string("No Longer Waits For The Next Restart: ") + theGoneFile));

    SCOPED_TRACE("what cannot be looked at still waits");
    FreshMachine();
    // The simulated machine refuses a look at a drive it does not have (error 5), as Windows
    // refuses one at a folder its account may not read.
    steps = InstallSteps();
    steps.push_back(
        {"Leave A File Out Of Sight", LeaveForRestart<theUnreadableFile>, -1, StepFailure::GoesOn});
    m_installSteps = steps;
    EXPECT_EQ(Run("/I").exitCode, SETUP_EXIT_RESTART_REQUIRED);
    EXPECT_THAT(LogDetails(LogText()),
                ::testing::Not(HasSubstr("No Longer Waits For The Next Restart")));
}

}  // namespace
