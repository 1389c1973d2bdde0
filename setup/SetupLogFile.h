#pragma once

#include <string>

#include "platform/Clock.h"
#include "platform/FileSystem.h"

// The log file that every install and uninstall leaves behind: ZIL_Setup.log in the Windows
// temporary folder, replaced by each run. A deployment tool that ran setup from the command
// line sees no window, so this file and the exit code are all it learns of the run.
//
// The first line names the mode, the local date and time and the exit code. The code is read
// from the run's own exit code whenever the file is written, and once more when this object
// goes: a code that changes after the last line was written still reaches the file.
class SetupLogFile {
public:
    static constexpr const char* FILE_NAME = "ZIL_Setup.log";

    SetupLogFile(FileSystem& files, Clock& clock, const int& exitCode);
    ~SetupLogFile();

    SetupLogFile(const SetupLogFile&) = delete;
    SetupLogFile& operator=(const SetupLogFile&) = delete;

    // Starts the log of one sequence ("install" or "uninstall", from the command line or not).
    void Begin(const std::string& sequence, bool commandLine);
    // The run log so far; rewrites the file. Failures are returned, never shown: a log that
    // cannot be written must not change the outcome of the run.
    Win32Error Write(const std::string& runLog);
    // Adds text after the run log (a message that a command-line run may not show in a box)
    // and rewrites the file.
    Win32Error Append(const std::string& text);

    // Where the file is: the temporary folder (created when missing) and FILE_NAME.
    Win32Error Path(std::string& path);
    std::string Header();

private:
    Win32Error EnsureTempFolder(const std::string& folder);

    FileSystem& m_files;
    Clock& m_clock;
    const int& m_exitCode;
    std::string m_mode = "setup";
    std::string m_text;
    bool m_written = false;
    int m_writtenCode = 0;
};
