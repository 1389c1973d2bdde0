// Feeds arbitrary bytes to the directory reader, the extractor and the verifier as the running
// program's archive, and checks what must hold for any input: no crash, no sanitizer report, no
// read past the end of the file, output only under names that stay in the target folder, every
// output a whole entry, and the verifier's verdict equal to setup's. When the
// directory is accepted, its rules are checked again here, written out independently: streams
// tile the data area up to the directory, names are unique ignoring case and none is empty or
// the icon folder's; and every file that came out is what plain zlib makes of exactly its
// stream's packed bytes.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include <zlib.h>

#include "sfx/ArchiveFormat.h"
#include "sfx/ArchiveVerifier.h"
#include "sfx/EntryName.h"
#include "sfx/SfxExtractor.h"
#include "tests/unit/MemoryTarget.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

int CountEvents(int code, void* param, void* context) {
    if (code == EXTRACT_PROGRESS) {
        int percent = *static_cast<int*>(param);
        (void)percent;
    }
    ++*static_cast<int*>(context);
    return 0;
}

std::string Folded(std::string_view name) {
    std::string folded(name);
    for (char& c : folded) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return folded;
}

// The record's position in the file of the directory's first byte, from the names' lengths;
// the reader does not say, so it is worked out from the trailer backwards.
std::uint64_t DirectoryStart(const std::string& archive, std::uint64_t end, int count) {
    std::uint64_t position = end - SFX_TRAILER_SIZE;
    for (int k = count - 1; k >= 0; --k) {
        std::uint32_t length = 0;
        std::memcpy(&length, archive.data() + position - SFX_NUMBER_LENGTH, SFX_NUMBER_LENGTH);
        position -= SFX_RECORD_FIXED_SIZE + length;
    }
    return position;
}

void RequireRules(const SfxExtractor& reader, const std::string& archive,
                  const ArchiveExtent& extent) {
    std::set<std::string> names;
    int count = reader.m_entryCount;
    std::uint64_t position = reader.Entry(0).m_offset;
    for (int i = 0; i < count; ++i) {
        const ArchiveEntry& entry = reader.Entry(i);
        Require(entry.m_offset == position);
        position += entry.m_packedSize;
        Require(!entry.m_name.empty() && Folded(entry.m_name) != "ICONS");
        Require(names.insert(Folded(entry.m_name)).second);
    }
    Require(position == DirectoryStart(archive, extent.end, count));
    Require(extent.end <= archive.size());
}

// Plain zlib over exactly the entry's packed bytes must end there and give contents.
void RequireInflatesTo(const std::string& archive, const ArchiveEntry& entry,
                       const std::string& contents) {
    z_stream stream{};
    Require(inflateInit(&stream) == Z_OK);
    std::string out(contents.size() + 1, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(archive.data() + entry.m_offset));
    stream.avail_in = entry.m_packedSize;
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    int status = inflate(&stream, Z_FINISH);
    Require(status == Z_STREAM_END && stream.avail_in == 0 && stream.total_out == contents.size());
    Require(std::memcmp(out.data(), contents.data(), contents.size()) == 0);
    inflateEnd(&stream);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string archive(reinterpret_cast<const char*>(data), size);
    MemoryFile file(archive);
    auto extractor = std::make_unique<SfxExtractor>();
    int read = extractor->ReadDirectory(file);
    Require(read == SFX_OK || read == SFX_ERR_SIGNATURE || read == SFX_ERR_NO_DATA);
    Require((read == SFX_OK) == (extractor->m_entryCount > 0));
    Require(extractor->m_entryCount <= SFX_MAX_ENTRIES);

    int events = 0;
    MemoryTarget target;
    int result = extractor->Extract(file, target, CountEvents, &events);
    Require(result == read || result == SFX_ERR_CORRUPT || result == SFX_ERR_WRITE);
    ArchiveVerdict verdict = ArchiveVerifier::Verify(file);
    Require(verdict.result == result);
    Require(file.strayReads() == 0);
    if (read != SFX_OK) {
        Require(events == 0 && target.createdCount() == 0);
        return 0;
    }
    RequireRules(*extractor, archive, verdict.extent);
    for (const auto& [name, contents] : target.files()) {
        Require(IsSafeEntryName(name));
        bool whole = false;
        for (int i = 0; i < extractor->m_entryCount; ++i) {
            const ArchiveEntry& entry = extractor->Entry(i);
            if (entry.m_name == std::string_view(name)) {
                Require(entry.m_size == contents.size());
                RequireInflatesTo(archive, entry, contents);
                whole = true;
            }
        }
        Require(whole);
    }
    Require(result != SFX_OK ||
            target.files().size() == static_cast<std::size_t>(extractor->m_entryCount));
    return 0;
}
