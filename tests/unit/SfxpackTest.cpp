#include "tests/unit/ArchiveTestSupport.h"

#include <cstring>
#include <sstream>

#include "sfx/ExtractOutcome.h"

using namespace archive_test;

namespace {

class SfxpackTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(m_dir / "in");
        m_files = {{"a.txt", TextBytes(30000)},
                   {"B file.bin", RandomBytes(20000, 11)},
                   {"empty", ""},
                   {"zeros.dat", std::string(100000, '\0')}};
        for (const auto& [name, data] : m_files) {
            WriteHostFile(m_dir / "in" / name, data);
        }
    }
    std::string P(const std::string& relative) const {
        return "'" + (m_dir / relative).string() + "'";
    }

    test_support::ScratchFolder m_folder{"zil-sfxpack-test"};
    fs::path m_dir = m_folder.path();
    std::vector<std::pair<std::string, std::string>> m_files;
};

TEST_F(SfxpackTest, FolderRoundTripsByteForByte) {
    WriteHostFile(m_dir / "stub.exe", "MZ" + RandomBytes(3000, 12));
    ASSERT_EQ(
        Sfxpack("create -o " + P("a.sfx") + " --stub " + P("stub.exe") + " " + P("in")).status, 0);
    ASSERT_EQ(
        Sfxpack("create -o " + P("b.sfx") + " --stub " + P("stub.exe") + " " + P("in")).status, 0);
    std::string archive = ReadHostFile(m_dir / "a.sfx");
    EXPECT_EQ(archive, ReadHostFile(m_dir / "b.sfx"));
    EXPECT_EQ(archive.substr(0, 3002), ReadHostFile(m_dir / "stub.exe"));

    ToolRun list = Sfxpack("list " + P("a.sfx"));
    ASSERT_EQ(list.status, 0);
    // Sorted by name; offsets contiguous from the end of the stub.
    std::vector<std::string> names = {"B file.bin", "a.txt", "empty", "zeros.dat"};
    std::istringstream lines(list.output);
    std::string line;
    std::uint64_t offset = 3002;
    for (std::size_t i = 0; i < names.size(); ++i) {
        ASSERT_TRUE(std::getline(lines, line));
        unsigned index = 0, at = 0, size = 0, packed = 0;
        char name[256] = {};
        ASSERT_EQ(std::sscanf(line.c_str(), "%u\t%u\t%u\t%u\t%255[^\n]", &index, &at, &size,
                              &packed, name),
                  5)
            << line;
        EXPECT_EQ(index, i);
        EXPECT_EQ(at, offset);
        EXPECT_EQ(name, names[i]);
        EXPECT_EQ(static_cast<unsigned char>(archive[at]), 0x78);
        EXPECT_EQ(static_cast<unsigned char>(archive[at + 1]), 0x9C);
        offset += packed;
    }
    EXPECT_FALSE(std::getline(lines, line));

    EXPECT_EQ(Sfxpack("verify " + P("a.sfx")).status, 0);
    ToolRun extract = Sfxpack("extract " + P("a.sfx") + " " + P("out"));
    EXPECT_EQ(extract.status, 0);
    EXPECT_EQ(extract.output, "4 files extracted successfully\n");
    for (const auto& [name, data] : m_files) {
        EXPECT_EQ(ReadHostFile(m_dir / "out" / name), data) << name;
    }
    EXPECT_EQ(Sfxpack("--version").status, 0);
}

TEST_F(SfxpackTest, RefusalsLeaveNoOutput) {
    auto refused = [&](const std::string& inputs) {
        WriteHostFile(m_dir / "old.sfx", "previous");
        ToolRun run = Sfxpack("create -o " + P("new.sfx") + " " + inputs);
        EXPECT_NE(run.status, 0) << inputs;
        EXPECT_NE(run.output.find("refused"), std::string::npos) << run.output;
        EXPECT_FALSE(fs::exists(m_dir / "new.sfx")) << inputs;
    };
    fs::create_directories(m_dir / "nested" / "inner");
    refused(P("nested"));
    for (const char* bad : {"CON", "lpt1.txt", "trailing.", "a\\b", "what?", "sp "}) {
        fs::create_directory(m_dir / "bad");
        WriteHostFile(m_dir / "bad" / bad, "x");
        refused(P("bad"));
        fs::remove_all(m_dir / "bad");
    }
    fs::create_directory(m_dir / "many");
    for (int i = 0; i < 257; ++i) {
        WriteHostFile(m_dir / "many" / ("f" + std::to_string(i)), "x");
    }
    refused(P("many"));
    fs::create_directory(m_dir / "other");
    WriteHostFile(m_dir / "other" / "A.TXT", "clash");
    refused(P("in") + " " + P("other"));
    refused(P("in/missing.txt"));
    fs::create_directory(m_dir / "void");
    refused(P("void"));
    // The boundaries themselves pass: 256 entries; names up to 1,000 bytes.
    fs::remove(m_dir / "many" / "f256");
    EXPECT_EQ(Sfxpack("create -o " + P("256.sfx") + " " + P("many")).status, 0);
    EXPECT_EQ(ArchiveWriter::CheckNames({std::string(1000, 'n')}), "");
    EXPECT_NE(ArchiveWriter::CheckNames({std::string(1001, 'n')}), "");
}

TEST_F(SfxpackTest, DamageIsNamedAndExitCodesTellTheOutcome) {
    ASSERT_EQ(Sfxpack("create -o " + P("a.sfx") + " " + P("in")).status, 0);
    std::string archive = ReadHostFile(m_dir / "a.sfx");

    WriteHostFile(m_dir / "plain", "MZ not an archive");
    EXPECT_EQ(Sfxpack("list " + P("plain")).status, 2);
    EXPECT_EQ(Sfxpack("verify " + P("plain")).status, 2);
    ToolRun none = Sfxpack("extract " + P("plain") + " " + P("out"));
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.output, std::string(ExtractOutcomeText(SFX_ERR_SIGNATURE, 0)) + "\n");
    EXPECT_EQ(none.output, "Archive contins no data. Extraction cannot continue.\n");

    // A damaged stream: verify names the entry, extract says the archive is damaged.
    std::string damaged = archive;
    damaged[100] = static_cast<char>(damaged[100] ^ 0xFF);  // inside entry 0 ("B file.bin")
    WriteHostFile(m_dir / "damaged.sfx", damaged);
    ToolRun verify = Sfxpack("verify " + P("damaged.sfx"));
    EXPECT_EQ(verify.status, 1);
    EXPECT_NE(verify.output.find("entry 0 (B file.bin)"), std::string::npos) << verify.output;
    ToolRun extract = Sfxpack("extract " + P("damaged.sfx") + " " + P("out2"));
    EXPECT_EQ(extract.status, 1);
    EXPECT_EQ(extract.output, ExtractOutcomeText(SFX_ERR_CORRUPT, 4) + "\n");
    EXPECT_FALSE(fs::exists(m_dir / "out2" / "B file.bin"));

    // A gap between streams: the directory is refused by both, before anything is written.
    std::vector<TestEntry> entries = {{"one", "first", ""}, {"two", "second", ""}};
    std::string gapped = BuildArchive(entries);
    std::uint32_t offset = 0;
    std::memcpy(&offset, gapped.data() + RecordField(gapped, entries, 1, 0), 4);
    gapped.insert(offset, "G");
    PutNumber(gapped, RecordField(gapped, entries, 1, 0), offset + 1);
    WriteHostFile(m_dir / "gapped.sfx", gapped);
    ToolRun gap = Sfxpack("verify " + P("gapped.sfx"));
    EXPECT_EQ(gap.status, 2);
    EXPECT_NE(gap.output.find("entry 1 (two): stream starts at"), std::string::npos) << gap.output;
    EXPECT_EQ(Sfxpack("extract " + P("gapped.sfx") + " " + P("out3")).status, 1);
    EXPECT_TRUE(fs::is_empty(m_dir / "out3"));
}

TEST(ExtractOutcomeTest, EveryResultHasItsTableText) {
    for (int result = 990; result < 1020; ++result) {
        int id = ExtractOutcomeStringId(result);
        EXPECT_GE(id, 3);
        EXPECT_LE(id, 8);
        std::string text = ExtractOutcomeText(result, 7);
        EXPECT_FALSE(text.empty());
        EXPECT_EQ(id == 5, text == "Internal Error") << result;
    }
    EXPECT_EQ(ExtractOutcomeText(SFX_OK, 92), "92 files extracted successfully");
    EXPECT_EQ(ExtractOutcomeText(SFX_ERR_NO_DATA, 0), ExtractOutcomeText(SFX_ERR_SIGNATURE, 0));
    EXPECT_NE(ExtractOutcomeText(SFX_ERR_CORRUPT, 0), ExtractOutcomeText(SFX_ERR_WRITE, 0));
}

}  // namespace
