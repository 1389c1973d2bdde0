// Feeds arbitrary bytes to the directory reader and the extractor as the running program's
// archive, and checks what must hold for any input: no crash, no sanitizer report, output only
// under the target folder and only under names that stay there, and every output left behind
// is a whole entry.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "sfx/EntryName.h"
#include "sfx/SfxExtractor.h"
#include "tests/fuzz/MemoryFileSystem.h"

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string archive(reinterpret_cast<const char*>(data), size);
    MemoryFileSystem files("Z:\\setup.exe", archive);
    auto extractor = std::make_unique<SfxExtractor>(files);
    int read = extractor->ReadDirectory(extractor->GetModulePath());
    Require(read == SFX_OK || read == SFX_ERR_SIGNATURE || read == SFX_ERR_NO_DATA);
    Require((read == SFX_OK) == (extractor->m_entryCount > 0));
    Require(extractor->m_entryCount <= SFX_MAX_ENTRIES);

    int events = 0;
    int result = extractor->Extract("T", CountEvents, &events);
    Require(result != 1003 && result >= SFX_ERR_OPEN && result <= SFX_ERR_WRITE);
    if (read != SFX_OK) {
        Require(result == read && events == 0 && files.createdCount() == 0);
    }
    for (const auto& [path, contents] : files.outputs()) {
        Require(path.rfind("T\\", 0) == 0);
        std::string name = path.substr(2);
        Require(!name.empty() && IsSafeEntryName(name));
        bool whole = false;
        for (int i = 0; i < extractor->m_entryCount; ++i) {
            const ArchiveEntry& entry = extractor->Entry(i);
            whole = whole || (entry.m_name == name && entry.m_size == contents.size());
        }
        Require(whole);
    }
    return 0;
}
