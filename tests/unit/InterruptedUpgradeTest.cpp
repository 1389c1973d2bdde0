// What a run finds of an upgrade that an earlier run began and never finished: the record and
// the old folder are acted on only when they are what the record says, and what comes back is
// exactly what was there.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "platform/sim/SimPlatform.h"
#include "setup/FileOperations.h"
#include "setup/ProductPaths.h"
#include "setup/ProductService.h"
#include "setup/Upgrade.h"
#include "tests/unit/ScratchFolder.h"

namespace fs = std::filesystem;

namespace {

const char* const OLD_IMAGE = "\"C:\\Program Files (x86)\\ZIL\\ZIL_Service.exe\" -k old";

class InterruptedUpgradeTest : public ::testing::Test {
protected:
    // An installation (a folder with one file, its service registered with arguments), then an
    // upgrade cut off once it has recorded it, removed the service and set the folder aside.
    void SetUp() override {
        fs::create_directories(Host("C:\\Program Files (x86)\\ZIL"));
        test_support::WriteHostFile(Host("C:\\Program Files (x86)\\ZIL\\ZIL_Service.exe"), "old");
        Machine machine(m_root);
        ServiceSettings old;
        old.displayName = "JovixZIL";
        old.serviceType = SVC_WIN32_OWN_PROCESS;
        old.startType = SVC_DEMAND_START;
        old.errorControl = SVC_ERROR_NORMAL;
        old.imagePath = OLD_IMAGE;
        ASSERT_EQ(machine.service.RegisterService(old).error, 0);
        ASSERT_EQ(machine.upgrade.Begin().error, WIN_OK);
        ASSERT_EQ(machine.upgrade.RemoveService().error, 0);
        ASSERT_EQ(machine.upgrade.SetAsideFolder(), WIN_OK);
    }

    // One run of setup on the machine.
    struct Machine : StatusDisplay {
        explicit Machine(const std::string& root)
            : sim(test_support::VirtualClockMachine(root)),
              files(sim),
              service(sim),
              upgrade(sim, files, service, transaction, *this) {}
        void ShowStatus(const String&) override {}
        SimPlatform sim;
        FileOperations files;
        ProductService service;
        Transaction transaction;
        Upgrade upgrade;
    };

    std::string Host(const std::string& windowsPath) const {
        std::string path = m_root + "/" + windowsPath.substr(0, 1) + windowsPath.substr(2);
        std::replace(path.begin(), path.end(), '\\', '/');
        return path;
    }
    bool Exists(const char* windowsPath) const {
        return fs::exists(fs::symlink_status(Host(windowsPath)));
    }
    void UserOwns(const std::string& windowsPath) const {
        std::ofstream(m_root + "/user-owned.txt", std::ios::app) << windowsPath << "\n";
    }
    std::string RegisteredImage() {
        Machine machine(m_root);
        ServiceRegistration registration = machine.service.QueryRegistration();
        return registration.error == WIN_OK ? std::string(registration.settings.imagePath) : "";
    }

    test_support::ScratchFolder m_folder{"zil-interrupted"};
    std::string m_root = m_folder.string();
};

// The record and the folder as the cut-off run left them: the folder comes back in place of
// whatever the run had begun to put there, the old service is registered as it was, and nothing
// is left for another run to act on.
TEST_F(InterruptedUpgradeTest, WhatTheRecordSaysComesBackExactly) {
    test_support::WriteHostFile(Host("C:\\Program Files (x86)\\ZIL\\new-only.txt"), "new");
    Upgrade::Resumption resumed = Machine(m_root).upgrade.ResumeInterrupted();
    EXPECT_EQ(resumed.outcome, Upgrade::Interrupted::Resumed);
    EXPECT_EQ(resumed.note, "");
    EXPECT_EQ(test_support::ReadHostFile(Host("C:\\Program Files (x86)\\ZIL\\ZIL_Service.exe")),
              "old");
    EXPECT_FALSE(Exists("C:\\Program Files (x86)\\ZIL\\new-only.txt"));
    EXPECT_FALSE(Exists(SETUP_SET_ASIDE_DIR));
    EXPECT_FALSE(Exists(SETUP_UPGRADE_RECORD));
    EXPECT_EQ(RegisteredImage(), OLD_IMAGE);
}

// The cut-off run never committed, so the service it had registered goes and the old
// registration takes its place, whether the old folder comes back or is not the recorded one.
TEST_F(InterruptedUpgradeTest, TheRecordedRegistrationComesBackWithOrWithoutTheFolder) {
    for (bool folderBack : {true, false}) {
        SCOPED_TRACE(folderBack ? "folder back" : "folder not the recorded one");
        fs::remove_all(m_root);
        fs::create_directories(m_root);
        SetUp();
        if (!folderBack) {
            fs::rename(Host(SETUP_SET_ASIDE_DIR), Host("C:\\Program Files (x86)\\elsewhere"));
            fs::create_directories(Host(SETUP_SET_ASIDE_DIR));
        }
        {
            Machine machine(m_root);
            ASSERT_EQ(machine.service.CreateProductService().error, 0);
        }
        EXPECT_EQ(Machine(m_root).upgrade.ResumeInterrupted().error, WIN_OK);
        EXPECT_EQ(RegisteredImage(), OLD_IMAGE);
        EXPECT_EQ(Exists(SETUP_SET_ASIDE_DIR), !folderBack);
    }
}

// Anything that is not what the record says is left alone and named: a record not whole, or of
// an ordinary user; a folder that is another one, a link, or an ordinary user's. Nothing moves,
// and a new upgrade never writes through a record that is not its own.
TEST_F(InterruptedUpgradeTest, AnythingElseIsLeftAloneAndNamed) {
    struct Case {
        const char* what;
        std::function<void()> plant;
        bool recordIgnored;
        bool someoneElses;  // the record: never replaced or written through
    };
    const std::string record = Host(SETUP_UPGRADE_RECORD);
    const std::string setAside = Host(SETUP_SET_ASIDE_DIR);
    auto rewriteRecord = [&](const std::function<void(std::string&)>& change) {
        std::string bytes = test_support::ReadHostFile(record);
        change(bytes);
        test_support::WriteHostFile(record, bytes);
    };
    const std::vector<Case> cases = {
        {"a record with another header", [&] { rewriteRecord([](std::string& b) { b[0] ^= 1; }); },
         true, false},
        {"a record with more behind its end",
         [&] { rewriteRecord([](std::string& b) { b += 'x'; }); }, true, false},
        {"a record of an ordinary user", [&] { UserOwns(SETUP_UPGRADE_RECORD); }, true, true},
        {"another folder of the same name",
         [&] {
             fs::rename(setAside, Host("C:\\Program Files (x86)\\moved"));
             fs::create_directories(setAside);
         },
         false, false},
        {"a link to the folder",
         [&] {
             fs::rename(setAside, Host("C:\\Program Files (x86)\\moved"));
             fs::create_directory_symlink(Host("C:\\Program Files (x86)\\moved"), setAside);
         },
         false, false},
        {"a folder of an ordinary user", [&] { UserOwns(SETUP_SET_ASIDE_DIR); }, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(m_root);
        fs::create_directories(m_root);
        SetUp();
        c.plant();
        std::string recordBefore = test_support::ReadHostFile(record);
        Machine machine(m_root);
        Upgrade::Resumption resumed = machine.upgrade.ResumeInterrupted();
        EXPECT_EQ(resumed.outcome,
                  c.recordIgnored ? Upgrade::Interrupted::Ignored : Upgrade::Interrupted::Resumed);
        EXPECT_NE(resumed.note.find("left alone"), std::string::npos) << resumed.note;
        EXPECT_TRUE(fs::exists(fs::symlink_status(setAside)));
        EXPECT_FALSE(Exists("C:\\Program Files (x86)\\ZIL\\ZIL_Service.exe"));
        if (c.someoneElses) {
            // A new installation to record: the upgrade goes on without writing the record.
            fs::create_directories(Host("C:\\Program Files (x86)\\ZIL"));
            EXPECT_EQ(machine.upgrade.Begin().error, WIN_OK);
            EXPECT_EQ(test_support::ReadHostFile(record), recordBefore) << "written through";
        }
    }
}

}  // namespace

namespace {

// A restore that cannot bring the old folder back keeps the record, so that a later run finds
// the folder; an upgrade of a folder without a service brings back no service.
TEST_F(InterruptedUpgradeTest, WhatIsNotBackYetStaysRecorded) {
    fs::remove_all(m_root);
    test_support::WriteHostFile(Host("C:\\Program Files (x86)\\ZIL\\ZIL.ini"), "old");
    {
        Machine machine(m_root);
        ASSERT_EQ(machine.upgrade.Begin().error, WIN_OK);
        ASSERT_EQ(machine.upgrade.SetAsideFolder(), WIN_OK);
        // Neither renamed back nor copied.
        machine.sim.faults().fail(SimFaultKind::Move, 1, WIN_ACCESS_DENIED, true);
        machine.sim.faults().fail(SimFaultKind::Open, 1, WIN_ACCESS_DENIED, true);
        Restoration restored = machine.transaction.GiveBack();
        EXPECT_NE(restored.error, WIN_OK);
        machine.upgrade.Restored(restored);
    }
    EXPECT_TRUE(Exists(SETUP_UPGRADE_RECORD));
    EXPECT_TRUE(Exists(SETUP_SET_ASIDE_DIR));

    fs::remove_all(m_root);
    fs::create_directories(Host("C:\\Program Files (x86)\\ZIL"));
    {
        Machine machine(m_root);
        ASSERT_EQ(machine.upgrade.Begin().error, WIN_OK);
        ASSERT_EQ(machine.upgrade.SetAsideFolder(), WIN_OK);
    }
    EXPECT_EQ(Machine(m_root).upgrade.ResumeInterrupted().outcome, Upgrade::Interrupted::Resumed);
    EXPECT_EQ(Machine(m_root).service.QueryRegistration().error, WIN_SERVICE_DOES_NOT_EXIST);
    EXPECT_TRUE(Exists("C:\\Program Files (x86)\\ZIL"));
}

}  // namespace
