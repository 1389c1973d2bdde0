#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "paths/WindowsPaths.h"
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
        return std::string(theCommandLineArg);
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

// A /LOG= option is nobody's mode, wherever it stands: the mode comes from the last other
// argument, by the rule above, and the option's path (the last one's, the name in any case,
// with a '/' or a '-', less quotes the shell left) is where the log goes too. A /LOG= without a
// path is a command line not understood; any other argument is the usage message's, as always.
TEST_F(CommandLineTest, LogOptionsAreNoModesArgumentsWhereverTheyStand) {
    struct LogCase {
        std::vector<std::string> arguments;
        std::string argument;  // theCommandLineArg
        std::string path;
        RunMode mode;
    };
    const LogCase cases[] = {
        {{"/I", "/LOG=C:\\x.log"}, "I", "C:\\x.log", RunMode::Install},
        {{"/LOG=C:\\x.log", "/I"}, "I", "C:\\x.log", RunMode::Install},
        {{"-log=C:\\some path\\x.log", "/u"}, "u", "C:\\some path\\x.log", RunMode::Uninstall},
        {{"/U", "/Log=\"C:\\some path\\x.log\""}, "U", "C:\\some path\\x.log", RunMode::Uninstall},
        {{"/LOG=C:\\x.log"}, "", "C:\\x.log", RunMode::Interactive},
        {{"/I", "/LOG=C:\\a.log", "-LOG=C:\\b.log"}, "I", "C:\\b.log", RunMode::Install},
        {{"/I", "/LOG="}, "I", "", RunMode::Usage},
        {{"/LOG=", "/I"}, "I", "", RunMode::Usage},
        {{"/I", "/LOG=\"\""}, "I", "", RunMode::Usage},
        {{"/I", "/LOG=C:\\x.log", "x"}, "x", "C:\\x.log", RunMode::Usage},
        {{"/I", "/LOG"}, "LOG", "", RunMode::Usage},
        {{"/I", "LOG=C:\\x.log"}, "LOG=C:\\x.log", "", RunMode::Usage},
        {{"/I", "//LOG=C:\\x.log"}, "/LOG=C:\\x.log", "", RunMode::Usage},
        {{"/U", "/LOG=C:\\x.log", "/I"}, "I", "C:\\x.log", RunMode::Install},
    };
    for (const LogCase& c : cases) {
        std::string shown;
        for (const std::string& argument : c.arguments) {
            shown += "[" + argument + "]";
        }
        std::vector<std::string> words{"zil-setup"};
        words.insert(words.end(), c.arguments.begin(), c.arguments.end());
        test_support::CommandLine line(words);
        SimPlatform platform(Config());
        SetupApp app(platform, line.argc(), line.argv());
        app.ReadCommandLine();
        EXPECT_EQ(std::string(theCommandLineArg), c.argument) << shown;
        EXPECT_EQ(std::string(app.LogPath()), c.path) << shown;
        EXPECT_EQ(app.Mode(), c.mode) << shown;
    }
}

// An argument quoted for a Windows command line arrives whole at the program it starts.
TEST_F(CommandLineTest, AQuotedArgumentArrivesWhole) {
    const std::pair<const char*, const char*> quoted[] = {
        {"/LOG=C:\\x.log", "\"/LOG=C:\\x.log\""},
        {"/LOG=C:\\some path\\x.log", "\"/LOG=C:\\some path\\x.log\""},
        // A backslash before the closing quote would escape it.
        {"C:\\logs\\", "\"C:\\logs\\\\\""},
        {"a\"b", "\"a\\\"b\""},
        {"a\\\"b", "\"a\\\\\\\"b\""},
        {"", "\"\""},
    };
    for (const auto& [argument, expected] : quoted) {
        EXPECT_EQ(QuoteArgument(argument), expected) << argument;
    }
}

// What the dialog makes of each form: the usage box, a collapsed window before a sequence, or
// the interactive dialog. The sequences themselves are tested elsewhere; here the archive is
// missing, so they stop at once.
TEST_F(CommandLineTest, EachFormSelectsItsMode) {
    enum Mode { Interactive, Install, Uninstall, Usage };
    const std::pair<std::vector<std::string>, Mode> forms[] = {
        {{}, Interactive},
        {{""}, Interactive},
        {{"-"}, Interactive},
        {{"/I"}, Install},
        {{"-i"}, Install},
        {{"I"}, Install},
        {{"/U", "/I"}, Install},
        {{"/u"}, Uninstall},
        {{"U"}, Uninstall},
        {{"/I", "-U"}, Uninstall},
        {{"//I"}, Usage},
        {{"/install"}, Usage},
        {{"I "}, Usage},
        {{"/I", "x"}, Usage},
        {{"/X"}, Usage},
        {{"/I", "/LOG=C:\\x.log"}, Install},
        {{"-log=C:\\x.log", "/u"}, Uninstall},
        {{"/LOG=C:\\x.log"}, Interactive},
        {{"/I", "/LOG="}, Usage},
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
          Case{{"zil-setup", "/I", "-"}, SETUP_EXIT_CLOSED, 0},
          // A /LOG= without a path where a person sees the desktop: the usage box, as for any
          // command line not understood.
          Case{{"zil-setup", "/I", "/LOG="}, SETUP_EXIT_USAGE, 1}}) {
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
