// Writes the fuzz target's seed corpus into a folder: good archives, signed ones and near misses
// of each rule the reader enforces, all made by the product's writer and then damaged through
// the format's constants, so that the format is written down once.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "tests/unit/ArchiveBytes.h"

using namespace archive_test;

namespace {

std::string Archive(const std::vector<TestEntry>& entries, const std::string& image = "MZ") {
    std::string error;
    std::string archive = WriteArchive(entries, image, SFX_WHOLE_ENTRY_LIMIT, error);
    if (!error.empty()) {
        std::fprintf(stderr, "fuzz seeds: %s\n", error.c_str());
        std::exit(1);
    }
    return archive;
}

// The archive with its trailer's count, or its version, replaced.
std::string WithCount(std::string archive, std::uint32_t count) {
    PutNumber(archive, archive.size() - SFX_COUNT_DISTANCE, count);
    return archive;
}
std::string WithVersion(std::string archive, const std::string& version) {
    return archive.replace(archive.size() - SFX_VERSION_DISTANCE, SFX_VERSION_LENGTH, version);
}

std::map<std::string, std::string> Seeds() {
    const std::string text = TextBytes(7000);
    const std::string alpha(200, 'a');
    const std::string beta(120, 'b');
    const std::string sa = ZlibStream(alpha);
    const std::string sb = ZlibStream(beta);
    const TestEntry a{"a", alpha, sa};
    const TestEntry b{"b", beta, sb};
    std::string two = Archive({a, b});
    std::uint32_t packedA = Field(two, 0, SFX_RECORD_PACKED_SIZE);
    std::uint32_t offsetB = Field(two, 1, SFX_RECORD_OFFSET);
    return {
        {"one", Archive({{"a.txt", "hello", ""}})},
        {"three",
         Archive(
             {{"x.bmp", RandomBytes(5120, 1), ""}, {"readme.txt", text, ""}, {"empty", "", ""}})},
        {"emptyname", Archive({{"", "data", ""}})},
        {"count0", WithCount(Archive({}), 0)},
        {"count257", WithCount(Archive({{"a", "a", ""}}), 257)},
        {"version", WithVersion(Archive({{"a", "a", ""}}), "1.11")},
        {"device", Archive({{"CON.txt", "x", ""}})},
        {"dotdot", Archive({{"..", "x", ""}})},
        {"icons", Archive({{"ICONs", alpha, sa}})},
        {"com0", Archive({{"COM0.txt", alpha, sa}})},
        {"superscript", Archive({{"LPT\xb9", alpha, sa}})},
        {"duplicate", Archive({{"a.txt", alpha, sa}, {"A.TXT", beta, sb}})},
        {"stored", Archive({{"s.bin", RandomBytes(300, 2), ZlibStream(RandomBytes(300, 2), 0)}})},
        {"badsize", Archive({{"a", "abc", ZlibStream("abcd")}})},
        {"garbage", Archive({{"a", alpha, sa + "junk"}})},
        {"trailer", std::string(SFX_NUMBER_LENGTH, '\0') + std::string(SfxTrailerTail())},
        {"overlap", WithField(two, 1, SFX_RECORD_OFFSET, Field(two, 0, SFX_RECORD_OFFSET))},
        {"gap", WithField(two, 1, SFX_RECORD_OFFSET, offsetB + 1)},
        {"packedlie", WithField(WithField(two, 0, SFX_RECORD_PACKED_SIZE, packedA - 3), 1,
                                SFX_RECORD_OFFSET, offsetB - 3)},
        {"signed32",
         SignLikeATool(Archive({{"a.txt", "hello", ""}, {"b.txt", text, ""}}, PeImage(false, 512)),
                       false, 64)},
        {"signed64",
         SignLikeATool(Archive({{"a.txt", "hello", ""}}, PeImage(true, 512)), true, 64)},
        {"unsignedpe", Archive({{"a.txt", "hello", ""}}, PeImage(false, 512))},
    };
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds FOLDER\n");
        return 2;
    }
    std::filesystem::create_directories(argv[1]);
    for (const auto& [name, bytes] : Seeds()) {
        std::ofstream(std::filesystem::path(argv[1]) / name, std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    return 0;
}
