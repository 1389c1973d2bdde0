#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include "setup/RunMode.h"
#include "tests/unit/DialogTestSupport.h"

namespace {

namespace fs = std::filesystem;
using dialog_test::ReadHostFile;

constexpr const char* PROGRAM = ZIL_BINARY_DIR "/zil-setup";

// The host build of the program as a process on a fresh simulated machine.
class SetupProgramTest : public ::testing::Test {
protected:
    std::string Environment(const std::string& input = "close") const {
        return "ZIL_MACHINE='" + m_root + "' ZIL_CLOCK=virtual ZIL_UI=none ZIL_INPUT=" + input +
               " ";
    }
    // The exit status as the shell sees it: the exit code modulo 256.
    int Status(const std::string& command) const {
        int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Journal() const { return ReadHostFile(m_root + "/journal.log"); }

    // Whether some process holds the machine's setup lock.
    bool LockHeld() const {
        int fd = ::open((m_root + "/setup.lock").c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            return false;
        }
        bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
        ::close(fd);
        return held;
    }

    test_support::ScratchFolder m_folder{"zil-program-test"};
    std::string m_root = m_folder.string();
};

TEST_F(SetupProgramTest, UnknownArgumentShowsUsageAndExits1639) {
    ASSERT_EQ(Status(Environment() + PROGRAM + " /X"), SETUP_EXIT_USAGE % 256);
    EXPECT_EQ(Journal(), std::string("messagebox: zil-setup: ") + RUN_USAGE_MESSAGE + "\n");
}

// A deployment tool's wrong switch where nobody sees the desktop (a service, session 0): no box
// that would wait for ever, the message on stderr and in the log file, 1639 at once.
TEST_F(SetupProgramTest, UnknownArgumentOnAHiddenDesktopShowsNoBox) {
    std::string err = m_root + "/stderr.txt";
    ASSERT_EQ(Status(Environment() + "ZIL_DESKTOP=hidden " + PROGRAM + " /S 2>'" + err + "'"),
              SETUP_EXIT_USAGE % 256);
    const std::string usage = RUN_USAGE_MESSAGE;
    const std::string exitCode = "exit code " + std::to_string(SETUP_EXIT_USAGE);
    EXPECT_EQ(ReadHostFile(err), usage + "\n");
    EXPECT_EQ(Journal().find("messagebox"), std::string::npos) << Journal();
    std::string log = ReadHostFile(m_root + "/C/Windows/Temp/ZIL_Setup.log");
    EXPECT_NE(log.find(", " + exitCode + "\r\n" + usage + "\r\nDetails:\r\n"), std::string::npos)
        << log;
    EXPECT_TRUE(
        log.ends_with("Result: setup did not understand its command line (" + exitCode + ")\r\n"))
        << log;
}

// /LOG= before or after the switch, with blanks in the path: the run writes its log there as
// well, the same text as in the temporary folder, and ends as it would without. Where the copy
// cannot go (its folder missing), the run goes on and its log says why.
TEST_F(SetupProgramTest, TheLogGoesWhereLogSaysAsWell) {
    fs::create_directories(m_root + "/C/some logs");
    const std::string temporary = m_root + "/C/Windows/Temp/ZIL_Setup.log";
    struct Case {
        std::string arguments;
        int exitCode;  // without the archive, the install cannot start; the uninstall can
        std::string copy;
        bool written;
    };
    const Case cases[] = {
        {"/I '/LOG=C:\\some logs\\install.log'", SETUP_EXIT_BAD_ARCHIVE,
         "C:\\some logs\\install.log", true},
        {"'-log=C:\\some logs\\uninstall.log' /U", SETUP_EXIT_SUCCESS,
         "C:\\some logs\\uninstall.log", true},
        {"/U '/LOG=C:\\no such folder\\x.log'", SETUP_EXIT_SUCCESS, "C:\\no such folder\\x.log",
         false},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(Status(Environment() + PROGRAM + " " + c.arguments), c.exitCode % 256)
            << c.arguments;
        std::string log = ReadHostFile(temporary);
        EXPECT_NE(log.find("(exit code " + std::to_string(c.exitCode) + ")\r\n"), std::string::npos)
            << log;
        std::string host = m_root + "/C/" + c.copy.substr(3);
        std::replace(host.begin(), host.end(), '\\', '/');
        if (c.written) {
            EXPECT_NE(log.find("\r\n  log: also written to " + c.copy + "\r\n"), std::string::npos)
                << log;
            EXPECT_EQ(ReadHostFile(host), log) << c.arguments;
        } else {
            EXPECT_NE(log.find("\r\n  log: not written to " + c.copy + ": error 3: "),
                      std::string::npos)
                << log;
            EXPECT_FALSE(fs::exists(m_root + "/C/no such folder"));
        }
    }
    EXPECT_EQ(Journal().find("messagebox"), std::string::npos) << Journal();
}

// A /LOG= without a path (a deployment tool's template left unfilled) where nobody sees the
// desktop: no box, the usage message on stderr and in the log file, 1639 at once, nothing done.
TEST_F(SetupProgramTest, ALogOptionWithoutAPathOnAHiddenDesktopShowsNoBox) {
    std::string err = m_root + "/stderr.txt";
    ASSERT_EQ(Status(Environment() + "ZIL_DESKTOP=hidden " + PROGRAM + " /I /LOG= 2>'" + err + "'"),
              SETUP_EXIT_USAGE % 256);
    EXPECT_EQ(ReadHostFile(err), std::string(RUN_USAGE_MESSAGE) + "\n");
    EXPECT_EQ(Journal().find("messagebox"), std::string::npos) << Journal();
    EXPECT_EQ(Journal().find("program:"), std::string::npos) << Journal();
    std::string log = ReadHostFile(m_root + "/C/Windows/Temp/ZIL_Setup.log");
    EXPECT_TRUE(log.ends_with("Result: setup did not understand its command line (exit code " +
                              std::to_string(SETUP_EXIT_USAGE) + ")\r\n"))
        << log;
    EXPECT_FALSE(fs::exists(m_root + "/C/Program Files (x86)/ZIL"));
}

// A fault list the simulated machine cannot understand stops the program before it does
// anything, with the reason on stderr.
TEST_F(SetupProgramTest, AMalformedFaultListExits1639AndRunsNothing) {
    std::string err = m_root + "/stderr.txt";
    ASSERT_EQ(Status(Environment() + "ZIL_FAULTS=write@x=5 " + PROGRAM + " /I 2>'" + err + "'"),
              SETUP_EXIT_USAGE % 256);
    EXPECT_EQ(ReadHostFile(err), "ZIL_FAULTS: \"write@x=5\": N must be a call number from 1\n");
    EXPECT_EQ(Journal(), "");
    EXPECT_FALSE(fs::exists(m_root + "/setup.lock"));
}

TEST_F(SetupProgramTest, InteractiveDialogClosedUnusedExits1602) {
    ASSERT_EQ(Status(Environment("close") + PROGRAM), SETUP_EXIT_CLOSED % 256);
    EXPECT_EQ(Journal(), "window: close\n");
}

// With the text UI the dialog is drawn on the terminal: the labels, both bars with their
// percent text centred in a row of cells, the status line and the two buttons.
TEST_F(SetupProgramTest, TextUiDrawsTheDialog) {
    std::string out = m_root + "/screen.txt";
    std::string command = "ZIL_MACHINE='" + m_root +
                          "' ZIL_CLOCK=virtual ZIL_UI=text ZIL_INPUT=close " + PROGRAM + " >'" +
                          out + "' </dev/null";
    ASSERT_EQ(Status(command), SETUP_EXIT_CLOSED % 256);
    std::string screen = ReadHostFile(out);
    // The last frame: from the last caption line on.
    std::size_t last = screen.rfind("== ZIL Setup Program");
    ASSERT_NE(last, std::string::npos) << screen;
    std::string frame = screen.substr(last);
    for (const char* expected :
         {"== ZIL Setup Program (closed) ==", "ZIL Setup Program.", "Total Progress",
          "Current Progress", "C:\\ZIL_Setup_temp", "<Install> <Uninstall>"}) {
        EXPECT_NE(frame.find(expected), std::string::npos) << expected << "\n" << frame;
    }
    const std::string emptyBar = "[" + std::string(19, ' ') + "0%" + std::string(19, ' ') + "]";
    std::size_t first = frame.find(emptyBar);
    ASSERT_NE(first, std::string::npos) << frame;
    EXPECT_NE(frame.find(emptyBar, first + 1), std::string::npos) << frame;
}

TEST_F(SetupProgramTest, SecondSetupWhileOneRunsExits1618AndTouchesNothing) {
    // The first waits for a key on its terminal: it holds the lock until its input ends.
    std::string first =
        "ZIL_MACHINE='" + m_root + "' ZIL_CLOCK=virtual ZIL_UI=text " + PROGRAM + " >/dev/null";
    FILE* keys = ::popen(first.c_str(), "w");
    ASSERT_NE(keys, nullptr);
    for (int i = 0; i < 500 && !LockHeld(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(LockHeld());
    std::string before = Journal();
    auto entries = [&] {
        std::size_t count = 0;
        for (auto it = fs::recursive_directory_iterator(m_root);
             it != fs::recursive_directory_iterator(); ++it) {
            ++count;
        }
        return count;
    };
    std::size_t files = entries();
    for (const char* argument : {"", " /I", " /U", " /X"}) {
        EXPECT_EQ(Status(Environment() + PROGRAM + argument), SETUP_EXIT_ALREADY_RUNNING % 256)
            << argument;
    }
    EXPECT_EQ(Journal(), before);
    EXPECT_EQ(entries(), files);
    // The first ends when its input does.
    int status = ::pclose(keys);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), SETUP_EXIT_CLOSED % 256);
    EXPECT_FALSE(LockHeld());
}

}  // namespace
