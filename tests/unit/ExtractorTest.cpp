#include "tests/unit/ArchiveTestSupport.h"

#include <zlib.h>

#include <functional>

using namespace archive_test;

namespace {

struct Event {
    int code;
    const void* param;
    int percent;
};

int Record(int code, void* param, void* context) {
    auto* events = static_cast<std::vector<Event>*>(context);
    int percent = code == EXTRACT_PROGRESS ? *static_cast<int*>(param) : -1;
    events->push_back({code, code == EXTRACT_PROGRESS ? nullptr : param, percent});
    return 0;
}

// The progress rule, written out independently: compressed input consumed over packed size.
int ExpectedPercent(std::uint32_t packed, std::uint32_t consumed) {
    if (packed == 0) {
        return 100;
    }
    if (static_cast<std::int32_t>(packed) > 10000000) {
        return static_cast<int>(consumed / (packed / 100));
    }
    return static_cast<int>(static_cast<std::uint32_t>(consumed * 100) / packed);
}

// The input each progress report has seen: inflate fed 4096-byte reads from the offset to the
// end of the file, into a 4096-byte window, with a report after every pass that returned Z_OK.
std::vector<std::uint32_t> ConsumedPerReport(const std::string& archive, std::uint32_t offset) {
    std::vector<std::uint32_t> consumed;
    z_stream stream{};
    EXPECT_EQ(inflateInit(&stream), Z_OK);
    unsigned char out[4096];
    std::size_t position = offset;
    while (true) {
        if (stream.avail_in == 0) {
            std::size_t take = std::min<std::size_t>(4096, archive.size() - position);
            stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(archive.data() + position));
            stream.avail_in = static_cast<uInt>(take);
            position += take;
            if (take == 0) {
                break;
            }
        }
        stream.next_out = out;
        stream.avail_out = sizeof(out);
        if (inflate(&stream, Z_NO_FLUSH) != Z_OK) {
            break;
        }
        consumed.push_back(static_cast<std::uint32_t>(stream.total_in));
    }
    inflateEnd(&stream);
    return consumed;
}

class ExtractorTest : public MachineTest {
protected:
    int Extract(const std::string& target = "C:\\T") {
        m_events.clear();
        return ExtractOwnArchive(m_extractor, *m_files, target, Record, &m_events);
    }
    std::vector<Event> m_events;
    SfxExtractor m_extractor;
};

TEST_F(ExtractorTest, StreamsOfThreeCompressorsExtractByteForByte) {
    std::vector<std::string> payloads = {"",
                                         "x",
                                         TextBytes(4096),
                                         TextBytes(4097),
                                         RandomBytes(70000, 1),
                                         TextBytes(300000),
                                         std::string(200000, '\0')};
    std::vector<TestEntry> entries;
    for (std::size_t i = 0; i < payloads.size(); ++i) {
        const std::string& data = payloads[i];
        std::string n = std::to_string(i);
        entries.push_back({"ours" + n + ".bin", data, ""});
        entries.push_back(
            {"python" + n + ".bin", data,
             Filter("python3 -c 'import sys,zlib; sys.stdout.buffer.write(zlib.compress("
                    "sys.stdin.buffer.read(), 9))'",
                    data, m_scratch)});
        entries.push_back({"pigz" + n + ".bin", data, Filter("pigz -z -c", data, m_scratch)});
    }
    UseArchive(BuildArchive(entries, RandomBytes(5000, 9)));

    ASSERT_EQ(Extract(), SFX_OK);
    EXPECT_EQ(m_extractor.m_entryCount, static_cast<int>(entries.size()));
    for (const TestEntry& entry : entries) {
        EXPECT_EQ(ReadHostFile(Target() / entry.name), entry.data) << entry.name;
    }
}

TEST_F(ExtractorTest, CallbacksRunLastEntryFirstWithRisingPercent) {
    std::vector<TestEntry> entries = {{"first.txt", TextBytes(50000), ""},
                                      {"second.bin", RandomBytes(30000, 2), ""},
                                      {"third.txt", "short", ""}};
    UseArchive(BuildArchive(entries));
    ASSERT_EQ(Extract(), SFX_OK);

    // One block per entry: BEGIN, PROGRESS..., DONE, entry 2 first.
    std::size_t at = 0;
    for (int index = 2; index >= 0; --index) {
        ASSERT_LT(at, m_events.size());
        EXPECT_EQ(m_events[at].code, EXTRACT_ENTRY_BEGIN);
        auto* entry = static_cast<const ArchiveEntry*>(m_events[at].param);
        EXPECT_EQ(std::string(entry->m_name), entries[index].name);
        int last = 0;
        for (++at; at < m_events.size() && m_events[at].code == EXTRACT_PROGRESS; ++at) {
            EXPECT_GE(m_events[at].percent, last);
            EXPECT_LE(m_events[at].percent, 100);
            last = m_events[at].percent;
        }
        ASSERT_LT(at, m_events.size());
        EXPECT_EQ(m_events[at].code, EXTRACT_ENTRY_DONE);
        EXPECT_EQ(m_events[at].param, entry);
        ++at;
    }
    EXPECT_EQ(at, m_events.size());

    // Without a callback the same files come out.
    fs::remove_all(Target());
    fs::create_directory(Target());
    EXPECT_EQ(ExtractOwnArchive(m_extractor, *m_files, "C:\\T", nullptr, nullptr), SFX_OK);
    EXPECT_EQ(ReadHostFile(Target() / "first.txt"), entries[0].data);
}

TEST_F(ExtractorTest, PercentIsConsumedInputOverPackedSize) {
    // Packed sizes of ordinary entries and one above 10,000,000 (divided by packed / 100 first).
    std::vector<TestEntry> entries = {{"big.bin", RandomBytes(10'200'000, 3), ""},
                                      {"text.txt", TextBytes(200000), ""},
                                      {"small.txt", TextBytes(90000), ""}};
    std::string archive = BuildArchive(entries);
    UseArchive(archive);
    ASSERT_EQ(Extract(), SFX_OK);
    const SfxExtractor& reader = m_extractor;
    ASSERT_GT(reader.Entry(0).m_packedSize, 10'000'000u);
    std::size_t at = 0;
    for (int index = 2; index >= 0; --index) {
        const ArchiveEntry& entry = reader.Entry(index);
        std::vector<int> reported;
        for (++at; m_events[at].code == EXTRACT_PROGRESS; ++at) {
            reported.push_back(m_events[at].percent);
        }
        ++at;  // DONE
        std::vector<int> expected;
        for (std::uint32_t consumed : ConsumedPerReport(archive, entry.m_offset)) {
            expected.push_back(ExpectedPercent(entry.m_packedSize, consumed));
        }
        EXPECT_EQ(reported, expected) << entry.m_name;
        EXPECT_FALSE(reported.empty());
    }
}

TEST_F(ExtractorTest, TargetWithOrWithoutBackslashGivesTheSamePaths) {
    std::vector<TestEntry> entries = {{"a.txt", "alpha", ""}, {"B.TXT", "beta", ""}};
    UseArchive(BuildArchive(entries));
    ASSERT_EQ(Extract("C:\\T"), SFX_OK);
    std::vector<std::string> without = MachineFiles();
    fs::remove_all(Target());
    fs::create_directory(Target());
    ASSERT_EQ(Extract("c:\\t\\"), SFX_OK);
    EXPECT_EQ(MachineFiles(), without);
    EXPECT_EQ(without, (std::vector<std::string>{"C/T/B.TXT", "C/T/a.txt"}));
}

TEST_F(ExtractorTest, MissingTargetFailsEveryEntryAndWritesNothing) {
    UseArchive(BuildArchive({{"a.txt", "alpha", ""}, {"b.txt", "beta", ""}}));
    EXPECT_EQ(Extract("C:\\Missing"), SFX_ERR_CREATE_OUTPUT);
    ASSERT_EQ(m_events.size(), 2u);
    for (const Event& event : m_events) {
        EXPECT_EQ(event.code, EXTRACT_ENTRY_BEGIN);
    }
    EXPECT_TRUE(MachineFiles().empty());
}

TEST_F(ExtractorTest, UncreatableOutputFailsOnlyItsEntry) {
    // A folder in the way of a file.
    UseArchive(BuildArchive({{"dir", "blocked", ""}, {"ok.txt", "fine", ""}}));
    fs::create_directory(Target() / "dir");
    EXPECT_EQ(Extract(), SFX_ERR_CREATE_OUTPUT);
    EXPECT_EQ(ReadHostFile(Target() / "ok.txt"), "fine");
    int done = 0;
    for (const Event& event : m_events) {
        done += event.code == EXTRACT_ENTRY_DONE;
    }
    EXPECT_EQ(done, 1);
}

TEST_F(ExtractorTest, ExistingFileIsOverwrittenAndTruncated) {
    UseArchive(BuildArchive({{"a.txt", "new", ""}}));
    WriteHostFile(Target() / "a.txt", std::string(10000, 'o'));
    ASSERT_EQ(Extract(), SFX_OK);
    EXPECT_EQ(ReadHostFile(Target() / "a.txt"), "new");
}

TEST_F(ExtractorTest, NoArchiveTouchesNothing) {
    std::string good = BuildArchive({{"a.txt", "alpha", ""}});
    std::string badVersion = good;
    badVersion[badVersion.size() - SFX_VERSION_DISTANCE] = '2';
    std::string noEntries = BuildArchive({}, "image");
    struct Case {
        std::string bytes;
        int result;
    };
    for (const Case& c : {Case{"MZ just an image, no archive behind it", SFX_ERR_SIGNATURE},
                          Case{"", SFX_ERR_SIGNATURE}, Case{SFX_MAGIC, SFX_ERR_SIGNATURE},
                          Case{badVersion, SFX_ERR_SIGNATURE}, Case{noEntries, SFX_ERR_NO_DATA}}) {
        UseArchive(c.bytes);
        EXPECT_EQ(Extract(), c.result);
        EXPECT_EQ(m_extractor.m_entryCount, 0);
        EXPECT_TRUE(m_events.empty());
        EXPECT_TRUE(MachineFiles().empty());
    }
    // A program whose file is gone when it starts has no archive to read.
    fs::remove(m_archivePath);
    m_files = std::make_unique<SimFileSystem>(*m_machine);
    EXPECT_EQ(Extract(), SFX_ERR_OPEN);
    EXPECT_TRUE(MachineFiles().empty());
}

// The download folder is the user's: once setup has started, its file may be renamed, removed or
// replaced by another archive at the same path. Every read goes on through the file opened at
// the start, so the other archive is never read, let alone installed.
TEST_F(ExtractorTest, OnlyTheFileSetupStartedFromIsRead) {
    UseArchive(BuildArchive({{"ZIL_Service.exe", "the vendor's", ""}}));
    String fault;
    ASSERT_EQ(ReadOwnDirectory(m_extractor, *m_files, fault), SFX_OK);
    std::string planted = BuildArchive({{"ZIL_Service.exe", "the user's", ""}, {"x.dll", "x", ""}});
    const std::vector<std::pair<std::string, std::function<void()>>> swaps = {
        {"renamed, another put in its place",
         [&] {
             fs::rename(m_archivePath, m_archivePath + ".moved");
             WriteHostFile(m_archivePath, planted);
         }},
        {"removed, another put in its place",
         [&] {
             fs::remove(m_archivePath + ".moved");
             fs::remove(m_archivePath);
             WriteHostFile(m_archivePath, planted);
         }},
    };
    for (const auto& [what, swap] : swaps) {
        SCOPED_TRACE(what);
        swap();
        ASSERT_EQ(Extract(), SFX_OK);
        EXPECT_EQ(ReadHostFile(Target() / "ZIL_Service.exe"), "the vendor's");
        EXPECT_FALSE(fs::exists(Target() / "x.dll"));
        ASSERT_EQ(ReadOwnDirectory(m_extractor, *m_files, fault), SFX_OK);
        EXPECT_EQ(m_extractor.m_entryCount, 1);
    }
}

}  // namespace

namespace {

// A stream that goes on past its recorded size is given up in the pass that shows it, not
// inflated to its end: a few bytes recorded for a stream of gigabytes cost no more than that.
TEST(ExtractorStopTest, AStreamPastItsRecordedSizeIsGivenUpAtOnce) {
    std::string archive = BuildArchive({{"big.bin", RandomBytes(1 << 20, 11), ""}});
    MemoryFile file(WithField(archive, 0, SFX_RECORD_SIZE, 100));
    MemoryTarget target;
    int passes = 0;
    auto count = [](int code, void*, void* context) {
        *static_cast<int*>(context) += code == EXTRACT_PROGRESS;
        return 0;
    };
    EXPECT_EQ(SfxExtractor().Extract(file, target, count, &passes), SFX_ERR_CORRUPT);
    EXPECT_EQ(passes, 0);
    EXPECT_TRUE(target.files().empty());
}

}  // namespace
