#pragma once

#include <string>

#include "platform/Clock.h"
#include "platform/FileSystem.h"

// The log file that every install and uninstall leaves behind: ZIL_Setup.log in the Windows
// temporary folder, replaced by each run. A deployment tool that ran setup from the command
// line sees no window, so this file and the exit code are all it learns of the run.
class SetupLogFile {
public:
    static constexpr const char* FILE_NAME = "ZIL_Setup.log";

    SetupLogFile(FileSystem& files, Clock& clock);

    // Starts the log of one sequence ("install" or "uninstall", from the command line or not).
    void Begin(const std::string& sequence, bool commandLine);
    // The run log so far and the exit code; rewrites the file. Failures are returned, never
    // shown: a log that cannot be written must not change the outcome of the run.
    Win32Error Write(const std::string& runLog, int exitCode);
    // Adds text after the run log (a message that a command-line run may not show in a box)
    // and rewrites the file with the given exit code.
    Win32Error Append(const std::string& text, int exitCode);

    // Where the file is (or would be): the temporary folder followed by FILE_NAME.
    Win32Error Path(std::string& path);
    // The first line: mode, local date and time of the run's end, exit code.
    std::string Header(int exitCode);

private:
    Win32Error EnsureTempFolder(const std::string& folder);

    FileSystem& m_files;
    Clock& m_clock;
    std::string m_mode = "setup";
    std::string m_text;
};
