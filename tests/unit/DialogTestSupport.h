#pragma once

// Shared by the dialog tests: a fresh simulated machine per test with the virtual clock, on
// which the setup dialog runs as the program would run it.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/sim/SimPlatform.h"
#include "setup/SetupExitCode.h"
#include "shell/SetupApp.h"
#include "shell/SetupDialog.h"
#include "tests/unit/ScratchFolder.h"

namespace dialog_test {

namespace fs = std::filesystem;

struct DialogRun {
    int exitCode = -1;
    int modalResult = 0;
    std::vector<SimMessageBox> boxes;
    SimDialogState dialog;             // the dialog's model as it was when it ended
    std::vector<std::string> journal;  // the lines this run added
    std::size_t inputLeft = 0;         // actions of the person that nothing took
};

class DialogTest : public ::testing::Test {
protected:
    SimConfig Config(const std::vector<std::string>& input = {}) const {
        SimConfig config = test_support::VirtualClockMachine(m_root);
        config.ui = SimUi::None;
        config.input = input;
        config.modulePath = m_modulePath;
        return config;
    }

    // The mode that the program's start-up reads from these arguments, as main passes them on.
    static RunMode ReadCommandLine(SimPlatform& platform,
                                   const std::vector<std::string>& arguments) {
        std::vector<std::string> words{"zil-setup"};
        words.insert(words.end(), arguments.begin(), arguments.end());
        test_support::CommandLine line(words);
        SetupApp app(platform, line.argc(), line.argv());
        app.ReadCommandLine();
        return app.Mode();
    }

    // One process of the setup program: the command line as main gets it, the person's
    // actions, and the dialog class to run (SetupDialog itself unless a test needs more).
    template <class D = SetupDialog>
    DialogRun RunProgram(const std::vector<std::string>& arguments,
                         const std::vector<std::string>& input = {}) {
        SimPlatform platform(Config(input));
        std::size_t before = platform.machine().journalLines().size();
        RunMode mode = ReadCommandLine(platform, arguments);
        DialogRun run;
        {
            D dialog(platform, mode);
            run.modalResult = dialog.DoModal();
            run.exitCode = dialog.ExitCode();
        }
        run.boxes = platform.simWindows().messageBoxes();
        if (const SimDialogState* state = platform.simWindows().dialogState()) {
            run.dialog = *state;
        }
        std::vector<std::string> lines = platform.machine().journalLines();
        run.journal.assign(lines.begin() + static_cast<long>(before), lines.end());
        run.inputLeft = platform.simWindows().pendingInput();
        return run;
    }

    // A file or folder on the machine's drive C: ("Program Files/ZIL/picture").
    fs::path OnDriveC(const std::string& relative) const {
        return fs::path(m_root) / "C" / relative;
    }
    void PlaceFile(const std::string& relative, const std::string& content = "x") const {
        test_support::WriteHostFile(OnDriveC(relative), content);
    }

    test_support::ScratchFolder m_folder{"zil-dialog-test"};
    std::string m_root = m_folder.string();
    std::string m_modulePath;  // empty: the test program itself, which carries no archive
};

using test_support::JournalOf;
using test_support::ReadHostFile;

}  // namespace dialog_test
