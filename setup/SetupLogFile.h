#pragma once

#include <string_view>

#include "StringType.h"

#include "platform/Platform.h"
#include "setup/RunDetails.h"
#include "setup/SetupExitCode.h"

// The log file that every install and uninstall leaves behind: ZIL_Setup.log in the Windows
// temporary folder, replaced by each run. A deployment tool that ran setup from the command
// line sees no window, so this file and the exit code are all it learns of the run.
//
// The first line names the run, the local date and time and the exit code; then comes the run
// log; then, from a line "Details:" on, what the run found and did (RunDetails); the last line
// states the outcome in words ("Result: install failed (exit code 1603)").
// Every change rewrites the whole file, so it always states the latest outcome; a write that
// fails is tried once more. The file is setup's own: only a plain file of Administrators, SYSTEM
// or this account with no second name is rewritten; anything else at the path (a hard link, a
// link, someone else's file, a folder) is removed or renamed aside, never written through, and
// the log made afresh where nothing has the name. Failures are
// returned, never shown: a log that cannot be written must not change the run's outcome.
class SetupLogFile {
public:
    static constexpr const char* FILE_NAME = "ZIL_Setup.log";

    explicit SetupLogFile(Platform& platform);

    // Starts the log of one sequence ("install" or "uninstall", from the command line or not).
    void Begin(const String& sequence, bool commandLine);
    // A step the sequence took and its Win32 error (0: it succeeded), timed from Begin; it shows
    // in the details at the next write.
    void Step(const char* name, Win32Error error) { m_details.Step(name, error); }
    // The details section, for the facts and the steps whose outcome is no Win32 error.
    RunDetails& Details() { return m_details; }
    // What an exit code says of a run: "succeeded", "failed", ...
    static String OutcomeOf(int exitCode);
    // The run log so far and the exit code it ends with.
    Win32Error Write(const String& runLog, int exitCode);
    // Adds a line after the run log (a message that a command-line run may not show in a box);
    // the line end is added when the text has none.
    Win32Error Append(std::string_view line);
    // A code decided after the sequence (a previous version found); rewrites a written file.
    Win32Error SetExitCode(int exitCode);

    // Where the file is: the temporary folder (created when missing) and FILE_NAME.
    Win32Error Path(String& path);

private:
    Win32Error Rewrite();
    Win32Error WriteFile(const String& content);
    Win32Error OpenOwnFile(const String& path, std::unique_ptr<File>& file);
    Win32Error ClearPath(const String& path);
    String Header();
    String Footer() const;
    const char* RunLogEnd() const;
    Win32Error EnsureTempFolder(const String& folder);

    // Names tried for what cannot be removed from the log's path: .obsolete, .obsolete.2 ...
    static constexpr int LOG_ASIDE_NAMES = 9;

    FileSystem& m_files;
    Clock& m_clock;
    RunDetails m_details;
    String m_sequence = "setup";
    String m_mode = "run";
    String m_text;
    int m_exitCode = SETUP_EXIT_CLOSED;
    bool m_written = false;
};
