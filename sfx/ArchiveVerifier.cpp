#include "sfx/ArchiveVerifier.h"

#include <memory>

#include "sfx/EntryInflater.h"
#include "sfx/SfxExtractor.h"
#include "setup/ProductPaths.h"

namespace {

// An output that keeps nothing: verify inflates every stream without writing it anywhere.
class DiscardFile : public File {
public:
    Win32Error read(void*, std::uint32_t, std::uint32_t& bytesRead) override {
        bytesRead = 0;
        return WIN_OK;
    }
    Win32Error write(const void*, std::uint32_t) override { return WIN_OK; }
    Win32Error seek(std::int64_t, SeekOrigin) override { return WIN_OK; }
    Win32Error length(std::uint64_t& bytes) override {
        bytes = 0;
        return WIN_OK;
    }
};

}  // namespace

ArchiveVerdict ArchiveVerifier::Verify(File& archive) {
    ArchiveVerdict verdict;
    auto reader = std::make_unique<SfxExtractor>();
    String fault;
    verdict.result = reader->ReadDirectory(archive, fault);
    if (verdict.result != SFX_OK) {
        verdict.faults.push_back(fault);
        return verdict;
    }
    verdict.entryCount = reader->m_entryCount;
    verdict.installable = reader->HasEntry(SETUP_SERVICE_ENTRY);
    verdict.extent = reader->Extent();
    auto inflater = std::make_unique<EntryInflater>();
    DiscardFile sink;
    for (int index = verdict.entryCount - 1; index >= 0; --index) {
        const ArchiveEntry& entry = reader->Entry(index);
        int result = inflater->Inflate(archive, entry, sink, nullptr, nullptr, fault);
        if (result == SFX_OK) {
            continue;
        }
        verdict.faults.push_back(EntryLabel(index, entry) + ": " + fault);
        verdict.result = result;
        if (result == SFX_ERR_WRITE) {
            break;  // as setup, which stops at a failed read
        }
    }
    return verdict;
}
