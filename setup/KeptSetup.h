#pragma once

#include "StringType.h"

#include "platform/Platform.h"

// The setup program that the install keeps in the program folder (Apps & features starts it to
// remove the product). A running program cannot be deleted, and a folder that holds one cannot
// be removed or set aside; so, started from there, it runs a copy of itself from a private
// folder of setup's own and waits for it: the copy does the work while nothing of the program
// folder runs. The process that the caller started returns only when the copy has ended, with
// the copy's exit code.
class KeptSetup {
public:
    explicit KeptSetup(Platform& platform);

    // True when this process is the kept setup program in the program folder.
    bool IsThisProgram();
    // Runs the copy with `argument` (the command line's last argument as given, or nothing) and
    // returns its exit code; 1603 when the copy cannot be made or started. The running program
    // waits beside its copy meanwhile, out of the program folder, and comes back when the copy
    // left the product installed without it (a failed uninstall). What stays of the private
    // folder (the running program itself) is deleted at the next restart: setup's own scratch,
    // not the product, so it asks for no restart.
    int RunCopy(const String& argument);

private:
    Platform& m_platform;
};
