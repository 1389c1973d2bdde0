#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "paths/WindowsPaths.h"
#include "platform/sim/SimFileSystem.h"
#include "platform/sim/SimMachine.h"
#include "tests/unit/ScratchFolder.h"

namespace fs = std::filesystem;

namespace {

class SimFileSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* drive : {"C", "D", "E"}) {
            fs::create_directories(m_root / drive);
        }
        m_machine =
            std::make_unique<SimMachine>(test_support::VirtualClockMachine(m_root.string()));
        m_files = std::make_unique<SimFileSystem>(*m_machine);
    }

    void Touch(const fs::path& relative, const std::string& text = "x") {
        test_support::WriteHostFile(m_root / relative, text);
    }
    std::string Read(const fs::path& relative) {
        return test_support::ReadHostFile(m_root / relative);
    }
    std::string Host(const std::string& windows) {
        std::string host;
        Win32Error error = m_machine->hostPath(windows, host);
        return error == WIN_OK ? fs::path(host).lexically_relative(m_root).string()
                               : "error " + std::to_string(error);
    }

    test_support::ScratchFolder m_folder{"zil-simfs-test"};
    fs::path m_scratch = m_folder.path();
    fs::path m_root = m_scratch / "machine";
    std::unique_ptr<SimMachine> m_machine;
    std::unique_ptr<SimFileSystem> m_files;
};

TEST(WildcardTest, MatchesAsTheWindowsShellDoes) {
    struct Case {
        const char* pattern;
        const char* name;
        bool match;
    };
    for (const Case& c : {Case{"*.*", "a.txt", true},
                          Case{"*.*", "noext", true},
                          Case{"*.*", ".hidden", true},
                          Case{"*", "anything.x.y", true},
                          Case{"*.bmp", "Picture.BMP", true},
                          Case{"*.bmp", "a.bmp.txt", false},
                          Case{"*.bmp", "bmp", false},
                          Case{"eula.*", "EULA.TXT", true},
                          Case{"eula.*", "eula", true},
                          Case{"eula.*", "eula2.txt", false},
                          Case{"VC_RED.*", "vc_red.cab", true},
                          Case{"a?c", "abc", true},
                          Case{"a?c", "ac", false},
                          Case{"a?c", "abbc", false},
                          Case{"*a*b*", "xaxxbx", true},
                          Case{"*a*b*", "xbxa", false},
                          Case{"install.*", "install.res.1033.dll", true},
                          Case{"*.mof", "ZARN_ZIL.MOF", true},
                          Case{"*.mof", "x.mofx", false},
                          Case{"", "", true},
                          Case{"", "a", false}}) {
        EXPECT_EQ(MatchesWildcard(c.pattern, c.name), c.match) << c.pattern << " ~ " << c.name;
    }
    // A pattern without wildcards matches exactly its own name, in any case.
    for (const char* name : {"a", "A.TXT", "Program Files (x86)", "x.y.z"}) {
        std::string upper = name;
        for (char& ch : upper) {
            ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        }
        EXPECT_TRUE(MatchesWildcard(upper, name));
        EXPECT_FALSE(MatchesWildcard(upper + "x", name));
    }
}

// What the run's end looks for again must name a place on a drive: a text such as the runtime's
// "the runtime redistributable (its installer ended 3010)" would be taken, on Windows, relative
// to the current folder and found missing.
TEST(WindowsPathTest, ADrivePathStartsAtADrivesRoot) {
    for (const char* path : {"C:\\Program Files (x86)\\ZIL.obsolete", "d:/x", "Z:\\"}) {
        EXPECT_TRUE(IsDrivePath(path)) << path;
    }
    for (const char* text : {"the runtime redistributable (its installer ended 3010)", "C:",
                             "C:relative", "\\\\server\\share", "ZIL.obsolete", "1:\\x", ""}) {
        EXPECT_FALSE(IsDrivePath(text)) << text;
    }
}

TEST_F(SimFileSystemTest, PathsMapBelowTheMachineOrAreRefused) {
    Touch("C/Program Files (x86)/ZIL/a.exe");
    EXPECT_EQ(Host("C:\\PROGRAM FILES (X86)\\zil\\A.EXE"), "C/Program Files (x86)/ZIL/a.exe");
    EXPECT_EQ(Host("c:\\program files (x86)\\New\\Thing"), "C/Program Files (x86)/New/Thing");
    EXPECT_EQ(Host("C:/Program Files (x86)//ZIL\\"), "C/Program Files (x86)/ZIL");
    EXPECT_EQ(Host("d:\\x"), "D/x");
    EXPECT_EQ(Host("E:"), "E");
    EXPECT_EQ(Host("C:\\.\\x"), "C/x");
    for (const char* refused : {"F:\\x", "relative\\x", "C:x", "\\\\server\\share", "\\x", "",
                                "C:\\..", "C:\\a\\..\\..\\etc", "C:\\..\\D\\x", "/etc/passwd"}) {
        EXPECT_EQ(Host(refused), "error 5") << refused;
    }
    // A link inside the machine that leads out of it is not a way out.
    fs::create_directories(m_scratch / "outside");
    fs::create_directory_symlink(m_scratch / "outside", m_root / "C" / "link");
    EXPECT_EQ(Host("C:\\link\\file"), "error 5");
    EXPECT_EQ(Host("C:\\link"), "C/link");  // the link itself, to remove it
    std::unique_ptr<File> file;
    EXPECT_EQ(m_files->open("C:\\link\\planted", FileMode::CreateWrite, file), WIN_ACCESS_DENIED);
    EXPECT_FALSE(fs::exists(m_scratch / "outside" / "planted"));
}

// Every other name Windows gives a path leads to the same file: short names, numbered among the
// names that share their first letters, and trailing dots and blanks, which Windows drops. A
// name that fits 8.3 has no second one.
TEST_F(SimFileSystemTest, ShortNamesAndTrailingDotsNameTheSameFile) {
    for (const char* file :
         {"C/Program Files/a.txt", "C/Program Files (x86)/ZIL/ZIL_Service.exe",
          "C/Program Files (x86)/ZIL/ZIL_Setup.exe", "C/Program Files (x86)/ZIL/Setup.log",
          "C/ProgramData/b.txt", "C/My.Long.Name.text"}) {
        Touch(file);
    }
    const struct {
        const char* windows;
        const char* host;
    } cases[] = {
        {"C:\\PROGRA~1\\a.txt", "C/Program Files/a.txt"},
        {"C:\\progra~2\\ZIL", "C/Program Files (x86)/ZIL"},
        {"C:\\PROGRA~3\\b.txt", "C/ProgramData/b.txt"},
        {"C:\\PROGRA~2\\ZIL\\ZIL_SE~1.EXE", "C/Program Files (x86)/ZIL/ZIL_Service.exe"},
        {"C:\\PROGRA~2\\ZIL\\ZIL_SE~2.EXE", "C/Program Files (x86)/ZIL/ZIL_Setup.exe"},
        {"C:\\MYLONG~1.TEX", "C/My.Long.Name.text"},
        {"C:\\Program Files (x86).\\ZIL\\ZIL_Setup.exe. .",
         "C/Program Files (x86)/ZIL/ZIL_Setup.exe"},
        {"C:/PROGRA~2/ZIL/setup.LOG", "C/Program Files (x86)/ZIL/Setup.log"},
        // What no name stands for is a name of its own.
        {"C:\\PROGRA~4", "C/PROGRA~4"},
        {"C:\\PROGRA~2\\ZIL\\SETUP~1.LOG", "C/Program Files (x86)/ZIL/SETUP~1.LOG"},
        {"C:\\PROGRA~2\\ZIL\\ZIL_SE~3.EXE", "C/Program Files (x86)/ZIL/ZIL_SE~3.EXE"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Host(c.windows), c.host) << c.windows;
    }
    PathInfo longName;
    PathInfo shortName;
    ASSERT_EQ(m_files->pathInfo("C:\\Program Files (x86)\\ZIL\\ZIL_Setup.exe", longName), WIN_OK);
    ASSERT_EQ(m_files->pathInfo("c:/progra~2/zil/zil_se~2.exe.", shortName), WIN_OK);
    EXPECT_TRUE(shortName.SameFileAs(longName));
}

// "path kind size" for each item, in the listing's order.
std::vector<std::string> Described(const std::vector<FolderItem>& items) {
    std::vector<std::string> lines;
    for (const FolderItem& item : items) {
        const char* kinds[] = {"file", "folder", "link", "other"};
        lines.push_back(std::string(item.path) + " " + kinds[static_cast<int>(item.kind)] + " " +
                        std::to_string(item.size));
    }
    return lines;
}

TEST_F(SimFileSystemTest, FindAndListUseWildcardsInTheLastComponent) {
    Touch("C/eula.txt", "twelve bytes");
    Touch("C/EULA");
    Touch("C/install.exe", "");
    Touch("C/Dir/sub/f.bmp");
    fs::create_symlink(m_root / "C" / "eula.txt", m_root / "C" / "here");
    EXPECT_TRUE(m_files->findFile("C:\\eula.*"));
    EXPECT_TRUE(m_files->findFile("C:\\Dir"));
    EXPECT_TRUE(m_files->findFile("C:\\dir\\"));
    EXPECT_FALSE(m_files->findFile("D:\\eula.*"));
    EXPECT_FALSE(m_files->findFile("C:\\Missing\\*.*"));
    // What the listing tells of each item without opening it: a link is a link of no bytes,
    // whatever it points at; a folder has no bytes either.
    std::vector<FolderItem> items;
    EXPECT_EQ(m_files->listItems("C:\\*.*", items), WIN_OK);
    EXPECT_EQ(Described(items), (std::vector<std::string>{"C:\\Dir folder 0", "C:\\EULA file 1",
                                                          "C:\\eula.txt file 12", "C:\\here link 0",
                                                          "C:\\install.exe file 0"}));
    // Without wildcards the item itself, under the name it was asked by.
    EXPECT_EQ(m_files->listItems("C:\\EULA.TXT", items), WIN_OK);
    EXPECT_EQ(Described(items), (std::vector<std::string>{"C:\\EULA.TXT file 12"}));
    EXPECT_EQ(m_files->listItems("C:\\dir\\", items), WIN_OK);
    EXPECT_EQ(Described(items), (std::vector<std::string>{"C:\\dir folder 0"}));
    EXPECT_EQ(m_files->listItems("C:\\*.zip", items), WIN_FILE_NOT_FOUND);
    EXPECT_EQ(m_files->listItems("C:\\Nope\\*.zip", items), WIN_PATH_NOT_FOUND);
    EXPECT_EQ(m_files->listItems("C:\\nope.txt", items), WIN_FILE_NOT_FOUND);
    EXPECT_EQ(m_files->listItems("C:\\Nope\\nope.txt", items), WIN_PATH_NOT_FOUND);
    EXPECT_TRUE(IsFolder(*m_files, "C:\\DIR\\Sub"));
    EXPECT_FALSE(IsFolder(*m_files, "C:\\eula.txt"));
}

TEST_F(SimFileSystemTest, ShellMoveOverwritesMergesAndJournals) {
    Touch("C/T/a.bmp", "new a");
    Touch("C/T/b.ico", "new b");
    Touch("C/T/noext", "plain");
    Touch("C/T/Sub/inner.txt", "inner new");
    Touch("C/P/A.BMP", "old a");
    Touch("C/P/sub/keep.txt", "kept");
    Touch("C/P/sub/inner.txt", "inner old");
    EXPECT_EQ(m_files->shellMove("C:\\T\\*.*", "C:\\P"), WIN_OK);
    EXPECT_EQ(Read("C/P/A.BMP"), "new a");  // the existing name's spelling stays
    EXPECT_FALSE(fs::exists(m_root / "C/P/a.bmp") && fs::exists(m_root / "C/P/A.BMP") &&
                 fs::equivalent(m_root / "C/P/a.bmp", m_root / "C/P/A.BMP") == false);
    EXPECT_EQ(Read("C/P/b.ico"), "new b");
    EXPECT_EQ(Read("C/P/noext"), "plain");
    EXPECT_EQ(Read("C/P/sub/inner.txt"), "inner new");
    EXPECT_EQ(Read("C/P/sub/keep.txt"), "kept");
    EXPECT_TRUE(fs::is_empty(m_root / "C/T"));

    // Into a folder that does not exist yet: the shell creates it.
    EXPECT_EQ(m_files->shellMove("C:\\P\\*.bmp", "C:\\P\\ICONs"), WIN_OK);
    EXPECT_EQ(Read("C/P/ICONs/A.BMP"), "new a");
    EXPECT_EQ(m_files->shellMove("C:\\P\\*.gif", "C:\\P\\ICONs"), WIN_FILE_NOT_FOUND);

    std::vector<std::string> lines = m_machine->journalLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "shell-move: C:\\T\\*.* -> C:\\P = 0");
    EXPECT_EQ(lines[2], "shell-move: C:\\P\\*.gif -> C:\\P\\ICONs = 2");
}

TEST_F(SimFileSystemTest, DeletionsRemoveFoldersAndLinksButNeverFollowLinks) {
    Touch("C/P/a.mof");
    Touch("C/P/b.MOF");
    Touch("C/P/c.exe");
    Touch("C/P/deep/er/f.txt");
    EXPECT_EQ(m_files->shellDelete("C:\\P\\*.mof"), WIN_OK);
    EXPECT_FALSE(fs::exists(m_root / "C/P/a.mof"));
    EXPECT_FALSE(fs::exists(m_root / "C/P/b.MOF"));
    EXPECT_TRUE(fs::exists(m_root / "C/P/c.exe"));
    EXPECT_EQ(m_files->shellDelete("C:\\p"), WIN_OK);
    EXPECT_FALSE(fs::exists(m_root / "C/P"));
    EXPECT_EQ(m_files->shellDelete("C:\\P"), WIN_FILE_NOT_FOUND);

    fs::create_directories(m_scratch / "victim");
    std::ofstream(m_scratch / "victim" / "precious") << "keep";
    fs::create_directory_symlink(m_scratch / "victim", m_root / "C" / "ZIL_Setup_temp");
    EXPECT_EQ(m_files->createPrivateDirectory("C:\\ZIL_Setup_temp"), WIN_ALREADY_EXISTS);
    EXPECT_EQ(m_files->removeTree("C:\\ZIL_Setup_temp"), WIN_OK);
    EXPECT_TRUE(fs::exists(m_scratch / "victim" / "precious"));
    EXPECT_EQ(m_files->removeTree("C:\\ZIL_Setup_temp"), WIN_FILE_NOT_FOUND);
    EXPECT_EQ(m_files->createPrivateDirectory("C:\\ZIL_Setup_temp"), WIN_OK);
    EXPECT_EQ(m_files->createPrivateDirectory("C:\\ZIL_Setup_temp"), WIN_ALREADY_EXISTS);

    // A dangling link is something too.
    fs::create_symlink(m_scratch / "nowhere", m_root / "C" / "dangling");
    EXPECT_EQ(m_files->createPrivateDirectory("C:\\dangling"), WIN_ALREADY_EXISTS);
}

TEST_F(SimFileSystemTest, FilesGiveWindowsErrorsAndInjectedFaults) {
    std::unique_ptr<File> file;
    EXPECT_EQ(m_files->open("C:\\none.txt", FileMode::ReadShared, file), WIN_FILE_NOT_FOUND);
    EXPECT_EQ(m_files->open("C:\\no\\none.txt", FileMode::CreateWrite, file), WIN_PATH_NOT_FOUND);
    EXPECT_EQ(m_files->open("C:\\", FileMode::ReadShared, file), WIN_ACCESS_DENIED);
    EXPECT_EQ(m_files->createDirectory("C:\\New"), WIN_OK);
    EXPECT_EQ(m_files->createDirectory("C:\\new"), WIN_ALREADY_EXISTS);
    EXPECT_EQ(m_files->createDirectory("C:\\a\\b"), WIN_PATH_NOT_FOUND);
    EXPECT_EQ(m_files->removeFile("C:\\New"), WIN_ACCESS_DENIED);

    String temp;
    EXPECT_EQ(m_files->tempDirectory(temp), WIN_OK);
    EXPECT_EQ(temp, "C:\\Windows\\Temp\\");
    // The running program is the one host file outside the machine that can be read.
    String module;
    ASSERT_EQ(m_files->modulePath(module), WIN_OK);
    EXPECT_EQ(m_files->open(module, FileMode::ReadShared, file), WIN_OK);
    EXPECT_NE(m_files->open(module, FileMode::CreateWrite, file), WIN_OK);
}

}  // namespace
