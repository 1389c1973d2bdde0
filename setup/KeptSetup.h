#pragma once

#include "StringType.h"

#include "platform/Platform.h"
#include "setup/SetupLogFile.h"

// The setup program that the install keeps in the program folder (Apps & features starts it to
// remove the product). A running program cannot be deleted, and a folder that holds one cannot
// be removed or set aside; so, started from there, it runs a copy of itself from a private
// folder of setup's own and waits for it: the copy does the work while nothing of the program
// folder runs. The process that the caller started returns only when the copy has ended, with
// the copy's exit code.
class KeptSetup {
public:
    explicit KeptSetup(Platform& platform);

    // True when this process runs from the kept setup program's file, however the path it was
    // started by is spelled (a short name, another case, a trailing dot...).
    bool IsThisProgram();
    // Runs the copy with `argument` (the command line's last argument as given, or nothing) and
    // returns its exit code. The running program waits beside its copy meanwhile, out of the
    // program folder, and comes back when the copy left the product installed without it (a
    // failed uninstall). What stays of the private folder (the running program itself) is
    // deleted at the next restart: setup's own scratch, not the product, so it asks for no
    // restart.
    // 1618, with nothing touched, while another kept program hands over (a second click on
    // Uninstall, a tool's retry). 1603, with the log file of a failed run, when the folder, the
    // copy, the move out of the program folder or the copy's start fails: the copy never ran,
    // and what the hand-over changed is given back.
    int RunCopy(const String& argument);

private:
    // Records one step of the hand-over; a failure is written to the log as the run's end.
    bool Took(SetupLogFile& log, const char* step, Win32Error error);
    // The waiting program goes back where the product still needs it.
    void ComeBack(const String& waiting);

    Platform& m_platform;
};
