#include "platform/sim/SimPlatform.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <sys/wait.h>
#include <unistd.h>

#include "tests/unit/ScratchFolder.h"

namespace {

class SimPlatformTest : public ::testing::Test {
protected:
    test_support::ScratchFolder m_folder{"zil-simplatform"};
    SimConfig m_config =
        test_support::VirtualClockMachine(m_folder.string() + "/machine");  // not there yet
};

TEST_F(SimPlatformTest, OneSetupAtATimeAcrossObjectsAndProcesses) {
    auto first = std::make_unique<SimPlatform>(m_config);
    EXPECT_TRUE(std::filesystem::is_directory(m_config.root + "/C"));
    EXPECT_TRUE(first->acquireSetupLock());
    EXPECT_TRUE(first->acquireSetupLock());  // its holder asking again

    SimPlatform second(m_config);
    EXPECT_FALSE(second.acquireSetupLock());
    pid_t child = ::fork();
    if (child == 0) {
        SimPlatform other(m_config);
        ::_exit(other.acquireSetupLock() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "another process took the held lock";

    first.reset();
    EXPECT_TRUE(second.acquireSetupLock());
}

TEST_F(SimPlatformTest, TheLockDiesWithItsProcess) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t child = ::fork();
    if (child == 0) {
        SimPlatform holder(m_config);
        char taken = holder.acquireSetupLock() ? 'y' : 'n';
        (void)!::write(ready[1], &taken, 1);
        ::pause();  // killed while it holds the lock
        ::_exit(0);
    }
    char taken = 0;
    ASSERT_EQ(::read(ready[0], &taken, 1), 1);
    ASSERT_EQ(taken, 'y');
    SimPlatform waiting(m_config);
    EXPECT_FALSE(waiting.acquireSetupLock());
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_TRUE(waiting.acquireSetupLock());
    ::close(ready[0]);
    ::close(ready[1]);
}

TEST_F(SimPlatformTest, TheClockIsTheMachinesAndPausesAreJournaled) {
    SimPlatform platform(m_config);
    platform.clock().sleep(889);
    platform.clock().sleep(189);
    EXPECT_EQ(platform.clock().now(), 1078u);
    std::vector<std::string> lines = platform.machine().journalLines();
    EXPECT_EQ(lines, (std::vector<std::string>{"sleep: 889", "sleep: 189"}));
    EXPECT_EQ(platform.clock().localTimestamp().size(), 19u);  // "YYYY-MM-DD HH:MM:SS"
}

}  // namespace
