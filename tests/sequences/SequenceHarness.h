#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/sim/SimPlatform.h"
#include "setup/InstallSequence.h"
#include "setup/ProductPaths.h"
#include "setup/SetupExitCode.h"
#include "tests/unit/ScratchFolder.h"

// Plain host files, and the journal lines of a kind ("system", "program") without the kind.
using test_support::JournalOf;
using test_support::ReadHostFile;
using test_support::WriteHostFile;

inline constexpr const char* SAMPLE_SETUP = ZIL_BINARY_DIR "/ZIL_Setup";
inline constexpr const char* BARE_SETUP = ZIL_BINARY_DIR "/zil-setup";
inline constexpr const char* LOG_FILE = "C:\\Windows\\Temp\\ZIL_Setup.log";

// What one run of the setup program left for a test to look at.
struct SetupRun {
    int exitCode = -1;
    std::string statusText;            // what the status edit shows at the end
    bool buttonsEnabled = true;        // Install and Uninstall at the end (whole program runs only)
    std::vector<SimMessageBox> boxes;  // the caption only in whole program runs
    bool dialogEnded = false;
    std::vector<std::string> journal;  // the lines this run added
    std::vector<int> positions;        // the lower bar's positions (sequence runs only)
    std::uint64_t elapsed = 0;         // virtual milliseconds
};

// A fresh simulated machine per test with the virtual clock; each run is one process of the
// setup program on it (a new platform over the same folder), as the real program would be.
class SequenceTest : public ::testing::Test {
protected:
    void SetUp() override;
    // The machine as SetUp leaves it, for the next case of a table.
    void FreshMachine() {
        std::filesystem::remove_all(m_root);
        SetUp();
    }

    // One sequence, as the dialog runs it, reporting to a recording observer: "/I" and "/U" from
    // the command line; "" with {"click:1000"} (install) or {"click:1001"} (uninstall) as a
    // person starts it.
    SetupRun Run(const std::string& argument, const std::vector<std::string>& input = {});
    // The whole program on the machine: the argument as its command line, the person's actions.
    SetupRun RunProgram(const std::string& argument, const std::vector<std::string>& input = {});

    // Knobs of the simulated service manager, for the runs that follow.
    void SetServiceKnobs(const SimServices::Knobs& knobs);
    // Faults the next run meets, e.g. {SimFaultKind::Write, 5, WIN_DISK_FULL}.
    void InjectForNextRun(const SimFault& fault) { m_faults.push_back(fault); }

    // The machine's file for a Windows path ("C:\x" -> <root>/C/x), exact case.
    std::string Host(const std::string& windowsPath) const;
    bool Exists(const std::string& windowsPath) const;
    // Every file below a host folder, as paths relative to it, sorted.
    std::vector<std::string> FilesBelow(const std::string& hostFolder) const;

    // The entry names of an archive appended to a host file.
    static std::vector<std::string> ArchiveNames(const std::string& setupPath);
    // A copy of the sample setup, outside the machine, with one byte of an entry's stream changed.
    std::string DamagedSetup(const std::string& entry);
    // The log file's text.
    std::string LogText() const { return ReadHostFile(Host(LOG_FILE)); }
    // No program folder, no temporary folder, no service, no Apps & features entry.
    void ExpectProductGone();
    // The product as a finished install leaves it: every payload file but setup's own in the
    // program folder with the setup program that installed it, the images in ICONs, the
    // service running, the product listed in Apps & features with this version.
    void ExpectInstalled();
    // Nothing of setup's own beside the program folder: no set-aside folder, no record, nothing
    // moved out of the way.
    void ExpectNoLeftovers();

    // The state of the service now (0: not registered), and its registration.
    std::uint32_t ServiceState();
    bool ServiceRecord(SimServices::Record& record);

    // The steps the next install runs, when not the install's own.
    std::optional<std::vector<InstallStep>> m_installSteps;

    test_support::ScratchFolder m_folder{"zil-sequence"};
    std::string m_root = m_folder.string();
    test_support::ScratchFolder m_setups{"zil-setups"};  // setup programs made for a test
    std::string m_setupPath;  // the program the next runs execute: the sample setup by default

private:
    // A machine for the next run, with the faults it is to meet.
    SimConfig NextMachine(const std::vector<std::string>& input);
    void ArmFaults(SimPlatform& sim);

    std::vector<SimFault> m_faults;
};

// The install's own table, as rows a test can add to.
std::vector<InstallStep> InstallSteps();
// The install with one more step after the new service's start, one that fails and asks for the
// restore, as a later change could add.
std::vector<InstallStep> StepsWithAFailedCheckAfterTheStart();

// The journal lines that tell the pauses and the control codes: "sleep 889", "control 137".
std::vector<std::string> PausesAndControls(const std::vector<std::string>& journal);
// The lower bar's positions with repeats removed.
std::vector<int> DistinctPositions(const std::vector<int>& positions);

// The log file's run log (between its first line and "Details:"), its details section (from
// "Details:" to the last line), its first line and its last.
std::string LogBody(const std::string& logText);
std::string LogDetails(const std::string& logText);
std::string LogHeader(const std::string& logText);
std::string LogFooter(const std::string& logText);
