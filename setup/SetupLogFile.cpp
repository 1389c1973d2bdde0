#include "setup/SetupLogFile.h"

#include <memory>

#include "platform/WindowsPaths.h"
#include "sfx/TargetFolders.h"

SetupLogFile::SetupLogFile(Platform& platform)
    : m_files(platform.files()),
      m_clock(platform.clock()),
      m_details(platform.system(), platform.clock()) {}

void SetupLogFile::Begin(const String& sequence, bool commandLine) {
    m_sequence = sequence;
    m_mode = sequence + (commandLine ? " (command line)" : " (interactive)");
    m_text.clear();
    m_details.Restart();
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

Win32Error SetupLogFile::Rewrite() {
    m_written = true;
    String content = Header();
    content += m_text;
    content += RunLogEnd();
    content += m_details.Text();
    content += Footer();
    // A scanner that holds the file for a moment must not cost the run its log.
    Win32Error error = WriteFile(content);
    return error == WIN_OK ? error : WriteFile(content);
}

Win32Error SetupLogFile::WriteFile(const String& content) {
    String path;
    if (Win32Error error = Path(path); error != WIN_OK) {
        return error;
    }
    std::unique_ptr<File> file;
    if (Win32Error error = OpenOwnFile(path, file); error != WIN_OK) {
        return error;
    }
    return file->write(content.data(), static_cast<std::uint32_t>(content.size()));
}

// The temporary folder is one where users may create files: what waits at the log's path may be
// a hard link to a file of administrators, or someone else's file, that writing would
// overwrite. Only a plain file of administrators with no other name (a log of setup's, which no
// user may delete or replace) is written again; anything else goes first, or aside, and the log
// is made afresh where nothing has the name.
Win32Error SetupLogFile::OpenOwnFile(const String& path, std::unique_ptr<File>& file) {
    PathInfo info;
    Win32Error found = m_files.pathInfo(path, info);
    if (found == WIN_OK && info.kind == PathKind::File && info.links == 1 && info.trusted) {
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
// a file held open) is renamed aside under the first free name.
Win32Error SetupLogFile::ClearPath(const String& path) {
    Win32Error error = m_files.removeFile(path);
    for (int suffix = 1; error != WIN_OK && suffix <= LOG_ASIDE_NAMES; ++suffix) {
        String aside = path + SFX_RETIRED_SUFFIX;
        if (suffix > 1) {
            aside += "." + ToString(suffix);
        }
        if (m_files.moveFile(path, aside, false) == WIN_OK) {
            error = WIN_OK;
        }
    }
    return error;
}

Win32Error SetupLogFile::Path(String& path) {
    String folder;
    if (Win32Error error = m_files.tempDirectory(folder); error != WIN_OK) {
        return error;
    }
    if (Win32Error error = EnsureTempFolder(folder); error != WIN_OK) {
        return error;
    }
    path = folder + FILE_NAME;
    return WIN_OK;
}

String SetupLogFile::OutcomeOf(int exitCode) {
    switch (exitCode) {
        case SETUP_EXIT_SUCCESS:
            return "succeeded";
        case SETUP_EXIT_RESTART_REQUIRED:
            return String("succeeded. ") + SETUP_RESTART_NOTE;
        case SETUP_EXIT_FAILURE:
            return "failed";
        case SETUP_EXIT_BAD_ARCHIVE:
            return "failed: the archive is missing, damaged or unreadable";
        case SETUP_EXIT_PREVIOUS_VERSION:
            return "found a previous version";
        case SETUP_EXIT_CLOSED:
            return "was closed";
        case SETUP_EXIT_USAGE:
            return "did not understand its command line";
        default:
            return "ended";
    }
}

// A status line without a line end may come last in the run log: the details start on a line
// of their own.
const char* SetupLogFile::RunLogEnd() const {
    return m_text.empty() || m_text.ends_with("\r\n") ? "" : "\r\n";
}

String SetupLogFile::Footer() const {
    String footer = "Result: " + m_sequence;
    footer += " ";
    footer += OutcomeOf(m_exitCode);
    footer += " (exit code ";
    footer += ToString(m_exitCode);
    footer += ")\r\n";
    return footer;
}

String SetupLogFile::Header() {
    String header = "ZIL Setup " + m_mode;
    header += ", ";
    header += m_clock.localTimestamp();
    header += ", exit code ";
    header += ToString(m_exitCode);
    header += "\r\n";
    return header;
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
