#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "text/StringType.h"

#include "platform/Platform.h"
#include "setup/RunDetails.h"
#include "setup/SetupExitCode.h"

// The log file that every install and uninstall leaves behind: ZIL_Setup.log in the Windows
// temporary folder. A deployment tool that ran setup from the command line sees no window, so
// this file and the exit code are all it learns of the run.
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
//
// The last runs' logs stay: at a run's first write, setup's own previous ZIL_Setup.log becomes
// ZIL_Setup.<n>.log, n one above the highest number of setup's own older logs (the higher, the
// later), and of those only the newest LOG_OLDER_KEPT stay. Where the usual path stays someone
// else's, the run's log is ZIL_Setup.<n>.<eight hex digits>.log, created exclusively, and its
// details say so. With a copy path (/LOG=), every write goes there too, under the same rule
// but nothing there is removed: what cannot be written is named in the details.
class SetupLogFile {
public:
    static constexpr const char* FILE_NAME = "ZIL_Setup.log";

    // Logs of earlier runs that stay beside the newest: ten runs' logs in all.
    static constexpr int LOG_OLDER_KEPT = 9;

    // copyPath: where every write of the log goes as well; "" for nowhere else.
    explicit SetupLogFile(Platform& platform, const String& copyPath = String());

    // Starts the log of one sequence ("install" or "uninstall", from the command line or not).
    void Begin(const char* sequence, bool commandLine);
    // A step the sequence took and its Win32 error (0: it succeeded), timed from Begin; it shows
    // in the details at the next write.
    void Step(const char* name, Win32Error error) { m_details.Step(name, error); }
    // The details section, for the facts and the steps whose outcome is no Win32 error.
    RunDetails& Details() { return m_details; }
    // The run log so far and the exit code it ends with.
    Win32Error Write(const String& runLog, int exitCode);
    // Adds a line after the run log (a message that a command-line run may not show in a box);
    // the line end is added when the text has none.
    Win32Error Append(std::string_view line);
    // A code decided after the sequence (a previous version found); rewrites a written file.
    Win32Error SetExitCode(int exitCode);

    // Where the file is: the temporary folder (created when missing) and FILE_NAME; after a
    // failure, `path` means nothing.
    Win32Error Path(String& path);
    // Where this run's log is written: Path(), or the name it took where that stays someone
    // else's; "" before the first write.
    const String& WrittenTo() const { return m_path; }

private:
    Win32Error Rewrite();
    Win32Error WriteLog();
    String Content();
    void NoteWhereItWent();
    Win32Error OpenLog(std::unique_ptr<File>& file);
    void KeepPrevious();
    String LogFolder() const;
    String NumberedPath(std::uint64_t seed, int attempt) const;
    Win32Error OpenUnguessable(std::unique_ptr<File>& file);
    Win32Error OpenOwnFile(const String& path, std::unique_ptr<File>& file);
    Win32Error ClearPath(const String& path);
    void OpenCopy(std::unique_ptr<File>& copy);
    Win32Error EnsureTempFolder(const String& folder);

    FileSystem& m_files;
    Clock& m_clock;
    RunDetails m_details;
    // This run's log: where it is written ("" until the first write places it), the number the
    // next numbered name takes, and what kept the previous log from staying (0: nothing).
    String m_path;
    String m_usual;
    std::uint32_t m_nextNumber = 1;
    Win32Error m_previousLost = WIN_OK;
    // The copy: its path, and why it is not written ("" while it is).
    String m_copyPath;
    String m_copyRefused;
    const char* m_sequence = "setup";
    String m_mode = "run";
    String m_text;
    int m_exitCode = SETUP_EXIT_CLOSED;
    bool m_written = false;
};
