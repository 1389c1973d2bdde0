// sfxpack: builds, lists, verifies and extracts the archives that the setup program carries.
//   sfxpack create -o OUT [--stub EXE] PATH...
//   sfxpack list FILE
//   sfxpack verify FILE
//   sfxpack extract FILE DIR
//   sfxpack --help | --version

#include <cstdio>
#include <memory>
#include "text/StringType.h"
#include <vector>

#include <zlib.h>

#include "platform/FileSystem.h"
#include "paths/WindowsPaths.h"
#include "sfx/ArchiveVerifier.h"
#include "sfx/ArchiveWriter.h"
#include "sfx/EntryDeflater.h"
#include "sfx/ExtractOutcome.h"
#include "sfx/SfxExtractor.h"
#include "setup/ProductPaths.h"

namespace {

constexpr int EXIT_FAULT = 1;
constexpr int EXIT_NOT_ARCHIVE = 2;
// Names tried for the archive being written before the run gives up (OUT.partial, .1, ...).
constexpr int PARTIAL_NAME_ATTEMPTS = 100;

struct Input {
    String name;
    String path;
    PathInfo info;
};

constexpr char SFXPACK_USAGE[] =
    "usage: sfxpack create -o OUT [--stub EXE] PATH...\n"
    "       sfxpack list FILE\n"
    "       sfxpack verify FILE\n"
    "       sfxpack extract FILE DIR\n"
    "       sfxpack --help | --version\n";

int Usage() {
    std::fputs(SFXPACK_USAGE, stderr);
    return EXIT_FAULT;
}

int Help() {
    std::printf("%s\ncreate: %s.\n", SFXPACK_USAGE, EntryDeflater::Method().c_str());
    return 0;
}

// The reader's and the verifier's result codes in the tool's words.
const char* ReaderOutcome(int result) {
    switch (result) {
        case SFX_OK:
            return "every rule holds and every stream inflates";
        case SFX_ERR_OPEN:
            return "cannot open the file";
        case SFX_ERR_SIGNATURE:
            return "not an archive, or one whose directory breaks the format's rules";
        case SFX_ERR_NO_DATA:
            return "the archive holds no entries";
        case SFX_ERR_CORRUPT:
            return "damaged streams";
        case SFX_ERR_INCOMPLETE:
            return "the install would refuse it: a file it starts by name is missing";
        default:
            return "cannot read the archive";
    }
}

// Why a path cannot be packed as one entry's file; empty when it can. Only regular files are
// packed: a link may point anywhere, and a device or pipe may never end.
String NotAFile(const String& path, const PathInfo& info) {
    switch (info.kind) {
        case PathKind::File:
            return "";
        case PathKind::Folder:
            return path + ": nested folders cannot be packed";
        case PathKind::Link:
            return path + ": a link; only regular files are packed";
        case PathKind::Other:
            return path + ": a device, pipe or socket; only regular files are packed";
    }
    return path + ": not a regular file";
}

// What create packs: the files, the folders they came from, and the stub.
struct PackList {
    std::vector<Input> inputs;
    std::vector<String> folders;
    PathInfo stub;
};

// A folder contributes its top-level files in name order; anything deeper is refused, since
// an entry name cannot carry a folder.
bool CollectInputs(FileSystem& files, const std::vector<String>& paths, PackList& pack,
                   String& error) {
    for (const String& path : paths) {
        PathInfo info;
        if (files.pathInfo(path, info) != WIN_OK) {
            error = path + ": no such file";
            return false;
        }
        if (info.kind != PathKind::Folder) {
            if (error = NotAFile(path, info); !error.empty()) {
                return false;
            }
            pack.inputs.push_back({BaseName(path), path, info});
            continue;
        }
        pack.folders.push_back(path);
        std::vector<FolderItem> items;
        files.listItems(path + "/*", items);
        for (const FolderItem& item : items) {
            const String& match = item.path;
            PathInfo found;
            if (files.pathInfo(match, found) != WIN_OK) {
                error = match + ": vanished while the folder was read";
                return false;
            }
            if (error = NotAFile(match, found); !error.empty()) {
                return false;
            }
            // The listing's own name, not a re-split path: a host name may hold a backslash,
            // which the name check must see.
            pack.inputs.push_back(
                {match.substr(match.size() > path.size() ? path.size() + 1 : 0), match, found});
        }
    }
    return true;
}

// The output may not be one of the files it is made of: writing it would destroy them.
String CheckOutputIsNoInput(FileSystem& files, const String& out, const String& stub,
                            const PackList& pack) {
    PathInfo info;
    if (files.pathInfo(out, info) != WIN_OK) {
        return "";
    }
    if (info.kind == PathKind::Folder) {
        return out + ": a folder";
    }
    if (!stub.empty() && info.SameFileAs(pack.stub)) {
        return out + ": the output is also the stub";
    }
    for (const Input& input : pack.inputs) {
        if (info.SameFileAs(input.info)) {
            return out + ": the output is also the input " + input.path;
        }
    }
    return "";
}

// The output may not land in an input folder either (it would be packed into the next run's
// archive). Its folder is compared by what it holds, so that no spelling of the path, link or
// alias of the folder gets past: the new file itself must not turn up in an input folder.
String CheckOutsideInputFolders(FileSystem& files, const String& out, const String& partial,
                                const PackList& pack) {
    PathInfo created;
    if (files.pathInfo(partial, created) != WIN_OK) {
        return partial + ": vanished after it was created";
    }
    for (const String& folder : pack.folders) {
        std::vector<FolderItem> items;
        files.listItems(folder + "/*", items);
        for (const FolderItem& item : items) {
            PathInfo info;
            if (files.pathInfo(item.path, info) == WIN_OK && info.SameFileAs(created)) {
                return out + ": the output lies inside the input folder " + folder;
            }
        }
    }
    return "";
}

bool CopyStub(FileSystem& files, const String& stub, File& output, std::uint64_t& length,
              String& error) {
    std::unique_ptr<File> input;
    if (Win32Error opened = files.open(stub, FileMode::ReadShared, input); opened != WIN_OK) {
        error = stub + ": cannot open (Windows error " + ToString(opened) + ")";
        return false;
    }
    std::uint64_t before = 0;
    if (input->length(before) != WIN_OK) {
        error = stub + ": cannot read its length";
        return false;
    }
    CopyOutcome copied = CopyRest(*input, output);
    if (copied.error != WIN_OK) {
        error = copied.readFailed ? stub + ": cannot read" : "cannot write the output";
        return false;
    }
    length = copied.copied;
    std::uint64_t after = 0;
    if (input->length(after) != WIN_OK || before != length || after != length) {
        error = stub + ": the file changed size while it was copied";
        return false;
    }
    return true;
}

bool WriteArchive(FileSystem& files, File& output, const String& stub,
                  const std::vector<Input>& inputs, String& error) {
    std::uint64_t imageLength = 0;
    if (!stub.empty() && !CopyStub(files, stub, output, imageLength, error)) {
        return false;
    }
    ArchiveWriter writer(output, imageLength);
    for (const Input& input : inputs) {
        std::unique_ptr<File> file;
        if (Win32Error opened = files.open(input.path, FileMode::ReadShared, file);
            opened != WIN_OK) {
            error = input.path + ": cannot open (Windows error " + ToString(opened) + ")";
            return false;
        }
        if (!writer.AddFile(input.name, *file, error)) {
            return false;
        }
    }
    return writer.Finish(error);
}

// Everything create refuses before it writes a byte; empty when the pack may go ahead.
String CheckPack(FileSystem& files, const std::vector<String>& paths, const String& out,
                 const String& stub, PackList& pack) {
    String error;
    if (!CollectInputs(files, paths, pack, error)) {
        return error;
    }
    if (!stub.empty()) {
        if (files.pathInfo(stub, pack.stub) != WIN_OK) {
            return stub + ": no such file";
        }
        if (error = NotAFile(stub, pack.stub); !error.empty()) {
            return error;
        }
    }
    std::vector<String> names;
    for (const Input& input : pack.inputs) {
        names.push_back(input.name);
    }
    if (error = ArchiveWriter::CheckNames(names); !error.empty()) {
        return error;
    }
    return CheckOutputIsNoInput(files, out, stub, pack);
}

// A new file for the archive beside the output, under a name that nothing has yet. It is made
// exclusively, so an input, the stub, a leftover or a link that has such a name is never
// replaced, deleted or packed: another name is taken instead.
Win32Error CreatePartial(FileSystem& files, const String& out, String& partial,
                         std::unique_ptr<File>& output) {
    Win32Error error = WIN_FILE_EXISTS;
    for (int attempt = 0; attempt < PARTIAL_NAME_ATTEMPTS && error == WIN_FILE_EXISTS; ++attempt) {
        partial = out + ".partial" + (attempt == 0 ? "" : "." + ToString(attempt));
        error = files.open(partial, FileMode::CreateNew, output);
    }
    return error;
}

// The archive is written beside the output and takes the output's name only when it is
// complete: a failure, or a run that is killed, never leaves a partial output, and an older
// output stays as it was until then.
int Create(FileSystem& files, const std::vector<String>& args) {
    String out;
    String stub;
    std::vector<String> paths;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o" && i + 1 < args.size()) {
            out = args[++i];
        } else if (args[i] == "--stub" && i + 1 < args.size()) {
            stub = args[++i];
        } else {
            paths.push_back(args[i]);
        }
    }
    if (out.empty() || paths.empty()) {
        return Usage();
    }
    PackList pack;
    if (String refusal = CheckPack(files, paths, out, stub, pack); !refusal.empty()) {
        std::fprintf(stderr, "sfxpack: refused: %s\n", refusal.c_str());
        return EXIT_FAULT;
    }
    String partial;
    String error;
    bool written = false;
    {
        std::unique_ptr<File> output;
        if (Win32Error opened = CreatePartial(files, out, partial, output); opened != WIN_OK) {
            std::fprintf(stderr, "sfxpack: %s: cannot create (Windows error %u)\n", partial.c_str(),
                         static_cast<unsigned>(opened));
            return EXIT_FAULT;
        }
        if (String refusal = CheckOutsideInputFolders(files, out, partial, pack);
            !refusal.empty()) {
            error = "refused: " + refusal;
        } else {
            written = WriteArchive(files, *output, stub, pack.inputs, error);
        }
    }  // closed before it is renamed or removed
    if (written) {
        if (Win32Error renamed = files.moveFile(partial, out, true); renamed != WIN_OK) {
            error =
                out + ": cannot put the archive in place (Windows error " + ToString(renamed) + ")";
            written = false;
        }
    }
    if (!written) {
        files.removeFile(partial);
        std::fprintf(stderr, "sfxpack: %s\n", error.c_str());
        return EXIT_FAULT;
    }
    return 0;
}

int List(FileSystem& files, const String& path) {
    // The directory of up to 256 entries is larger than a frame of the 32-bit build may be.
    auto ownedExtractor = std::make_unique<SfxExtractor>();
    SfxExtractor& extractor = *ownedExtractor;
    std::unique_ptr<File> archive;
    String fault;
    int result = OpenArchive(files, path, archive, fault);
    if (result == SFX_OK) {
        result = extractor.ReadDirectory(*archive, fault);
    }
    if (result != SFX_OK) {
        std::fprintf(stderr, "sfxpack: %s: %s: %s (%d)\n", path.c_str(), ReaderOutcome(result),
                     fault.c_str(), result);
        return EXIT_NOT_ARCHIVE;
    }
    for (int i = 0; i < extractor.m_entryCount; ++i) {
        const ArchiveEntry& entry = extractor.Entry(i);
        std::printf("%d\t%u\t%u\t%u\t%s\n", i, static_cast<unsigned>(entry.m_offset),
                    static_cast<unsigned>(entry.m_size), static_cast<unsigned>(entry.m_packedSize),
                    entry.m_name.c_str());
    }
    return 0;
}

String DescribeExtent(const ArchiveExtent& extent) {
    String end = "ends at " + ToString(extent.end);
    if (!extent.hasCertificateTable) {
        return end + ", the end of the file; no certificate table";
    }
    String table = "certificate table of " + ToString(extent.tableSize) + " bytes";
    if (extent.tableEndsFile) {
        return end + ", " + ToString(extent.tableStart - extent.end) +
               " bytes of padding before the " + table + " at " + ToString(extent.tableStart) +
               ", which ends the file";
    }
    return end + ", the end of the file; a " + table + " at " + ToString(extent.tableStart) +
           " lies in the image in front of the archive";
}

// Every rule of the format, with setup's own reader and inflater: the verdict is the code that
// setup's extraction of this file would end with.
ArchiveVerdict VerifyFile(FileSystem& files, const String& path) {
    std::unique_ptr<File> archive;
    String fault;
    if (int opened = OpenArchive(files, path, archive, fault); opened != SFX_OK) {
        ArchiveVerdict verdict;
        verdict.result = opened;
        verdict.faults.push_back(fault);
        return verdict;
    }
    return ArchiveVerifier::Verify(*archive);
}

int Verify(FileSystem& files, const String& path) {
    ArchiveVerdict verdict = VerifyFile(files, path);
    bool directoryRead = verdict.entryCount > 0;
    if (directoryRead) {
        std::printf("%s: %d entries; the archive %s\n", path.c_str(), verdict.entryCount,
                    DescribeExtent(verdict.extent).c_str());
    }
    for (const String& fault : verdict.faults) {
        std::printf("%s: %s\n", path.c_str(), fault.c_str());
    }
    // A sound payload that setup would not install is refused like a directory that breaks a
    // rule: nothing of it would be extracted.
    int result =
        verdict.result == SFX_OK && !verdict.installable ? SFX_ERR_INCOMPLETE : verdict.result;
    if (result == SFX_ERR_INCOMPLETE) {
        std::printf("%s: no entry %s, which the install starts\n", path.c_str(),
                    SETUP_SERVICE_ENTRY);
    }
    std::printf("%s: result %d, %s\n", path.c_str(), result, ReaderOutcome(result));
    if (result == SFX_OK) {
        return 0;
    }
    return !directoryRead || result == SFX_ERR_INCOMPLETE ? EXIT_NOT_ARCHIVE : EXIT_FAULT;
}

struct ProgressView {
    bool terminal = false;
    int total = 0;
    int done = 0;
    String name;
};

int ShowProgress(int code, void* param, void* context) {
    auto* view = static_cast<ProgressView*>(context);
    if (code == EXTRACT_ENTRY_BEGIN) {
        view->name = static_cast<ArchiveEntry*>(param)->m_name;
    } else if (code == EXTRACT_ENTRY_DONE) {
        ++view->done;
    }
    if (view->terminal) {
        int percent = code == EXTRACT_PROGRESS ? *static_cast<int*>(param) : 0;
        std::printf("\r\033[K%d/%d %s %d%%", view->done, view->total, view->name.c_str(), percent);
        std::fflush(stdout);
    }
    return 0;
}

int Extract(FileSystem& files, const String& path, const String& folder) {
    if (!IsFolder(files, folder)) {
        files.createDirectory(folder);
    }
    // The directory of up to 256 entries is larger than a frame of the 32-bit build may be.
    auto ownedExtractor = std::make_unique<SfxExtractor>();
    SfxExtractor& extractor = *ownedExtractor;
    ProgressView view;
    view.terminal = standardOutputIsTerminal();
    std::unique_ptr<File> archive;
    String fault;
    int result = OpenArchive(files, path, archive, fault);
    if (result == SFX_OK) {
        if (extractor.ReadDirectory(*archive) == SFX_OK) {
            view.total = extractor.m_entryCount;
        }
        FolderTarget target(files, folder);
        result = extractor.Extract(*archive, target, ShowProgress, &view);
    }
    if (view.terminal) {
        std::printf("\r\033[K");
    }
    std::printf("%s\n", ExtractOutcomeText(result, extractor.m_entryCount).c_str());
    return result == SFX_OK ? 0 : EXIT_FAULT;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<String> args(argv + 1, argv + argc);
    if (args.empty()) {
        return Usage();
    }
    if (args[0] == "--help") {
        return Help();
    }
    if (args[0] == "--version") {
        std::printf("sfxpack 1.0 (archive format %s, zlib %s)\n", SFX_VERSION, zlibVersion());
        return 0;
    }
    std::unique_ptr<FileSystem> files = createNativeFileSystem();
    std::vector<String> rest(args.begin() + 1, args.end());
    if (args[0] == "create") {
        return Create(*files, rest);
    }
    if (args[0] == "list" && rest.size() == 1) {
        return List(*files, rest[0]);
    }
    if (args[0] == "verify" && rest.size() == 1) {
        return Verify(*files, rest[0]);
    }
    if (args[0] == "extract" && rest.size() == 2) {
        return Extract(*files, rest[0], rest[1]);
    }
    return Usage();
}
