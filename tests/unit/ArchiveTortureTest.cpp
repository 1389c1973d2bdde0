// Archive torture: small archives, plain and signed, damaged in every way a sweep can reach:
// cut at every length, every byte of the directory and trailer flipped, stream bytes flipped at
// sampled positions, record fields and PE headers that lie. For every variant:
// - the reader never asks for a byte outside the file;
// - nothing is written outside the target, and only under names that stay there;
// - every file left behind is a whole entry, byte for byte what was packed as that entry;
// - every damaged stream is reported (or its output is exactly what was packed);
// - setup's extraction and the packer's verify reach the same verdict.
// The archives live in memory, so the sweeps take seconds; a sample of variants also goes
// through the sfxpack program to show that it reports the verdict it is given.

#include "tests/unit/ArchiveTestSupport.h"

#include <chrono>
#include <map>
#include <set>

#include "sfx/ArchiveVerifier.h"
#include "sfx/EntryName.h"

using namespace archive_test;

namespace {

constexpr int TORTURE_TOOL_SAMPLE = 97;  // every so many variants also go through sfxpack

struct Judgement {
    int setup = 0;
    ArchiveVerdict verify;
    std::map<std::string, std::string> outputs;  // entry name -> contents
};

struct Tally {
    int variants = 0;
    int refused = 0;   // at the directory: nothing written
    int damaged = 0;   // a stream reported damaged
    int whole = 0;     // extracted whole
    int toolRuns = 0;  // also checked through sfxpack
};

int CountDone(int code, void* param, void* context) {
    (void)param;
    *static_cast<int*>(context) += code == EXTRACT_ENTRY_DONE;
    return 0;
}

class ArchiveTortureTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_entries = {{"readme.txt", TextBytes(20000), ""},
                     {"noise.bin", RandomBytes(5000, 41), ""},
                     {"tiny", "t", ""}};
        m_plain = BuildArchive(m_entries, "MZ stub");
        m_signed = SignLikeATool(BuildArchive(m_entries, PeImage(false)), false, 256);
        m_start = std::chrono::steady_clock::now();
    }
    void TearDown() override {
        auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - m_start);
        std::printf(
            "torture: %d variants, %d refused at the directory, %d with damaged streams, %d "
            "extracted whole, %d also through sfxpack, %lld ms\n",
            m_tally.variants, m_tally.refused, m_tally.damaged, m_tally.whole, m_tally.toolRuns,
            static_cast<long long>(elapsed.count()));
    }

    // Extracts and verifies one variant and checks what must hold for any input.
    Judgement Judge(const std::string& bytes, const std::string& label) {
        Judgement judgement;
        MemoryFile file(bytes);
        MemoryTarget target;
        auto extractor = std::make_unique<SfxExtractor>();
        int done = 0;
        judgement.setup = extractor->Extract(file, target, CountDone, &done);
        judgement.verify = ArchiveVerifier::Verify(file);
        EXPECT_EQ(judgement.setup, judgement.verify.result) << label;
        EXPECT_EQ(file.strayReads(), 0) << label;
        for (const auto& [name, contents] : target.files()) {
            EXPECT_TRUE(IsSafeEntryName(name)) << label << ": " << name;
            judgement.outputs[name] = contents;
            // By index, not by name: a flipped name that is still a plain name comes out whole
            // under its new name.
            for (int i = 0; i < extractor->m_entryCount; ++i) {
                if (extractor->Entry(i).m_name != std::string_view(name)) {
                    continue;
                }
                EXPECT_LT(static_cast<std::size_t>(i), m_entries.size()) << label;
                if (static_cast<std::size_t>(i) < m_entries.size()) {
                    EXPECT_EQ(contents, m_entries[i].data) << label << ": " << name;
                }
            }
        }
        EXPECT_EQ(static_cast<int>(target.files().size()), done) << label;
        if (judgement.setup == SFX_ERR_SIGNATURE || judgement.setup == SFX_ERR_NO_DATA) {
            EXPECT_EQ(extractor->m_entryCount, 0) << label;  // nothing left to act on
        }
        Count(judgement, bytes, label);
        return judgement;
    }

    void Count(const Judgement& judgement, const std::string& bytes, const std::string& label) {
        ++m_tally.variants;
        m_tally.refused += judgement.verify.entryCount == 0;
        m_tally.damaged += judgement.setup == SFX_ERR_CORRUPT;
        m_tally.whole += judgement.setup == SFX_OK;
        if (m_tally.variants % TORTURE_TOOL_SAMPLE == 0) {
            ++m_tally.toolRuns;
            WriteHostFile(m_folder.path() / "variant.sfx", bytes);
            ToolRun run = Sfxpack("verify '" + (m_folder.path() / "variant.sfx").string() + "'");
            // A flip may rename the service's entry: the install would then refuse the archive.
            bool refused = judgement.setup == SFX_OK && !judgement.verify.installable;
            int result = refused ? SFX_ERR_INCOMPLETE : judgement.setup;
            std::string verdict = "result " + std::to_string(result);
            EXPECT_NE(run.output.find(verdict), std::string::npos) << label << ": " << run.output;
            EXPECT_EQ(run.status, result == SFX_OK                              ? 0
                                  : refused || judgement.verify.entryCount == 0 ? 2
                                                                                : 1)
                << label;
        }
    }

    // The archive is refused before anything is written, or every entry comes out as packed or
    // is reported damaged and leaves no file.
    void ExpectDamageReported(const Judgement& judgement, const std::string& label) {
        if (judgement.verify.entryCount == 0) {
            EXPECT_NE(judgement.setup, SFX_OK) << label;
            EXPECT_TRUE(judgement.outputs.empty()) << label;
            return;
        }
        for (std::size_t i = 0; i < m_entries.size(); ++i) {
            const TestEntry& entry = m_entries[i];
            if (judgement.outputs.count(entry.name) != 0) {
                continue;  // compared byte for byte in Judge
            }
            EXPECT_EQ(judgement.setup, SFX_ERR_CORRUPT) << label << ": " << entry.name;
            std::string named = "entry " + std::to_string(i) + " (" + entry.name + ")";
            bool reported = false;
            for (const String& fault : judgement.verify.faults) {
                reported = reported || fault.rfind(named, 0) == 0;
            }
            EXPECT_TRUE(reported) << label << ": " << named;
        }
    }

    std::uint32_t Field(std::size_t entry, std::size_t field) const {
        return archive_test::Field(m_plain, entry, field);
    }

    test_support::ScratchFolder m_folder{"zil-torture"};
    std::vector<TestEntry> m_entries;
    std::string m_plain;
    std::string m_signed;
    Tally m_tally;
    std::chrono::steady_clock::time_point m_start;
};

TEST_F(ArchiveTortureTest, EveryTruncationIsRefusedUnread) {
    for (const std::string* archive : {&m_plain, &m_signed}) {
        for (std::size_t length = 0; length < archive->size(); ++length) {
            Judgement judgement =
                Judge(archive->substr(0, length), "cut at " + std::to_string(length));
            EXPECT_TRUE(judgement.setup == SFX_ERR_SIGNATURE || judgement.setup == SFX_ERR_NO_DATA)
                << length << ": " << judgement.setup;
            EXPECT_TRUE(judgement.outputs.empty()) << length;
        }
    }
    // Cutting the front moves every stream away from its recorded offset.
    for (std::size_t cut = 1; cut < m_plain.size(); cut += 5) {
        Judgement judgement = Judge(m_plain.substr(cut), "front cut " + std::to_string(cut));
        EXPECT_NE(judgement.setup, SFX_OK) << cut;
        ExpectDamageReported(judgement, "front cut " + std::to_string(cut));
    }
}

TEST_F(ArchiveTortureTest, EveryDirectoryAndTrailerByteFlipped) {
    std::size_t directory = RecordAt(m_plain, 0);
    for (std::size_t position = directory; position < m_plain.size(); ++position) {
        for (int mask : {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80, 0xFF}) {
            std::string bytes = m_plain;
            bytes[position] = static_cast<char>(bytes[position] ^ mask);
            std::string label = "flip " + std::to_string(position) + "^" + std::to_string(mask);
            Judgement judgement = Judge(bytes, label);
            // A flipped name may still pass (another plain name); what comes out is then whole
            // under that name. Every other outcome is a refusal or a reported damage.
            if (judgement.setup == SFX_OK) {
                EXPECT_EQ(judgement.outputs.size(), m_entries.size()) << label;
            }
        }
    }
}

TEST_F(ArchiveTortureTest, SampledStreamBytesFlipped) {
    std::uint32_t dataStart = Field(0, SFX_RECORD_OFFSET);
    std::uint32_t dataEnd = Field(2, SFX_RECORD_OFFSET) + Field(2, SFX_RECORD_PACKED_SIZE);
    for (std::uint32_t position = dataStart; position < dataEnd; position += 7) {
        for (int mask : {0xFF, 0x01, 0x80, 0x10}) {
            std::string bytes = m_plain;
            bytes[position] = static_cast<char>(bytes[position] ^ mask);
            std::string label =
                "stream flip " + std::to_string(position) + "^" + std::to_string(mask);
            Judgement judgement = Judge(bytes, label);
            ExpectDamageReported(judgement, label);
            if (mask == 0xFF) {
                // Every bit of the byte changed: no stream survives that unchanged.
                EXPECT_EQ(judgement.setup, SFX_ERR_CORRUPT) << label;
            }
        }
    }
}

TEST_F(ArchiveTortureTest, LyingSizesAndOffsets) {
    auto length = static_cast<std::uint32_t>(m_plain.size());
    for (std::size_t entry = 0; entry < m_entries.size(); ++entry) {
        for (std::size_t field : {SFX_RECORD_OFFSET, SFX_RECORD_SIZE, SFX_RECORD_PACKED_SIZE}) {
            std::uint32_t value = Field(entry, field);
            std::set<std::uint32_t> lies = {0,
                                            1,
                                            value - 1,
                                            value + 1,
                                            value + 4096,
                                            value * 2,
                                            0x7FFFFFFF,
                                            0x80000000,
                                            0xFFFFFFF0,
                                            0xFFFFFFFF,
                                            length,
                                            length - SFX_TRAILER_SIZE,
                                            static_cast<std::uint32_t>(RecordAt(m_plain, 0)),
                                            value ^ 0x10000};
            for (std::size_t other = 0; other < m_entries.size(); ++other) {
                lies.insert(Field(other, field));
            }
            lies.erase(value);
            for (std::uint32_t lie : lies) {
                std::string label = "entry " + std::to_string(entry) + " field " +
                                    std::to_string(field) + " = " + std::to_string(lie);
                Judgement judgement = Judge(WithField(m_plain, entry, field, lie), label);
                EXPECT_NE(judgement.setup, SFX_OK) << label;
                ExpectDamageReported(judgement, label);
                // Offsets and packed sizes are the layout: the directory alone shows the lie.
                if (field != SFX_RECORD_SIZE) {
                    EXPECT_EQ(judgement.setup, SFX_ERR_SIGNATURE) << label;
                }
            }
        }
    }
    // A boundary between two streams moved, both records agreeing: the layout holds, the
    // streams do not, and both are reported.
    for (std::size_t entry = 0; entry + 1 < m_entries.size(); ++entry) {
        for (int shift : {-64, -5, -1, 1, 5, 64}) {
            std::string bytes = m_plain;
            auto moved = [&](std::size_t k, std::size_t field, int by) {
                PutNumber(bytes, RecordField(m_plain, k, field),
                          Field(k, field) + static_cast<std::uint32_t>(by));
            };
            if (shift > 0 &&
                Field(entry + 1, SFX_RECORD_PACKED_SIZE) <= static_cast<std::uint32_t>(shift)) {
                continue;
            }
            moved(entry, SFX_RECORD_PACKED_SIZE, shift);
            moved(entry + 1, SFX_RECORD_OFFSET, shift);
            moved(entry + 1, SFX_RECORD_PACKED_SIZE, -shift);
            std::string label =
                "boundary " + std::to_string(entry) + " moved " + std::to_string(shift);
            Judgement judgement = Judge(bytes, label);
            EXPECT_EQ(judgement.setup, SFX_ERR_CORRUPT) << label;
            EXPECT_EQ(judgement.outputs.count(m_entries[entry].name), 0u) << label;
            EXPECT_EQ(judgement.outputs.count(m_entries[entry + 1].name), 0u) << label;
            ExpectDamageReported(judgement, label);
        }
    }
    // Counts and name lengths that lie.
    std::size_t countField = m_plain.size() - SFX_TRAILER_SIZE;
    for (std::uint32_t count : {0u, 1u, 2u, 4u, SFX_MAX_ENTRIES - 1u, SFX_MAX_ENTRIES + 0u,
                                SFX_MAX_ENTRIES + 1u, 0xFFFFFFFFu}) {
        std::string bytes = m_plain;
        PutNumber(bytes, countField, count);
        Judgement judgement = Judge(bytes, "count " + std::to_string(count));
        EXPECT_TRUE(judgement.outputs.empty());
        EXPECT_EQ(judgement.setup, count == 0 ? SFX_ERR_NO_DATA : SFX_ERR_SIGNATURE) << count;
    }
    for (std::uint32_t nameLength : {0u, 3u, 5u, SFX_MAX_NAME_LENGTH + 0u, SFX_MAX_NAME_LENGTH + 1u,
                                     0x7FFFFFFFu, length, 0xFFFFFFFFu}) {
        std::string bytes = m_plain;
        PutNumber(bytes, countField - SFX_NUMBER_LENGTH, nameLength);
        Judgement judgement = Judge(bytes, "name length " + std::to_string(nameLength));
        EXPECT_TRUE(judgement.outputs.empty());
        EXPECT_EQ(judgement.setup, SFX_ERR_SIGNATURE) << nameLength;
    }
}

TEST_F(ArchiveTortureTest, EveryPeHeaderByteOfASignedFileFlipped) {
    std::size_t headersEnd = PeHeadersEnd(false);
    for (std::size_t position = 0; position < headersEnd; ++position) {
        for (int mask : {0x01, 0x80, 0xFF}) {
            std::string bytes = m_signed;
            bytes[position] = static_cast<char>(bytes[position] ^ mask);
            std::string label =
                "header flip " + std::to_string(position) + "^" + std::to_string(mask);
            Judgement judgement = Judge(bytes, label);
            // Either the table is still found and the archive read whole, or the file is no
            // longer a signed image and has no trailer at its end: never anything between.
            EXPECT_TRUE(judgement.setup == SFX_OK || judgement.setup == SFX_ERR_SIGNATURE) << label;
            if (judgement.setup == SFX_OK) {
                EXPECT_EQ(judgement.outputs.size(), m_entries.size()) << label;
            }
        }
    }
}

}  // namespace
