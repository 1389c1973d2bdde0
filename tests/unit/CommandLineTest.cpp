#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "setup/RunMode.h"
#include "tests/unit/DialogTestSupport.h"

namespace {

using dialog_test::DialogRun;
using dialog_test::DialogTest;
using dialog_test::JournalOf;

class CommandLineTest : public DialogTest {
protected:
    std::string ArgumentOf(const std::vector<std::string>& arguments) {
        SimPlatform platform(Config());
        ReadCommandLine(platform, arguments);
        return theCommandLineArg;
    }
};

struct Case {
    std::vector<std::string> arguments;
    std::string expected;
};

TEST_F(CommandLineTest, LastArgumentLessOneLeadingMark) {
    const Case cases[] = {
        {{}, ""},
        {{""}, ""},
        {{"/"}, ""},
        {{"-"}, ""},
        {{"/I"}, "I"},
        {{"-I"}, "I"},
        {{"/i"}, "i"},
        {{"-i"}, "i"},
        {{"I"}, "I"},
        {{"i"}, "i"},
        {{"/U"}, "U"},
        {{"-U"}, "U"},
        {{"/u"}, "u"},
        {{"-u"}, "u"},
        {{"U"}, "U"},
        {{"u"}, "u"},
        {{"//I"}, "/I"},
        {{"-/I"}, "/I"},
        {{"--u"}, "-u"},
        {{"/install"}, "install"},
        {{"I "}, "I "},
        {{"/U", "/I"}, "I"},
        {{"/I", "/U"}, "U"},
        {{"/I", "extra"}, "extra"},
        {{"/I", ""}, ""},
        {{"/I", "/"}, ""},
        {{"a", "b", "-i"}, "i"},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const std::string& argument : c.arguments) {
            shown += "[" + argument + "]";
        }
        EXPECT_EQ(ArgumentOf(c.arguments), c.expected) << shown;
    }
}

// What the dialog makes of each form: the usage box, a collapsed window before a sequence, or
// the interactive dialog. The sequences themselves are tested elsewhere; here the archive is
// missing, so they stop at once.
TEST_F(CommandLineTest, EachFormSelectsItsMode) {
    enum Mode { Interactive, Install, Uninstall, Usage };
    const std::pair<std::vector<std::string>, Mode> forms[] = {
        {{}, Interactive},         {{""}, Interactive},  {{"-"}, Interactive},
        {{"/I"}, Install},         {{"-i"}, Install},    {{"I"}, Install},
        {{"/U", "/I"}, Install},   {{"/u"}, Uninstall},  {{"U"}, Uninstall},
        {{"/I", "-U"}, Uninstall}, {{"//I"}, Usage},     {{"/install"}, Usage},
        {{"I "}, Usage},           {{"/I", "x"}, Usage}, {{"/X"}, Usage},
    };
    for (const auto& [arguments, mode] : forms) {
        std::string shown;
        for (const std::string& argument : arguments) {
            shown += "[" + argument + "]";
        }
        DialogRun run = RunProgram(arguments);
        const bool usageBox = run.boxes.size() == 1 && run.boxes[0].text == RUN_USAGE_MESSAGE;
        const bool collapsed =
            !run.dialog.moves.empty() && run.dialog.moves.front() == Rect{0, 0, 1, 1};
        EXPECT_EQ(usageBox, mode == Usage) << shown;
        EXPECT_EQ(run.exitCode == SETUP_EXIT_USAGE, mode == Usage) << shown;
        EXPECT_EQ(collapsed, mode == Install || mode == Uninstall) << shown;
        EXPECT_EQ(run.exitCode == SETUP_EXIT_CLOSED, mode == Interactive) << shown;
        if (mode == Install || mode == Uninstall) {
            // No person waits on a command-line run: no box at all.
            EXPECT_TRUE(run.boxes.empty()) << shown;
        }
    }
}

// Only the whole argument selects a mode, case and all.
TEST_F(CommandLineTest, ModesAreExactMatches) {
    const std::pair<const char*, RunMode> modes[] = {
        {"", RunMode::Interactive}, {"I", RunMode::Install},     {"i", RunMode::Install},
        {"U", RunMode::Uninstall},  {"u", RunMode::Uninstall},   {"/I", RunMode::Usage},
        {"II", RunMode::Usage},     {"I ", RunMode::Usage},      {" i", RunMode::Usage},
        {"x", RunMode::Usage},      {"install", RunMode::Usage},
    };
    for (const auto& [argument, mode] : modes) {
        EXPECT_EQ(SetupApp::ModeOf(argument), mode) << "[" << argument << "]";
    }
    EXPECT_FALSE(IsCommandLine(RunMode::Interactive));
    EXPECT_FALSE(IsCommandLine(RunMode::Usage));
    EXPECT_TRUE(IsCommandLine(RunMode::Install));
    EXPECT_TRUE(IsCommandLine(RunMode::Uninstall));
}

// The process's exit code is the dialog's outcome, whatever the mode: the usage message, or a
// dialog closed unused.
TEST_F(CommandLineTest, TheProgramEndsWithTheDialogsOutcome) {
    struct Case {
        std::vector<std::string> argv;
        int exitCode;
        std::size_t boxes;
    };
    for (const Case& c :
         {Case{{"zil-setup", "/Z"}, SETUP_EXIT_USAGE, 1}, Case{{"zil-setup"}, SETUP_EXIT_CLOSED, 0},
          Case{{"zil-setup", "/I", "-"}, SETUP_EXIT_CLOSED, 0}}) {
        SimPlatform platform(Config({"close"}));
        test_support::CommandLine line(c.argv);
        std::size_t before = JournalOf(platform.machine().journalLines(), "messagebox").size();
        SetupApp app(platform, line.argc(), line.argv());
        EXPECT_FALSE(app.InitInstance());
        EXPECT_EQ(app.ExitCode(), c.exitCode) << c.argv.back();
        EXPECT_EQ(JournalOf(platform.machine().journalLines(), "messagebox").size() - before,
                  c.boxes);
    }
}

}  // namespace
