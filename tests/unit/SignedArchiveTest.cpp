// A signed setup program: the certificate table that signing appends behind the archive, and
// tables that lie about where they are. The PE headers here are made byte by byte; the check
// that signs the real Windows build with real tools is tests/signing/run.sh.

#include "tests/unit/ArchiveTestSupport.h"

#include "sfx/ArchiveVerifier.h"

using namespace archive_test;

namespace {

class SignedArchiveTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        m_plus = GetParam();
        m_entries = {{"a.txt", TextBytes(7000), ""}, {"b.bin", RandomBytes(3000, 31), ""}};
        m_unsigned = BuildArchive(m_entries, PeImage(m_plus));
        m_signed = SignLikeATool(m_unsigned, m_plus);
    }
    // Setup's extraction into an empty target, and verify's verdict on the same file.
    int Extract(const std::string& bytes) {
        MemoryFile archive(bytes);
        m_target = MemoryTarget();
        int result = SfxExtractor().Extract(archive, m_target, nullptr, nullptr);
        m_verdict = ArchiveVerifier::Verify(archive);
        EXPECT_EQ(m_verdict.result, result);
        return result;
    }
    void ExpectEntriesExtracted() {
        for (const TestEntry& entry : m_entries) {
            EXPECT_EQ(m_target.files().at(entry.name), entry.data) << entry.name;
        }
    }
    void ExpectRefused(const std::string& bytes, const std::string& label) {
        EXPECT_EQ(Extract(bytes), SFX_ERR_SIGNATURE) << label;
        EXPECT_EQ(m_target.createdCount(), 0) << label;
        ASSERT_FALSE(m_verdict.faults.empty());
        EXPECT_NE(m_verdict.faults[0].find("certificate table"), std::string::npos)
            << label << ": " << m_verdict.faults[0];
    }

    MemoryTarget m_target;
    bool m_plus = false;
    std::vector<TestEntry> m_entries;
    std::string m_unsigned;
    std::string m_signed;
    ArchiveVerdict m_verdict;
};

TEST_P(SignedArchiveTest, ArchiveEndsWhereTheCertificateTableBegins) {
    ASSERT_EQ(Extract(m_unsigned), SFX_OK);
    EXPECT_FALSE(m_verdict.extent.hasCertificateTable);
    EXPECT_EQ(m_verdict.extent.end, m_unsigned.size());
    ExpectEntriesExtracted();

    // Tools pad the file with zeros to align the table to 8 bytes; the archive ends in front
    // of the padding.
    for (std::size_t pad = 0; pad < 8; ++pad) {
        std::string unpadded = BuildArchive(m_entries, PeImage(m_plus, 1024 + pad));
        ASSERT_EQ(Extract(SignLikeATool(unpadded, m_plus)), SFX_OK) << pad;
        EXPECT_TRUE(m_verdict.extent.tableEndsFile);
        EXPECT_EQ(m_verdict.extent.end, unpadded.size());
        EXPECT_EQ(m_verdict.extent.tableStart % 8, 0u);
        EXPECT_EQ(m_verdict.extent.tableSize, 1024u);
        ExpectEntriesExtracted();
    }
    // Other bytes there, or more zeros than alignment adds, are not the archive's end.
    std::size_t start = GetNumber(m_signed, PeSecurityEntry(m_plus));
    for (const std::string& filler : {std::string("\0\0\0\0\0\0\0\0", 8), std::string("pad!")}) {
        std::string bytes = m_unsigned + filler + m_signed.substr(start);
        SetSecurityDirectory(bytes, m_plus,
                             static_cast<std::uint32_t>(m_unsigned.size() + filler.size()), 1024);
        EXPECT_EQ(Extract(bytes), SFX_ERR_SIGNATURE) << filler.size();
        EXPECT_EQ(m_target.createdCount(), 0);
    }

    // A table that the headers do not record is just bytes behind the archive: no trailer ends
    // the file, so there is no archive, as for any file with something appended.
    std::string unrecorded = m_signed;
    SetSecurityDirectory(unrecorded, m_plus, 0, 0);
    EXPECT_EQ(Extract(unrecorded), SFX_ERR_SIGNATURE);
    EXPECT_EQ(m_target.createdCount(), 0);
}

TEST_P(SignedArchiveTest, ProgramSignedBeforePackingKeepsItsTableInTheImage) {
    std::string signedImage = SignLikeATool(PeImage(m_plus), m_plus, 512);
    ASSERT_EQ(Extract(BuildArchive(m_entries, signedImage)), SFX_OK);
    EXPECT_TRUE(m_verdict.extent.hasCertificateTable);
    EXPECT_FALSE(m_verdict.extent.tableEndsFile);
    ExpectEntriesExtracted();
}

TEST_P(SignedArchiveTest, TrailerInsideTheTableIsNeverRead) {
    // Nobody's signature covers the certificate table, so anyone can grow it. An archive
    // smuggled into it, trailer last, must not replace the one the signature covers.
    std::string smuggled = BuildArchive({{"evil.exe", "MZ evil", ""}});
    std::string grown = m_signed + smuggled;
    std::uint32_t tableSize = GetNumber(grown, PeSecurityEntry(m_plus) + 4);
    SetSecurityDirectory(grown, m_plus, GetNumber(grown, PeSecurityEntry(m_plus)),
                         tableSize + static_cast<std::uint32_t>(smuggled.size()));
    ASSERT_EQ(Extract(grown), SFX_OK);
    ExpectEntriesExtracted();
    EXPECT_EQ(m_target.files().count("evil.exe"), 0u);
}

TEST_P(SignedArchiveTest, LyingTablesAreRefusedBeforeAnythingIsWritten) {
    auto lie = [&](std::uint32_t address, std::uint32_t size) {
        std::string bytes = m_signed;
        SetSecurityDirectory(bytes, m_plus, address, size);
        return bytes;
    };
    std::uint32_t start = GetNumber(m_signed, PeSecurityEntry(m_plus));
    std::uint32_t size = GetNumber(m_signed, PeSecurityEntry(m_plus) + 4);
    auto length = static_cast<std::uint32_t>(m_signed.size());
    auto headers = static_cast<std::uint32_t>(PeHeadersEnd(m_plus));
    ExpectRefused(lie(start, size + 1), "size past the end");
    ExpectRefused(lie(start + 8, size), "start moved, size past the end");
    ExpectRefused(lie(0xFFFFFFF0u, 0x20), "address and size wrap around 32 bits");
    ExpectRefused(lie(0x40, length - 0x40), "table in the headers, ending the file");
    ExpectRefused(lie(0, length), "table from the file's first byte");
    ExpectRefused(lie(headers - 1, 8), "table straddling the end of the headers");
    // A table that starts inside the archive and ends the file cuts the archive's trailer off.
    EXPECT_EQ(Extract(lie(start - 100, size + 100)), SFX_ERR_SIGNATURE);
    EXPECT_EQ(m_target.createdCount(), 0);
    // A table inside the file that ends before its end must lie in front of the first stream.
    auto inside = [&](std::uint32_t address, std::uint32_t tableSize) {
        std::string bytes = m_unsigned;
        SetSecurityDirectory(bytes, m_plus, address, tableSize);
        return bytes;
    };
    ExpectRefused(inside(1024, 16), "table over the first stream");  // the image is 1024 bytes
    ExpectRefused(inside(1000, 25), "table into the first stream");
    auto archiveEnd = static_cast<std::uint32_t>(m_unsigned.size());
    ExpectRefused(inside(archiveEnd - 30, 8), "table in the directory");
    ExpectRefused(inside(archiveEnd - 8, 7), "table in the trailer");
    EXPECT_EQ(Extract(inside(1000, 24)), SFX_OK);
    // Headers that do not reach the security directory are no PE image: the file is read as any
    // other, and a signed one then has no trailer at its end.
    std::string fewDirectories = m_signed;
    PutNumber(fewDirectories, PE_HEADER + 24 + (m_plus ? 108 : 92), 4);
    EXPECT_EQ(Extract(fewDirectories), SFX_ERR_SIGNATURE);
    std::string fewUnsigned = m_unsigned;
    PutNumber(fewUnsigned, PE_HEADER + 24 + (m_plus ? 108 : 92), 4);
    EXPECT_EQ(Extract(fewUnsigned), SFX_OK);
}

TEST_P(SignedArchiveTest, HeadersThatDoNotHoldTogetherReadAsAnyFile) {
    // Each of these makes the file no PE image with a security directory: the archive is then
    // looked for at the end of the file, exactly as before signing existed.
    struct Damage {
        std::size_t position;
        std::uint32_t value;
        const char* what;
    };
    for (const Damage& damage :
         {Damage{0, 0x5A4D0000, "no MZ"}, Damage{0x3C, 0xFFFFFFF0, "PE header past the end"},
          Damage{0x3C, 1020, "PE header across the end of the image"},
          Damage{PE_HEADER, 0x00004550 ^ 1, "no PE signature"},
          Damage{PE_HEADER + 24, 0x0107, "unknown optional header"},
          Damage{PE_HEADER + 20, 0x00000040, "optional header too small"}}) {
        std::string bytes = m_unsigned;
        if (damage.position == 0) {
            bytes[0] = 'Z';
        } else if (damage.position == PE_HEADER + 24 || damage.position == PE_HEADER + 20) {
            bytes[damage.position] = static_cast<char>(damage.value & 0xFF);
            bytes[damage.position + 1] = static_cast<char>(damage.value >> 8);
        } else {
            PutNumber(bytes, damage.position, damage.value);
        }
        EXPECT_EQ(Extract(bytes), SFX_OK) << damage.what;
        ExpectEntriesExtracted();
    }
    // A file too short to hold a DOS header at all.
    std::vector<TestEntry> tiny = {{"t", "t", ""}};
    EXPECT_EQ(Extract(BuildArchive(tiny, "MZ")), SFX_OK);
}

INSTANTIATE_TEST_SUITE_P(Pe32AndPe32Plus, SignedArchiveTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Pe32Plus" : "Pe32";
                         });

}  // namespace
