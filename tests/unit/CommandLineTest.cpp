#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/unit/DialogTestSupport.h"

namespace {

using dialog_test::DialogRun;
using dialog_test::DialogTest;
using dialog_test::Kind;

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
        const bool usageBox =
            run.boxes.size() == 1 &&
            run.boxes[0].text == "Please use /I or /i to Install , use /U or /u to Uninstall";
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

TEST_F(CommandLineTest, InitInstanceRunsTheDialogAndKeepsItsExitCode) {
    SimPlatform platform(Config());
    std::vector<std::string> argv{"zil-setup", "/Z"};
    std::vector<char*> pointers{argv[0].data(), argv[1].data()};
    SetupApp app(platform, 2, pointers.data());
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(theCommandLineArg, "Z");
    EXPECT_EQ(app.ExitCode(), SETUP_EXIT_USAGE);
    EXPECT_EQ(app.m_mainWnd, nullptr);
    EXPECT_EQ(Kind(platform.machine().journalLines(), "messagebox").size(), 1u);
}

}  // namespace
