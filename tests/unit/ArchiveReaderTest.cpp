// The reader against archives of known bytes. The first test is the oracle: every byte of its
// archive is written out here, none by our writer or our compressor, so it shows that the
// reader (and with the other tests, the writer) agree with the format and not merely with each
// other. Damage of every kind is swept in ArchiveTortureTest; the naming rules are in
// ArchiveRulesTest.

#include "tests/unit/ArchiveTestSupport.h"

#include "setup/ProductPaths.h"
#include "sfx/EntryName.h"

using namespace archive_test;

namespace {

int ReadDirectory(SfxExtractor& reader, const std::string& bytes) {
    MemoryFile file(bytes);
    return reader.ReadDirectory(file);
}

TEST(ArchiveReaderTest, ArchiveWrittenByHandIsReadAndExtracted) {
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
    MemoryFile archive(std::string(reinterpret_cast<const char*>(bytes), sizeof(bytes)));
    MemoryTarget target;
    SfxExtractor extractor;
    std::vector<std::string> order;
    auto record = [](int code, void* param, void* context) {
        if (code == EXTRACT_ENTRY_DONE) {
            static_cast<std::vector<std::string>*>(context)->push_back(
                std::string(static_cast<ArchiveEntry*>(param)->m_name));
        }
        return 0;
    };
    ASSERT_EQ(extractor.Extract(archive, target, record, &order), SFX_OK);
    EXPECT_EQ(order, (std::vector<std::string>{"ZIL.ini", "hello.txt"}));
    std::string ini;
    for (int i = 0; i < 50; ++i) {
        ini += "ZIL ";
    }
    EXPECT_EQ(target.files(),
              (std::map<std::string, std::string>{{"hello.txt", "hello\r\n"}, {"ZIL.ini", ini}}));
    EXPECT_EQ(extractor.Entry(1).m_offset, 20u);
    EXPECT_EQ(extractor.Entry(1).m_packedSize, 15u);
}

TEST(ArchiveReaderTest, DirectoryIsReadBackwardsIntoFileOrder) {
    std::string image = RandomBytes(77824, 4);
    std::vector<TestEntry> entries = {{"zeta.bmp", TextBytes(3000), ""},
                                      {"alpha.exe", RandomBytes(100, 5), ""},
                                      {"empty", "", ""},
                                      {"mid.ini", "[x]", ""}};
    std::string archive = BuildArchive(entries, image);
    SfxExtractor reader;
    ASSERT_EQ(ReadDirectory(reader, archive), SFX_OK);
    ASSERT_EQ(reader.m_entryCount, 4);
    std::uint32_t offset = static_cast<std::uint32_t>(image.size());
    for (int i = 0; i < 4; ++i) {
        const ArchiveEntry& entry = reader.Entry(i);
        EXPECT_EQ(std::string(entry.m_name), entries[i].name);
        EXPECT_EQ(entry.m_size, entries[i].data.size());
        EXPECT_EQ(entry.m_offset, offset);
        EXPECT_EQ(static_cast<unsigned char>(archive[offset]), 0x78);
        EXPECT_EQ(static_cast<unsigned char>(archive[offset + 1]),
                  0x9C);  // the level field says "default" whatever the data
        offset += entry.m_packedSize;
    }
    EXPECT_EQ(RecordAt(archive, 0), offset);

    // A zero byte ends a name early.
    archive[RecordField(archive, 0, SFX_RECORD_NAME) + 4] = '\0';
    ASSERT_EQ(ReadDirectory(reader, archive), SFX_OK);
    EXPECT_EQ(reader.Entry(0).m_name, "zeta");
}

// The limits themselves are accepted, one past them refused: 256 entries, the longest name
// whose path stays within Windows' limit in every folder it lands in.
TEST(ArchiveReaderTest, LimitsHoldExactly) {
    std::vector<TestEntry> many;
    for (int i = 0; i < SFX_MAX_ENTRIES; ++i) {
        // Not "f" + ...: GCC 12 at -O3 takes that for an overlapping copy (-Wrestrict).
        std::string name = "f";
        name += std::to_string(i);
        many.push_back({name, std::to_string(i), ""});
    }
    std::vector<TestEntry> tooMany = many;
    tooMany.push_back({"one more", "", ""});
    struct Case {
        std::vector<TestEntry> entries;
        int result;
    };
    for (const Case& c :
         {Case{many, SFX_OK}, Case{tooMany, SFX_ERR_SIGNATURE},
          Case{{{std::string(SFX_MAX_TARGET_NAME, 'n'), "long", ""}}, SFX_OK},
          Case{{{std::string(SFX_MAX_TARGET_NAME + 1, 'n'), "long", ""}}, SFX_ERR_SIGNATURE}}) {
        SfxExtractor reader;
        EXPECT_EQ(ReadDirectory(reader, BuildArchive(c.entries)), c.result) << c.entries.size();
        EXPECT_EQ(reader.m_entryCount, c.result == SFX_OK ? static_cast<int>(c.entries.size()) : 0);
    }
}

}  // namespace
