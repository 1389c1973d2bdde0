// The setup program killed halfway, as by a power cut, on the simulated machine: whatever it
// left, the next install completes and the next uninstall removes everything.

#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "SequenceHarness.h"

using ::testing::HasSubstr;

namespace {

class CrashTest : public SequenceTest {
protected:
    // The packed setup program as its own process; -1 when a signal ended it.
    int RunProcess(const std::string& argument, const std::string& faults = "") {
        std::string command = "ZIL_MACHINE='" + m_root + "' ZIL_CLOCK=virtual ZIL_UI=none " +
                              "ZIL_FAULTS='" + faults + "' exec " + SAMPLE_SETUP + " " + argument +
                              " >/dev/null 2>&1";
        int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void ExpectRecovery() {
        EXPECT_EQ(RunProcess("/I"), SETUP_EXIT_SUCCESS);
        EXPECT_FALSE(Exists(SETUP_TEMP_DIR));
        EXPECT_EQ(ServiceState(), static_cast<std::uint32_t>(SVC_RUNNING));
        EXPECT_TRUE(Exists("C:\\Program Files (x86)\\ZIL\\ICONs\\ZIL.ico"));
        EXPECT_EQ(RunProcess("/U"), SETUP_EXIT_SUCCESS);
        EXPECT_FALSE(Exists(SETUP_PROGRAM_DIR));
        EXPECT_FALSE(Exists(SETUP_TEMP_DIR));
        EXPECT_EQ(ServiceState(), 0u);
    }
};

TEST_F(CrashTest, KilledRightAfterTheExtraction) {
    for (bool installedBefore : {false, true}) {
        SCOPED_TRACE(installedBefore ? "over an installation" : "on a clean machine");
        if (installedBefore) {
            ASSERT_EQ(RunProcess("/I"), SETUP_EXIT_SUCCESS);
        }
        // The WMI registration is the first command after the extraction.
        EXPECT_EQ(RunProcess("/I", "system@1=kill"), -1);
        EXPECT_TRUE(Exists("C:\\ZIL_Setup_temp\\ZIL_Service.exe"));
        ExpectRecovery();
    }
}

// Over a working installation: killed once its folder is set aside (at the program folder's
// creation, the second folder made), and in the middle of the new files' moves.
TEST_F(CrashTest, KilledWhileTheOldInstallationIsSetAside) {
    for (const char* point : {"mkdir@2=kill", "move@40=kill"}) {
        SCOPED_TRACE(point);
        ASSERT_EQ(RunProcess("/I"), SETUP_EXIT_SUCCESS);
        EXPECT_EQ(RunProcess("/I", point), -1);
        EXPECT_TRUE(Exists(SETUP_SET_ASIDE_DIR));
        // The next run brings the old folder back before anything else, then installs.
        EXPECT_EQ(RunProcess("/I"), SETUP_EXIT_SUCCESS);
        EXPECT_THAT(LogBody(ReadHostFile(Host(LOG_FILE))),
                    HasSubstr("Restore Interrupted ZIL Upgrade Success !!!\r\n"));
        ExpectRecovery();
    }
}

// An uninstall killed while an interrupted upgrade's folder waits still removes everything.
TEST_F(CrashTest, AnUninstallAfterAnInterruptedUpgradeRemovesEverything) {
    ASSERT_EQ(RunProcess("/I"), SETUP_EXIT_SUCCESS);
    EXPECT_EQ(RunProcess("/I", "move@40=kill"), -1);
    EXPECT_EQ(RunProcess("/U"), SETUP_EXIT_SUCCESS);
    EXPECT_FALSE(Exists(SETUP_PROGRAM_DIR));
    EXPECT_FALSE(Exists(SETUP_TEMP_DIR));
    EXPECT_EQ(ServiceState(), 0u);
}

}  // namespace
