// sfxpack: builds, lists, verifies and extracts the archives that the setup program carries.
//   sfxpack create -o OUT [--stub EXE] PATH...
//   sfxpack list FILE
//   sfxpack verify FILE
//   sfxpack extract FILE DIR
//   sfxpack --version

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <zlib.h>

#include "platform/FileSystem.h"
#include "sfx/ArchiveVerifier.h"
#include "sfx/ArchiveWriter.h"
#include "sfx/ExtractOutcome.h"
#include "sfx/SfxExtractor.h"

namespace {

constexpr int EXIT_FAULT = 1;
constexpr int EXIT_NOT_ARCHIVE = 2;
constexpr std::uint32_t COPY_CHUNK = 64 * 1024;

struct Input {
    std::string name;
    std::string path;
};

int Usage() {
    std::fprintf(stderr,
                 "usage: sfxpack create -o OUT [--stub EXE] PATH...\n"
                 "       sfxpack list FILE\n"
                 "       sfxpack verify FILE\n"
                 "       sfxpack extract FILE DIR\n"
                 "       sfxpack --version\n");
    return EXIT_FAULT;
}

std::string BaseName(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && (trimmed.back() == '/' || trimmed.back() == '\\')) {
        trimmed.pop_back();
    }
    size_t separator = trimmed.find_last_of("/\\");
    return separator == std::string::npos ? trimmed : trimmed.substr(separator + 1);
}

const char* ReaderOutcome(int result) {
    switch (result) {
        case SFX_ERR_OPEN:
            return "cannot open the file";
        case SFX_ERR_SIGNATURE:
            return "not an archive, or one whose directory breaks the format's rules";
        case SFX_ERR_NO_DATA:
            return "the archive holds no entries";
        default:
            return "cannot read the archive";
    }
}

// A folder contributes its top-level files in name order; anything deeper is refused, since
// an entry name cannot carry a folder.
bool CollectInputs(FileSystem& files, const std::vector<std::string>& paths,
                   std::vector<Input>& inputs, std::string& error) {
    for (const std::string& path : paths) {
        if (!files.isDirectory(path)) {
            if (!files.findFile(path)) {
                error = path + ": no such file";
                return false;
            }
            inputs.push_back({BaseName(path), path});
            continue;
        }
        std::vector<std::string> matches;
        files.listMatches(path + "/*", matches);
        for (const std::string& match : matches) {
            if (files.isDirectory(match)) {
                error = match + ": nested folders cannot be packed";
                return false;
            }
            // The listing's own name, not a re-split path: a host name may hold a backslash,
            // which the name check must see.
            inputs.push_back(
                {match.substr(match.size() > path.size() ? path.size() + 1 : 0), match});
        }
    }
    return true;
}

bool CopyStub(FileSystem& files, const std::string& stub, File& output, std::uint64_t& length,
              std::string& error) {
    std::unique_ptr<File> input;
    if (Win32Error opened = files.open(stub, FileMode::ReadShared, input); opened != WIN_OK) {
        error = stub + ": cannot open (Windows error " + std::to_string(opened) + ")";
        return false;
    }
    std::vector<unsigned char> buffer(COPY_CHUNK);
    length = 0;
    while (true) {
        std::uint32_t got = 0;
        if (input->read(buffer.data(), COPY_CHUNK, got) != WIN_OK) {
            error = stub + ": cannot read";
            return false;
        }
        if (got == 0) {
            return true;
        }
        if (output.write(buffer.data(), got) != WIN_OK) {
            error = "cannot write the output";
            return false;
        }
        length += got;
    }
}

bool WriteArchive(FileSystem& files, File& output, const std::string& stub,
                  const std::vector<Input>& inputs, std::string& error) {
    std::uint64_t imageLength = 0;
    if (!stub.empty() && !CopyStub(files, stub, output, imageLength, error)) {
        return false;
    }
    ArchiveWriter writer(output, imageLength);
    for (const Input& input : inputs) {
        std::unique_ptr<File> file;
        if (Win32Error opened = files.open(input.path, FileMode::ReadShared, file);
            opened != WIN_OK) {
            error = input.path + ": cannot open (Windows error " + std::to_string(opened) + ")";
            return false;
        }
        if (!writer.AddFile(input.name, *file, error)) {
            return false;
        }
    }
    return writer.Finish(error);
}

int Create(FileSystem& files, const std::vector<std::string>& args) {
    std::string out;
    std::string stub;
    std::vector<std::string> paths;
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
    std::vector<Input> inputs;
    std::string error;
    std::vector<std::string> names;
    if (CollectInputs(files, paths, inputs, error)) {
        for (const Input& input : inputs) {
            names.push_back(input.name);
        }
        error = ArchiveWriter::CheckNames(names);
    }
    if (!error.empty()) {
        std::fprintf(stderr, "sfxpack: refused: %s\n", error.c_str());
        return EXIT_FAULT;
    }
    bool written = false;
    {
        std::unique_ptr<File> output;
        if (Win32Error opened = files.open(out, FileMode::CreateWrite, output); opened != WIN_OK) {
            std::fprintf(stderr, "sfxpack: %s: cannot create (Windows error %u)\n", out.c_str(),
                         static_cast<unsigned>(opened));
            return EXIT_FAULT;
        }
        written = WriteArchive(files, *output, stub, inputs, error);
    }
    if (!written) {
        files.removeFile(out);
        std::fprintf(stderr, "sfxpack: %s\n", error.c_str());
        return EXIT_FAULT;
    }
    return 0;
}

int List(FileSystem& files, const std::string& path) {
    SfxExtractor extractor(files, path);
    std::string fault;
    if (int result = extractor.ReadDirectory(path, fault); result != SFX_OK) {
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

std::string DescribeExtent(const ArchiveExtent& extent) {
    std::string end = "ends at " + std::to_string(extent.end);
    if (!extent.hasCertificateTable) {
        return end + ", the end of the file; no certificate table";
    }
    std::string table = "certificate table of " + std::to_string(extent.tableSize) + " bytes";
    if (extent.tableEndsFile) {
        return end + ", " + std::to_string(extent.tableStart - extent.end) +
               " bytes of padding before the " + table + " at " +
               std::to_string(extent.tableStart) + ", which ends the file";
    }
    return end + ", the end of the file; a " + table + " at " + std::to_string(extent.tableStart) +
           " lies in the image in front of the archive";
}

// Every rule of the format, with setup's own reader and inflater: the verdict is the code that
// setup's extraction of this file would end with.
int Verify(FileSystem& files, const std::string& path) {
    ArchiveVerdict verdict = ArchiveVerifier(files).Verify(path);
    bool directoryRead = verdict.entryCount > 0;
    if (directoryRead) {
        std::printf("%s: %d entries; the archive %s\n", path.c_str(), verdict.entryCount,
                    DescribeExtent(verdict.extent).c_str());
    }
    for (const std::string& fault : verdict.faults) {
        std::printf("%s: %s\n", path.c_str(), fault.c_str());
    }
    std::printf("%s: result %d, %s\n", path.c_str(), verdict.result,
                verdict.result == SFX_OK ? "every rule holds and every stream inflates"
                : directoryRead          ? "damaged streams"
                                         : ReaderOutcome(verdict.result));
    if (verdict.result == SFX_OK) {
        return 0;
    }
    return directoryRead ? EXIT_FAULT : EXIT_NOT_ARCHIVE;
}

struct ProgressView {
    bool terminal = false;
    int total = 0;
    int done = 0;
    std::string name;
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

int Extract(FileSystem& files, const std::string& path, const std::string& folder) {
    if (!files.isDirectory(folder)) {
        files.createDirectory(folder);
    }
    SfxExtractor extractor(files, path);
    ProgressView view;
    view.terminal = standardOutputIsTerminal();
    if (extractor.ReadDirectory(path) == SFX_OK) {
        view.total = extractor.m_entryCount;
    }
    int result = extractor.Extract(folder, ShowProgress, &view);
    if (view.terminal) {
        std::printf("\r\033[K");
    }
    std::printf("%s\n", ExtractOutcomeText(result, extractor.m_entryCount).c_str());
    return result == SFX_OK ? 0 : EXIT_FAULT;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        return Usage();
    }
    if (args[0] == "--version") {
        std::printf("sfxpack 1.0 (archive format %s, zlib %s)\n", SFX_VERSION, zlibVersion());
        return 0;
    }
    std::unique_ptr<FileSystem> files = createNativeFileSystem();
    std::vector<std::string> rest(args.begin() + 1, args.end());
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
