// Extraction throughput: SfxExtractor against a plain zlib loop that inflates the same streams
// into the same files through the same file layer, once with the extractor's 4096-byte buffers
// and once with 256 KiB buffers. The payload (about 100 MB by default) mixes text-like,
// random, zero-filled and image-like files, as a setup program's payload does. Last, the size
// of the bare 32-bit setup program, the stub every download carries before its payload.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <zlib.h>

#include "platform/FileSystem.h"
#include "sfx/ArchiveWriter.h"
#include "sfx/SfxExtractor.h"

namespace {

namespace fs = std::filesystem;

constexpr int BENCH_ROUNDS = 5;

std::string TextLike(std::size_t size, std::mt19937& random) {
    static const char* words[] = {"service", "install", "ZIL",      "the",      "of",
                                  "WMI",     "class",   "instance", "property", "value",
                                  "=",       ";",       "{",        "}",        "\r\n"};
    std::string text;
    while (text.size() < size) {
        text += words[random() % 15];
        text += ' ';
    }
    text.resize(size);
    return text;
}

std::string RandomLike(std::size_t size, std::mt19937& random) {
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(random());
    }
    return bytes;
}

// Smooth gradients with a little noise, as bitmaps of a user interface are.
std::string ImageLike(std::size_t size, std::mt19937& random) {
    std::string pixels(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        std::size_t x = (i / 3) % 640;
        std::size_t y = (i / 3) / 640;
        pixels[i] = static_cast<char>((x / 3 + y / 5 + (i % 3) * 40 + (random() % 4)) & 0xFF);
    }
    return pixels;
}

struct Payload {
    std::vector<std::string> names;
    std::uint64_t bytes = 0;
};

Payload MakePayload(FileSystem& files, const std::string& folder, std::size_t total) {
    std::mt19937 random(20261207);
    Payload payload;
    const std::size_t fileSize = 4u << 20;
    for (std::size_t made = 0, i = 0; made < total; made += fileSize, ++i) {
        std::string data;
        const char* kind = "";
        switch (i % 4) {
            case 0:
                data = TextLike(fileSize, random), kind = "txt";
                break;
            case 1:
                data = RandomLike(fileSize, random), kind = "bin";
                break;
            case 2:
                data = std::string(fileSize, '\0'), kind = "dat";
                break;
            default:
                data = ImageLike(fileSize, random), kind = "bmp";
        }
        std::string name = "file" + std::to_string(i) + "." + kind;
        std::unique_ptr<File> file;
        if (files.open((folder + "/" + name).c_str(), FileMode::CreateWrite, file) != WIN_OK ||
            file->write(data.data(), static_cast<std::uint32_t>(data.size())) != WIN_OK) {
            std::fprintf(stderr, "cannot write the payload\n");
            std::exit(1);
        }
        payload.names.push_back(name);
        payload.bytes += data.size();
    }
    return payload;
}

bool Pack(FileSystem& files, const std::string& folder, const Payload& payload,
          const std::string& archivePath) {
    std::unique_ptr<File> output;
    if (files.open(archivePath.c_str(), FileMode::CreateWrite, output) != WIN_OK) {
        return false;
    }
    ArchiveWriter writer(*output, 0);
    String error;
    for (const std::string& name : payload.names) {
        std::unique_ptr<File> input;
        if (files.open((folder + "/" + name).c_str(), FileMode::ReadShared, input) != WIN_OK ||
            !writer.AddFile(name, *input, error)) {
            return false;
        }
    }
    return writer.Finish(error);
}

// The plain loop: seek, read a buffer, inflate into a buffer, write it, until the stream ends.
bool PlainInflate(FileSystem& files, const std::string& archivePath, const ArchiveEntry& entry,
                  const std::string& outputPath, std::vector<unsigned char>& in,
                  std::vector<unsigned char>& out) {
    std::unique_ptr<File> archive;
    std::unique_ptr<File> output;
    if (files.open(archivePath.c_str(), FileMode::ReadShared, archive) != WIN_OK ||
        files.open(outputPath.c_str(), FileMode::CreateWrite, output) != WIN_OK ||
        archive->seek(entry.m_offset, SeekOrigin::Begin) != WIN_OK) {
        return false;
    }
    z_stream stream{};
    inflateInit(&stream);
    int status = Z_OK;
    while (status == Z_OK) {
        if (stream.avail_in == 0) {
            std::uint32_t got = 0;
            archive->read(in.data(), static_cast<std::uint32_t>(in.size()), got);
            if (got == 0) {
                break;
            }
            stream.next_in = in.data();
            stream.avail_in = got;
        }
        stream.next_out = out.data();
        stream.avail_out = static_cast<uInt>(out.size());
        status = inflate(&stream, Z_NO_FLUSH);
        std::uint32_t produced = static_cast<std::uint32_t>(out.size() - stream.avail_out);
        if (produced != 0 && output->write(out.data(), produced) != WIN_OK) {
            status = Z_ERRNO;
        }
    }
    inflateEnd(&stream);
    return status == Z_STREAM_END;
}

double Seconds(const std::function<bool()>& run) {
    auto start = std::chrono::steady_clock::now();
    if (!run()) {
        std::fprintf(stderr, "a run failed\n");
        std::exit(1);
    }
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    return elapsed.count();
}

// Rounds alternate between the contenders so that a busy moment of a shared machine does not
// land on one of them alone; each keeps its best round.
std::vector<double> BestSeconds(const std::vector<std::function<bool()>>& runs) {
    std::vector<double> best(runs.size(), 1e9);
    for (int round = 0; round < BENCH_ROUNDS; ++round) {
        for (std::size_t i = 0; i < runs.size(); ++i) {
            best[i] = std::min(best[i], Seconds(runs[i]));
        }
    }
    return best;
}

void PrintStubSize(const std::string& path) {
    std::error_code error;
    std::uintmax_t size = fs::file_size(path, error);
    if (error) {
        std::printf("stub zil-setup.exe: not built (%s)\n", path.c_str());
        return;
    }
    std::printf("stub zil-setup.exe:               %8ju bytes (%.1f KiB)\n", size,
                static_cast<double>(size) / 1024.0);
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t megabytes = argc > 1 ? static_cast<std::size_t>(std::atoi(argv[1])) : 100;
    std::string stub = argc > 2 ? argv[2] : ZIL_BENCH_STUB;
    std::unique_ptr<FileSystem> files = createNativeFileSystem();
    String temp;
    files->tempDirectory(temp);
    std::string root = std::string(temp) + "zil-bench-" + std::to_string(std::random_device{}());
    std::string source = root + "/source";
    std::string target = root + "/target";
    std::string archivePath = root + "/payload.sfx";
    for (const std::string& folder : {root, source, target}) {
        files->createDirectory(folder.c_str());
    }

    Payload payload = MakePayload(*files, source, megabytes << 20);
    if (!Pack(*files, source, payload, archivePath)) {
        std::fprintf(stderr, "cannot pack the payload\n");
        return 1;
    }
    SfxExtractor extractor;
    std::unique_ptr<File> archive;
    String fault;
    if (OpenArchive(*files, archivePath, archive, fault) != SFX_OK ||
        extractor.ReadDirectory(*archive) != SFX_OK) {
        std::fprintf(stderr, "cannot read the archive back\n");
        return 1;
    }
    std::uint64_t packed = 0;
    for (int i = 0; i < extractor.m_entryCount; ++i) {
        packed += extractor.Entry(i).m_packedSize;
    }

    std::vector<unsigned char> in4k(SFX_BUFFER_SIZE);
    std::vector<unsigned char> out4k(SFX_BUFFER_SIZE);
    std::vector<unsigned char> in256k(256 * 1024);
    std::vector<unsigned char> out256k(256 * 1024);
    auto plain = [&](std::vector<unsigned char>& in, std::vector<unsigned char>& out) {
        for (int i = extractor.m_entryCount - 1; i >= 0; --i) {
            const ArchiveEntry& entry = extractor.Entry(i);
            if (!PlainInflate(*files, archivePath, entry, target + "/" + std::string(entry.m_name),
                              in, out)) {
                return false;
            }
        }
        return true;
    };
    std::vector<double> best = BestSeconds({
        [&] {
            FolderTarget folder(*files, target);
            return extractor.Extract(*archive, folder, nullptr, nullptr) == SFX_OK;
        },
        [&] { return plain(in4k, out4k); },
        [&] { return plain(in256k, out256k); },
    });
    double sfx = best[0];
    double plain4k = best[1];
    double plain256k = best[2];
    files->removeTree(root.c_str());

    double megabytesOut = static_cast<double>(payload.bytes) / 1e6;
    std::printf("payload: %d files, %.1f MB inflated, %.1f MB packed; best of %d runs\n",
                extractor.m_entryCount, megabytesOut, static_cast<double>(packed) / 1e6,
                BENCH_ROUNDS);
    std::printf("SfxExtractor (4096-byte buffers): %8.1f MB/s\n", megabytesOut / sfx);
    std::printf("plain zlib   (4096-byte buffers): %8.1f MB/s\n", megabytesOut / plain4k);
    std::printf("plain zlib   (256 KiB buffers):   %8.1f MB/s\n", megabytesOut / plain256k);
    std::printf("ratio SfxExtractor / plain 4096:  %8.2f (target 0.90 or better)\n", plain4k / sfx);
    std::printf("ratio SfxExtractor / plain 256K:  %8.2f\n", plain256k / sfx);
    PrintStubSize(stub);
    return 0;
}
