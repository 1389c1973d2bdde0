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
            return "not an archive: no trailer, another version, or a directory that does not fit "
                   "the file";
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
    if (int result = extractor.ReadDirectory(path); result != SFX_OK) {
        std::fprintf(stderr, "sfxpack: %s: %s (%d)\n", path.c_str(), ReaderOutcome(result), result);
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

// Inflates exactly the entry's packed bytes; the fault in words, or empty.
std::string CheckStream(File& archive, const ArchiveEntry& entry) {
    if (archive.seek(entry.m_offset, SeekOrigin::Begin) != WIN_OK) {
        return "cannot seek to its stream";
    }
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) {
        return "out of memory for the inflater";
    }
    std::vector<unsigned char> in(COPY_CHUNK);
    std::vector<unsigned char> out(COPY_CHUNK);
    std::uint32_t left = entry.m_packedSize;
    std::uint64_t inflated = 0;
    int status = Z_OK;
    std::string fault;
    while (status == Z_OK && fault.empty()) {
        if (stream.avail_in == 0 && left > 0) {
            std::uint32_t got = 0;
            archive.read(in.data(), std::min(left, COPY_CHUNK), got);
            if (got == 0) {
                fault = "stream runs past the end of the file";
                break;
            }
            left -= got;
            stream.next_in = in.data();
            stream.avail_in = got;
        }
        stream.next_out = out.data();
        stream.avail_out = COPY_CHUNK;
        status = inflate(&stream, Z_NO_FLUSH);
        inflated += COPY_CHUNK - stream.avail_out;
        if (status == Z_BUF_ERROR && left == 0 && stream.avail_in == 0) {
            fault = "stream does not end within its packed size";
        }
    }
    if (fault.empty() && status != Z_STREAM_END) {
        fault = std::string("stream damaged: ") + (stream.msg ? stream.msg : "inflate error");
    } else if (fault.empty() && (stream.avail_in != 0 || left != 0)) {
        fault = "stream ends before its packed size";
    } else if (fault.empty() && inflated != entry.m_size) {
        fault = "inflates to " + std::to_string(inflated) + " bytes, recorded " +
                std::to_string(entry.m_size);
    }
    inflateEnd(&stream);
    return fault;
}

int Verify(FileSystem& files, const std::string& path) {
    SfxExtractor extractor(files, path);
    if (int result = extractor.ReadDirectory(path); result != SFX_OK) {
        std::printf("%s: %s (%d)\n", path.c_str(), ReaderOutcome(result), result);
        return EXIT_NOT_ARCHIVE;
    }
    std::unique_ptr<File> archive;
    std::uint64_t fileLength = 0;
    if (files.open(path, FileMode::ReadShared, archive) != WIN_OK ||
        archive->length(fileLength) != WIN_OK) {
        std::printf("%s: cannot open\n", path.c_str());
        return EXIT_NOT_ARCHIVE;
    }
    int count = extractor.m_entryCount;
    int faults = 0;
    auto fault = [&faults](const std::string& text) {
        std::printf("%s\n", text.c_str());
        ++faults;
    };
    if (count < 1 || count > SFX_MAX_ENTRIES) {
        fault("entry count " + std::to_string(count) + " outside 1 to 256");
    }
    std::uint64_t packedTotal = 0;
    std::uint64_t directoryLength = 0;
    for (int i = 0; i < count; ++i) {
        const ArchiveEntry& entry = extractor.Entry(i);
        std::string label = "entry " + std::to_string(i) + " (" + entry.m_name + "): ";
        if (i > 0) {
            const ArchiveEntry& before = extractor.Entry(i - 1);
            std::uint64_t expected = std::uint64_t{before.m_offset} + before.m_packedSize;
            if (entry.m_offset != expected) {
                fault(label + "stream starts at " + std::to_string(entry.m_offset) +
                      ", not right after the previous one at " + std::to_string(expected));
            }
        }
        packedTotal += entry.m_packedSize;
        directoryLength += 16 + entry.m_name.size();
        if (std::string problem = CheckStream(*archive, entry); !problem.empty()) {
            fault(label + problem);
        }
    }
    const ArchiveEntry& last = extractor.Entry(count - 1);
    std::uint64_t dataEnd = std::uint64_t{last.m_offset} + last.m_packedSize;
    std::uint64_t directoryStart = fileLength - SFX_TRAILER_SIZE - directoryLength;
    if (dataEnd != directoryStart) {
        fault("directory starts at " + std::to_string(directoryStart) +
              ", not right after the last stream at " + std::to_string(dataEnd) +
              " (or a name holds a zero byte)");
    }
    std::uint64_t image = extractor.Entry(0).m_offset;
    std::uint64_t expectedLength = image + packedTotal + directoryLength + SFX_TRAILER_SIZE;
    if (expectedLength != fileLength) {
        fault("file is " + std::to_string(fileLength) + " bytes; image, streams, directory and " +
              "trailer add up to " + std::to_string(expectedLength));
    }
    return faults == 0 ? 0 : EXIT_FAULT;
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
        std::printf("sfxpack 1.0 (archive format 1.10, zlib %s)\n", zlibVersion());
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
