#include "tests/unit/ArchiveTestSupport.h"

#include <algorithm>
#include <cstring>

#include "platform/sim/SimPlatform.h"

using namespace archive_test;

namespace {

int CountDone(int code, void* param, void* context) {
    (void)param;
    *static_cast<int*>(context) += code == EXTRACT_ENTRY_DONE;
    return 0;
}

class ExtractorFaultTest : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        m_entries = {{"a.txt", TextBytes(40000), ""},
                     {"b.bin", RandomBytes(9000, 8), ""},
                     {"c.txt", TextBytes(700), ""}};
        m_archive = BuildArchive(m_entries, "IMAGE");
        m_sim = std::make_unique<SimPlatform>(m_machine->config());
    }
    int Extract() {
        m_done = 0;
        SfxExtractor extractor;
        return ExtractOwnArchive(extractor, m_sim->files(), "C:\\T", CountDone, &m_done);
    }
    // Files in the target are whole entries; returns how many there are.
    int WholeFiles() {
        int whole = 0;
        for (const TestEntry& entry : m_entries) {
            fs::path file = Target() / entry.name;
            if (fs::exists(file)) {
                EXPECT_EQ(ReadHostFile(file), entry.data) << entry.name;
                ++whole;
            }
        }
        EXPECT_EQ(static_cast<int>(MachineFiles().size()), whole);
        return whole;
    }
    void Reset() {
        fs::remove_all(Target());
        fs::create_directory(Target());
        m_sim = std::make_unique<SimPlatform>(m_machine->config());
    }

    // The machine as the program meets it: through the fault seam.
    std::unique_ptr<SimPlatform> m_sim;
    std::vector<TestEntry> m_entries;
    std::string m_archive;
    int m_done = 0;
};

TEST_F(ExtractorFaultTest, UncreatableOutputOutranksDamage) {
    std::string archive = m_archive;
    std::uint32_t offset = 0;
    std::memcpy(&offset, archive.data() + RecordField(archive, 0, 0), 4);
    archive[offset + 20] = static_cast<char>(archive[offset + 20] ^ 0x55);
    UseArchive(archive);
    fs::create_directory(Target() / "c.txt");  // in the way of entry 2's file
    EXPECT_EQ(Extract(), SFX_ERR_CREATE_OUTPUT);
    EXPECT_EQ(m_done, 1);
    EXPECT_EQ(ReadHostFile(Target() / "b.bin"), m_entries[1].data);
    EXPECT_FALSE(fs::exists(Target() / "a.txt"));
}

TEST_F(ExtractorFaultTest, FullDiskEndsTheExtractionWithNothingPartial) {
    UseArchive(m_archive);
    m_sim->faults().fail(SimFaultKind::Write, 1, WIN_DISK_FULL, true);
    EXPECT_EQ(Extract(), SFX_ERR_WRITE);
    EXPECT_EQ(m_done, 0);
    EXPECT_TRUE(MachineFiles().empty());

    // The disk fills during entry 1 (b.bin, three writes): entry 2, done before, stays whole,
    // entry 1's partial file goes, and entry 0 is never started.
    Reset();
    m_sim->faults().fail(SimFaultKind::Write, 3, WIN_DISK_FULL, true);
    EXPECT_EQ(Extract(), SFX_ERR_WRITE);
    EXPECT_EQ(m_done, 1);
    EXPECT_EQ(MachineFiles(), std::vector<std::string>{"C/T/c.txt"});
    EXPECT_EQ(WholeFiles(), 1);
}

// Fail the Nth read, seek, write or open for every N: the outcome is one of the codes for that
// kind of failure, and whatever is left in the target is whole.
TEST_F(ExtractorFaultTest, FailingCallNForEveryNLeavesOnlyWholeFiles) {
    UseArchive(m_archive);
    struct Kind {
        SimFaultKind kind;
        std::vector<int> results;
    };
    for (const Kind& kind :
         {Kind{SimFaultKind::Read, {SFX_ERR_SIGNATURE, SFX_ERR_WRITE}},
          Kind{SimFaultKind::Seek, {SFX_ERR_SIGNATURE, SFX_ERR_WRITE}},
          Kind{SimFaultKind::Write, {SFX_ERR_WRITE}},
          Kind{SimFaultKind::Open, {SFX_ERR_OPEN, SFX_ERR_REOPEN, SFX_ERR_CREATE_OUTPUT}}}) {
        for (int nth = 1;; ++nth) {
            Reset();
            m_sim->faults().fail(kind.kind, nth, WIN_READ_FAULT);
            int result = Extract();
            if (result == SFX_OK) {
                EXPECT_EQ(WholeFiles(), 3);
                EXPECT_GT(nth, 1);
                break;
            }
            EXPECT_NE(std::find(kind.results.begin(), kind.results.end(), result),
                      kind.results.end())
                << SimFaultKindName(kind.kind) << " call " << nth << " gave " << result;
            int whole = WholeFiles();
            EXPECT_EQ(whole, m_done);
            ASSERT_LT(nth, 1000);
        }
    }
}

}  // namespace

// A stream that inflates far past its recorded size (a few KiB that become a megabyte) is cut
// off there: its file never holds a byte more than recorded, not even before it is removed.
TEST(EntryInflaterTest, NothingIsWrittenPastTheRecordedSize) {
    MemoryFile archive(ZlibStream(std::string(1 << 20, '\0')));
    std::uint64_t packed = 0;
    archive.length(packed);
    for (std::uint32_t recorded : {0u, 100u, 4096u, 5000u, 70000u}) {
        ArchiveEntry entry;
        entry.m_packedSize = static_cast<std::uint32_t>(packed);
        entry.m_size = recorded;
        MemoryFile output;
        String fault;
        EXPECT_EQ(EntryInflater().Inflate(archive, entry, output, nullptr, nullptr, fault),
                  SFX_ERR_CORRUPT);
        EXPECT_EQ(output.data(), std::string(recorded, '\0')) << recorded << ": " << fault;
    }
}
