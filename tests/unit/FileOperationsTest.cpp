#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include <unistd.h>

#include "platform/sim/SimPlatform.h"
#include "setup/FileOperations.h"
#include "setup/ProductEntry.h"
#include "setup/ProductPaths.h"
#include "tests/unit/ScratchFolder.h"

namespace {

namespace fs = std::filesystem;

class FileOperationsTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_platform = std::make_unique<SimPlatform>(test_support::VirtualClockMachine(m_root));
        m_files = std::make_unique<FileOperations>(*m_platform);
    }
    // Host path below the machine for "C/...".
    std::string host(const std::string& relative) const { return m_root + "/" + relative; }
    void write(const std::string& relative, const std::string& content) {
        test_support::WriteHostFile(host(relative), content);
    }
    std::string read(const std::string& relative) const {
        return test_support::ReadHostFile(host(relative));
    }
    bool exists(const std::string& relative) const { return fs::exists(host(relative)); }

    std::vector<std::string> sleeps(std::size_t from) {
        return test_support::JournalOf(journalSince(from), "sleep");
    }
    std::size_t journalSize() { return m_platform->machine().journalLines().size(); }
    std::vector<std::string> journalSince(std::size_t from) {
        return test_support::JournalSince(m_platform->machine(), from);
    }

    test_support::ScratchFolder m_folder{"zil-fileoperations"};
    std::string m_root = m_folder.string();
    std::unique_ptr<SimPlatform> m_platform;
    std::unique_ptr<FileOperations> m_files;
};

TEST_F(FileOperationsTest, EnsureDirectoryPausesUntilTheFolderShows) {
    struct Case {
        std::string path;
        bool existsBefore;
        bool creatable;
    };
    fs::create_directories(host("C/Existing"));
    write("C/a-file", "not a folder");
    const std::vector<Case> cases = {
        {"C:\\Existing", true, true},
        {"C:\\ZIL_Setup_temp", false, true},
        // The folders on the way are made, as for "Program Files (x86)" on a 32-bit Windows.
        {"C:\\No\\Such\\Parent", false, true},
        {"C:\\a-file\\Sub", false, false},
    };
    for (const Case& c : cases) {
        std::size_t from = journalSize();
        std::uint64_t before = m_platform->clock().now();
        EXPECT_EQ(m_files->EnsureDirectory(c.path.c_str()),
                  c.creatable ? WIN_OK : WIN_PATH_NOT_FOUND);
        std::size_t pauses = c.creatable ? 1 : 9;
        EXPECT_EQ(sleeps(from), std::vector<std::string>(pauses, "123")) << c.path;
        EXPECT_EQ(m_platform->clock().now() - before, 123 * pauses);
        EXPECT_EQ(m_platform->files().findFile(c.path.c_str()), c.creatable);
        std::vector<std::string> lines = journalSince(from);
        bool created = std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
            return line.rfind("create-directory: ", 0) == 0;
        });
        EXPECT_EQ(created, !c.existsBefore) << c.path;
    }

    // A folder that cannot be made is waited for nine times, and then the refusal is told.
    m_platform->faults().fail(SimFaultKind::Mkdir, 1, WIN_ACCESS_DENIED, true);
    std::size_t from = journalSize();
    EXPECT_EQ(m_files->EnsureDirectory("C:\\Program Files (x86)"), WIN_ACCESS_DENIED);
    EXPECT_EQ(sleeps(from).size(), 9u);
}

TEST_F(FileOperationsTest, DirectoriesAreDeletedWithAllTheyHoldAndOnlyWhenThere) {
    std::size_t from = journalSize();
    m_files->DeleteProgramDirectory();
    m_files->DeleteTempDirectory();
    EXPECT_TRUE(journalSince(from).empty());  // nothing there, nothing asked of the shell

    write("C/Program Files (x86)/ZIL/ICONs/a.bmp", "a");
    write("C/Program Files (x86)/ZIL/ZIL_Service.exe", "s");
    write("C/Program Files (x86)/Other/keep.txt", "k");
    write("C/ZIL_Setup_temp/sub/b.txt", "b");
    m_files->DeleteProgramDirectory();
    EXPECT_FALSE(exists("C/Program Files (x86)/ZIL"));
    EXPECT_TRUE(exists("C/Program Files (x86)/Other/keep.txt"));
    EXPECT_TRUE(exists("C/ZIL_Setup_temp/sub/b.txt"));
    m_files->DeleteTempDirectory();
    EXPECT_FALSE(exists("C/ZIL_Setup_temp"));
}

// A file held open (here: its open for deletion refused) is found wherever it lies in the
// folder, but never through a link out of it; the first one is named.
TEST_F(FileOperationsTest, AFileHeldOpenIsFoundInTheFolderNotBehindALink) {
    write("D/elsewhere/theirs.txt", "someone else's");
    fs::create_directories(host("C/A"));
    fs::create_directory_symlink(host("D/elsewhere"), host("C/A/link"));
    write("C/B/sub/deep.dll", "d");
    write("C/C/top.exe", "t");
    struct Case {
        const char* folder;
        const char* held;  // empty: nothing held is found
    };
    for (const Case& c : {Case{"C:\\A", ""}, Case{"C:\\B", "C:\\B\\sub\\deep.dll"},
                          Case{"C:\\C", "C:\\C\\top.exe"}}) {
        SCOPED_TRACE(c.folder);
        m_platform->faults().fail(SimFaultKind::Open, 1, WIN_SHARING_VIOLATION, true);
        FileInUse inUse = m_files->FirstFileInUse(c.folder);
        EXPECT_EQ(inUse.path, c.held);
        EXPECT_EQ(inUse.error, *c.held ? WIN_SHARING_VIOLATION : WIN_OK);
        SetUp();  // a new process: the fault goes
    }
}

// A user's folder that links inside the folders setup clears point at, and that listings call
// folders (listed-as-folders.txt, as a listing that cannot be taken at its word): the temporary
// folder, the program folder at /U, the set-aside folder at the commit and a leftover of an
// earlier run go, the links as links; the in-use check and the copy back of a set-aside folder
// do not read through them, nor does the size of the Apps & features entry count through one
// (here a link to the program folder itself, which would never end).
TEST_F(FileOperationsTest, ALinkListedAsAFolderIsNeitherDeletedNorReadThrough) {
    write("C/Users/joe/docs/a.txt", "joe's");
    write("C/Users/joe/docs/sub/b.txt", "joe's too");
    write("C/Users/joe/docs/sub/big.bin", std::string(3000, 'j'));
    const std::vector<std::string> cleared = {"C:\\ZIL_Setup_temp", "C:\\Program Files (x86)\\ZIL",
                                              "C:\\Program Files (x86)\\ZIL.previous",
                                              "C:\\Program Files (x86)\\ZIL.obsolete"};
    std::string listed;
    std::string held;
    for (const std::string& folder : cleared) {
        std::string relative = folder.substr(3);
        std::replace(relative.begin(), relative.end(), '\\', '/');
        write("C/" + relative + "/own.txt", "setup's");
        fs::create_directory_symlink(host("C/Users/joe/docs"), host("C/" + relative + "/docs"));
        listed += folder + "\\docs\n";
        held += folder + "\\docs\\a.txt\n";
    }
    fs::create_directory_symlink(host("C/Program Files (x86)/ZIL"),
                                 host("C/Program Files (x86)/ZIL/self"));
    listed += "C:\\Program Files (x86)\\ZIL\\self\n";
    write("listed-as-folders.txt", listed);
    write("held-open.txt", held);
    std::vector<FolderItem> items;
    m_platform->files().listItems("C:\\ZIL_Setup_temp\\*", items);
    ASSERT_EQ(items.size(), 2u);
    ASSERT_EQ(items[0].kind, PathKind::Folder);  // the knob holds

    EXPECT_EQ(m_files->FirstFileInUse("C:\\Program Files (x86)\\ZIL").error, WIN_OK);
    std::vector<RegistryValue> values = ProductEntry(*m_platform).Values();
    auto size = std::find_if(values.begin(), values.end(), [](const RegistryValue& value) {
        return value.name == "EstimatedSize";
    });
    ASSERT_NE(size, values.end());
    EXPECT_EQ(*size, RegistryValue::Dword("EstimatedSize", 1));  // own.txt alone
    // Renames refused: the set-aside folder's files are copied back, and the link is not.
    write("unmovable.txt", "C:\\Program Files (x86)\\ZIL.previous\n");
    EXPECT_EQ(m_files->MoveBack("C:\\Program Files (x86)\\ZIL.previous", "C:\\Restored"), WIN_OK);
    EXPECT_EQ(read("C/Restored/own.txt"), "setup's");
    EXPECT_FALSE(exists("C/Restored/docs"));
    fs::remove(host("unmovable.txt"));

    EXPECT_EQ(m_files->DeleteTempDirectory().error, WIN_OK);
    EXPECT_EQ(m_files->DeleteProgramDirectory().error, WIN_OK);
    for (const std::string& folder : cleared) {
        EXPECT_EQ(m_files->RemoveOrRetire(folder.c_str()).error, WIN_OK) << folder;
        EXPECT_FALSE(m_platform->files().findFile(folder.c_str())) << folder;
    }
    EXPECT_EQ(read("C/Users/joe/docs/a.txt"), "joe's");
    EXPECT_EQ(read("C/Users/joe/docs/sub/b.txt"), "joe's too");
}

// The in-use check tells what it found: only a sharing or lock violation is "held open"; any
// other refusal is named with its error, and still stops the upgrade (what cannot be told is not
// risked). A program folder that is itself a link is not read through at all.
TEST_F(FileOperationsTest, TheInUseCheckTellsWhatItFound) {
    write("C/Program Files (x86)/ZIL/ZIL.ini", "i");
    struct Case {
        Win32Error error;
        const char* line;
    };
    for (const Case& c : {Case{WIN_SHARING_VIOLATION, "held open by another program"},
                          Case{WIN_LOCK_VIOLATION, "held open by another program"},
                          Case{WIN_ACCESS_DENIED, "cannot be checked, error 5"},
                          Case{WIN_INVALID_PARAMETER, "cannot be checked, error 87"}}) {
        m_platform->faults().fail(SimFaultKind::Open, 1, c.error, true);
        FileInUse inUse = m_files->FirstFileInUse("C:\\Program Files (x86)\\ZIL");
        EXPECT_EQ(inUse.error, c.error);
        EXPECT_EQ(std::string(InUseLine(inUse)),
                  std::string("C:\\Program Files (x86)\\ZIL\\ZIL.ini: ") + c.line + " !!!\r\n");
        SetUp();
    }

    write("C/Windows/important/keep.txt", "k");
    fs::remove_all(host("C/Program Files (x86)/ZIL"));
    fs::create_directory_symlink(host("C/Windows/important"), host("C/Program Files (x86)/ZIL"));
    m_platform->faults().fail(SimFaultKind::Open, 1, WIN_ACCESS_DENIED, true);
    EXPECT_EQ(m_files->FirstFileInUse("C:\\Program Files (x86)\\ZIL").error, WIN_OK);
}

// The kept setup program is the file setup started from, even when another has been put at its
// path since.
TEST_F(FileOperationsTest, TheKeptCopyIsTheFileSetupStartedFrom) {
    std::string module = host("download/ZIL_Setup.exe");
    write("download/ZIL_Setup.exe", "the vendor's");
    SimConfig config = test_support::VirtualClockMachine(m_root);
    config.modulePath = module;
    m_platform = std::make_unique<SimPlatform>(config);
    m_files = std::make_unique<FileOperations>(*m_platform);
    File* image = nullptr;
    ASSERT_EQ(m_platform->files().ownImage(image), WIN_OK);  // as main does at start-up
    std::uint32_t got = 0;
    char first[3];
    ASSERT_EQ(image->read(first, sizeof(first), got), WIN_OK);  // a read leaves it midway
    fs::rename(module, module + ".moved");
    write("download/ZIL_Setup.exe", "the user's");
    fs::create_directories(host("C/Program Files (x86)/ZIL"));
    ASSERT_EQ(m_files->KeepOwnImage(SETUP_KEPT_SETUP), WIN_OK);
    EXPECT_EQ(read("C/Program Files (x86)/ZIL/ZIL_Setup.exe"), "the vendor's");
}

// What cannot be deleted now goes out of the way under the first free name beside it, to be
// deleted at the next restart; a link where a folder is to be made is removed as a link.
TEST_F(FileOperationsTest, LeftoversGoOutOfTheWayAndLinksAreNotFollowed) {
    write("C/Old/file.txt", "held");
    for (const char* taken : {"C/Old.obsolete", "C/Old.obsolete.2"}) {
        fs::create_directories(host(taken));
    }
    m_platform->faults().fail(SimFaultKind::Delete, 1, WIN_SHARING_VIOLATION);
    Removal removal = m_files->RemoveOrRetire("C:\\Old");
    EXPECT_EQ(removal.error, WIN_OK);
    EXPECT_EQ(removal.leftAt, "C:\\Old.obsolete.3");
    EXPECT_EQ(read("C/Old.obsolete.3/file.txt"), "held");
    for (int suffix = 4; suffix <= 8; ++suffix) {
        fs::create_directories(host("C/Old.obsolete." + std::to_string(suffix)));
    }
    EXPECT_EQ(m_files->FreeName("C:\\Old.obsolete"), "C:\\Old.obsolete.9");
    fs::create_directories(host("C/Old.obsolete.9"));
    EXPECT_EQ(m_files->FreeName("C:\\Old.obsolete"), "");
    // Only a name that is not there is free, not one that cannot even be looked at.
    fs::create_directory_symlink(fs::temp_directory_path(), host("C/out"));
    EXPECT_EQ(m_files->FreeName("C:\\out\\Old.obsolete"), "");
    write("D/theirs/keep.txt", "keep");
    fs::create_directory_symlink(host("D/theirs"), host("C/Made"));
    EXPECT_EQ(m_files->EnsureDirectory("C:\\Made"), WIN_OK);
    EXPECT_FALSE(fs::is_symlink(host("C/Made")));
    EXPECT_EQ(read("D/theirs/keep.txt"), "keep");
}

// The restart deletes by name, as SYSTEM: only a tree setup made itself may be handed to it.
// Someone else's tree (or a link) that cannot be removed is renamed aside when it can be, else
// left where it is; a scheduling that fails is told, not claimed.
TEST_F(FileOperationsTest, OnlySetupsOwnLeftoversAreHandedToTheRestart) {
    struct Case {
        const char* what;
        std::function<void()> plant;  // makes C:\Old, the tree to remove
        std::vector<SimFault> faults;
        Leftover leftover;
        const char* leftAt;
        Win32Error error;
    };
    auto userList = [&](const char* list) {
        std::ofstream(host(list), std::ios::app) << "C:\\Old\n";
    };
    auto folder = [&] { write("C/Old/theirs.txt", "someone else's"); };
    auto users = [&] {
        folder();
        userList("user-owned.txt");
        userList("undeletable.txt");
    };
    const SimFault refused{SimFaultKind::Delete, 1, WIN_SHARING_VIOLATION, false};
    const std::vector<Case> cases = {
        {"setup's own, held open",
         folder,
         {refused},
         Leftover::AtRestart,
         "C:\\Old.obsolete",
         WIN_OK},
        {"setup's own, the scheduling refused",
         folder,
         {refused, {SimFaultKind::Restart, 1, WIN_ACCESS_DENIED, false}},
         Leftover::Stays,
         "C:\\Old.obsolete",
         WIN_OK},
        {"a user's, undeletable", users, {}, Leftover::SomeoneElses, "C:\\Old.obsolete", WIN_OK},
        {"a user's, neither deletable nor movable",
         [&] {
             users();
             userList("unmovable.txt");
         },
         {},
         Leftover::SomeoneElses,
         "C:\\Old",
         WIN_ACCESS_DENIED},
        {"a link to a folder elsewhere",
         [&] {
             write("D/elsewhere/theirs.txt", "someone else's");
             fs::create_directory_symlink(host("D/elsewhere"), host("C/Old"));
         },
         {refused},
         Leftover::SomeoneElses,
         "C:\\Old.obsolete",
         WIN_OK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(m_root);
        SetUp();
        c.plant();
        for (const SimFault& fault : c.faults) {
            m_platform->faults().fail(fault.kind, fault.nth, fault.error, fault.fromThenOn);
        }
        std::size_t from = journalSize();
        Removal removal = m_files->RemoveOrRetire("C:\\Old");
        EXPECT_EQ(removal.error, c.error);
        EXPECT_EQ(removal.leftover, c.leftover);
        EXPECT_EQ(removal.leftAt, c.leftAt);
        std::vector<std::string> scheduled =
            test_support::JournalOf(journalSince(from), "delete-at-restart");
        if (c.leftover == Leftover::AtRestart) {
            EXPECT_EQ(scheduled, std::vector<std::string>{"C:\\Old.obsolete = 0"});
        } else if (c.leftover == Leftover::SomeoneElses) {
            EXPECT_TRUE(scheduled.empty());
        }
        if (c.leftover == Leftover::SomeoneElses) {
            std::string theirs = exists("D/elsewhere")
                                     ? "D/elsewhere"
                                     : "C/" + std::string(removal.leftAt.substr(3));
            EXPECT_EQ(read(theirs + "/theirs.txt"), "someone else's");
        }
    }
}

// An ordinary user's folder at the temporary folder's path that can be neither removed nor
// moved does not stop the run: setup makes a private folder of a fresh name, exclusively (a
// name taken is passed over), and takes the MOF scripts from there.
TEST_F(FileOperationsTest, AFolderThatCannotBeClearedGetsAPrivateSubstitute) {
    write("C/ZIL_Setup_temp/theirs.mof", "someone else's");
    for (const char* list : {"user-owned.txt", "undeletable.txt", "unmovable.txt"}) {
        std::ofstream(host(list)) << "C:\\ZIL_Setup_temp\n";
    }
    // The first call is the usual folder's, the second the first substitute name's.
    m_platform->faults().fail(SimFaultKind::Mkdir, 2, WIN_ALREADY_EXISTS);
    std::size_t from = journalSize();
    TempFolder made = m_files->MakeTempDirectory();
    EXPECT_EQ(made.error, WIN_OK);
    EXPECT_TRUE(made.substitute);
    EXPECT_EQ(made.cleared.leftover, Leftover::SomeoneElses);
    const String folder = m_files->TempDirectory();
    ASSERT_EQ(folder.size(), std::string("C:\\ZIL_Setup_temp.").size() + 8) << folder;
    EXPECT_TRUE(folder.starts_with("C:\\ZIL_Setup_temp."));
    std::vector<std::string> created =
        test_support::JournalOf(journalSince(from), "create-private-directory");
    ASSERT_EQ(created.size(), 2u);
    EXPECT_EQ(created[1], folder + " = 0");
    EXPECT_TRUE(test_support::JournalOf(journalSince(from), "delete-at-restart").empty());
    EXPECT_EQ(read("C/ZIL_Setup_temp/theirs.mof"), "someone else's");

    write("C/" + std::string(folder.substr(3)) + "/ZARN_ZIL.mof", "ours");
    from = journalSize();
    m_files->CompileMof(SETUP_INSTALL_MOF_SCRIPT);
    std::vector<std::string> commands = test_support::JournalOf(journalSince(from), "system");
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_NE(commands[0].find(" c" + folder.substr(1) + "\\ZARN_ZIL.mof"), std::string::npos)
        << commands[0];

    EXPECT_EQ(m_files->DeleteTempDirectory().error, WIN_OK);
    EXPECT_FALSE(exists("C/" + std::string(folder.substr(3))));
    EXPECT_EQ(read("C/ZIL_Setup_temp/theirs.mof"), "someone else's");
}

TEST_F(FileOperationsTest, MovesOverwriteAndSortTheImages) {
    const std::vector<std::string> payload = {"ZIL_Service.exe", "ZARN_ZIL.mof", "logo.bmp",
                                              "z.ico", "Readme.txt"};
    for (const std::string& name : payload) {
        write("C/ZIL_Setup_temp/" + name, "new " + name);
    }
    write("C/ZIL_Setup_temp/data/inner.db", "new inner");
    // What an earlier install left is replaced without asking.
    write("C/Program Files (x86)/ZIL/ZIL_Service.exe", "old service");
    write("C/Program Files (x86)/ZIL/ICONs/logo.bmp", "old logo");
    write("C/Program Files (x86)/ZIL/ICONs/z.ico", "old icon");
    write("C/Program Files (x86)/ZIL/ICONs/kept.bmp", "kept");

    m_files->MoveFilesIntoPlace();

    const std::string dir = "C/Program Files (x86)/ZIL/";
    for (const std::string& name : payload) {
        bool image = name.ends_with(".bmp") || name.ends_with(".ico");
        EXPECT_EQ(read(dir + (image ? "ICONs/" : "") + name), "new " + name) << name;
        EXPECT_EQ(exists(dir + name), !image) << name;
        EXPECT_FALSE(exists("C/ZIL_Setup_temp/" + name)) << name;
    }
    EXPECT_EQ(read(dir + "data/inner.db"), "new inner");
    EXPECT_EQ(read(dir + "ICONs/kept.bmp"), "kept");
}

TEST_F(FileOperationsTest, SetupToolsGoWithOrWithoutTheProgramsPresent) {
    const std::string dir = "C/Program Files (x86)/ZIL/";
    const std::vector<std::string> tools(std::begin(SETUP_ONLY_PROGRAMS),
                                         std::end(SETUP_ONLY_PROGRAMS));
    for (bool present : {true, false}) {
        for (const std::string& tool : tools) {
            if (present) {
                write(dir + tool, tool);
            }
        }
        write(dir + "ZARN_ZIL.mof", "m");
        write(dir + "Uninst_ZARN_ZIL.mof", "u");
        write(dir + "ZIL_Service.exe", "s");
        write(dir + "ZIL.ini", "i");

        std::size_t from = journalSize();
        m_files->DeleteSetupTools();
        for (const std::string& tool : tools) {
            EXPECT_FALSE(exists(dir + tool)) << tool;
        }
        EXPECT_FALSE(exists(dir + "ZARN_ZIL.mof"));
        EXPECT_FALSE(exists(dir + "Uninst_ZARN_ZIL.mof"));
        EXPECT_TRUE(exists(dir + "ZIL_Service.exe"));
        EXPECT_TRUE(exists(dir + "ZIL.ini"));
        // A missing program is not handed to the shell at all; the scripts always are.
        std::vector<std::string> lines = journalSince(from);
        std::size_t deletes = std::count_if(lines.begin(), lines.end(), [](const auto& line) {
            return line.rfind("shell-delete: ", 0) == 0;
        });
        EXPECT_EQ(deletes, present ? 6u : 1u);
        EXPECT_EQ(lines.back().rfind("shell-delete: C:\\Program Files (x86)\\ZIL\\*.mof", 0), 0u);
    }
}

TEST_F(FileOperationsTest, RunAndWaitReportsWhetherTheProgramRan) {
    std::uint64_t before = m_platform->clock().now();
    EXPECT_FALSE(m_files->RunAndWait(SETUP_REDIST_EXE, SETUP_REDIST_PARAMETERS));
    EXPECT_EQ(m_platform->clock().now(), before);

    write("C/Program Files (x86)/ZIL/vcredist_x86.exe",
          "#!/bin/sh\necho \"$1\" > \"$ZIL_MACHINE/C/ran.txt\"\nexit 3\n");
    EXPECT_TRUE(m_files->RunAndWait(SETUP_REDIST_EXE, SETUP_REDIST_PARAMETERS));
    EXPECT_EQ(read("C/ran.txt"), "/q:a\n");
}

// The stand-in redistributable leaves files at the roots of C: and D:; older files of the same
// patterns are someone else's.
class SweepTest : public FileOperationsTest {
protected:
    void SetUp() override {
        FileOperationsTest::SetUp();
        write("C/Program Files (x86)/ZIL/vcredist_x86.exe",
              "#!/bin/sh\n"
              "for f in C/eula.1033.txt C/install.exe C/install.ini C/VC_RED.MSI C/VC_RED.cab \\\n"
              "         C/vcredist.bmp D/install.exe D/VC_RED.cab E/vcredist.bmp; do\n"
              "  echo new > \"$ZIL_MACHINE/$f\"\n"
              "done\n");
        for (const char* drive : {"C", "D", "E"}) {
            fs::create_directories(host(drive));
        }
    }
};

TEST_F(SweepTest, OnlyWhatTheInstallerLeftIsSwept) {
    const std::vector<std::string> older = {"C/eula.txt", "C/install.log",   "C/vcredist.old",
                                            "C/keep.txt", "E/eula.1033.txt", "E/install.exe"};
    for (const std::string& file : older) {
        write(file, "old");
    }
    ASSERT_TRUE(m_files->RunAndWait(SETUP_REDIST_EXE, SETUP_REDIST_PARAMETERS));
    m_files->SweepRedistLeftovers();

    for (const char* gone : {"C/eula.1033.txt", "C/install.exe", "C/install.ini", "C/VC_RED.MSI",
                             "C/VC_RED.cab", "C/vcredist.bmp"}) {
        EXPECT_FALSE(exists(gone)) << gone;
    }
    for (const std::string& file : older) {
        EXPECT_EQ(read(file), "old") << file;
    }
    // D: got no new "eula.*", and E:'s only "eula.*" is old: both drives stay as they are.
    for (const char* kept : {"D/install.exe", "D/VC_RED.cab", "E/vcredist.bmp"}) {
        EXPECT_EQ(read(kept), "new\n") << kept;
    }
}

TEST_F(SweepTest, WithoutTheInstallerNothingIsSwept) {
    for (const char* file : {"C/eula.1033.txt", "C/install.exe", "D/eula.txt", "E/VC_RED.MSI"}) {
        write(file, "old");
    }
    std::size_t from = journalSize();
    m_files->SweepRedistLeftovers();
    EXPECT_TRUE(journalSince(from).empty());
    EXPECT_TRUE(exists("C/eula.1033.txt"));

    // The installer may fail to start; then too nothing it could have left is touched.
    fs::remove(host("C/Program Files (x86)/ZIL/vcredist_x86.exe"));
    EXPECT_FALSE(m_files->RunAndWait(SETUP_REDIST_EXE, SETUP_REDIST_PARAMETERS));
    m_files->SweepRedistLeftovers();
    for (const char* file : {"C/eula.1033.txt", "C/install.exe", "D/eula.txt", "E/VC_RED.MSI"}) {
        EXPECT_TRUE(exists(file)) << file;
    }
}

}  // namespace
