// How small and how fast sfxpack packs real 32-bit Windows binaries: a fixed list of the i386
// DLLs that Debian's Wine package installs, deflated by zlib's default level (the packer's
// level before), zlib's strongest, libdeflate's levels, and the archive writer itself, read from
// the files as `sfxpack create` reads them. Each candidate's best time of some rounds; each
// stream is inflated once by zlib and compared with its file. The run fails when a corpus file
// is missing (nothing else is measured in its place), a stream does not inflate to its file, or
// the writer misses its target: at least 4.5 % smaller than zlib's default in at most ten times
// its time.
//   build/host/bench/pack_bench [rounds [folder]]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <libdeflate.h>
#include <zlib.h>

#include "platform/FileSystem.h"
#include "sfx/ArchiveFormat.h"
#include "sfx/ArchiveWriter.h"

namespace {

constexpr char BENCH_CORPUS_FOLDER[] = "/usr/lib/i386-linux-gnu/wine/i386-windows";
constexpr const char* BENCH_CORPUS[] = {
    "advapi32.dll", "comdlg32.dll", "gdi32.dll",   "kernel32.dll", "msvcrt.dll",
    "setupapi.dll", "shlwapi.dll",  "version.dll", "wininet.dll",  "ws2_32.dll",
};
constexpr double BENCH_TARGET_SAVING = 0.045;
constexpr double BENCH_TARGET_TIME_RATIO = 10.0;

struct CorpusFile {
    std::string path;
    std::string data;
};

// A compressor under test: one file's bytes to one zlib stream.
struct Candidate {
    std::string name;
    std::function<std::string(const std::string&)> deflate;
};

struct Measure {
    std::uint64_t packed = 0;
    double seconds = 0;
};

bool ReadCorpus(FileSystem& files, const std::string& folder, std::vector<CorpusFile>& corpus) {
    for (const char* name : BENCH_CORPUS) {
        CorpusFile file{folder + "/" + name, ""};
        std::unique_ptr<File> input;
        std::uint64_t length = 0;
        std::uint32_t got = 0;
        if (files.open(file.path.c_str(), FileMode::ReadShared, input) != WIN_OK ||
            input->length(length) != WIN_OK || length == 0) {
            std::fprintf(stderr,
                         "pack_bench: %s is missing: the corpus is the i386 DLLs of Debian's "
                         "Wine (wine32:i386); nothing else is measured in its place\n",
                         file.path.c_str());
            return false;
        }
        file.data.resize(length);
        if (input->read(file.data.data(), static_cast<std::uint32_t>(length), got) != WIN_OK ||
            got != length) {
            std::fprintf(stderr, "pack_bench: cannot read %s\n", file.path.c_str());
            return false;
        }
        corpus.push_back(std::move(file));
    }
    return true;
}

std::string Zlib(const std::string& data, int level) {
    uLongf length = compressBound(static_cast<uLong>(data.size()));
    std::string stream(length, '\0');
    if (compress2(reinterpret_cast<Bytef*>(stream.data()), &length,
                  reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()),
                  level) != Z_OK) {
        return "";
    }
    stream.resize(length);
    return stream;
}

std::string Libdeflate(const std::string& data, int level) {
    libdeflate_compressor* compressor = libdeflate_alloc_compressor(level);
    if (compressor == nullptr) {
        return "";
    }
    std::string stream(libdeflate_zlib_compress_bound(compressor, data.size()), '\0');
    stream.resize(libdeflate_zlib_compress(compressor, data.data(), data.size(), stream.data(),
                                           stream.size()));
    libdeflate_free_compressor(compressor);
    return stream;
}

bool InflatesTo(const std::string& stream, const std::string& data) {
    std::string out(data.size(), '\0');
    uLongf length = static_cast<uLongf>(out.size());
    return uncompress(reinterpret_cast<Bytef*>(out.data()), &length,
                      reinterpret_cast<const Bytef*>(stream.data()),
                      static_cast<uLong>(stream.size())) == Z_OK &&
           length == data.size() && out == data;
}

double Seconds(const std::function<void()>& work) {
    auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool MeasureCandidate(const Candidate& candidate, const std::vector<CorpusFile>& corpus, int rounds,
                      Measure& measure) {
    for (const CorpusFile& file : corpus) {
        std::string stream = candidate.deflate(file.data);
        if (!InflatesTo(stream, file.data)) {
            std::fprintf(stderr, "pack_bench: %s: the stream of %s does not inflate to it\n",
                         candidate.name.c_str(), file.path.c_str());
            return false;
        }
        measure.packed += stream.size();
    }
    for (int round = 0; round < rounds; ++round) {
        double seconds = Seconds([&] {
            for (const CorpusFile& file : corpus) {
                candidate.deflate(file.data);
            }
        });
        measure.seconds = round == 0 ? seconds : std::min(measure.seconds, seconds);
    }
    return true;
}

// The archive's bytes, counted and dropped.
class CountingFile : public File {
public:
    Win32Error read(void*, std::uint32_t, std::uint32_t& bytesRead) override {
        bytesRead = 0;
        return WIN_OK;
    }
    Win32Error write(const void*, std::uint32_t count) override {
        m_count += count;
        return WIN_OK;
    }
    Win32Error seek(std::int64_t, SeekOrigin) override { return WIN_OK; }
    Win32Error length(std::uint64_t& bytes) override {
        bytes = m_count;
        return WIN_OK;
    }
    std::uint64_t count() const { return m_count; }

private:
    std::uint64_t m_count = 0;
};

// The writer packs the files as sfxpack create does; its size less the directory and trailer
// is the streams'.
bool PackWithWriter(FileSystem& files, const std::vector<CorpusFile>& corpus,
                    std::uint64_t& streams) {
    CountingFile archive;
    ArchiveWriter writer(archive, 0);
    String error;
    std::uint64_t directory = SFX_TRAILER_SIZE;
    for (const CorpusFile& file : corpus) {
        std::string name = file.path.substr(file.path.find_last_of('/') + 1);
        std::unique_ptr<File> input;
        if (files.open(file.path.c_str(), FileMode::ReadShared, input) != WIN_OK ||
            !writer.AddFile(name, *input, error)) {
            std::fprintf(stderr, "pack_bench: the writer failed: %s\n", error.c_str());
            return false;
        }
        directory += SFX_RECORD_FIXED_SIZE + name.size();
    }
    if (!writer.Finish(error)) {
        std::fprintf(stderr, "pack_bench: the writer failed: %s\n", error.c_str());
        return false;
    }
    streams = archive.count() - directory;
    return true;
}

void PrintRow(const std::string& name, const Measure& measure, const Measure& base) {
    std::printf("%-26s %12llu %8.4f %8.2f %%  %8.2f s %7.2fx\n", name.c_str(),
                static_cast<unsigned long long>(measure.packed),
                static_cast<double>(measure.packed) / static_cast<double>(base.packed),
                100.0 * (1.0 - static_cast<double>(measure.packed) / base.packed), measure.seconds,
                measure.seconds / base.seconds);
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
    std::string folder = argc > 2 ? argv[2] : BENCH_CORPUS_FOLDER;
    if (rounds < 1) {
        std::fprintf(stderr, "usage: pack_bench [rounds [folder]]\n");
        return 1;
    }
    std::unique_ptr<FileSystem> files = createNativeFileSystem();
    std::vector<CorpusFile> corpus;
    if (!ReadCorpus(*files, folder, corpus)) {
        return 1;
    }
    std::uint64_t total = 0;
    uLong checksum = adler32(0, nullptr, 0);
    for (const CorpusFile& file : corpus) {
        total += file.data.size();
        checksum = adler32(checksum, reinterpret_cast<const Bytef*>(file.data.data()),
                           static_cast<uInt>(file.data.size()));
    }
    std::printf("corpus: %zu DLLs from %s, %llu bytes, adler32 %08lx; best of %d rounds\n\n",
                corpus.size(), folder.c_str(), static_cast<unsigned long long>(total), checksum,
                rounds);

    std::vector<Candidate> candidates = {
        {"zlib default (6)", [](const std::string& d) { return Zlib(d, Z_DEFAULT_COMPRESSION); }},
        {"zlib 9", [](const std::string& d) { return Zlib(d, Z_BEST_COMPRESSION); }}};
    for (int level : {6, 9, 10, 11, 12}) {
        candidates.push_back({"libdeflate " + std::to_string(level),
                              [level](const std::string& d) { return Libdeflate(d, level); }});
    }
    std::printf("%-26s %12s %8s %10s %10s %8s\n", "candidate", "packed", "ratio", "smaller", "time",
                "time");
    std::vector<Measure> measures(candidates.size());
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (!MeasureCandidate(candidates[i], corpus, rounds, measures[i])) {
            return 1;
        }
        PrintRow(candidates[i].name, measures[i], measures[0]);
    }

    Measure writer;
    for (int round = 0; round < rounds; ++round) {
        bool packed = false;
        double seconds = Seconds([&] { packed = PackWithWriter(*files, corpus, writer.packed); });
        if (!packed) {
            return 1;
        }
        writer.seconds = round == 0 ? seconds : std::min(writer.seconds, seconds);
    }
    PrintRow("sfxpack create (writer)", writer, measures[0]);

    double saving = 1.0 - static_cast<double>(writer.packed) / measures[0].packed;
    double timeRatio = writer.seconds / measures[0].seconds;
    bool met = saving >= BENCH_TARGET_SAVING && timeRatio <= BENCH_TARGET_TIME_RATIO;
    std::printf(
        "\nsfxpack create: %.2f %% smaller than zlib's default in %.2f times its time "
        "(target: at least %.1f %% in at most %.0f times): %s\n",
        100.0 * saving, timeRatio, 100.0 * BENCH_TARGET_SAVING, BENCH_TARGET_TIME_RATIO,
        met ? "met" : "NOT MET");
    return met ? 0 : 1;
}
