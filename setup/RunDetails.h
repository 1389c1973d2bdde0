#pragma once

#include <cstddef>
#include <cstdint>
#include "text/StringType.h"

#include "platform/Clock.h"
#include "platform/SystemInfo.h"
#include "sfx/ArchiveExtent.h"

// The log file's details section: what an administrator needs to tell why a run failed on one
// machine of many. The setup program's version and size, its archive as the dialog found it,
// the Windows that ran it and whether the process was elevated, then every step the sequence
// took with the time since its start and, where it failed, its error in words.
//
// Every line is indented and never holds "!!!", so that no reader of the run log above it can
// take a detail for a line of the run log.
class RunDetails {
public:
    RunDetails(SystemInfo& system, Clock& clock);

    // A sequence starts: the steps so far go, and times count from now.
    void Restart();
    // The archive's directory as the dialog read it: the extractor's result, the reason for a
    // refusal in words, the entry count and where the archive ends.
    void SetArchive(int result, const String& fault, int entries, const ArchiveExtent& extent);
    // One step of the sequence, with its Win32 error (0: it succeeded).
    void Step(const char* name, Win32Error error);
    // A step's line taken at an earlier moment of the clock (an attempt inside a longer step):
    // `failure` in words when not empty, else the Win32 error.
    void StepAt(std::uint64_t at, const char* name, Win32Error error, const String& failure);

    // Something the run leaves for the next restart of Windows to finish, as a line among the
    // steps.
    void WaitsForRestart(const String& what);
    // Something that was to wait for the restart and is no longer at its path when the run ends:
    // a later step removed it after all, or moved it on (what it became is named on its own).
    void NoLongerWaitsForRestart(const String& what);

    // Where this run's log went other than its usual place, or why not where it was asked to go
    // (lines after "elevated", starting "log: "): none for a log where it always was.
    void ClearLogNotes() { m_logNotes.clear(); }
    void NoteLog(const String& note);

    // "error 5: Access is denied.", with the system's words for the number.
    String ErrorInWords(Win32Error error) const;

    // The section, from its "Details:" line on, appended to `text`; each line ends in CR LF.
    void AppendTo(String& text) const;

private:
    void Record(const char* name, const String& outcome, std::uint64_t at);
    String WindowsLine() const;

    SystemInfo& m_system;
    Clock& m_clock;
    std::uint64_t m_start;
    String m_program;
    String m_windows;
    bool m_elevated;
    String m_archive = "not read";
    String m_logNotes;  // their lines, as the section shows them
    String m_steps;     // the steps' lines, as the section shows them
};
