// The floor for the setup program's extraction: the same archive, read through the program's
// own directory reader, each entry inflated with zlib and written with the same 4096-byte
// buffers through the same file layer, last to first, with nothing else: no window, no
// progress, no pauses. bench/wine.sh runs it beside the setup program under Wine.
//   extract_floor ARCHIVE FOLDER
// Prints "floor: N entries, B bytes, T ms" (T from the clock the setup program's log uses).

#include <cstdint>
#include <cstdio>
#include <memory>
#include "text/StringType.h"

#include <zlib.h>

#include "platform/Platform.h"
#include "sfx/SfxExtractor.h"

namespace {

constexpr std::uint32_t FLOOR_BUFFER = 4096;

// One entry's stream into one new file; false when anything fails or the stream is damaged.
bool InflateEntry(File& archive, const ArchiveEntry& entry, File& output) {
    if (archive.seek(entry.m_offset, SeekOrigin::Begin) != WIN_OK) {
        return false;
    }
    // Not on the stack, which the 32-bit build does not probe; one entry at a time.
    static unsigned char in[FLOOR_BUFFER];
    static unsigned char out[FLOOR_BUFFER];
    std::uint32_t left = entry.m_packedSize;
    z_stream stream{};
    inflateInit(&stream);
    int status = Z_OK;
    while (status == Z_OK) {
        if (stream.avail_in == 0) {
            std::uint32_t got = 0;
            std::uint32_t want = left < FLOOR_BUFFER ? left : FLOOR_BUFFER;
            if (want == 0 || archive.read(in, want, got) != WIN_OK || got == 0) {
                break;
            }
            left -= got;
            stream.next_in = in;
            stream.avail_in = got;
        }
        stream.next_out = out;
        stream.avail_out = FLOOR_BUFFER;
        status = inflate(&stream, Z_NO_FLUSH);
        std::uint32_t produced = FLOOR_BUFFER - stream.avail_out;
        if (produced != 0 && output.write(out, produced) != WIN_OK) {
            status = Z_ERRNO;
        }
    }
    inflateEnd(&stream);
    return status == Z_STREAM_END;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: extract_floor ARCHIVE FOLDER\n");
        return 2;
    }
    String error;
    std::unique_ptr<Platform> platform = createPlatform(error);
    if (!platform) {
        std::fprintf(stderr, "no platform: %s\n", error.c_str());
        return 2;
    }
    FileSystem& files = platform->files();
    String folder = String(argv[2]) + "\\";
    std::uint64_t start = platform->clock().now();
    std::unique_ptr<File> archive;
    // The directory of up to 256 entries is larger than a frame of the 32-bit build may be.
    auto ownedExtractor = std::make_unique<SfxExtractor>();
    SfxExtractor& extractor = *ownedExtractor;
    String fault;
    if (OpenArchive(files, argv[1], archive, fault) != SFX_OK ||
        extractor.ReadDirectory(*archive, fault) != SFX_OK) {
        std::fprintf(stderr, "cannot read %s: %s\n", argv[1], fault.c_str());
        return 1;
    }
    std::uint64_t bytes = 0;
    for (int index = extractor.m_entryCount - 1; index >= 0; --index) {
        const ArchiveEntry& entry = extractor.Entry(index);
        std::unique_ptr<File> output;
        if (files.open(folder + entry.m_name, FileMode::CreateWrite, output) != WIN_OK ||
            !InflateEntry(*archive, entry, *output)) {
            std::fprintf(stderr, "cannot extract %s\n", entry.m_name.c_str());
            return 1;
        }
        bytes += entry.m_size;
    }
    std::uint64_t elapsed = platform->clock().now() - start;
    std::printf("floor: %d entries, %llu bytes, %llu ms\n", extractor.m_entryCount,
                static_cast<unsigned long long>(bytes), static_cast<unsigned long long>(elapsed));
    return 0;
}
