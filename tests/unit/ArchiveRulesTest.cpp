// The rules that setup's reader and the packer's verify share. Each archive here breaks one
// rule the way a hostile or careless packer would; setup must refuse it as verify does, before
// anything is written when the directory alone shows the fault.

#include "sfx/TargetFolders.h"
#include "tests/unit/ArchiveTestSupport.h"

using namespace archive_test;

namespace {

int CountDone(int code, void* param, void* context) {
    (void)param;
    *static_cast<int*>(context) += code == EXTRACT_ENTRY_DONE;
    return 0;
}

class ArchiveRulesTest : public MachineTest {
protected:
    // Setup's verdict on the archive, extracted into an empty C:\T.
    int Extract(const std::string& bytes) {
        fs::remove_all(Target());
        fs::create_directory(Target());
        UseArchive(bytes);
        m_done = 0;
        SfxExtractor extractor(*m_files);
        return extractor.Extract("C:\\T", CountDone, &m_done);
    }
    // The packer's verdict on the same file: its exit status and what it printed.
    ToolRun Verify(const std::string& bytes) {
        WriteHostFile(m_scratch / "verify.sfx", bytes);
        return Sfxpack("verify '" + (m_scratch / "verify.sfx").string() + "'");
    }
    // Both refuse the directory and nothing reaches the target.
    void ExpectRefusedUnread(const std::string& bytes, const std::string& label) {
        EXPECT_EQ(Extract(bytes), SFX_ERR_SIGNATURE) << label;
        EXPECT_EQ(m_done, 0) << label;
        EXPECT_TRUE(MachineFiles().empty()) << label;
        EXPECT_EQ(Verify(bytes).status, 2) << label;
    }

    int m_done = 0;
};

TEST_F(ArchiveRulesTest, RecordsSharingOneStreamAreRefusedBeforeAnythingIsWritten) {
    // 160 names for one small stream that inflates to 64 KiB: without the rule, 10 MiB out of a
    // few hundred bytes, and a real payload multiplies the same way.
    std::string zeros(64 * 1024, '\0');
    std::string stream = ZlibStream(zeros);
    std::vector<RawRecord> records;
    for (int i = 0; i < 160; ++i) {
        records.push_back({2, static_cast<std::uint32_t>(zeros.size()),
                           static_cast<std::uint32_t>(stream.size()), "f" + std::to_string(i)});
    }
    ExpectRefusedUnread("MZ" + stream + RawDirectory(records), "160 records, one stream");

    // Two records that overlap by one byte, and a gap of one byte between two streams.
    std::string a = ZlibStream("alpha");
    std::string b = ZlibStream("beta");
    auto size = [](const std::string& s) { return static_cast<std::uint32_t>(s.size()); };
    ExpectRefusedUnread(
        "MZ" + a + b + "!" +
            RawDirectory({{2, 5, size(a) + 1, "a"}, {2 + size(a), 4, size(b), "b"}}),
        "overlap");
    ExpectRefusedUnread(
        "MZ" + a + "!" + b +
            RawDirectory({{2, 5, size(a), "a"}, {2 + size(a) + 1, 4, size(b), "b"}}),
        "gap");
    // The last stream must end where the directory begins, the first begin the data area.
    ExpectRefusedUnread(
        "MZ" + a + b + "!" + RawDirectory({{2, 5, size(a), "a"}, {2 + size(a), 4, size(b), "b"}}),
        "gap before the directory");
}

TEST_F(ArchiveRulesTest, StreamMustEndExactlyAtItsPackedSize) {
    std::string first = TextBytes(20000);
    std::string second = TextBytes(3000);
    std::string a = ZlibStream(first);
    std::string b = ZlibStream(second);
    auto size = [](std::size_t n) { return static_cast<std::uint32_t>(n); };

    // Garbage after the end of a stream, counted in its packed size: the layout holds, the
    // stream does not.
    std::string garbage =
        "MZ" + a + "GARBAGE" + b +
        RawDirectory({{2, size(first.size()), size(a.size() + 7), "a.txt"},
                      {size(2 + a.size() + 7), size(second.size()), size(b.size()), "b.txt"}});
    EXPECT_EQ(Extract(garbage), SFX_ERR_CORRUPT);
    EXPECT_EQ(m_done, 1);
    EXPECT_FALSE(fs::exists(Target() / "a.txt"));
    EXPECT_EQ(ReadHostFile(Target() / "b.txt"), second);
    ToolRun verify = Verify(garbage);
    EXPECT_EQ(verify.status, 1);
    EXPECT_NE(verify.output.find("entry 0 (a.txt)"), std::string::npos) << verify.output;

    // A packed size five bytes short, the next stream claiming the five: neither may be read
    // beyond its record, so both are damaged.
    std::string lying =
        "MZ" + a + b +
        RawDirectory({{2, size(first.size()), size(a.size() - 5), "a.txt"},
                      {size(2 + a.size() - 5), size(second.size()), size(b.size() + 5), "b.txt"}});
    EXPECT_EQ(Extract(lying), SFX_ERR_CORRUPT);
    EXPECT_EQ(m_done, 0);
    EXPECT_TRUE(MachineFiles().empty());
    verify = Verify(lying);
    EXPECT_EQ(verify.status, 1);
    EXPECT_NE(verify.output.find("entry 0 (a.txt)"), std::string::npos) << verify.output;
    EXPECT_NE(verify.output.find("entry 1 (b.txt)"), std::string::npos) << verify.output;

    // A last stream five bytes short of the directory whose packed size covers them.
    std::string tail =
        "MZ" + a + "12345" + RawDirectory({{2, size(first.size()), size(a.size() + 5), "a.txt"}});
    EXPECT_EQ(Extract(tail), SFX_ERR_CORRUPT);
    EXPECT_EQ(Verify(tail).status, 1);
    EXPECT_TRUE(MachineFiles().empty());
}

TEST_F(ArchiveRulesTest, NamesTheInstallerCannotPlaceAreRefused) {
    auto archive = [](const std::vector<std::string>& names) {
        std::string data = "MZ";
        std::vector<RawRecord> records;
        for (const std::string& name : names) {
            std::string stream = ZlibStream(name + " data");
            records.push_back({static_cast<std::uint32_t>(data.size()),
                               static_cast<std::uint32_t>(name.size() + 5),
                               static_cast<std::uint32_t>(stream.size()), name});
            data += stream;
        }
        return data + RawDirectory(records);
    };
    for (const std::vector<std::string>& names :
         std::vector<std::vector<std::string>>{{"a.txt", "ICONs"},
                                               {"icons"},
                                               {"a.txt", "b.txt", "A.TXT"},
                                               {"Readme", "README"},
                                               {"a.txt", ""},
                                               {"COM0"},
                                               {"lpt0.txt"},
                                               {"COM\xB9"},
                                               {"lpt\xB2.log"},
                                               {"Com\xB3"},
                                               {"a\x1F"},
                                               // Windows-1252 letters fold as ASCII ones do.
                                               {"\xC9t\xE9.txt", "\xE9T\xC9.TXT"},
                                               {"\x8A\x8C\x8E", "\x9A\x9C\x9E"},
                                               {"a\xFF", "A\x9F"},
                                               {std::string(SFX_MAX_TARGET_NAME + 1, 'n')}}) {
        ExpectRefusedUnread(archive(names), names.back());
    }
    for (std::vector<std::string> names :
         std::vector<std::vector<std::string>>{{"ICONs.bmp", "ICON", "ICONs2"},
                                               {"COM10", "LPT", "COM\xB4", "COM\xB9\xB9"},
                                               {"a.txt", "a.txt.bak", "b.txt"},
                                               {"\xD7", "\xF7", "\xDF", "SS", "\xB5", "M"}}) {
        names.push_back("zil_SERVICE.EXE");  // as Windows finds it: without case
        EXPECT_EQ(Extract(archive(names)), SFX_OK) << names.front();
        EXPECT_EQ(m_done, static_cast<int>(names.size()));
        EXPECT_EQ(Verify(archive(names)).status, 0) << names.front();
        // Without the file that the install starts, setup refuses what the reader accepts.
        names.pop_back();
        ToolRun refused = Verify(archive(names));
        EXPECT_EQ(refused.status, 2) << names.front();
        EXPECT_NE(refused.output.find("result 1009"), std::string::npos) << refused.output;
    }
}

}  // namespace
