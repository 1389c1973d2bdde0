#include "tests/unit/ArchiveTestSupport.h"

#include <sys/stat.h>

#include <cstring>
#include <sstream>

#include "res/StringTable.h"
#include "res/resource.h"
#include "setup/ProductPaths.h"
#include "sfx/EntryName.h"
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
                   {"zeros.dat", std::string(100000, '\0')},
                   {"ZIL_Service.exe", "MZ" + RandomBytes(5000, 13)}};
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
    std::vector<std::string> names = {"B file.bin", "ZIL_Service.exe", "a.txt", "empty",
                                      "zeros.dat"};
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
        EXPECT_EQ(static_cast<unsigned char>(archive[at + 1]),
                  0x9C);  // the level field says "default" whatever the data
        offset += packed;
    }
    EXPECT_FALSE(std::getline(lines, line));

    EXPECT_EQ(Sfxpack("verify " + P("a.sfx")).status, 0);
    ToolRun extract = Sfxpack("extract " + P("a.sfx") + " " + P("out"));
    EXPECT_EQ(extract.status, 0);
    EXPECT_EQ(extract.output, "5 files extracted successfully\n");
    for (const auto& [name, data] : m_files) {
        EXPECT_EQ(ReadHostFile(m_dir / "out" / name), data) << name;
    }
    EXPECT_EQ(Sfxpack("--version").status, 0);
}

TEST_F(SfxpackTest, EntriesPastTheWholeEntryLimitAreDeflatedByZlibInChunks) {
    // The limit lowered so that entries cross it cheaply, on the path of a real entry past it.
    constexpr std::size_t limit = 100000;
    struct Row {
        std::string name;
        std::string data;
        bool chunked;
    };
    std::string mixed = TextBytes(limit / 2) + RandomBytes(limit / 2, 13);
    std::vector<Row> rows = {{"empty", "", false},
                             {"at the limit", mixed, false},
                             {"one past", mixed + "x", true},
                             {"far past", TextBytes(3 * limit + 5), true},
                             {SETUP_SERVICE_ENTRY, TextBytes(limit), false}};
    std::vector<TestEntry> entries;
    for (const Row& row : rows) {
        entries.push_back({row.name, row.data, ""});
    }
    std::string archive = BuildArchive(entries, "", limit);
    EXPECT_EQ(BuildArchive(entries, "", limit), archive);
    for (std::size_t k = 0; k < rows.size(); ++k) {
        std::string stream = archive.substr(Field(archive, k, SFX_RECORD_OFFSET),
                                            Field(archive, k, SFX_RECORD_PACKED_SIZE));
        // zlib's own best level, fed in one piece, gives the chunked stream byte for byte but
        // the header's level field, which says "default" (0x9C); the whole-entry compressor must
        // beat it.
        ASSERT_GE(stream.size(), 2u);
        EXPECT_EQ(static_cast<unsigned char>(stream[1]), 0x9C) << rows[k].name;
        if (rows[k].chunked) {
            std::string expected = ZlibStream(rows[k].data);
            expected[1] = static_cast<char>(0x9C);
            EXPECT_TRUE(stream == expected) << rows[k].name;
        } else if (!rows[k].data.empty()) {
            EXPECT_LT(stream.size(), ZlibStream(rows[k].data).size()) << rows[k].name;
        }
    }
    WriteHostFile(m_dir / "limit.sfx", archive);
    EXPECT_EQ(Sfxpack("verify " + P("limit.sfx")).status, 0);
    ASSERT_EQ(Sfxpack("extract " + P("limit.sfx") + " " + P("out")).status, 0);
    for (const Row& row : rows) {
        EXPECT_EQ(ReadHostFile(m_dir / "out" / row.name), row.data) << row.name;
    }
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
    for (int i = 0; i < SFX_MAX_ENTRIES; ++i) {
        // Not "f" + ...: GCC 12 at -O3 takes that for an overlapping copy (-Wrestrict).
        std::string name = "f";
        name += std::to_string(i);
        WriteHostFile(m_dir / "many" / name, "x");
    }
    WriteHostFile(m_dir / "many" / "one more", "x");
    refused(P("many"));
    fs::create_directory(m_dir / "other");
    WriteHostFile(m_dir / "other" / "A.TXT", "clash");
    refused(P("in") + " " + P("other"));
    refused(P("in/missing.txt"));
    fs::create_directory(m_dir / "void");
    refused(P("void"));
    // The boundaries themselves pass: 256 entries; names as long as a path on Windows allows.
    fs::remove(m_dir / "many" / "one more");
    EXPECT_EQ(Sfxpack("create -o " + P("256.sfx") + " " + P("many")).status, 0);
    EXPECT_EQ(ArchiveWriter::CheckNames({std::string(SFX_MAX_TARGET_NAME, 'n')}), "");
    EXPECT_NE(ArchiveWriter::CheckNames({std::string(SFX_MAX_TARGET_NAME + 1, 'n')}), "");
}

TEST_F(SfxpackTest, CreateNeverWritesOverItsInputs) {
    std::string stub = "MZ" + RandomBytes(3000, 12);
    WriteHostFile(m_dir / "stub.exe", stub);
    WriteHostFile(m_dir / "previous.sfx", "an older archive");
    fs::create_directory_symlink(m_dir / "in", m_dir / "alias");
    fs::create_hard_link(m_dir / "in" / "a.txt", m_dir / "hard.txt");
    struct Case {
        std::string arguments;
        const char* output;
        const char* what;
    };
    for (const Case& c : {Case{"-o stub.exe --stub stub.exe in", "stub.exe", "the stub"},
                          Case{"-o in/a.txt in", "in/a.txt", "an input"},
                          Case{"-o hard.txt in", "hard.txt", "a hard link to an input"},
                          Case{"-o in/new.sfx in", "in/new.sfx", "a new file in an input folder"},
                          Case{"-o alias/new.sfx in", "in/new.sfx", "the folder by another name"},
                          Case{"-o in/../in/new.sfx --stub stub.exe in", "in/new.sfx", "dot-dot"},
                          Case{"-o previous.sfx in/a.txt stub.exe alias/a.txt", "previous.sfx",
                               "a duplicate after the output was checked"}}) {
        std::string command = "create";
        std::istringstream words(c.arguments);
        for (std::string word; words >> word;) {
            command += " " + (word[0] == '-' ? word : P(word));
        }
        ToolRun run = Sfxpack(command);
        EXPECT_EQ(run.status, 1) << c.what;
        EXPECT_NE(run.output.find("refused"), std::string::npos) << c.what << ": " << run.output;
        EXPECT_EQ(ReadHostFile(m_dir / "stub.exe"), stub) << c.what;
        EXPECT_EQ(ReadHostFile(m_dir / "previous.sfx"), "an older archive") << c.what;
        for (const auto& [name, data] : m_files) {
            EXPECT_EQ(ReadHostFile(m_dir / "in" / name), data) << c.what << ": " << name;
        }
        EXPECT_FALSE(fs::exists(m_dir / "in" / "new.sfx")) << c.what;
        for (const auto& item : fs::recursive_directory_iterator(m_dir)) {
            EXPECT_NE(item.path().extension(), ".partial") << c.what << ": " << item.path();
        }
    }
    // A good run replaces the older archive in one step.
    ASSERT_EQ(Sfxpack("create -o " + P("previous.sfx") + " " + P("in")).status, 0);
    EXPECT_EQ(Sfxpack("verify " + P("previous.sfx")).status, 0);
    EXPECT_FALSE(fs::exists(m_dir / "previous.sfx.partial"));
    // An input (or a link) with the name of the archive being written is neither deleted nor
    // written to: the archive is written under another name.
    WriteHostFile(m_dir / "next.sfx.partial", "an input");
    fs::create_symlink(m_dir / "stub.exe", m_dir / "next.sfx.partial.1");
    ASSERT_EQ(Sfxpack("create -o " + P("next.sfx") + " " + P("next.sfx.partial")).status, 0);
    EXPECT_EQ(ReadHostFile(m_dir / "next.sfx.partial"), "an input");
    EXPECT_EQ(ReadHostFile(m_dir / "stub.exe"), stub);
    EXPECT_NE(Sfxpack("list " + P("next.sfx")).output.find("next.sfx.partial"), std::string::npos);
}

TEST_F(SfxpackTest, CreatePacksOnlyRegularFiles) {
    fs::create_directory(m_dir / "odd");
    WriteHostFile(m_dir / "odd" / "plain.txt", "plain");
    auto refused = [&](const std::string& inputs, const std::string& what) {
        ToolRun run = Sfxpack("create -o " + P("odd.sfx") + " " + inputs);
        EXPECT_EQ(run.status, 1) << what;
        EXPECT_NE(run.output.find("only regular files are packed"), std::string::npos)
            << what << ": " << run.output;
        EXPECT_FALSE(fs::exists(m_dir / "odd.sfx")) << what;
    };
    fs::create_symlink(m_dir / "in" / "a.txt", m_dir / "odd" / "link.txt");
    refused(P("odd"), "a link in a folder");
    refused(P("odd/link.txt"), "a link named");
    fs::remove(m_dir / "odd" / "link.txt");
    // Opened for reading, a pipe without a writer would hold the packer forever.
    ASSERT_EQ(::mkfifo((m_dir / "odd" / "pipe").c_str(), 0600), 0);
    refused(P("odd"), "a pipe in a folder");
    fs::remove(m_dir / "odd" / "pipe");
    refused("/dev/null", "a device");
    fs::create_directory_symlink(m_dir / "in", m_dir / "odd" / "folder");
    refused(P("odd"), "a link to a folder");
    fs::remove(m_dir / "odd" / "folder");
    EXPECT_EQ(Sfxpack("create -o " + P("odd.sfx") + " " + P("odd")).status, 0);
    ToolRun stub = Sfxpack("create -o " + P("odd2.sfx") + " --stub /dev/zero " + P("odd"));
    EXPECT_EQ(stub.status, 1);
    EXPECT_NE(stub.output.find("only regular files are packed"), std::string::npos) << stub.output;
}

TEST(ArchiveWriterTest, FileThatChangesSizeWhilePackedFails) {
    // A log that another program writes to while it is packed: one more line after every read
    // (appended where the packer has already been, so it reads the old bytes only).
    class GrowingFile : public MemoryFile {
    public:
        using MemoryFile::MemoryFile;
        Win32Error read(void* buffer, std::uint32_t count, std::uint32_t& bytesRead) override {
            m_appended += 14;
            return MemoryFile::read(buffer, count, bytesRead);
        }
        Win32Error length(std::uint64_t& bytes) override {
            MemoryFile::length(bytes);
            bytes += m_appended;
            return WIN_OK;
        }

    private:
        std::uint64_t m_appended = 0;
    };
    MemoryFile out;
    ArchiveWriter writer(out, 0);
    String error;
    GrowingFile growing(TextBytes(200000));
    EXPECT_FALSE(writer.AddFile("log.txt", growing, error));
    EXPECT_NE(error.find("changed size while it was packed"), std::string::npos) << error;
    MemoryFile steady(TextBytes(200000));
    EXPECT_TRUE(writer.AddFile("steady.txt", steady, error)) << error;

    // A file longer than its length said, read whole or in chunks.
    class LongerThanSaid : public MemoryFile {
    public:
        using MemoryFile::MemoryFile;
        Win32Error length(std::uint64_t& bytes) override {
            MemoryFile::length(bytes);
            bytes -= 50000;
            return WIN_OK;
        }
    };
    for (std::uint64_t limit : {SFX_WHOLE_ENTRY_LIMIT, std::uint64_t{1000}}) {
        MemoryFile archive;
        ArchiveWriter limited(archive, 0, limit);
        LongerThanSaid longer(TextBytes(200000));
        EXPECT_FALSE(limited.AddFile("longer.txt", longer, error)) << limit;
        EXPECT_NE(error.find("while it was"), std::string::npos) << error;
    }
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
    std::uint32_t offset = Field(gapped, 1, SFX_RECORD_OFFSET);
    gapped.insert(offset, "G");
    gapped = WithField(gapped, 1, SFX_RECORD_OFFSET, offset + 1);
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
        EXPECT_GE(id, IDS_EXTRACT_NO_DATA);
        EXPECT_LE(id, IDS_EXTRACT_INCOMPLETE);
        String text = ExtractOutcomeText(result, 7);
        EXPECT_FALSE(text.empty());
        EXPECT_EQ(id == IDS_EXTRACT_INTERNAL, text == StringTableText(IDS_EXTRACT_INTERNAL))
            << result;
    }
    EXPECT_EQ(ExtractOutcomeText(SFX_OK, 92), "92 files extracted successfully");
    EXPECT_EQ(ExtractOutcomeText(SFX_ERR_NO_DATA, 0), ExtractOutcomeText(SFX_ERR_SIGNATURE, 0));
    EXPECT_NE(ExtractOutcomeText(SFX_ERR_CORRUPT, 0), ExtractOutcomeText(SFX_ERR_WRITE, 0));
}

}  // namespace
