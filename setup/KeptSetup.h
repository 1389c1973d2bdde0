#pragma once

#include "text/StringType.h"

#include "platform/Platform.h"
#include "setup/RunMode.h"

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
    // True when this process is the copy that a kept program runs and waits for: it runs from
    // setup's own run folder while the kept program holds its lock. The kept program holds the
    // one-setup lock for it too.
    bool IsHandOverCopy();
    // Hands the run over to the copy, the run's steps each with its undo: the run folder made,
    // the copy written, the kept program moved out of the program folder beside it, the copy
    // run with `arguments` and waited for, the kept program moved back where the product stayed
    // (a failed uninstall). Returns the copy's exit code.
    // 1618, before anything is touched, while another setup runs or another kept program hands
    // over (a second click on Uninstall, a tool's retry). 1603, with the log file of a failed
    // run, when a step fails: what the hand-over changed is given back, and a kept program that
    // cannot go back into the product's folder is kept where it waits, for the next run to put
    // back. What stays of the run folder (the running program itself) is deleted at the next
    // restart: setup's own scratch, not the product, so it asks for no restart.
    // A failed hand-over's log goes to `logCopy` as well, when the command line named one.
    int RunCopy(RunMode mode, const String& arguments, const String& logCopy = String());

private:
    Platform& m_platform;
};

// True when the path names setup's run folder, or one beside it of a name setup gives (a private
// one a run made when the usual one could not be cleared, one moved aside to go at a restart):
// C:\ZIL_Setup_run, C:\ZIL_Setup_run.2, C:\ZIL_Setup_run.obsolete. What merely begins with the
// name (C:\ZIL_Setup_runbook) is someone else's.
bool IsRunFolder(std::string_view path);
// True when the path names a file in such a folder.
bool IsInRunFolder(const String& path);
