#include "tests/unit/ArchiveTestSupport.h"

#include "sfx/EntryName.h"

using namespace archive_test;

namespace {

class ArchiveReaderTest : public MachineTest {
protected:
    int Read(const std::string& bytes) {
        UseArchive(bytes);
        SfxExtractor reader(*m_files);
        int result = reader.ReadDirectory(m_archivePath);
        m_count = reader.m_entryCount;
        return result;
    }
    // Extracts and checks that nothing was written outside the target folder and that only
    // safe names were written inside it.
    int ExtractConfined(const std::string& bytes) {
        UseArchive(bytes);
        SfxExtractor extractor(*m_files);
        int result = extractor.Extract("C:\\T", nullptr, nullptr);
        for (const std::string& file : MachineFiles()) {
            EXPECT_EQ(file.rfind("C/T/", 0), 0u) << file;
            EXPECT_TRUE(IsSafeEntryName(file.substr(4))) << file;
        }
        fs::remove_all(Target());
        fs::create_directory(Target());
        return result;
    }
    int m_count = 0;
};

TEST_F(ArchiveReaderTest, DirectoryIsReadBackwardsIntoFileOrder) {
    std::string image = RandomBytes(77824, 4);
    std::vector<TestEntry> entries = {{"zeta.bmp", TextBytes(3000), ""},
                                      {"alpha.exe", RandomBytes(100, 5), ""},
                                      {"empty", "", ""},
                                      {"mid.ini", "[x]", ""}};
    std::string archive = BuildArchive(entries, image);
    ASSERT_EQ(Read(archive), SFX_OK);
    SfxExtractor reader(*m_files);
    ASSERT_EQ(reader.ReadDirectory(m_archivePath), SFX_OK);
    ASSERT_EQ(reader.m_entryCount, 4);
    std::uint32_t offset = static_cast<std::uint32_t>(image.size());
    std::uint64_t directory = 0;
    for (int i = 0; i < 4; ++i) {
        const ArchiveEntry& entry = reader.Entry(i);
        EXPECT_EQ(entry.m_name, entries[i].name);
        EXPECT_EQ(entry.m_size, entries[i].data.size());
        EXPECT_EQ(entry.m_offset, offset);
        EXPECT_EQ(static_cast<unsigned char>(archive[offset]), 0x78);
        EXPECT_EQ(static_cast<unsigned char>(archive[offset + 1]), 0xDA);  // the strongest level
        offset += entry.m_packedSize;
        directory += 16 + entry.m_name.size();
    }
    EXPECT_EQ(archive.size(), offset + directory + SFX_TRAILER_SIZE);

    // A zero byte ends a name early.
    std::string zeroed = archive;
    std::size_t name = RecordField(archive, entries, 0, 12);
    zeroed[name + 4] = '\0';
    ASSERT_EQ(reader.ReadDirectory(m_archivePath), SFX_OK);
    UseArchive(zeroed);
    ASSERT_EQ(reader.ReadDirectory(m_archivePath), SFX_OK);
    EXPECT_EQ(reader.Entry(0).m_name, "zeta");
}

TEST_F(ArchiveReaderTest, ArchiveWrittenByHandIsReadAndExtracted) {
    // Every byte written out here, none by our writer or our compressor.
    const unsigned char bytes[] = {
        'M', 'Z',  // the image
        // stream 0, by hand: zlib header (deflate, 32 KiB window), one final stored block of
        // 7 bytes (length, its complement), "hello\r\n", the Adler-32 of those 7 bytes
        0x78, 0x01, 0x01, 0x07, 0x00, 0xF8, 0xFF, 'h', 'e', 'l', 'l', 'o', '\r', '\n', 0x0A, 0x7A,
        0x02, 0x2C,
        // stream 1, from Python's zlib at level 9: "ZIL " 50 times, 200 bytes
        0x78, 0xDA, 0x8B, 0xF2, 0xF4, 0x51, 0x88, 0x1A, 0x06, 0x18, 0x00, 0xDA, 0x16, 0x34, 0xEF,
        // record 0: offset 2, size 7, packed size 18, "hello.txt", name length 9
        0x02, 0, 0, 0, 0x07, 0, 0, 0, 0x12, 0, 0, 0, 'h', 'e', 'l', 'l', 'o', '.', 't', 'x', 't',
        0x09, 0, 0, 0,
        // record 1: offset 20, size 200, packed size 15, "ZIL.ini", name length 7
        0x14, 0, 0, 0, 0xC8, 0, 0, 0, 0x0F, 0, 0, 0, 'Z', 'I', 'L', '.', 'i', 'n', 'i', 0x07, 0, 0,
        0,
        // trailer: 2 entries, version, magic
        0x02, 0, 0, 0, '1', '.', '1', '0', '!', 'Q', 'O', 'R', 'A', '_', 'S', 'F', 'X', '!'};
    UseArchive(std::string(reinterpret_cast<const char*>(bytes), sizeof(bytes)));
    SfxExtractor extractor(*m_files);
    std::vector<std::string> order;
    auto record = [](int code, void* param, void* context) {
        if (code == EXTRACT_ENTRY_DONE) {
            static_cast<std::vector<std::string>*>(context)->push_back(
                static_cast<ArchiveEntry*>(param)->m_name);
        }
        return 0;
    };
    ASSERT_EQ(extractor.Extract("C:\\T", record, &order), SFX_OK);
    EXPECT_EQ(order, (std::vector<std::string>{"ZIL.ini", "hello.txt"}));
    EXPECT_EQ(ReadHostFile(Target() / "hello.txt"), "hello\r\n");
    std::string ini;
    for (int i = 0; i < 50; ++i) {
        ini += "ZIL ";
    }
    EXPECT_EQ(ReadHostFile(Target() / "ZIL.ini"), ini);
    EXPECT_EQ(extractor.Entry(1).m_offset, 20u);
    EXPECT_EQ(extractor.Entry(1).m_packedSize, 15u);
}

TEST_F(ArchiveReaderTest, FieldsOutsideTheirBoundsAreRejected) {
    std::vector<TestEntry> entries = {{"a.txt", TextBytes(5000), ""}, {"b.txt", "bee", ""}};
    const std::string archive = BuildArchive(entries, "IMAGE");
    auto patched = [&](std::size_t position, std::uint32_t value) {
        std::string bytes = archive;
        PutNumber(bytes, position, value);
        return bytes;
    };
    std::size_t count = archive.size() - SFX_TRAILER_SIZE;
    std::size_t nameLength = count - 4;
    std::size_t offset0 = RecordField(archive, entries, 0, 0);
    std::size_t packed0 = RecordField(archive, entries, 0, 8);
    std::size_t dataEnd = RecordField(archive, entries, 0, 0);
    for (const std::string& bad :
         {patched(count, 257), patched(count, 3), patched(count, 0xFFFFFFFF),
          patched(nameLength, 1001), patched(nameLength, 0x7FFFFFFF),
          patched(nameLength, static_cast<std::uint32_t>(archive.size())),
          patched(offset0, static_cast<std::uint32_t>(dataEnd)), patched(offset0, 0xFFFFFFF0),
          patched(packed0, static_cast<std::uint32_t>(dataEnd)), patched(packed0, 0xFFFFFFFF)}) {
        EXPECT_EQ(Read(bad), SFX_ERR_SIGNATURE);
        EXPECT_EQ(m_count, 0);
        EXPECT_EQ(ExtractConfined(bad), SFX_ERR_SIGNATURE);
        EXPECT_TRUE(MachineFiles().empty());
    }
    // The limits themselves are accepted: a 1,000-byte name, 256 entries.
    std::vector<TestEntry> many;
    for (int i = 0; i < 256; ++i) {
        // Not "f" + ...: GCC 12 at -O3 takes that for an overlapping copy (-Wrestrict).
        std::string name = "f";
        name += std::to_string(i);
        many.push_back({name, std::to_string(i), ""});
    }
    EXPECT_EQ(Read(BuildArchive(many)), SFX_OK);
    EXPECT_EQ(m_count, 256);
    many.push_back({"f256", "256", ""});
    EXPECT_EQ(Read(BuildArchive(many)), SFX_ERR_SIGNATURE);
    // The longest name whose path stays within Windows' limit in every folder it lands in.
    EXPECT_EQ(Read(BuildArchive({{std::string(SFX_MAX_TARGET_NAME, 'n'), "long", ""}})), SFX_OK);
    EXPECT_EQ(Read(BuildArchive({{std::string(SFX_MAX_TARGET_NAME + 1, 'n'), "long", ""}})),
              SFX_ERR_SIGNATURE);
}

TEST_F(ArchiveReaderTest, NamesThatLeaveTheTargetRejectTheWholeArchive) {
    for (const std::string& name : std::vector<std::string>{"..",
                                                            ".",
                                                            "",
                                                            "COM0",
                                                            "lpt0.txt",
                                                            "COM\xB9",
                                                            "LPT\xB3.x",
                                                            "ICONs",
                                                            "icons",
                                                            "..\\evil.exe",
                                                            "a\\b",
                                                            "a/b",
                                                            "/etc",
                                                            "C:evil",
                                                            "x:y",
                                                            "CON",
                                                            "con",
                                                            "Con.txt",
                                                            "PRN",
                                                            "AUX.log",
                                                            "NUL",
                                                            "nul.tar.gz",
                                                            "COM1",
                                                            "com9.x",
                                                            "LPT1",
                                                            "lpt9",
                                                            "CON .txt",
                                                            "CONIN$",
                                                            "a.",
                                                            "a ",
                                                            "...",
                                                            "a|b",
                                                            "a<b",
                                                            "a>b",
                                                            "a\"b",
                                                            "a?b",
                                                            "a*b",
                                                            std::string("a\x01"),
                                                            std::string("tab\tname")}) {
        std::string archive = BuildArchive({{"good.txt", "fine", ""}, {name, "payload", ""}});
        EXPECT_EQ(Read(archive), SFX_ERR_SIGNATURE) << name;
        EXPECT_EQ(ExtractConfined(archive), SFX_ERR_SIGNATURE) << name;
        EXPECT_TRUE(MachineFiles().empty()) << name;
    }
    for (const std::string& name :
         std::vector<std::string>{"COM10", "LPT", "CONSOLE.txt", "a..b", ".hidden", "ICONs.ico",
                                  "Program Files (x86).txt", "nul_device", "AUXILIARY"}) {
        EXPECT_EQ(Read(BuildArchive({{name, "ok", ""}})), SFX_OK) << name;
    }
}

TEST_F(ArchiveReaderTest, EveryTruncationIsRejectedWithoutWriting) {
    std::string archive =
        BuildArchive({{"a.txt", TextBytes(3000), ""}, {"b.bin", RandomBytes(300, 6), ""}}, "MZ");
    for (std::size_t length = 0; length < archive.size(); ++length) {
        std::string cut = archive.substr(0, length);
        int result = ExtractConfined(cut);
        EXPECT_TRUE(result == SFX_ERR_SIGNATURE || result == SFX_ERR_NO_DATA) << length;
    }
    // Cutting the front moves every stream: offsets no longer fit or no longer point at
    // a stream; either way nothing damaged is left behind.
    for (std::size_t cut = 1; cut < archive.size(); cut += 3) {
        int result = ExtractConfined(archive.substr(cut));
        EXPECT_TRUE(result == SFX_ERR_SIGNATURE || result == SFX_ERR_CORRUPT) << cut;
    }
}

TEST_F(ArchiveReaderTest, FlippedDirectoryBytesNeverEscapeOrLeaveDamage) {
    std::vector<TestEntry> entries = {{"one.txt", TextBytes(9000), ""},
                                      {"two.dat", RandomBytes(2000, 7), ""},
                                      {"three", "3", ""}};
    std::string archive = BuildArchive(entries, "stub");
    std::size_t directory = RecordField(archive, entries, 0, 0);
    for (std::size_t position = directory; position < archive.size(); ++position) {
        for (int mask : {0xFF, 0x01, 0x80}) {
            std::string flipped = archive;
            flipped[position] = static_cast<char>(flipped[position] ^ mask);
            UseArchive(flipped);
            SfxExtractor extractor(*m_files);
            extractor.Extract("C:\\T", nullptr, nullptr);
            // Whatever was extracted is whole: an entry either comes out as recorded or not at all.
            for (int i = 0; i < extractor.m_entryCount; ++i) {
                const ArchiveEntry& entry = extractor.Entry(i);
                fs::path file = Target() / entry.m_name;
                if (!entry.m_name.empty() && fs::is_regular_file(file)) {
                    EXPECT_EQ(fs::file_size(file), entry.m_size) << position;
                }
            }
            ExtractConfined(flipped);
        }
    }
}

}  // namespace
