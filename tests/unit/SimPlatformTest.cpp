#include "platform/sim/SimPlatform.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "tests/unit/ScratchFolder.h"

namespace {

// ZIL_FAULTS: what a whole process of the program meets. Anything that is not exactly such a
// list is refused as a whole, so that a typo never runs a sweep without its fault.
TEST(SimFaultsTest, ParsesListsAndRefusesAnythingElse) {
    std::vector<SimFault> faults;
    std::string error;
    ASSERT_TRUE(ParseSimFaults("write@3=112+,svc-start@1=1053,move@40=kill", faults, error));
    ASSERT_EQ(faults.size(), 3u);
    EXPECT_EQ(faults[0].kind, SimFaultKind::Write);
    EXPECT_EQ(faults[0].nth, 3);
    EXPECT_EQ(faults[0].error, 112u);
    EXPECT_TRUE(faults[0].fromThenOn);
    EXPECT_EQ(faults[1].kind, SimFaultKind::SvcStart);
    EXPECT_FALSE(faults[1].fromThenOn);
    EXPECT_TRUE(faults[2].kill);
    EXPECT_TRUE(ParseSimFaults("", faults, error));
    EXPECT_TRUE(faults.empty());
    for (const char* bad :
         {"write", "write@3", "write@=5", "write@0=5", "write@-1=5", "write@3=", "write@3=0",
          "write@3=x", "write@3=5++", "Write@3=5", "disk@1=5", "write@3=5,", ",write@3=5",
          "write@3=5,,read@1=5", "write@1=99999999999", " write@1=5"}) {
        EXPECT_FALSE(ParseSimFaults(bad, faults, error)) << bad;
        EXPECT_TRUE(faults.empty()) << bad;
        EXPECT_NE(error.find("ZIL_FAULTS"), std::string::npos) << bad;
    }
}

// One seam fails calls for tests and for whole processes alike: the Nth call of a kind counts
// every operation of that kind, and a failed call never reaches the machine.
TEST(FaultSeamTest, KindsCountAcrossTheirOperationsAndAFailedCallChangesNothing) {
    test_support::ScratchFolder folder{"zil-simfaults"};
    SimConfig config = test_support::VirtualClockMachine(folder.string());
    std::string error;
    ASSERT_TRUE(ParseSimFaults("delete@2=5,mkdir@2=32+", config.faults, error));
    SimPlatform platform(config);
    platform.faults().fail(SimFaultKind::Write, 2, WIN_DISK_FULL);
    FileSystem& files = platform.files();
    EXPECT_EQ(files.createDirectory("C:\\A"), WIN_OK);
    EXPECT_EQ(files.createPrivateDirectory("C:\\B"), 32u);
    EXPECT_EQ(files.createDirectory("C:\\B"), 32u);
    std::unique_ptr<File> file;
    ASSERT_EQ(files.open("C:\\A\\f.txt", FileMode::CreateWrite, file), WIN_OK);
    EXPECT_EQ(file->write("abc", 3), WIN_OK);
    EXPECT_EQ(file->write("def", 3), WIN_DISK_FULL);
    EXPECT_EQ(file->write("ghi", 3), WIN_OK);
    file.reset();
    EXPECT_EQ(files.removeFile("C:\\none"), WIN_FILE_NOT_FOUND);
    EXPECT_EQ(files.shellDelete("C:\\A"), 5u);
    EXPECT_EQ(test_support::ReadHostFile(folder.path() / "C/A/f.txt"), "abcghi");
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "C/B"));
    std::vector<std::string> journal = platform.machine().journalLines();
    for (const char* line :
         {"fault: mkdir call 2 -> 32", "fault: write call 2 -> 112", "fault: delete call 2 -> 5"}) {
        EXPECT_NE(std::find(journal.begin(), journal.end(), line), journal.end()) << line;
    }
    EXPECT_EQ(std::count_if(journal.begin(), journal.end(),
                            [](const std::string& line) { return line.starts_with("shell-"); }),
              0);
}

// A selector names the calls a fault counts by what they touch; its glob is the text between the
// brackets as it stands, commas, '@' and '=' included, and "@N" may go for the first such call.
TEST(SimFaultsTest, ParsesSelectorsAndRefusesBrokenOnes) {
    std::vector<SimFault> faults;
    std::string error;
    ASSERT_TRUE(ParseSimFaults(
        "move[*\\ZIL]=kill,delete[C:\\a,b@c=d\\*]@2=5+,write@3=112,reg-write[*x]@1=5", faults,
        error))
        << error;
    ASSERT_EQ(faults.size(), 4u);
    EXPECT_EQ(faults[0].kind, SimFaultKind::Move);
    EXPECT_EQ(faults[0].subject, "*\\ZIL");
    EXPECT_EQ(faults[0].nth, 1);
    EXPECT_TRUE(faults[0].kill);
    EXPECT_EQ(faults[1].kind, SimFaultKind::Delete);
    EXPECT_EQ(faults[1].subject, "C:\\a,b@c=d\\*");
    EXPECT_EQ(faults[1].nth, 2);
    EXPECT_EQ(faults[1].error, 5u);
    EXPECT_TRUE(faults[1].fromThenOn);
    EXPECT_EQ(faults[2].subject, "");
    EXPECT_EQ(faults[2].nth, 3);
    EXPECT_EQ(faults[3].kind, SimFaultKind::RegWrite);
    EXPECT_EQ(faults[3].nth, 1);
    for (const char* bad : {"move[]=5", "move[*=5", "move[a]b=5", "move[a]@=5", "move[a]@0=5",
                            "move[a]", "move[a]@1", "Move[a]=5", "[a]=5", "move[a]=", "move[a]=x",
                            "move [a]=5", "move[a]=5,", "move[a]@1@2=5"}) {
        EXPECT_FALSE(ParseSimFaults(bad, faults, error)) << bad;
        EXPECT_TRUE(faults.empty()) << bad;
        EXPECT_NE(error.find("ZIL_FAULTS"), std::string::npos) << bad;
    }
}

// A fault with a subject counts only the calls it matches, whole and in any case: a folder's
// path, a move's source (not where it goes), a file's path for its writes, a registry value as
// KEY\NAME. It counts them beside the kind's own count, even where another fault fails the call,
// and the journal names the call by the kind's count as for any fault.
TEST(FaultSeamTest, ASubjectCountsOnlyTheCallsItMatches) {
    test_support::ScratchFolder folder{"zil-simfaults"};
    SimConfig config = test_support::VirtualClockMachine(folder.string());
    std::string error;
    ASSERT_TRUE(
        ParseSimFaults("mkdir[c:\\program files*\\zil]=5,move[C:\\A\\*]=32,mkdir@1=87,"
                       "write@3=5,write[*\\b.txt]@3=112,reg-write[*\\ZIL\\DisplayName]=5",
                       config.faults, error))
        << error;
    SimPlatform platform(config);
    platform.faults().fail(SimFaultAt(SimFaultKind::Delete, "*\\gone", WIN_ACCESS_DENIED, true));
    FileSystem& files = platform.files();
    EXPECT_EQ(files.createDirectory("C:\\A"), 87u);  // the kind's first: the ordinal fault
    EXPECT_EQ(files.createDirectory("C:\\A"), WIN_OK);
    EXPECT_EQ(files.createDirectory("C:\\Program Files (x86)"), WIN_OK);
    EXPECT_EQ(files.createDirectory("C:\\Program Files (x86)\\ZIL2"), WIN_OK);
    EXPECT_EQ(files.createDirectory("C:\\PROGRAM FILES (X86)\\Zil"), 5u);
    EXPECT_EQ(files.createDirectory("C:\\Program Files (x86)\\ZIL"), WIN_OK) << "once only";

    auto write = [&](const char* path, const char* text) {
        std::unique_ptr<File> file;
        EXPECT_EQ(files.open(path, FileMode::CreateWrite, file), WIN_OK);
        return file->write(text, static_cast<std::uint32_t>(std::strlen(text)));
    };
    EXPECT_EQ(write("C:\\a.txt", "a"), WIN_OK);
    EXPECT_EQ(write("C:\\b.txt", "b"), WIN_OK);
    EXPECT_EQ(write("C:\\A\\B.TXT", "c"), 5u);  // the kind's third, a b.txt's second
    EXPECT_EQ(write("C:\\ab.txt", "d"), WIN_OK);
    EXPECT_EQ(write("C:\\b.txt", "e"), 112u);  // a b.txt's third, the kind's fifth

    EXPECT_EQ(files.moveFile("C:\\a.txt", "C:\\A\\a.txt", false), WIN_OK);
    EXPECT_EQ(files.moveFile("C:\\A\\a.txt", "C:\\a.txt", false), 32u);
    EXPECT_TRUE(std::filesystem::exists(folder.path() / "C/A/a.txt"));

    EXPECT_EQ(files.removeFile("C:\\ab.txt"), WIN_OK);
    EXPECT_EQ(files.removeTree("C:\\GONE"), WIN_ACCESS_DENIED);
    EXPECT_EQ(files.removeTree("C:\\A\\gone"), WIN_ACCESS_DENIED) << "from then on";

    Registry& registry = platform.registry();
    const char* key = "HKLM\\Software\\ZIL";
    EXPECT_EQ(registry.createKey(key), WIN_OK);
    EXPECT_EQ(registry.setValue(key, RegistryValue::Text("DisplayVersion", "1")), WIN_OK);
    EXPECT_EQ(registry.setValue(key, RegistryValue::Text("DisplayName", "ZIL")), 5u);

    std::vector<std::string> journal = platform.machine().journalLines();
    for (const char* line :
         {"fault: mkdir call 1 -> 87", "fault: mkdir call 5 -> 5", "fault: write call 3 -> 5",
          "fault: write call 5 -> 112", "fault: move call 2 -> 32", "fault: delete call 3 -> 5",
          "fault: reg-write call 3 -> 5"}) {
        EXPECT_NE(std::find(journal.begin(), journal.end(), line), journal.end()) << line;
    }
}

// A process killed at a call loses, as a power cut would, what it wrote since each file's last
// flush, wherever it has moved the file since; what was flushed stays, and so does what another
// process wrote.
TEST(FaultSeamTest, AKillLosesWhatWasNotFlushed) {
    test_support::ScratchFolder folder{"zil-simfaults"};
    SimConfig config = test_support::VirtualClockMachine(folder.string());
    test_support::WriteHostFile(folder.path() / "C/before.txt", "written before the run");
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SimPlatform platform(config);
        platform.faults().fail(SimFault{SimFaultKind::Mkdir, 1, WIN_OK, false, true});
        FileSystem& files = platform.files();
        auto write = [&](const char* path, const char* text, bool flush) {
            std::unique_ptr<File> file;
            files.open(path, FileMode::CreateWrite, file);
            file->write(text, static_cast<std::uint32_t>(std::strlen(text)));
            if (flush) {
                file->flush();
            }
        };
        write("C:\\flushed.txt", "on the disk", true);
        write("C:\\moved.txt", "in the cache", false);
        files.moveFile("C:\\moved.txt", "C:\\elsewhere.txt", false);
        std::unique_ptr<File> open;
        files.open("C:\\open.txt", FileMode::CreateWrite, open);
        open->write("flushed", 7);
        open->flush();
        open->write(" and not", 8);
        files.createDirectory("C:\\killed here");
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(test_support::ReadHostFile(folder.path() / "C/flushed.txt"), "on the disk");
    EXPECT_EQ(test_support::ReadHostFile(folder.path() / "C/elsewhere.txt"), "");
    EXPECT_EQ(test_support::ReadHostFile(folder.path() / "C/open.txt"), "flushed");
    EXPECT_EQ(test_support::ReadHostFile(folder.path() / "C/before.txt"), "written before the run");
}

}  // namespace
