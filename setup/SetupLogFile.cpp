#include "setup/SetupLogFile.h"

#include <algorithm>
#include <memory>
#include <string_view>
#include <vector>

#include "setup/FileOperations.h"

#include "text/Format.h"
#include "paths/WindowsPaths.h"
#include "setup/ProductPaths.h"

namespace {

// Names a log may try where the one it would take is already taken: each was planted, and a
// handful of unguessable names cannot all be.
constexpr int LOG_UNGUESSABLE_ATTEMPTS = 8;
// The attempt that gives a numbered log its plain name, before the unguessable ones.
constexpr int LOG_PLAIN_NAME = -1;
// A numbered log's number has at most this many digits: a longer one is not a name setup gave.
constexpr std::size_t LOG_NUMBER_DIGITS = 9;

// "ZIL_Setup." and ".log": a numbered log's name is the one between them.
constexpr std::string_view LOG_NAME = SetupLogFile::FILE_NAME;
constexpr std::string_view LOG_STEM = LOG_NAME.substr(0, LOG_NAME.rfind('.') + 1);
constexpr std::string_view LOG_EXTENSION = LOG_NAME.substr(LOG_NAME.rfind('.'));

bool IsHexPart(std::string_view text) {
    if (text.size() != 9 || text[0] != '.') {
        return false;
    }
    for (char c : text.substr(1)) {
        if ((c < '0' || c > '9') && (c < 'a' || c > 'f')) {
            return false;
        }
    }
    return true;
}

// The number of a log whose name NumberedPath gives; 0 for any other name.
std::uint32_t LogNumber(const String& path) {
    const String base = BaseName(path);
    std::string_view name = base;
    if (name.size() <= LOG_STEM.size() + LOG_EXTENSION.size() ||
        !EqualsIgnoringCase(name.substr(0, LOG_STEM.size()), LOG_STEM) ||
        !EqualsIgnoringCase(name.substr(name.size() - LOG_EXTENSION.size()), LOG_EXTENSION)) {
        return 0;
    }
    name = name.substr(LOG_STEM.size(), name.size() - LOG_STEM.size() - LOG_EXTENSION.size());
    std::uint32_t number = 0;
    std::size_t digits = 0;
    for (; digits < name.size() && name[digits] >= '0' && name[digits] <= '9'; ++digits) {
        number = number * 10 + static_cast<std::uint32_t>(name[digits] - '0');
    }
    std::string_view rest = name.substr(digits);
    bool given = digits > 0 && digits <= LOG_NUMBER_DIGITS && name[0] != '0';
    return given && (rest.empty() || IsHexPart(rest)) ? number : 0;
}

// Why setup may not write a file at a path: null where it may (nothing there, or a plain file of
// its own with no second name).
const char* Refusal(Win32Error found, const PathInfo& info) {
    if (found != WIN_OK) {
        // Nothing there, or nothing that can be looked at: only an exclusive creation follows.
        return nullptr;
    }
    switch (info.kind) {
        case PathKind::Link:
            return "a link is there, and setup writes through none";
        case PathKind::Folder:
            return "a folder is there";
        case PathKind::Other:
            return "a device is there";
        case PathKind::File:
            break;
    }
    if (!info.trusted) {
        return "someone else's file is there";
    }
    return info.links == 1 ? nullptr : "the file there has another name too (a hard link)";
}

bool IsOwnFile(FileSystem& files, const String& path) {
    PathInfo info;
    Win32Error found = files.pathInfo(path, info);
    return found == WIN_OK && Refusal(found, info) == nullptr;
}

Win32Error WriteWhole(File& file, const String& content) {
    return file.write(content.data(), static_cast<std::uint32_t>(content.size()));
}

// What an exit code says of a run, after the sequence's name on the log's last line.
void AppendOutcome(String& line, int exitCode) {
    switch (exitCode) {
        case SETUP_EXIT_SUCCESS:
            line += "succeeded";
            return;
        case SETUP_EXIT_RESTART_REQUIRED:
            line += "succeeded. ";
            line += SETUP_RESTART_NOTE;
            return;
        case SETUP_EXIT_FAILURE:
            line += "failed";
            return;
        case SETUP_EXIT_BAD_ARCHIVE:
            line += "failed: the archive is missing, damaged or unreadable";
            return;
        case SETUP_EXIT_PREVIOUS_VERSION:
            line += "found a previous version";
            return;
        case SETUP_EXIT_CLOSED:
            line += "was closed";
            return;
        case SETUP_EXIT_USAGE:
            line += "did not understand its command line";
            return;
        default:
            line += "ended";
            return;
    }
}

}  // namespace

SetupLogFile::SetupLogFile(Platform& platform, const String& copyPath)
    : m_files(platform.files()),
      m_clock(platform.clock()),
      m_details(platform.system(), platform.clock()),
      m_copyPath(copyPath) {}

void SetupLogFile::Begin(const char* sequence, bool commandLine) {
    m_sequence = sequence;
    m_mode = sequence;
    m_mode += commandLine ? " (command line)" : " (interactive)";
    m_text.clear();
    m_details.Restart();
    // Each sequence is a run of its own, with a log of its own: the one before stays.
    m_path.clear();
}

Win32Error SetupLogFile::Write(const String& runLog, int exitCode) {
    m_text = runLog;
    m_exitCode = exitCode;
    return Rewrite();
}

Win32Error SetupLogFile::Append(std::string_view line) {
    m_text += line;
    // Once appended, the line's end is the text's end.
    if (line.size() < 2 || !m_text.ends_with("\r\n")) {
        m_text += "\r\n";
    }
    return Rewrite();
}

Win32Error SetupLogFile::SetExitCode(int exitCode) {
    if (exitCode == m_exitCode) {
        return WIN_OK;
    }
    m_exitCode = exitCode;
    return m_written ? Rewrite() : WIN_OK;
}

// The log is placed first and the copy opened, so that what the details say of both is what
// happened to them; the copy gets the same text, and a copy that cannot take it has the log say
// so.
Win32Error SetupLogFile::Rewrite() {
    m_written = true;
    std::unique_ptr<File> log;
    Win32Error error = OpenLog(log);
    std::unique_ptr<File> copy;
    OpenCopy(copy);
    String content = Content();
    error = error == WIN_OK ? WriteWhole(*log, content) : error;
    if (error != WIN_OK) {
        // A scanner that holds the file for a moment must not cost the run its log.
        error = WriteLog();
    }
    if (copy != nullptr) {
        if (Win32Error copied = WriteWhole(*copy, content); copied != WIN_OK) {
            m_copyRefused = m_details.ErrorInWords(copied);
            copy.reset();
            error = WriteLog();
        }
    }
    return error;
}

Win32Error SetupLogFile::WriteLog() {
    std::unique_ptr<File> file;
    Win32Error error = OpenLog(file);
    return error == WIN_OK ? WriteWhole(*file, Content()) : error;
}

// The first line names the run and its code; the last line says it in words.
String SetupLogFile::Content() {
    NoteWhereItWent();
    String content = "ZIL Setup " + m_mode;
    content += ", ";
    content += m_clock.localTimestamp();
    AppendFormat(content, ", exit code %d\r\n", m_exitCode);
    content += m_text;
    // A status line without a line end may come last in the run log: the details start on a
    // line of their own.
    if (!m_text.empty() && !m_text.ends_with("\r\n")) {
        content += "\r\n";
    }
    m_details.AppendTo(content);
    content += "Result: ";
    content += m_sequence;
    content += " ";
    AppendOutcome(content, m_exitCode);
    AppendFormat(content, " (exit code %d)\r\n", m_exitCode);
    return content;
}

void SetupLogFile::NoteWhereItWent() {
    m_details.ClearLogNotes();
    if (m_previousLost != WIN_OK) {
        m_details.NoteLog("the previous run's log could not be kept, " +
                          m_details.ErrorInWords(m_previousLost) + " This run's replaces it.");
    }
    if (!m_path.empty() && m_path != m_usual) {
        m_details.NoteLog(m_usual + " is not setup's own and stays; this run's log is " + m_path);
    }
    if (!m_copyPath.empty()) {
        m_details.NoteLog(m_copyRefused.empty()
                              ? "also written to " + m_copyPath
                              : "not written to " + m_copyPath + ": " + m_copyRefused);
    }
}

// The first write of a run keeps the last run's log and places this one; every later write goes
// where the first went. Where the usual path stays someone else's, the log takes a name nobody
// can have taken.
Win32Error SetupLogFile::OpenLog(std::unique_ptr<File>& file) {
    String usual;
    if (Win32Error error = Path(usual); error != WIN_OK) {
        return error;
    }
    if (m_path.empty()) {
        m_usual = usual;
        KeepPrevious();
        m_path = usual;
    }
    Win32Error error = OpenOwnFile(m_path, file);
    if (error == WIN_OK || m_path != usual) {
        return error;
    }
    PathInfo info;
    Win32Error found = m_files.pathInfo(usual, info);
    return found == WIN_OK && Refusal(found, info) != nullptr ? OpenUnguessable(file) : error;
}

// Setup's own last log becomes the next numbered one, and of the numbered ones only setup's own
// newest LOG_OLDER_KEPT stay. Only plain files of setup's own with no second name are renamed or
// deleted: what an ordinary user put at any of these names stays as it is, and counts for
// nothing. A name taken already (planted where the next number would go) gets an unguessable
// part.
void SetupLogFile::KeepPrevious() {
    std::vector<FolderItem> items;
    String pattern = LogFolder();
    pattern += LOG_STEM;
    pattern += "*";
    pattern += LOG_EXTENSION;
    m_files.listItems(pattern, items);
    std::vector<String> older;
    m_nextNumber = 1;
    for (const FolderItem& item : items) {
        std::uint32_t number = LogNumber(item.path);
        if (number != 0 && IsOwnFile(m_files, item.path)) {
            older.push_back(item.path);
            m_nextNumber = number >= m_nextNumber ? number + 1 : m_nextNumber;
        }
    }
    m_previousLost = WIN_OK;
    // The previous log, once numbered, is the newest of them: counted, but never the one to go.
    std::size_t renamed = 0;
    if (IsOwnFile(m_files, m_usual)) {
        std::uint64_t seed = FreshSeed(m_clock);
        m_previousLost = WIN_ALREADY_EXISTS;
        for (int attempt = LOG_PLAIN_NAME;
             attempt < LOG_UNGUESSABLE_ATTEMPTS &&
             (m_previousLost == WIN_ALREADY_EXISTS || m_previousLost == WIN_FILE_EXISTS);
             ++attempt) {
            m_previousLost = m_files.moveFile(m_usual, NumberedPath(seed, attempt), false);
        }
        if (m_previousLost == WIN_OK) {
            renamed = 1;
            ++m_nextNumber;
        }
    }
    while (older.size() + renamed > LOG_OLDER_KEPT) {
        auto oldest = std::min_element(older.begin(), older.end(),
                                       [](const String& one, const String& other) {
                                           return LogNumber(one) < LogNumber(other);
                                       });
        m_files.removeFile(*oldest);
        older.erase(oldest);
    }
}

Win32Error SetupLogFile::OpenUnguessable(std::unique_ptr<File>& file) {
    std::uint64_t seed = FreshSeed(m_clock);
    Win32Error error = WIN_ALREADY_EXISTS;
    for (int attempt = 0; attempt < LOG_UNGUESSABLE_ATTEMPTS && error != WIN_OK; ++attempt) {
        String path = NumberedPath(seed, attempt);
        error = m_files.open(path, FileMode::CreateNew, file);
        if (error == WIN_OK) {
            m_path = path;
        }
    }
    return error;
}

// The folder of the log's usual path, where the numbered logs are too.
String SetupLogFile::LogFolder() const {
    return m_usual.substr(0, m_usual.size() - std::string_view(FILE_NAME).size());
}

// ZIL_Setup.12.log (attempt LOG_PLAIN_NAME), or with an unguessable part ZIL_Setup.12.0a1b2c3d.log,
// for the next number.
String SetupLogFile::NumberedPath(std::uint64_t seed, int attempt) const {
    String path = LogFolder();
    path += LOG_STEM;
    path += ToString(m_nextNumber);
    if (attempt != LOG_PLAIN_NAME) {
        path += ".";
        path += UnguessableSuffix(seed, attempt);
    }
    path += LOG_EXTENSION;
    return path;
}

// The temporary folder is one where users may create files: what waits at the log's path may be
// a hard link to a file of administrators, or someone else's file, that writing would
// overwrite. Only a plain file of administrators with no other name (a log of setup's, which no
// user may delete or replace) is written again; anything else goes first, or aside, and the log
// is made afresh where nothing has the name.
Win32Error SetupLogFile::OpenOwnFile(const String& path, std::unique_ptr<File>& file) {
    PathInfo info;
    Win32Error found = m_files.pathInfo(path, info);
    if (found == WIN_OK && Refusal(found, info) == nullptr) {
        return m_files.open(path, FileMode::CreateWrite, file);
    }
    if (found == WIN_OK) {
        if (Win32Error error = ClearPath(path); error != WIN_OK) {
            return error;
        }
    }
    return m_files.open(path, FileMode::CreateNew, file);
}

// Removing a name never touches the file behind another name; what cannot be removed (a folder,
// a file held open) is renamed aside under the first free name, as setup's folders are.
Win32Error SetupLogFile::ClearPath(const String& path) {
    Win32Error error = m_files.removeFile(path);
    const String retired = path + SETUP_RETIRED_SUFFIX;
    for (int suffix = 1; error != WIN_OK && suffix <= SETUP_FREE_NAME_SUFFIXES; ++suffix) {
        if (m_files.moveFile(path, AsideName(retired, suffix), false) == WIN_OK) {
            error = WIN_OK;
        }
    }
    return error;
}

// The path the administrator named is theirs: nothing there is removed or renamed. Only a plain
// file of setup's own (or of its account) with no second name is written again, and a new file
// is created only where nothing has the name; the folder is never made. What stands in the way
// is named in the details, and the log stays where it always is.
void SetupLogFile::OpenCopy(std::unique_ptr<File>& copy) {
    if (m_copyPath.empty() || !m_copyRefused.empty()) {
        return;
    }
    PathInfo info;
    Win32Error found = m_files.pathInfo(m_copyPath, info);
    if (const char* refusal = Refusal(found, info)) {
        m_copyRefused = refusal;
        return;
    }
    FileMode mode = found == WIN_OK ? FileMode::CreateWrite : FileMode::CreateNew;
    Win32Error error = m_files.open(m_copyPath, mode, copy);
    if (error != WIN_OK) {
        error = m_files.open(m_copyPath, mode, copy);
    }
    if (error != WIN_OK) {
        m_copyRefused = m_details.ErrorInWords(error);
    }
}

Win32Error SetupLogFile::Path(String& path) {
    if (Win32Error error = m_files.tempDirectory(path); error != WIN_OK) {
        return error;
    }
    if (Win32Error error = EnsureTempFolder(path); error != WIN_OK) {
        return error;
    }
    path += FILE_NAME;
    return WIN_OK;
}

// A fresh machine (the simulated one, at least) may lack the temporary folder or even its
// parent, so every missing component is created from the drive down.
Win32Error SetupLogFile::EnsureTempFolder(const String& folder) {
    String path = TrimSeparators(folder);
    if (path.empty() || m_files.findFile(path)) {
        return WIN_OK;
    }
    return CreateFolders(m_files, path);
}
