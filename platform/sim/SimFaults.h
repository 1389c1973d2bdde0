#pragma once

#include <string>
#include <vector>

#include "platform/Win32Error.h"

// The one vocabulary of injected faults, for tests in this process and for whole processes of
// the program alike. ZIL_FAULTS writes a comma-separated list of KIND@N=ERROR ("write@3=112",
// "svc-start@1=1053"): the Nth call of that kind (counted from 1) fails with the Win32 error; a
// trailing '+' fails every later call too. ERROR may also be "kill": the process dies there, as
// in a power cut.
enum class SimFaultKind {
    Open,    // opening a file
    Read,    // a file's read
    Write,   // a file's write
    Seek,    // a file's seek
    Mkdir,   // making a folder, a private one too
    Move,    // a rename or the shell's move
    Delete,  // removing a file or a tree, the shell's delete
    Exec,    // running a program
    System,  // a command line through the command processor
    SvcOpen,
    SvcCreate,
    SvcStart,
    SvcControl,
    SvcDelete,
    SvcQuery,   // a service's status or its registration
    Restart,    // a deletion scheduled for the next restart
    RegRead,    // reading a registry key's values
    RegWrite,   // creating a registry key or writing a value
    RegDelete,  // deleting a registry key or value
    Count,
};

struct SimFault {
    SimFaultKind kind = SimFaultKind::Count;
    int nth = 0;
    Win32Error error = WIN_OK;
    bool fromThenOn = false;
    bool kill = false;
};

// The faults a ZIL_FAULTS value describes; false, with the reason in `error`, for a value that
// is not such a list (then no fault at all applies).
bool ParseSimFaults(const std::string& text, std::vector<SimFault>& faults, std::string& error);

// The name of a kind as ZIL_FAULTS writes it ("svc-start").
const char* SimFaultKindName(SimFaultKind kind);
