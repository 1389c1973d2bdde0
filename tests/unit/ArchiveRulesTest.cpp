// The rules that setup's reader and the packer's verify share. Each archive here breaks one
// rule the way a hostile or careless packer would: made by the product's writer, then a record
// made to lie where the rule is about records. Setup must refuse it as verify does, before
// anything is written when the directory alone shows the fault.

#include "sfx/EntryName.h"
#include "setup/ProductPaths.h"
#include "tests/unit/ArchiveTestSupport.h"

using namespace archive_test;

namespace {

int CountDone(int code, void* param, void* context) {
    (void)param;
    *static_cast<int*>(context) += code == EXTRACT_ENTRY_DONE;
    return 0;
}

// The archive with entry k's record field moved by `by` bytes.
std::string Moved(const std::string& archive, std::size_t k, std::size_t field, int by) {
    return WithField(archive, k, field, Field(archive, k, field) + static_cast<std::uint32_t>(by));
}

class ArchiveRulesTest : public ::testing::Test {
protected:
    // Setup's verdict on the archive, extracted into an empty target.
    int Extract(const std::string& bytes) {
        MemoryFile archive(bytes);
        m_target = MemoryTarget();
        m_done = 0;
        return SfxExtractor().Extract(archive, m_target, CountDone, &m_done);
    }
    // The packer's verdict on the same file: its exit status and what it printed.
    ToolRun Verify(const std::string& bytes) {
        WriteHostFile(m_folder.path() / "verify.sfx", bytes);
        return Sfxpack("verify '" + (m_folder.path() / "verify.sfx").string() + "'");
    }
    // Both refuse the directory and nothing reaches the target.
    void ExpectRefusedUnread(const std::string& bytes, const std::string& label) {
        EXPECT_EQ(Extract(bytes), SFX_ERR_SIGNATURE) << label;
        EXPECT_EQ(m_target.createdCount(), 0) << label;
        EXPECT_EQ(Verify(bytes).status, 2) << label;
    }
    bool Extracted(const std::string& name) const { return m_target.files().count(name) != 0; }

    test_support::ScratchFolder m_folder{"zil-rules"};
    MemoryTarget m_target;
    int m_done = 0;
};

TEST_F(ArchiveRulesTest, RecordsSharingOneStreamAreRefusedBeforeAnythingIsWritten) {
    // 160 names for one small stream that inflates to 64 KiB: without the rule, 10 MiB out of a
    // few hundred bytes, and a real payload multiplies the same way.
    std::string zeros(64 * 1024, '\0');
    std::vector<TestEntry> copies;
    for (int i = 0; i < 160; ++i) {
        std::string name = "f";  // not "f" + ...: GCC 12 at -O3 warns of an overlapping copy
        name += std::to_string(i);
        copies.push_back({name, zeros, ZlibStream(zeros)});
    }
    std::string shared = BuildArchive(copies, "MZ");
    for (std::size_t k = 1; k < copies.size(); ++k) {
        shared = WithField(shared, k, SFX_RECORD_OFFSET, Field(shared, 0, SFX_RECORD_OFFSET));
    }
    ExpectRefusedUnread(shared, "160 records, one stream");

    // Two records that overlap by one byte, a gap of one byte between two streams, and one
    // between the last stream and the directory.
    std::string ab = BuildArchive({{"a", "alpha", ""}, {"b", "beta", ""}}, "MZ");
    ExpectRefusedUnread(Moved(ab, 0, SFX_RECORD_PACKED_SIZE, 1), "overlap");
    ExpectRefusedUnread(Moved(ab, 1, SFX_RECORD_OFFSET, 1), "gap");
    std::string tail = BuildArchive({{"a", "alpha", ""}, {"b", "beta", ZlibStream("beta") + "!"}});
    ExpectRefusedUnread(Moved(tail, 1, SFX_RECORD_PACKED_SIZE, -1), "gap before the directory");
}

TEST_F(ArchiveRulesTest, StreamMustEndExactlyAtItsPackedSize) {
    std::string first = TextBytes(20000);
    std::string second = TextBytes(3000);
    std::string a = ZlibStream(first);
    std::string b = ZlibStream(second);

    // Garbage after the end of a stream, counted in its packed size: the layout holds, the
    // stream does not.
    std::string garbage = BuildArchive({{"a.txt", first, a + "GARBAGE"}, {"b.txt", second, b}});
    EXPECT_EQ(Extract(garbage), SFX_ERR_CORRUPT);
    EXPECT_EQ(m_done, 1);
    EXPECT_FALSE(Extracted("a.txt"));
    EXPECT_EQ(m_target.files().at("b.txt"), second);
    ToolRun verify = Verify(garbage);
    EXPECT_EQ(verify.status, 1);
    EXPECT_NE(verify.output.find("entry 0 (a.txt)"), std::string::npos) << verify.output;

    // A packed size five bytes short, the next stream claiming the five: neither may be read
    // beyond its record, so both are damaged.
    std::string lying = BuildArchive({{"a.txt", first, a}, {"b.txt", second, b}});
    lying = Moved(lying, 0, SFX_RECORD_PACKED_SIZE, -5);
    lying = Moved(lying, 1, SFX_RECORD_OFFSET, -5);
    lying = Moved(lying, 1, SFX_RECORD_PACKED_SIZE, 5);
    EXPECT_EQ(Extract(lying), SFX_ERR_CORRUPT);
    EXPECT_EQ(m_done, 0);
    EXPECT_TRUE(m_target.files().empty());
    verify = Verify(lying);
    EXPECT_EQ(verify.status, 1);
    EXPECT_NE(verify.output.find("entry 0 (a.txt)"), std::string::npos) << verify.output;
    EXPECT_NE(verify.output.find("entry 1 (b.txt)"), std::string::npos) << verify.output;

    // A last stream five bytes short of the directory whose packed size covers them.
    std::string tail = BuildArchive({{"a.txt", first, a + "12345"}});
    EXPECT_EQ(Extract(tail), SFX_ERR_CORRUPT);
    EXPECT_EQ(Verify(tail).status, 1);
    EXPECT_TRUE(m_target.files().empty());
}

std::string Named(const std::vector<std::string>& names) {
    std::vector<TestEntry> entries;
    for (const std::string& name : names) {
        entries.push_back({name, name + " data", ""});
    }
    return BuildArchive(entries, "MZ");
}

// A name that would leave the target, name a device, the icon folder or the kept setup program,
// or that Windows would take for another entry's: the whole archive is refused, nothing extracted.
TEST_F(ArchiveRulesTest, NamesTheInstallerCannotPlaceAreRefused) {
    std::vector<std::vector<std::string>> refused = {{"a.txt", "b.txt", "A.TXT"},
                                                     {"Readme", "README"},
                                                     // Windows-1252 letters fold as ASCII ones do.
                                                     {"\xC9t\xE9.txt", "\xE9T\xC9.TXT"},
                                                     {"\x8A\x8C\x8E", "\x9A\x9C\x9E"},
                                                     {"a\xFF", "A\x9F"}};
    std::vector<std::string> bad = {
        "", ".", "..", "...", "..\\evil.exe", "a\\b", "a/b", "/etc", "C:evil", "x:y", "ICONs",
        "icons", "CON", "con", "Con.txt", "CON .txt", "CONIN$", "PRN", "AUX.log", "NUL",
        "nul.tar.gz", "COM0", "COM1", "com9.x", "LPT1", "lpt9", "lpt0.txt", "COM\xB9",
        "lpt\xB2.log", "Com\xB3", "LPT\xB3.x", "a.", "a ", "a|b", "a<b", "a>b", "a\"b", "a?b",
        "a*b", "a\x01", "a\x1F", "tab\tname",
        // The setup program the install keeps would be overwritten by the entry.
        "ZIL_Setup.exe", "zil_setup.EXE"};
    bad.push_back(std::string(SFX_MAX_TARGET_NAME + 1, 'n'));
    // The longest name that passes still fits wherever setup may move it: the set-aside image
    // folder under the last free name, moved out of the way under its own last free name.
    const std::string last = "." + std::to_string(SETUP_FREE_NAME_SUFFIXES);
    const std::string deepest = std::string(SETUP_SET_ASIDE_PATH.data()) + last +
                                SETUP_RETIRED_SUFFIX + last + "\\" + SETUP_ICON_FOLDER_NAME + "\\";
    EXPECT_EQ(deepest.size() + SFX_MAX_TARGET_NAME, SFX_MAX_PATH);
    for (const std::string& name : bad) {
        refused.push_back({"good.txt", name});
    }
    for (const std::vector<std::string>& names : refused) {
        ExpectRefusedUnread(Named(names), names.back());
    }
    for (std::vector<std::string> names : std::vector<std::vector<std::string>>{
             {"ICONs.bmp", "ICON", "ICONs2", "ICONs.ico", "ZIL_Setup.exe.bak", "ZIL_Setup"},
             {"COM10", "LPT", "COM\xB4", "COM\xB9\xB9", "CONSOLE.txt", "nul_device", "AUXILIARY"},
             {"a.txt", "a.txt.bak", "b.txt", "a..b", ".hidden", "Program Files (x86).txt"},
             {"\xD7", "\xF7", "\xDF", "SS", "\xB5", "M"}}) {
        names.push_back("zil_SERVICE.EXE");  // as Windows finds it: without case
        EXPECT_EQ(Extract(Named(names)), SFX_OK) << names.front();
        EXPECT_EQ(m_done, static_cast<int>(names.size()));
        EXPECT_EQ(Verify(Named(names)).status, 0) << names.front();
        // Without the file that the install starts, setup refuses what the reader accepts.
        names.pop_back();
        ToolRun incomplete = Verify(Named(names));
        EXPECT_EQ(incomplete.status, 2) << names.front();
        EXPECT_NE(incomplete.output.find("result " + std::to_string(SFX_ERR_INCOMPLETE)),
                  std::string::npos)
            << incomplete.output;
    }
}

}  // namespace

namespace {

// The fault a directory read gives, into a string that held something before.
std::string DirectoryFault(const std::string& bytes) {
    MemoryFile archive(bytes);
    String fault = "left over";
    EXPECT_EQ(SfxExtractor().ReadDirectory(archive, fault), SFX_ERR_SIGNATURE);
    return std::string(fault);
}

std::string Number(std::uint64_t value) {
    return std::to_string(value);
}

}  // namespace

// The log names the entry and the numbers of each fault: the whole text, nothing of an earlier
// one left in front.
TEST(ArchiveFaultTextTest, FaultsNameTheEntryAndTheNumbers) {
    std::string ab = BuildArchive({{"a", "alpha", ""}, {"b", "beta", ""}}, "MZ");
    std::uint64_t offset = Field(ab, 1, SFX_RECORD_OFFSET);
    std::uint64_t end = offset + Field(ab, 1, SFX_RECORD_PACKED_SIZE);

    std::string version = ab;
    version[version.size() - SFX_VERSION_DISTANCE] ^= 1;
    std::string misnamed = BuildArchive({{"a", "alpha", ""}, {"a\\..\\b", "beta", ""}});
    const char* problem = EntryNameFault("a\\..\\b");
    ASSERT_NE(problem, nullptr);
    struct Case {
        std::string bytes;
        String fault;
    };
    for (const Case& c : std::vector<Case>{
             {version, "no archive trailer of version " +
                           std::string(SFX_VERSION, SFX_VERSION_LENGTH) + " ends at " +
                           Number(version.size())},
             {Moved(ab, 0, SFX_RECORD_PACKED_SIZE, 1),
              "entry 1 (b): stream starts at " + Number(offset) +
                  ", not right after the previous one at " + Number(offset + 1)},
             {Moved(ab, 1, SFX_RECORD_PACKED_SIZE, -1),
              "entry 1 (b): stream ends at " + Number(end - 1) +
                  ", not where the directory starts at " + Number(end)},
             {BuildArchive({{"a", "alpha", ""}, {"A", "beta", ""}}),
              "entry 1 (A): the name of entry 0 again, ignoring case"},
             {misnamed, std::string("entry 1 (a\\..\\b): ") + problem},
         }) {
        EXPECT_EQ(DirectoryFault(c.bytes), c.fault);
    }

    // A stream that zlib refuses: the first failure is kept with its entry's label.
    std::string damaged = ab;
    damaged[Field(ab, 0, SFX_RECORD_OFFSET)] = 0;
    MemoryFile archive(damaged);
    MemoryTarget target;
    SfxExtractor extractor;
    EXPECT_EQ(extractor.Extract(archive, target, nullptr, nullptr), SFX_ERR_CORRUPT);
    const std::string prefix = "entry 0 (a): stream damaged: ";
    EXPECT_EQ(std::string(extractor.FailedEntry().substr(0, prefix.size())), prefix);
    EXPECT_GT(extractor.FailedEntry().size(), prefix.size());
}
