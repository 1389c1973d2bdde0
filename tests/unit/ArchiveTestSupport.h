#pragma once

// Shared by the archive tests: archives built in memory by the product's writer, streams from
// compressors that are not ours, and a fresh simulated machine per test whose running program
// is the archive. Tests that damage a record find its fields through the format's constants.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/sim/SimFileSystem.h"
#include "platform/sim/SimMachine.h"
#include "sfx/ArchiveFormat.h"
#include "sfx/ArchiveWriter.h"
#include "sfx/SfxExtractor.h"
#include "tests/unit/MemoryFile.h"
#include "tests/unit/MemoryTarget.h"
#include "tests/unit/ScratchFolder.h"

namespace archive_test {

namespace fs = std::filesystem;

struct TestEntry {
    std::string name;
    std::string data;
    std::string stream;  // empty: the writer compresses data itself
};

inline std::string BuildArchive(const std::vector<TestEntry>& entries,
                                const std::string& image = "",
                                std::uint64_t wholeEntryLimit = SFX_WHOLE_ENTRY_LIMIT) {
    MemoryFile out(image);
    out.seek(0, SeekOrigin::End);
    ArchiveWriter writer(out, image.size(), wholeEntryLimit);
    std::string error;
    for (const TestEntry& entry : entries) {
        MemoryFile input(entry.data);
        bool added =
            entry.stream.empty()
                ? writer.AddFile(entry.name, input, error)
                : writer.AddStream(entry.name, static_cast<std::uint32_t>(entry.data.size()),
                                   entry.stream, error);
        EXPECT_TRUE(added) << error;
    }
    EXPECT_TRUE(writer.Finish(error)) << error;
    return out.data();
}

using test_support::ReadHostFile;
using test_support::WriteHostFile;

// What a shell command prints, fed with input.
inline std::string Filter(const std::string& command, const std::string& input,
                          const fs::path& scratch) {
    WriteHostFile(scratch / "filter.in", input);
    std::string line = command + " < '" + (scratch / "filter.in").string() + "' > '" +
                       (scratch / "filter.out").string() + "'";
    EXPECT_EQ(std::system(line.c_str()), 0) << line;
    return ReadHostFile(scratch / "filter.out");
}

inline std::string RandomBytes(std::size_t count, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::string bytes(count, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(random());
    }
    return bytes;
}

inline std::string TextBytes(std::size_t count) {
    std::string text;
    for (int line = 0; text.size() < count; ++line) {
        text +=
            "line " + std::to_string(line) + ": the quick brown fox jumps over the lazy dog\r\n";
    }
    text.resize(count);
    return text;
}

inline std::uint32_t GetNumber(const std::string& bytes, std::size_t position) {
    return SfxReadNumber(reinterpret_cast<const unsigned char*>(bytes.data() + position));
}

// Where entry k's record starts, found as the reader finds it: backwards from the trailer,
// by the name lengths that end the records.
inline std::size_t RecordAt(const std::string& archive, std::size_t k) {
    std::size_t position = archive.size() - SFX_TRAILER_SIZE;
    for (std::size_t i = GetNumber(archive, position); i-- > k;) {
        position -= SFX_RECORD_FIXED_SIZE + GetNumber(archive, position - SFX_NUMBER_LENGTH);
    }
    return position;
}

// Position of a record's field: SFX_RECORD_OFFSET, SFX_RECORD_SIZE or SFX_RECORD_PACKED_SIZE.
inline std::size_t RecordField(const std::string& archive, std::size_t k, std::size_t field) {
    return RecordAt(archive, k) + field;
}
// The same where a test still names the archive's entries alongside.
inline std::size_t RecordField(const std::string& archive, const std::vector<TestEntry>&,
                               std::size_t k, std::size_t field) {
    return RecordField(archive, k, field);
}

inline void PutNumber(std::string& bytes, std::size_t position, std::uint32_t value) {
    for (std::uint32_t i = 0; i < SFX_NUMBER_LENGTH; ++i) {
        bytes[position + i] = static_cast<char>(value >> (8 * i));
    }
}

inline std::uint32_t Field(const std::string& archive, std::size_t k, std::size_t field) {
    return GetNumber(archive, RecordField(archive, k, field));
}

// The archive with entry k's record field set to value: a record that lies.
inline std::string WithField(std::string archive, std::size_t k, std::size_t field,
                             std::uint32_t value) {
    PutNumber(archive, RecordField(archive, k, field), value);
    return archive;
}

// A zlib stream of the data straight from zlib at its best compression, not from our writer.
inline std::string ZlibStream(const std::string& data) {
    uLongf length = compressBound(static_cast<uLong>(data.size()));
    std::string stream(length, '\0');
    EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(stream.data()), &length,
                        reinterpret_cast<const Bytef*>(data.data()),
                        static_cast<uLong>(data.size()), Z_BEST_COMPRESSION),
              Z_OK);
    stream.resize(length);
    return stream;
}

// A PE image with headers as far as the certificate table needs them: the DOS header pointing
// at "PE\0\0" at 0x80, a file header with one section, the optional header of PE32 or PE32+
// with 16 data directories, one section header; padded to length bytes. The security
// directory (entry 4) is empty.
constexpr std::size_t PE_HEADER = 0x80;
inline std::size_t PeOptionalSize(bool plus) {
    return plus ? 240 : 224;
}
inline std::size_t PeSecurityEntry(bool plus) {
    return PE_HEADER + 24 + (plus ? 144 : 128);
}
inline std::size_t PeHeadersEnd(bool plus) {
    return PE_HEADER + 24 + PeOptionalSize(plus) + 40;
}
inline std::string PeImage(bool plus, std::size_t length = 1024) {
    std::string image(length, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    PutNumber(image, 0x3C, PE_HEADER);
    image.replace(PE_HEADER, 4, std::string("PE\0\0", 4));
    image[PE_HEADER + 4] = static_cast<char>(plus ? 0x64 : 0x4C);  // machine
    image[PE_HEADER + 5] = static_cast<char>(plus ? 0x86 : 0x01);
    image[PE_HEADER + 6] = 1;                                         // sections
    image[PE_HEADER + 20] = static_cast<char>(PeOptionalSize(plus));  // optional header size
    std::size_t optional = PE_HEADER + 24;
    image[optional] = 0x0B;
    image[optional + 1] = static_cast<char>(plus ? 0x02 : 0x01);
    PutNumber(image, optional + (plus ? 108 : 92), 16);  // data directories
    image.replace(PeHeadersEnd(plus) - 40, 5, ".text");
    return image;
}

inline void SetSecurityDirectory(std::string& file, bool plus, std::uint32_t address,
                                 std::uint32_t size) {
    PutNumber(file, PeSecurityEntry(plus), address);
    PutNumber(file, PeSecurityEntry(plus) + 4, size);
}

// What signing does to a file: zeros up to a multiple of 8 bytes, then a certificate table,
// recorded in the security directory. The table is a header (length, revision 2.0, PKCS#7) and
// filler.
inline std::string SignLikeATool(const std::string& file, bool plus, std::size_t tableSize = 1024) {
    std::string table = RandomBytes(tableSize, 77);
    PutNumber(table, 0, static_cast<std::uint32_t>(tableSize));
    PutNumber(table, 4, 0x00020200);
    std::string signedFile = file + std::string((8 - file.size() % 8) % 8, '\0');
    auto start = static_cast<std::uint32_t>(signedFile.size());
    signedFile += table;
    SetSecurityDirectory(signedFile, plus, start, static_cast<std::uint32_t>(tableSize));
    return signedFile;
}

struct ToolRun {
    int status;
    std::string output;
};

// Runs the packer built beside the tests; its exit status and everything it printed.
inline ToolRun Sfxpack(const std::string& arguments) {
    std::string command = std::string(ZIL_BINARY_DIR) + "/sfxpack " + arguments + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string output;
    char buffer[4096];
    while (std::size_t got = std::fread(buffer, 1, sizeof(buffer), pipe)) {
        output.append(buffer, got);
    }
    int status = ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

// A fresh simulated machine with drive C: and a target folder C:\T; the archive is its
// running program.
class MachineTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(m_scratch / "machine" / "C" / "T");
        m_archivePath = (m_scratch / "setup.exe").string();
        SimConfig config = test_support::VirtualClockMachine((m_scratch / "machine").string());
        config.modulePath = m_archivePath;
        m_machine = std::make_unique<SimMachine>(config);
        m_files = std::make_unique<SimFileSystem>(*m_machine);
    }

    void UseArchive(const std::string& bytes) { WriteHostFile(m_archivePath, bytes); }
    fs::path Target() const { return m_scratch / "machine" / "C" / "T"; }
    // Every regular file in the machine except the journal, as paths relative to its root.
    std::vector<std::string> MachineFiles() const {
        std::vector<std::string> found;
        for (const auto& item : fs::recursive_directory_iterator(m_scratch / "machine")) {
            if (!item.is_directory() && item.path().filename() != "journal.log") {
                found.push_back(fs::relative(item.path(), m_scratch / "machine").string());
            }
        }
        std::sort(found.begin(), found.end());
        return found;
    }

    test_support::ScratchFolder m_folder{"zil-archive-test"};
    fs::path m_scratch = m_folder.path();
    std::string m_archivePath;
    std::unique_ptr<SimMachine> m_machine;
    std::unique_ptr<SimFileSystem> m_files;
};

}  // namespace archive_test
