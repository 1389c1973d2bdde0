#pragma once

#include "StringType.h"

#include "platform/Platform.h"
#include "progress/SequenceObserver.h"
#include "setup/FileOperations.h"
#include "setup/ProductService.h"
#include "setup/RunMode.h"
#include "setup/SetupLogFile.h"
#include "sfx/SfxExtractor.h"

// What the install and the uninstall have in common: what they run on, their run log, the
// fresh temporary directory, the extraction, and the ways they end. A sequence runs once, to its
// end, inside one call of Run; it reports only through the observer and the log file.
class Sequence : protected StatusDisplay {
public:
    // The extractor holds the directory read when the dialog opened: its entry count sizes the
    // upper bar before the extraction reads it again.
    Sequence(Platform& platform, RunMode mode, SfxExtractor& extractor, SetupLogFile& log,
             SequenceObserver& observer);
    virtual ~Sequence() = default;
    Sequence(const Sequence&) = delete;
    Sequence& operator=(const Sequence&) = delete;

    virtual void Run() = 0;

protected:
    // Pauses in milliseconds: between steps, around the close request, before the command-line
    // install closes.
    enum : unsigned {
        SEQUENCE_PAUSE_STEP = 889,
        SEQUENCE_PAUSE_CONTROL = 589,
        SEQUENCE_PAUSE_CLOSE = 100,
    };

    // Removes whatever is at the temporary directory's path (moves it out of the way when it
    // cannot go now) and creates it afresh, private to administrators, then waits for it. The
    // error when it cannot be made fresh: the sequence has then ended (1603) before touching
    // anything.
    Win32Error PrepareTempDirectory();
    // Sets up the bars and extracts the archive into the temporary directory; the extraction's
    // result. For the install (stopOnFailure), a payload without the file the install starts by
    // name is refused first, and a failed extraction ends the sequence there.
    int ExtractPayload(bool stopOnFailure);
    // The extraction's outcome in the log's details.
    void LogExtraction(int result);
    // A status line on screen at once.
    void ShowStatus(const String& line) override;
    // The status edit shows the whole run log.
    void PublishRunLog();
    // Records the outcome in the log file.
    void WriteLog(int exitCode);
    // The end of every path: the outcome recorded, the dialog closed unless a person is to look
    // at it.
    void Finish(int exitCode, bool close);
    // A failure that stops a sequence early: logged, shown to a person (never from the command
    // line), and the dialog closed.
    void EndWithFailure(const String& message, int exitCode);
    void Pause(unsigned milliseconds);
    // A user-defined control code to the service; its status line shows, the run log keeps
    // nothing of it.
    void SendControl(int code);
    // Runs Windows' MOF compiler on a script from the archive; a failure is a line of the run
    // log naming the step, and nothing more: the product works without its WMI classes.
    void RunMofScript(const char* script, const char* step);
    // A run log line that tells a step's outcome: "<step> Success !!!" or "<step> Failed, error N
    // !!!".
    void LogStep(const char* step, Win32Error error);
    // A line naming what could not be deleted now and was moved out of the way to go at the
    // next restart; nothing when everything went.
    void LogRetired(const Removal& removal);

    Platform& m_platform;
    RunMode m_mode;
    SfxExtractor& m_extractor;
    SetupLogFile& m_log;
    SequenceObserver& m_observer;
    FileOperations m_files;
    ProductService m_service;
    String m_runLog;  // what the run did, line by line; the status edit shows it at the end
};
